#include <gtest/gtest.h>

#include <cstddef>

#include "PluginLibrary.h"

namespace quenra::simengine {
namespace {

using Strlen = size_t (*)(const char*);

// A library every process of the platform can open, and a path that cannot exist.
#ifdef _WIN32
constexpr const char* kSystemLibrary = "msvcrt.dll";
constexpr const char* kMissingLibrary = "C:\\nonexistent\\QuenraMissing.dll";
#else
constexpr const char* kSystemLibrary = "libc.so.6";
constexpr const char* kMissingLibrary = "/nonexistent/libQuenraMissing.so";
#endif

TEST(PluginLibrary, AMissingFileIsReportedWithTheLoadersReasonAndFindsNothing)
{
    const PluginLibrary library(kMissingLibrary);
    EXPECT_FALSE(library.Loaded());
    EXPECT_NE(library.Error().find(kMissingLibrary), std::string::npos) << library.Error();
    // Not even what the process itself has loaded.
    Strlen function = reinterpret_cast<Strlen>(1);
    EXPECT_FALSE(library.Resolve("strlen", function));
    EXPECT_EQ(function, nullptr);
}

TEST(PluginLibrary, FindsOnlyWhatTheOpenedLibraryExports)
{
    const PluginLibrary library(kSystemLibrary);
    ASSERT_TRUE(library.Loaded()) << library.Error();
    EXPECT_EQ(library.Error(), "");
    Strlen length = nullptr;
    ASSERT_TRUE(library.Resolve("strlen", length));
    EXPECT_EQ(length("plug-in"), 7u);
    void (*load)() = reinterpret_cast<void (*)()>(1);
    EXPECT_FALSE(library.Resolve("UnityPluginLoad", load));
    EXPECT_EQ(load, nullptr);
}

} // namespace
} // namespace quenra::simengine

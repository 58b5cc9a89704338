#include "LoaderWorld.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <stdexcept>

namespace quenra::test {
namespace {
std::string PerTestFileName()
{
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = test != nullptr ? std::string(test->test_suite_name()) + "." + test->name() : "outside-a-test";
    for (char& c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    return std::string(QUENRA_VALIDATION_DIR) + "/" + name + ".txt";
}
} // namespace

LoaderWorld::LoaderWorld() : validationFile(PerTestFileName()), library(QUENRA_SIMRUNTIME_LIBRARY)
{
    if (!library.Loaded()) {
        throw std::runtime_error("the runtime library did not open: " + library.Error());
    }
    if (!library.Resolve(simruntime::kRuntimeControlName, control)) {
        throw std::runtime_error("the runtime library lacks its control entry");
    }
    // The layer appends: each test starts from an empty file.
    std::remove(validationFile.c_str());
    environment.Set("XR_RUNTIME_JSON", QUENRA_SIMRUNTIME_MANIFEST);
    environment.Set("XR_CORE_VALIDATION_EXPORT_TYPE", "text");
    environment.Set("XR_CORE_VALIDATION_FILE_NAME", validationFile);
    runtime = control(simruntime::RuntimeControlRequest::Reset);
    if (runtime == nullptr) {
        throw std::runtime_error("the runtime library made no runtime");
    }
}

LoaderWorld::~LoaderWorld()
{
    control(simruntime::RuntimeControlRequest::Release);
}

PFN_xrGetInstanceProcAddr LoaderWorld::LoaderLookup() { return &xrGetInstanceProcAddr; }

ValidationReport LoaderWorld::Validation() const
{
    return ValidationReport(validationFile, QUENRA_VALIDATION_ALLOWLIST);
}

std::vector<std::string> LoaderWorld::LiveHandles() const { return LiveHandlesBesides({}); }

std::vector<std::string> LoaderWorld::LiveHandlesBesides(const std::vector<uint64_t>& applications) const
{
    std::vector<std::string> live;
    for (const simruntime::LiveHandle& handle : runtime->runtime.LiveHandles()) {
        if (std::find(applications.begin(), applications.end(), handle.handle) != applications.end()) {
            continue;
        }
        std::ostringstream text;
        text << simruntime::HandleKindName(handle.kind) << " 0x" << std::hex << handle.handle;
        live.push_back(text.str());
    }
    return live;
}

} // namespace quenra::test

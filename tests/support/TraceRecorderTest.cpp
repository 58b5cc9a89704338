#include <gtest/gtest.h>

#include "TraceRecorder.h"

namespace quenra::test {
namespace {

TEST(TraceRecorder, FormatsPrintfStyleMessagesWithTheirLevel)
{
    TraceRecorder recorder;
    recorder.Interface()->Trace(kXRTraceLevelWarning, "Could not remove provider %s", "A");
    recorder.Interface()->Trace(kXRTraceLevelError, "Failed: %d", -2);
    ASSERT_EQ(recorder.Size(), 2u);
    EXPECT_TRUE(recorder.Contains(2, "Could not remove provider A"));
    EXPECT_TRUE(recorder.Contains(0, "Failed: -2"));
    EXPECT_FALSE(recorder.Contains(0, "Could not remove provider A"));
}

} // namespace
} // namespace quenra::test

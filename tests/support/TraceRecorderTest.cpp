#include <gtest/gtest.h>

#include <sstream>

#include "TraceRecorder.h"

namespace quenra::simengine {
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

TEST(TraceRecorder, CountsPerLevelEvenWhenNotKeepingMessages)
{
    TraceRecorder recorder;
    recorder.Interface()->Trace(kXRTraceLevelNotice, "kept");
    recorder.SetKeeping(false);
    recorder.Interface()->Trace(kXRTraceLevelNotice, "counted only");
    recorder.Interface()->Trace(kXRTraceLevelWarning, "counted only");
    EXPECT_EQ(recorder.Texts(kXRTraceLevelNotice), std::vector<std::string>{"kept"});
    EXPECT_EQ(recorder.Size(), 1u);
    EXPECT_EQ(recorder.CountAtLevel(kXRTraceLevelNotice), 2u);
    EXPECT_EQ(recorder.CountAtLevel(kXRTraceLevelWarning), 1u);
    EXPECT_EQ(recorder.CountAtLevel(kXRTraceLevelError), 0u);
    recorder.Clear();
    EXPECT_EQ(recorder.CountAtLevel(kXRTraceLevelNotice), 0u);
}

TEST(TraceRecorder, EchoesOnlyMessagesAtTheChosenSeverityOrWorse)
{
    TraceRecorder recorder;
    std::ostringstream out;
    recorder.EchoTo(out, kXRTraceLevelWarning);
    recorder.Interface()->Trace(kXRTraceLevelNotice, "quiet %d", 1);
    recorder.Interface()->Trace(kXRTraceLevelWarning, "shown %d", 2);
    recorder.Interface()->Trace(kXRTraceLevelError, "shown %d", 3);
    EXPECT_EQ(out.str(), "  [trace warning] shown 2\n  [trace error] shown 3\n");
    recorder.SetEcho(false);
    recorder.Interface()->Trace(kXRTraceLevelError, "after");
    EXPECT_EQ(out.str(), "  [trace warning] shown 2\n  [trace error] shown 3\n");
    EXPECT_EQ(recorder.Size(), 4u);
}

TEST(TraceRecorder, FoldsARepeatedMessageIntoOneLineWithItsCount)
{
    std::ostringstream out;
    {
        TraceRecorder recorder;
        recorder.EchoTo(out, kXRTraceLevelWarning);
        for (int i = 0; i < 36; ++i) {
            recorder.Interface()->Trace(kXRTraceLevelWarning, "cut %d", 4);
        }
        recorder.Interface()->Trace(kXRTraceLevelError, "cut %d", 4);
        recorder.Interface()->Trace(kXRTraceLevelNotice, "not echoed");
        recorder.Interface()->Trace(kXRTraceLevelError, "cut %d", 4);
        recorder.Interface()->Trace(kXRTraceLevelWarning, "once");
        recorder.Interface()->Trace(kXRTraceLevelWarning, "last");
        recorder.Interface()->Trace(kXRTraceLevelWarning, "last");
        EXPECT_EQ(recorder.CountAtLevel(kXRTraceLevelWarning), 39u) << "folding changes the echo, not the record";
    }
    EXPECT_EQ(out.str(), "  [trace warning] cut 4\n"
                         "  [trace warning] cut 4 (\u00d736)\n"
                         "  [trace error] cut 4\n"
                         "  [trace error] cut 4 (\u00d72)\n"
                         "  [trace warning] once\n"
                         "  [trace warning] last\n"
                         "  [trace warning] last (\u00d72)\n")
        << "the last repeat is written when the recorder goes";
}

} // namespace
} // namespace quenra::simengine

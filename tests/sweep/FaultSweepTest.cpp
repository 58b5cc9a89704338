// Every runtime call of a scripted session failing in turn, with each result it may answer.
#include <gtest/gtest.h>

#include <iostream>

#include "FaultSweep.h"
#include "ScriptedSkelderSession.h"
#ifdef KELBRIN_LIBRARY_PATH
#include "ScriptedKelbrinSession.h"
#endif

namespace quenra::test {
namespace {

void ExpectSweepClean(ScriptedSession& session, const char* name)
{
    const SweepFigures figures = Sweep(session);
    std::cout << name << " fault sweep: " << figures.calls << " calls, " << figures.cases << " cases, "
              << figures.failures << " failures\n";
    EXPECT_GT(figures.calls, 0u);
    EXPECT_EQ(figures.failures, 0u);
    for (const std::string& failure : figures.failed) {
        ADD_FAILURE() << failure;
    }
}

TEST(FaultSweep, SkelderSessionSurvivesEveryRuntimeCallFailing)
{
    ScriptedSkelderSession session;
    ExpectSweepClean(session, "Skelder");
}

#ifdef KELBRIN_LIBRARY_PATH
TEST(FaultSweep, KelbrinSessionSurvivesEveryRuntimeCallFailing)
{
    ScriptedKelbrinSession session(KELBRIN_LIBRARY_PATH);
    ExpectSweepClean(session, "libKelbrin");
}
#endif

} // namespace
} // namespace quenra::test

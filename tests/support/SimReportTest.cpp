// The simulator's exit status: each kind of failure its report can show fails the run, named, and
// under --validate what the layer's allowed refusals cause does not.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "SimReport.h"

namespace quenra::sim {
namespace {

SimReport GoodRun()
{
    SimReport report;
    report.kelbrin = report.skelder = report.wendrath = true;
    report.scenes.resize(2);
    report.skelderStats.trace.Add(false, "Attempting to composite 4 layers. Max Compositor Layer Count is 3");
    return report;
}

struct FailureCase {
    const char* name;
    std::function<void(SimReport&)> spoil;
    // What the failure line says; empty when the run must still pass.
    std::string named;
    bool validated = false;
};

void PrintTo(const FailureCase& failure, std::ostream* out) { *out << failure.name; }

class SimReportFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(SimReportFailures, NameWhatFailed)
{
    SimReport report = GoodRun();
    ASSERT_TRUE(Failures(report).empty()) << "warnings alone fail nothing";
    if (GetParam().validated) {
        report.validation = ValidationCount{"validation.txt", 3, 0, {}};
    }
    GetParam().spoil(report);
    const std::vector<std::string> failures = Failures(report);
    if (GetParam().named.empty()) {
        EXPECT_TRUE(failures.empty()) << failures.front();
        return;
    }
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures.front().find(GetParam().named), std::string::npos) << failures.front();
}

INSTANTIATE_TEST_SUITE_P(
    EachKind, SimReportFailures,
    ::testing::Values(
        FailureCase{"KelbrinTraceError", [](SimReport& r) { r.trace.Add(true, "no scene"); r.trace.Add(true, "no scene"); },
                    "libKelbrin traced an error: no scene (\u00d72)"},
        FailureCase{"MeshAcquisition", [](SimReport& r) { r.scenes[1].acquireFailures = 4; },
                    "4 mesh acquisitions failed"},
        FailureCase{"PlaneRead", [](SimReport& r) { r.planeReadFailures = 1; }, "1 plane reads failed"},
        FailureCase{"SceneObjectsLeft", [](SimReport& r) { r.sceneObjectsLeft = 2; }, "2 scene objects left"},
        FailureCase{"SkelderTraceError", [](SimReport& r) { r.skelderStats.trace.Add(true, "lost"); },
                    "Skelder traced an error: lost"},
        FailureCase{"SwapchainImage", [](SimReport& r) { r.skelderStats.acquireFailures = 1; },
                    "1 swapchain images not acquired"},
        FailureCase{"WendrathTraceError", [](SimReport& r) { r.wendrathStats.trace.Add(true, "Wendrath: x"); },
                    "libWendrath traced an error"},
        FailureCase{"GlMisuse", [](SimReport& r) { r.wendrathStats.glMisuses = 3; }, "3 GL misuses"},
        FailureCase{"RefusedMeshReadsUnderValidation",
                    [](SimReport& r) {
                        r.scenes[1].acquireFailures = 6;
                        r.trace.Add(true, "xrGetSceneMeshBuffersMSFT failed");
                    },
                    "", true},
        FailureCase{"UnexplainedValidationFinding",
                    [](SimReport& r) { r.validation->unexplained.push_back("[VALID_ERROR | VUID-new | xrEndFrame]: x"); },
                    "the allowlist does not explain: [VALID_ERROR | VUID-new", true},
        FailureCase{"SceneObjectsLeftUnderValidation", [](SimReport& r) { r.sceneObjectsLeft = 1; },
                    "1 scene objects left", true},
        FailureCase{"UnloadedPluginsAreNotJudged",
                    [](SimReport& r) {
                        r.skelder = false;
                        r.skelderStats.acquireFailures = 9;
                    },
                    ""}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace quenra::sim

#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "BoundParts.h"
#include "SceneCycle.h"

namespace kelbrin::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ComputeCycle : public SceneCycle {
protected:
    size_t Computes() const { return sceneUnderstanding.ComputeRequests().size(); }
    size_t Polls() const { return runtime.CallCount("xrGetSceneComputeStateMSFT"); }
};

TEST_F(ComputeCycle, FirstUpdateRunsTheWholeCycleWithTheVisualMeshRequestAroundTheBaseSpace)
{
    Observer().RegisterProvider("A", kelbrin::ComputeCycle::FeatureVisualMesh);
    const XrTime predicted = WaitFrame();
    runtime.ClearCalls();

    EXPECT_TRUE(Observer().UpdateSceneObservations("A"));

    EXPECT_THAT(runtime.CallSequence(), ElementsAre("xrCreateSceneObserverMSFT", "xrComputeNewSceneMSFT",
                                                    "xrGetSceneComputeStateMSFT", "xrCreateSceneMSFT"));
    EXPECT_EQ(runtime.Calls("xrCreateSceneObserverMSFT")[0].handles, std::vector<uint64_t>{HandleValue(session)});
    const auto requests = sceneUnderstanding.ComputeRequests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& request = requests[0];
    EXPECT_THAT(request.features, ElementsAre(XR_SCENE_COMPUTE_FEATURE_VISUAL_MESH_MSFT));
    EXPECT_EQ(request.consistency, XR_SCENE_COMPUTE_CONSISTENCY_SNAPSHOT_COMPLETE_MSFT);
    EXPECT_EQ(request.boundsSpace, HandleValue(space));
    EXPECT_EQ(request.boundsTime, predicted);
    ASSERT_EQ(request.spheres.size(), 1u);
    EXPECT_EQ(request.spheres[0].center.x, 0.0f);
    EXPECT_EQ(request.spheres[0].center.y, 0.0f);
    EXPECT_EQ(request.spheres[0].center.z, 0.0f);
    EXPECT_EQ(request.spheres[0].radius, 3.40282347e38f);
    EXPECT_EQ(request.spheres[0].radius, std::numeric_limits<float>::max());
    EXPECT_THAT(request.boxes, IsEmpty());
    EXPECT_THAT(request.frustums, IsEmpty());
    EXPECT_THAT(request.chained, IsEmpty());
    EXPECT_TRUE(Bindings().HasCurrentScene());
    EXPECT_THAT(Messages(), IsEmpty());
    EXPECT_TRUE(SceneReadable());
}

TEST_F(ComputeCycle, RequestAsksForTheUnionOfFeaturesInPlaneMeshVisualOrder)
{
    Observer().RegisterProvider("A",
                                kelbrin::ComputeCycle::FeatureVisualMesh | kelbrin::ComputeCycle::FeaturePlaneMesh);
    Observer().RegisterProvider("B", kelbrin::ComputeCycle::FeaturePlane);
    Observer().UpdateSceneObservations("A");
    ASSERT_EQ(Computes(), 1u);
    EXPECT_THAT(sceneUnderstanding.ComputeRequests()[0].features,
                ElementsAre(XR_SCENE_COMPUTE_FEATURE_PLANE_MSFT, XR_SCENE_COMPUTE_FEATURE_PLANE_MESH_MSFT,
                            XR_SCENE_COMPUTE_FEATURE_VISUAL_MESH_MSFT));
}

TEST_F(ComputeCycle, UnknownFlagsAloneStartARequestWithNoFeaturesThatARefusalLeavesIdle)
{
    Observer().RegisterProvider("A", 8);
    EXPECT_TRUE(Observer().UpdateSceneObservations("A"));
    ASSERT_EQ(Computes(), 1u);
    EXPECT_THAT(sceneUnderstanding.ComputeRequests()[0].features, IsEmpty());
    EXPECT_FALSE(SceneReadable());
    EXPECT_THAT(Messages(), ElementsAre(Message{0, "Failed XrComputeNewSceneMSFT: -1"}));

    // A failed start is retried no sooner than the interval.
    Advance(1500ms);
    Observer().UpdateSceneObservations("A");
    EXPECT_EQ(Computes(), 1u);
    Advance(1us);
    Observer().UpdateSceneObservations("A");
    EXPECT_EQ(Computes(), 2u);
    // Idle all along: no compute was in flight to poll.
    EXPECT_EQ(Polls(), 0u);
}

TEST_F(ComputeCycle, NonDrivingCallerGetsTrueAndMovesNothing)
{
    Observer().RegisterProvider("A", kelbrin::ComputeCycle::FeatureVisualMesh);
    Observer().RegisterProvider("B", kelbrin::ComputeCycle::FeaturePlane);
    runtime.ClearCalls();
    EXPECT_TRUE(Observer().UpdateSceneObservations("B"));
    EXPECT_TRUE(runtime.Calls().empty());
    EXPECT_FALSE(SceneReadable());
    // The gate did not move either: the driver starts at once.
    Observer().UpdateSceneObservations("A");
    EXPECT_EQ(Computes(), 1u);
    EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(ComputeCycle, UpdateWithoutOpenXrOrProvidersFailsWithItsMessage)
{
    EXPECT_FALSE(Observer().UpdateSceneObservations("A"));
    EXPECT_THAT(Messages(), ElementsAre(Message{0, "No providers!"}));
    trace.Clear();
    Reload();
    trace.Clear();
    Observer().RegisterProvider("A", kelbrin::ComputeCycle::FeatureVisualMesh);
    EXPECT_FALSE(Observer().UpdateSceneObservations("A"));
    EXPECT_THAT(Messages(), ElementsAre(Message{0, "OpenXr not ready"}));
}

TEST_F(ComputeCycle, RemovingTheLastProviderMidComputeLetsTheNextProviderGetANewScene)
{
    Observer().RegisterProvider("A", kelbrin::ComputeCycle::FeatureVisualMesh);
    sceneUnderstanding.QueueComputeOutcome(ComputeOutcome{100, XR_SCENE_COMPUTE_STATE_COMPLETED_MSFT});
    Observer().UpdateSceneObservations("A");
    // In flight: polled once, no scene made.
    ASSERT_EQ(Polls(), 1u);
    ASSERT_FALSE(Bindings().HasCurrentScene());

    Observer().UnregisterProvider("A");
    EXPECT_FALSE(Bindings().HasXrSceneObserver());

    Observer().RegisterProvider("B", kelbrin::ComputeCycle::FeatureVisualMesh);
    Advance(1501ms);
    Observer().UpdateSceneObservations("B");
    // Back to Idle at the removal: the next provider's update started a compute rather than polling the dead one.
    EXPECT_TRUE(Bindings().HasCurrentScene());
    EXPECT_EQ(runtime.CallCount("xrCreateSceneObserverMSFT"), 2u);
    EXPECT_THAT(Messages(), IsEmpty());
    EXPECT_TRUE(SceneReadable());
}

TEST_F(ComputeCycle, ScriptDrivesTheCycleThroughTheExport)
{
    RegisterProviderWithSceneObserver("planes", kelbrin::ComputeCycle::FeaturePlane);
    EXPECT_TRUE(UpdateObservedScene("planes"));
    EXPECT_TRUE(UpdatePlanes());
    EXPECT_THAT(sceneUnderstanding.ComputeRequests()[0].features, ElementsAre(XR_SCENE_COMPUTE_FEATURE_PLANE_MSFT));
    EXPECT_FALSE(UpdateObservedScene(nullptr));
    EXPECT_THAT(Messages(), ElementsAre(Message{0, "Provider name is null"}));
}

TEST_F(ComputeCycle, MeshDensityAndBoundingVolumeAreAcceptedAndChangeNoRequest)
{
    StartMeshingSubsystem();
    EXPECT_EQ(meshes.SetMeshDensity(0.1f), kUnitySubsystemErrorCodeSuccess);
    EngineUpdate();
    EXPECT_EQ(meshes.SetMeshDensity(10.0f), kUnitySubsystemErrorCodeSuccess);
    EXPECT_EQ(meshes.SetBoundingVolume(nullptr), kUnitySubsystemErrorCodeSuccess);
    Advance(1501ms);
    EngineUpdate();
    const auto requests = sceneUnderstanding.ComputeRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].features, requests[1].features);
    EXPECT_EQ(requests[0].spheres[0].radius, requests[1].spheres[0].radius);
    EXPECT_EQ(requests[0].boundsSpace, requests[1].boundsSpace);

    meshes.Stop();
    EXPECT_EQ(meshes.SetMeshDensity(1.0f), kUnitySubsystemErrorCodeFailure);
    EXPECT_EQ(meshes.SetBoundingVolume(nullptr), kUnitySubsystemErrorCodeFailure);
}

TEST_F(ComputeCycle, AnObjectWhoseDestroyFunctionIsMissingIsNeverCreated)
{
    Observer().RegisterProvider("A", kelbrin::ComputeCycle::FeatureVisualMesh);
    struct Case {
        const char* missing;
        const char* message;
    };
    for (const Case& c :
         {Case{"xrDestroySceneObserverMSFT", "Not creating XrSceneObserverMSFT: the runtime offers "
                                             "no xrDestroySceneObserverMSFT to destroy it"},
          Case{"xrDestroySceneMSFT", "Not creating a scene: the runtime offers no xrDestroySceneMSFT to destroy it"}}) {
        const PFN_xrVoidFunction removed = runtime.Function(c.missing);
        runtime.RemoveFunction(c.missing);
        // A new instance has the functions looked up again, now without the destroy function.
        SetInstanceHandle(HandleValue(runtime.MakeInstance()));
        trace.Clear();
        Advance(2s);
        Observer().UpdateSceneObservations("A");
        EXPECT_THAT(Messages(), ElementsAre(Message{0, c.message}));
        EXPECT_FALSE(SceneReadable()) << c.missing;
        runtime.AddFunction(c.missing, removed);
    }
    EXPECT_EQ(runtime.CallCount("xrCreateSceneObserverMSFT"), 1u) << "only once its destroy function was back";
    EXPECT_EQ(runtime.CallCount("xrCreateSceneMSFT"), 0u);
    EXPECT_TRUE(runtime.LiveHandles(HandleKind::Scene).empty());
}

// The scene objects belong to the session they were made on. A new session, or a runtime that
// reports them gone, leaves them forgotten, never called again, and the next compute makes new ones:
// an invalid scene alone keeps its observer.
TEST_F(ComputeCycle, ObjectsOfAGoneSessionAreForgottenAndMadeAnew)
{
    struct Case {
        const char* name;
        // Whatever makes the scene objects gone; the session the next ones are made on.
        std::function<XrSession()> lose;
        std::vector<std::string> messages;
        bool observerGone = true;
    };
    const Case cases[] = {
        {"another session",
         [this] {
             const XrSession next = runtime.MakeSession(instance);
             SetSessionHandle(HandleValue(next));
             return next;
         },
         {}},
        {"session lost at a compute start",
         [this] {
             runtime.FailNext("xrComputeNewSceneMSFT", XR_ERROR_SESSION_LOST);
             Advance(1501ms);
             Observer().UpdateSceneObservations("A");
             return session;
         },
         {"Failed XrComputeNewSceneMSFT: -17",
          "The runtime answered -17 on the scene objects; they are dropped and the next compute makes them anew"}},
        {"scene invalid at a plane read",
         [this] {
             runtime.FailNext("xrGetSceneComponentsMSFT", XR_ERROR_HANDLE_INVALID);
             EXPECT_FALSE(Observer().UpdatePlanes());
             return session;
         },
         {"Failed to get scene components count: -12",
          "The runtime answered -12 on the scene; it is dropped and the next compute makes one anew"},
         false},
    };
    Observer().RegisterProvider("A", kelbrin::ComputeCycle::FeatureVisualMesh);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Advance(1501ms);
        ASSERT_TRUE(Observer().UpdateSceneObservations("A"));
        ASSERT_TRUE(SceneReadable());
        const std::vector<quenra::simruntime::LiveHandle> old = runtime.LiveHandles();
        trace.Clear();
        const XrSession next = c.lose();
        runtime.ClearCalls();

        Advance(1501ms);
        ASSERT_TRUE(Observer().UpdateSceneObservations("A"));
        EXPECT_EQ(runtime.CallCount("xrCreateSceneMSFT"), 1u);
        const auto created = runtime.Calls("xrCreateSceneObserverMSFT");
        ASSERT_EQ(created.size(), c.observerGone ? 1u : 0u);
        if (c.observerGone) {
            EXPECT_EQ(created[0].handles, std::vector<uint64_t>{HandleValue(next)});
        }
        for (const quenra::simruntime::RecordedCall& call : runtime.Calls()) {
            for (const quenra::simruntime::LiveHandle& handle : old) {
                if (handle.kind == HandleKind::Scene || (c.observerGone && handle.kind == HandleKind::SceneObserver)) {
                    EXPECT_THAT(call.handles, ::testing::Not(::testing::Contains(handle.handle))) << call.function;
                }
            }
        }
        std::vector<std::string> expected = c.messages;
        if (expected.empty()) {
            expected.push_back("Session " + std::to_string(HandleValue(next)) +
                               " replaces the one the scene objects were made on; they are dropped with it");
        }
        std::vector<std::string> logged;
        for (const Message& message : Messages()) {
            logged.push_back(message.second);
        }
        EXPECT_EQ(logged, expected);
        EXPECT_TRUE(SceneReadable());
        session = next;
    }
}

// The cycle itself, on bindings bound to the simulated runtime: a provider asking for the visual
// mesh drives it, one step per update.
class CycleOnBindings : public BoundParts {
protected:
    bool Step() { return cycle.Step(kelbrin::ComputeCycle::FeatureVisualMesh); }
    size_t Computes() const { return sceneUnderstanding.ComputeRequests().size(); }
    size_t Polls() const { return runtime.CallCount("xrGetSceneComputeStateMSFT"); }
};

TEST_F(CycleOnBindings, NextComputeStartsOnlyWhenTheClockIsStrictlyPastTheInterval)
{
    Step();
    ASSERT_EQ(cycle.State(), kelbrin::ComputeCycle::SceneReady);

    Advance(1499999us);
    Step();
    Advance(1us);
    Step();
    EXPECT_EQ(Computes(), 1u);
    EXPECT_EQ(cycle.State(), kelbrin::ComputeCycle::SceneReady);

    Advance(1us);
    Step();
    EXPECT_EQ(Computes(), 2u);
    EXPECT_EQ(cycle.State(), kelbrin::ComputeCycle::SceneReady);
    EXPECT_EQ(runtime.CallCount("xrCreateSceneMSFT"), 2u);
}

TEST_F(CycleOnBindings, UpdatesEveryFrameStartAComputeAboutEveryIntervalAndKeepTheSceneBetween)
{
    for (int frame = 0; frame < 250; ++frame) {
        Step();
        EXPECT_EQ(cycle.State(), kelbrin::ComputeCycle::SceneReady);
        Advance(16ms);
    }
    // 4 s of frames: starts at 0, 1.504 and 3.008 s.
    EXPECT_EQ(Computes(), 3u);
}

TEST_F(CycleOnBindings, ClockMovedBackwardsDelaysTheNextComputeUntilItPassesTheStoredTime)
{
    Step();
    const auto started = clockNow;

    clockNow = started - 1h;
    Step();
    clockNow = started + 1500ms;
    Step();
    EXPECT_EQ(Computes(), 1u);
    clockNow = started + 1500ms + 1us;
    Step();
    EXPECT_EQ(Computes(), 2u);
}

TEST_F(CycleOnBindings, EachUpdatePollsARunningComputeOnceWhateverTheClock)
{
    sceneUnderstanding.QueueComputeOutcome(ComputeOutcome{2, XR_SCENE_COMPUTE_STATE_COMPLETED_MSFT});

    Step();
    EXPECT_EQ(cycle.State(), kelbrin::ComputeCycle::Computing);
    EXPECT_EQ(Polls(), 1u);
    Step();
    EXPECT_EQ(cycle.State(), kelbrin::ComputeCycle::Computing);
    EXPECT_EQ(Polls(), 2u);
    EXPECT_FALSE(bindings.HasCurrentScene());
    Step();
    EXPECT_EQ(cycle.State(), kelbrin::ComputeCycle::SceneReady);
    EXPECT_EQ(Polls(), 3u);
    EXPECT_EQ(Computes(), 1u);
    EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(CycleOnBindings, ComputeThatOutlastsTheIntervalIsFollowedAtTheFirstUpdateAfterItsScene)
{
    sceneUnderstanding.QueueComputeOutcome(ComputeOutcome{1, XR_SCENE_COMPUTE_STATE_COMPLETED_MSFT});
    Step();
    Advance(2s);
    Step();
    EXPECT_EQ(cycle.State(), kelbrin::ComputeCycle::SceneReady);
    EXPECT_EQ(Computes(), 1u);
    Step();
    EXPECT_EQ(Computes(), 2u);
}

TEST_F(CycleOnBindings, ComputeEndedWithErrorReturnsToIdleWithAWarningAndRestartsWhenDue)
{
    sceneUnderstanding.QueueComputeOutcome(ComputeOutcome{0, XR_SCENE_COMPUTE_STATE_COMPLETED_WITH_ERROR_MSFT});
    Step();
    EXPECT_EQ(cycle.State(), kelbrin::ComputeCycle::Idle);
    EXPECT_THAT(Messages(),
                ElementsAre(Message{2, "Completed updating xr scene compute state with error, or with state result "
                                       "none"}));
    EXPECT_EQ(runtime.CallCount("xrCreateSceneMSFT"), 0u);

    Step();
    EXPECT_EQ(Computes(), 1u);
    Advance(1501ms);
    Step();
    EXPECT_EQ(Computes(), 2u);
    EXPECT_EQ(cycle.State(), kelbrin::ComputeCycle::SceneReady);
}

TEST_F(CycleOnBindings, FailedPollIsLoggedAndPolledAgainAtTheNextUpdate)
{
    runtime.FailNext("xrGetSceneComputeStateMSFT", XR_ERROR_RUNTIME_FAILURE);
    Step();
    EXPECT_EQ(cycle.State(), kelbrin::ComputeCycle::Computing);
    EXPECT_THAT(Messages(), ElementsAre(Message{0, "Failed XrGetSceneComputeStateMSFT: -2"}));
    Step();
    EXPECT_EQ(cycle.State(), kelbrin::ComputeCycle::SceneReady);
}

TEST_F(CycleOnBindings, FailedObserverCreationWarnsStaysIdleAndWaitsTheInterval)
{
    runtime.FailNext("xrCreateSceneObserverMSFT", XR_ERROR_OUT_OF_MEMORY);
    Step();
    EXPECT_EQ(cycle.State(), kelbrin::ComputeCycle::Idle);
    EXPECT_THAT(Messages(), ElementsAre(Message{2, "Failed to create XrSceneObserverMSFT: -3"}));
    EXPECT_EQ(Computes(), 0u);
    Step();
    EXPECT_EQ(runtime.CallCount("xrCreateSceneObserverMSFT"), 1u);
    Advance(1501ms);
    Step();
    EXPECT_EQ(cycle.State(), kelbrin::ComputeCycle::SceneReady);
}

TEST_F(CycleOnBindings, ObserverIsCreatedOnceAndKeptAcrossComputes)
{
    for (int compute = 0; compute < 3; ++compute) {
        Step();
        Advance(1501ms);
    }
    EXPECT_EQ(Computes(), 3u);
    EXPECT_EQ(runtime.CallCount("xrCreateSceneObserverMSFT"), 1u);
    // Each new scene replaced the one before.
    EXPECT_EQ(runtime.LiveHandles(HandleKind::Scene).size(), 1u);
}

TEST_F(CycleOnBindings, OldSceneThatCannotBeDestroyedDelaysCreationByOneUpdateAndStillMarksTransforms)
{
    Step();
    Advance(1501ms);
    trace.Clear();
    runtime.FailNext("xrDestroySceneMSFT", XR_ERROR_RUNTIME_FAILURE);

    EXPECT_TRUE(Step()) << "a scene creation was attempted: the transforms are marked";
    EXPECT_EQ(cycle.State(), kelbrin::ComputeCycle::ComputeCompleted);
    EXPECT_THAT(Messages(), ElementsAre(Message{0, "Failed to destroy scene: -2"}));
    EXPECT_FALSE(bindings.HasCurrentScene());

    Step();
    EXPECT_EQ(cycle.State(), kelbrin::ComputeCycle::SceneReady);
    EXPECT_EQ(runtime.CallCount("xrCreateSceneMSFT"), 2u);
    EXPECT_EQ(runtime.CallCount("xrDestroySceneMSFT"), 1u);
}

TEST_F(CycleOnBindings, FailedSceneCreationIsLoggedAndReturnsToIdle)
{
    runtime.FailNext("xrCreateSceneMSFT", XR_ERROR_OUT_OF_MEMORY);
    EXPECT_TRUE(Step());
    EXPECT_EQ(cycle.State(), kelbrin::ComputeCycle::Idle);
    EXPECT_THAT(Messages(), ElementsAre(Message{0, "Failed to create scene: -3"}));
}

} // namespace
} // namespace kelbrin::test

// The scene compute cycle: starts a compute on the runtime when one is due by the wall
// clock, polls it, and makes the current scene from it, then waits for the next.
#pragma once

#include <openxr/openxr.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "SceneGuard.h"
#include "UnityXRTrace.h"

namespace kelbrin {

class XrBindings;

class ComputeCycle {
public:
    enum ComputeState : int32_t {
        // No compute in flight; a new one may start when it is due.
        Idle = 0,
        // A compute was started; its state is polled.
        Computing = 1,
        // The runtime finished; the scene is to be created.
        ComputeCompleted = 2,
        // The current scene exists and may be read.
        SceneReady = 3,
    };
    using SystemTime = std::chrono::time_point<std::chrono::system_clock, std::chrono::microseconds>;
    // Where the cycle reads the wall clock: the system clock unless a test puts its own here.
    using WallClock = SystemTime (*)();
    static SystemTime ReadSystemClock();

    // Scene features as providers ask for them.
    enum FeatureFlags : int32_t {
        FeaturePlane = 1,
        FeaturePlaneMesh = 2,
        FeatureVisualMesh = 4,
    };
    // The compute features of the flags: plane, plane mesh, visual mesh, in that order.
    static void FeaturesOf(int32_t flags, std::vector<XrSceneComputeFeatureMSFT>& features);

    ComputeCycle(XrBindings& bindings, IUnityXRTrace* trace, SceneGuard& guard)
        : bindings(bindings), trace(trace), guard(guard)
    {
    }

    // As many of start, poll and scene creation as are ready; a start asks for these
    // feature flags. True when a scene creation was attempted.
    bool Step(int32_t featureFlags);
    ComputeState State() const { return state; }
    // Back to Idle: the scene observer is gone, or the scene has nothing to show.
    void Reset() { state = Idle; }
    void SetWallClock(WallClock clock) { wallClock = clock; }
    // Destroys the current scene once no acquisition reads it; the runtime's result.
    XrResult DestroyScene();
    // Forgets the scene and the scene observer without a call once no acquisition reads them
    // (they died with their session), and goes back to Idle: the next compute makes them anew.
    void ForgetSceneObjects();
    // The same for the scene alone; a compute on the observer goes on.
    void ForgetScene();

private:
    void Start(int32_t featureFlags);
    void Poll();
    void CreateScene();

    XrBindings& bindings;
    IUnityXRTrace* const trace;
    // Its state lock is held by the caller of every operation.
    SceneGuard& guard;
    ComputeState state = Idle;
    // No compute starts before the wall clock has passed this; the epoch lets the first one start at once.
    SystemTime nextComputeTime{};
    std::chrono::duration<int64_t, std::milli> computeInterval{1500};
    WallClock wallClock = &ReadSystemClock;
};

} // namespace kelbrin

#include "ComputeCycle.h"

#include <limits>

#include "TraceLog.h"
#include "XrBindings.h"

namespace kelbrin {

ComputeCycle::SystemTime ComputeCycle::ReadSystemClock()
{
    return std::chrono::time_point_cast<std::chrono::microseconds>(std::chrono::system_clock::now());
}

void ComputeCycle::FeaturesOf(int32_t flags, std::vector<XrSceneComputeFeatureMSFT>& features)
{
    features.reserve(3);
    if ((flags & FeaturePlane) != 0) {
        features.push_back(XR_SCENE_COMPUTE_FEATURE_PLANE_MSFT);
    }
    if ((flags & FeaturePlaneMesh) != 0) {
        features.push_back(XR_SCENE_COMPUTE_FEATURE_PLANE_MESH_MSFT);
    }
    if ((flags & FeatureVisualMesh) != 0) {
        features.push_back(XR_SCENE_COMPUTE_FEATURE_VISUAL_MESH_MSFT);
    }
}

bool ComputeCycle::Step(int32_t featureFlags)
{
    // Each state is tested afresh, so one step can go from a ready scene through a new
    // compute and its completion to the next ready scene.
    const bool due = wallClock() > nextComputeTime;
    if (due && state == SceneReady) {
        state = Idle;
    }
    if (due && state == Idle) {
        Start(featureFlags);
        // Also after a failed start: it is retried no sooner than the interval.
        nextComputeTime = wallClock() + computeInterval;
    }
    if (state == Computing) {
        Poll();
    }
    if (state == ComputeCompleted) {
        CreateScene();
        return true;
    }
    return false;
}

void ComputeCycle::Start(int32_t featureFlags)
{
    if (!bindings.HasXrSceneObserver()) {
        if (bindings.SceneObserverWouldLeak()) {
            TraceLog(
                trace, kXRTraceLevelError,
                "Not creating XrSceneObserverMSFT: the runtime offers no xrDestroySceneObserverMSFT to destroy it");
            return;
        }
        XrSceneObserverCreateInfoMSFT createInfo{XR_TYPE_SCENE_OBSERVER_CREATE_INFO_MSFT};
        const XrResult result = bindings.CreateXrSceneObserver(&createInfo);
        if (result != XR_SUCCESS) {
            TraceLog(trace, kXRTraceLevelWarning, "Failed to create XrSceneObserverMSFT: %d", static_cast<int>(result));
            return;
        }
    }
    std::vector<XrSceneComputeFeatureMSFT> features;
    FeaturesOf(featureFlags, features);
    // The whole scene around the base space: unlimited radius.
    XrSceneSphereBoundMSFT sphere{{0.0f, 0.0f, 0.0f}, std::numeric_limits<float>::max()};

    XrNewSceneComputeInfoMSFT request{XR_TYPE_NEW_SCENE_COMPUTE_INFO_MSFT};
    request.requestedFeatureCount = static_cast<uint32_t>(features.size());
    request.requestedFeatures = features.data();
    request.consistency = XR_SCENE_COMPUTE_CONSISTENCY_SNAPSHOT_COMPLETE_MSFT;
    request.bounds.space = bindings.GetSpace();
    request.bounds.time = bindings.GetPredictedDisplayTime();
    request.bounds.sphereCount = 1;
    request.bounds.spheres = &sphere;
    const XrResult result = bindings.ComputeNewScene(&request);
    if (result != XR_SUCCESS) {
        TraceLog(trace, kXRTraceLevelError, "Failed XrComputeNewSceneMSFT: %d", static_cast<int>(result));
        return;
    }
    state = Computing;
}

void ComputeCycle::Poll()
{
    XrSceneComputeStateMSFT computeState = XR_SCENE_COMPUTE_STATE_NONE_MSFT;
    const XrResult result = bindings.GetSceneComputeState(&computeState);
    if (result != XR_SUCCESS) {
        TraceLog(trace, kXRTraceLevelError, "Failed XrGetSceneComputeStateMSFT: %d", static_cast<int>(result));
        return;
    }
    switch (computeState) {
    case XR_SCENE_COMPUTE_STATE_UPDATING_MSFT:
        break;
    case XR_SCENE_COMPUTE_STATE_NONE_MSFT:
    case XR_SCENE_COMPUTE_STATE_COMPLETED_WITH_ERROR_MSFT:
        TraceLog(trace, kXRTraceLevelWarning,
                 "Completed updating xr scene compute state with error, or with state result none");
        state = Idle;
        break;
    default:
        state = ComputeCompleted;
        break;
    }
}

XrResult ComputeCycle::DestroyScene()
{
    return guard.Replace([this] { return bindings.DestroyCurrentScene(); });
}

void ComputeCycle::ForgetSceneObjects()
{
    guard.Replace([this] { bindings.ForgetSceneObjects(); });
    state = Idle;
}

void ComputeCycle::ForgetScene()
{
    guard.Replace([this] { bindings.ForgetScene(); });
    if (state == SceneReady) {
        state = Idle;
    }
}

void ComputeCycle::CreateScene()
{
    if (bindings.HasCurrentScene()) {
        // The bindings forget the old scene even when this fails, so the next update goes on to creation.
        const XrResult result = DestroyScene();
        if (result != XR_SUCCESS) {
            TraceLog(trace, kXRTraceLevelError, "Failed to destroy scene: %d", static_cast<int>(result));
            return;
        }
    }
    if (bindings.SceneWouldLeak()) {
        TraceLog(trace, kXRTraceLevelError,
                 "Not creating a scene: the runtime offers no xrDestroySceneMSFT to destroy it");
        state = Idle;
        return;
    }
    XrSceneCreateInfoMSFT createInfo{XR_TYPE_SCENE_CREATE_INFO_MSFT};
    // The current scene's handle changes only while no acquisition reads it.
    const XrResult result = guard.Replace([&] { return bindings.CreateSceneAsCurrent(&createInfo); });
    if (result != XR_SUCCESS) {
        TraceLog(trace, kXRTraceLevelError, "Failed to create scene: %d", static_cast<int>(result));
        state = Idle;
        return;
    }
    state = SceneReady;
}

} // namespace kelbrin

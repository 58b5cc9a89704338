#include "SceneObserver.h"

#include <limits>

#include "ProviderContext.h"
#include "XrBindings.h"

SceneObserver::SystemTime SceneObserver::ReadSystemClock()
{
    return std::chrono::time_point_cast<std::chrono::microseconds>(std::chrono::system_clock::now());
}

void SceneObserver::SetWallClock(WallClock clock)
{
    std::lock_guard<std::recursive_mutex> lock(stateMutex);
    wallClock = clock;
}

SceneObserver::ComputeState SceneObserver::GetComputeState() const
{
    std::lock_guard<std::recursive_mutex> lock(stateMutex);
    return computeState;
}

bool SceneObserver::UpdateSceneObservations(const char* name)
{
    std::lock_guard<std::recursive_mutex> lock(stateMutex);
    if (!IsReadyWithProviders()) {
        return false;
    }
    if (!CheckOrSetDrivingProvider(name)) {
        return true;
    }
    // Each state is tested afresh, so one update can go from a ready scene through a new
    // compute and its completion to the next ready scene.
    const bool due = wallClock() > nextComputeTime;
    if (due && computeState == SceneReady) {
        computeState = Idle;
    }
    if (due && computeState == Idle) {
        ComputeScene();
        // Also after a failed start: it is retried no sooner than the interval.
        nextComputeTime = wallClock() + computeInterval;
    }
    if (computeState == Computing) {
        ComputeSceneState();
    }
    if (computeState == ComputeCompleted) {
        CreateScene();
        transformsPending = true;
    }
    return true;
}

void SceneObserver::ComputeScene()
{
    if (!bindings->HasXrSceneObserver()) {
        XrSceneObserverCreateInfoMSFT createInfo{XR_TYPE_SCENE_OBSERVER_CREATE_INFO_MSFT};
        const XrResult result = bindings->CreateXrSceneObserver(&createInfo);
        if (result != XR_SUCCESS) {
            context->Log(kXRTraceLevelWarning, "Failed to create XrSceneObserverMSFT: %d", static_cast<int>(result));
            return;
        }
    }
    std::vector<XrSceneComputeFeatureMSFT> features;
    GetProviderRequestedFeatures(features);
    // The whole scene around the base space: unlimited radius.
    XrSceneSphereBoundMSFT sphere{{0.0f, 0.0f, 0.0f}, std::numeric_limits<float>::max()};

    XrNewSceneComputeInfoMSFT request{XR_TYPE_NEW_SCENE_COMPUTE_INFO_MSFT};
    request.requestedFeatureCount = static_cast<uint32_t>(features.size());
    request.requestedFeatures = features.data();
    request.consistency = XR_SCENE_COMPUTE_CONSISTENCY_SNAPSHOT_COMPLETE_MSFT;
    request.bounds.space = bindings->GetSpace();
    request.bounds.time = bindings->GetPredictedDisplayTime();
    request.bounds.sphereCount = 1;
    request.bounds.spheres = &sphere;
    const XrResult result = bindings->ComputeNewScene(&request);
    if (result != XR_SUCCESS) {
        context->Log(kXRTraceLevelError, "Failed XrComputeNewSceneMSFT: %d", static_cast<int>(result));
        return;
    }
    computeState = Computing;
}

void SceneObserver::GetProviderRequestedFeatures(std::vector<XrSceneComputeFeatureMSFT>& features) const
{
    std::lock_guard<std::recursive_mutex> lock(stateMutex);
    int32_t flags = 0;
    for (const auto& provider : providerFeatures) {
        flags |= provider.second;
    }
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

void SceneObserver::ComputeSceneState()
{
    XrSceneComputeStateMSFT state = XR_SCENE_COMPUTE_STATE_NONE_MSFT;
    const XrResult result = bindings->GetSceneComputeState(&state);
    if (result != XR_SUCCESS) {
        context->Log(kXRTraceLevelError, "Failed XrGetSceneComputeStateMSFT: %d", static_cast<int>(result));
        return;
    }
    switch (state) {
    case XR_SCENE_COMPUTE_STATE_UPDATING_MSFT:
        break;
    case XR_SCENE_COMPUTE_STATE_NONE_MSFT:
    case XR_SCENE_COMPUTE_STATE_COMPLETED_WITH_ERROR_MSFT:
        context->Log(kXRTraceLevelWarning,
                     "Completed updating xr scene compute state with error, or with state result none");
        computeState = Idle;
        break;
    default:
        computeState = ComputeCompleted;
        break;
    }
}

void SceneObserver::CreateScene()
{
    if (bindings->HasCurrentScene()) {
        // The bindings forget the old scene even when this fails, so the next update goes on to creation.
        const XrResult result = DestroySceneWhenUnread();
        if (result != XR_SUCCESS) {
            context->Log(kXRTraceLevelError, "Failed to destroy scene: %d", static_cast<int>(result));
            return;
        }
    }
    XrSceneCreateInfoMSFT createInfo{XR_TYPE_SCENE_CREATE_INFO_MSFT};
    XrResult result = XR_SUCCESS;
    {
        // The current scene's handle changes only while no acquisition reads it.
        std::lock_guard<std::shared_mutex> unread(sceneReaders);
        ++sceneGeneration;
        result = bindings->CreateSceneAsCurrent(&createInfo);
    }
    if (result != XR_SUCCESS) {
        context->Log(kXRTraceLevelError, "Failed to create scene: %d", static_cast<int>(result));
        computeState = Idle;
        return;
    }
    computeState = SceneReady;
}

// Every compute asks for the whole scene around the base space, so the engine's
// density and bounding volume are accepted and not applied.
UnitySubsystemErrorCode SceneObserver::SetMeshDensity(float)
{
    return IsReadyWithProviders() ? kUnitySubsystemErrorCodeSuccess : kUnitySubsystemErrorCodeFailure;
}

UnitySubsystemErrorCode SceneObserver::SetBoundingVolume(const UnityXRBoundingVolume*)
{
    return IsReadyWithProviders() ? kUnitySubsystemErrorCodeSuccess : kUnitySubsystemErrorCodeFailure;
}

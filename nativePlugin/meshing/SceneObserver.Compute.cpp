#include "SceneObserver.h"

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

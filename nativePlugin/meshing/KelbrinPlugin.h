// The functions the library exports with C linkage: what the engine loads and calls and
// what scripts call. Which thread may call which is in KelbrinModule.h.
#pragma once

#include <openxr/openxr.h>

#include <cstdint>

#include "ScenePlane.h"
#include "UnityInterfaces.h"
#include "UnityXRMeshing.h"

// Before UnityPluginLoad and after UnityPluginUnload every export does nothing and returns
// its zero value.
extern "C" {
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API UnityPluginLoad(IUnityInterfaces* interfaces) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API UnityPluginUnload() noexcept;
UNITY_INTERFACE_EXPORT bool UNITY_INTERFACE_API RegisterMeshingLifecycleProvider() noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API RegisterProviderWithSceneObserver(const char* name,
                                                                                  int32_t features) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API UnregisterProviderWithSceneObserver(const char* name) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetInstanceHandle(uint64_t instance) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetSessionHandle(uint64_t session) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetSpaceHandle(uint64_t space) noexcept;
UNITY_INTERFACE_EXPORT PFN_xrGetInstanceProcAddr UNITY_INTERFACE_API
GetInterceptedInstanceProcAddr(PFN_xrGetInstanceProcAddr loaderFunction) noexcept;
// One step of the scene compute cycle for a script's provider.
UNITY_INTERFACE_EXPORT bool UNITY_INTERFACE_API UpdateObservedScene(const char* name) noexcept;
// The current scene's planes for scripts, in the OpenXR convention.
UNITY_INTERFACE_EXPORT bool UNITY_INTERFACE_API UpdatePlanes() noexcept;
UNITY_INTERFACE_EXPORT bool UNITY_INTERFACE_API CountScenePlanes(uint32_t* count) noexcept;
UNITY_INTERFACE_EXPORT bool UNITY_INTERFACE_API FetchScenePlanes(uint32_t count, ScenePlane* planes) noexcept;
UNITY_INTERFACE_EXPORT bool UNITY_INTERFACE_API FetchPlaneVertices(const ScenePlane* plane, XrVector3f* vertices,
                                                                   uint32_t* indices) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetPlanesFilterFlags(uint32_t flags) noexcept;
}

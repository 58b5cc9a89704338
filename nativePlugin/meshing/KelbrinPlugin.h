// The library's entry points: what the engine loads and calls, what scripts call,
// and the functions the library puts into the application's OpenXR chain.
//
// Threading contract
// - Main thread: UnityPluginLoad/Unload, every script export (handles, providers,
//   UpdateObservedScene, the plane calls), the meshing lifecycle, and the mesh provider's
//   GetMeshInfos, GetUpdatedTransforms, SetMeshDensity and SetBoundingVolume. The engine
//   stops and shuts the meshing subsystem down before it unloads the library.
// - Generation threads, any number at once: AcquireMesh and ReleaseMesh.
// - Frame thread: the intercepted xrGetInstanceProcAddr and xrWaitFrame.
// - The context pointer is atomic and changes only at load and unload. Entries off the
//   main thread (interceptions, mesh provider callbacks) pin it for their duration; unload
//   takes it away first, then waits until no pin is left before destroying it, so an
//   interception either finds no context or a context that outlives its call.
// - SceneObserver's state lock guards the providers, the compute cycle, the mesh and plane
//   maps, the vertex counts and the poses; every observer operation takes it, so the main
//   thread's calls and the acquisitions never see each other half done. An acquisition
//   holds it only to look its mesh up and to record the vertex count: it reads the runtime
//   as a reader of the current scene and computes normals in scratch of its own, outside
//   the lock. Destroying or replacing the scene (compute cycle, last provider removed)
//   waits, under the state lock, for the readers already in it, so GetMeshInfos waits for
//   an acquisition only when the scene is replaced, at most once per compute interval.
// - XrBindings: handles and the predicted display time are atomics; the scene functions
//   are looked up once, before any scene exists, and only read afterwards; the current
//   scene's handle changes only while no acquisition reads it.
#pragma once

#include <openxr/openxr.h>

#include <cstdint>

#include "ScenePlane.h"
#include "UnityInterfaces.h"
#include "UnityXRMeshing.h"

class ProviderContext;

// --- Exported, C linkage ---------------------------------------------------------------
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

// --- Internal --------------------------------------------------------------------------
// The context between load and unload, null otherwise.
ProviderContext* GetProviderContext();

void RegisterProviderWithSceneObserver_Internal(ProviderContext* context, const char* name, int32_t features);
void UnregisterProviderWithSceneObserver_Internal(ProviderContext* context, const char* name);
bool RegisterLifecycleProvider(ProviderContext* context);

// Put in the application's OpenXR chain by GetInterceptedInstanceProcAddr.
XRAPI_ATTR XrResult XRAPI_CALL InterceptedXrGetInstanceProcAddr(XrInstance instance, const char* name,
                                                                PFN_xrVoidFunction* function) noexcept;
XRAPI_ATTR XrResult XRAPI_CALL InterceptedXrWaitFrame(XrSession session, const XrFrameWaitInfo* info,
                                                      XrFrameState* state) noexcept;

// Meshing lifecycle handlers; the user data is the context.
UnitySubsystemErrorCode UNITY_INTERFACE_API LifecycleHandlerInit(UnitySubsystemHandle handle, void* userData) noexcept;
UnitySubsystemErrorCode UNITY_INTERFACE_API LifecycleHandlerStart(UnitySubsystemHandle handle, void* userData) noexcept;
void UNITY_INTERFACE_API LifecycleHandlerStop(UnitySubsystemHandle handle, void* userData) noexcept;
void UNITY_INTERFACE_API LifecycleHandlerShutdown(UnitySubsystemHandle handle, void* userData) noexcept;

// Mesh provider callbacks; the user data is the context.
UnitySubsystemErrorCode UNITY_INTERFACE_API GetMeshInfos(UnitySubsystemHandle handle, void* userData,
                                                         UnityXRMeshInfoAllocator* allocator) noexcept;
UnitySubsystemErrorCode UNITY_INTERFACE_API AcquireMesh(UnitySubsystemHandle handle, void* userData,
                                                        const UnityXRMeshId* id,
                                                        UnityXRMeshDataAllocator* allocator) noexcept;
UnitySubsystemErrorCode UNITY_INTERFACE_API ReleaseMesh(UnitySubsystemHandle handle, void* userData,
                                                        const UnityXRMeshId* id, const UnityXRMeshDescriptor* mesh,
                                                        void* pluginData) noexcept;
UnitySubsystemErrorCode UNITY_INTERFACE_API GetUpdatedTransforms(UnitySubsystemHandle handle, void* userData,
                                                                 UnityXRMeshTransformList* transforms) noexcept;
UnitySubsystemErrorCode UNITY_INTERFACE_API SetMeshDensity(UnitySubsystemHandle handle, void* userData,
                                                           float density) noexcept;
UnitySubsystemErrorCode UNITY_INTERFACE_API SetBoundingVolume(UnitySubsystemHandle handle, void* userData,
                                                              const UnityXRBoundingVolume* volume) noexcept;

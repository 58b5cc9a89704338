// The library's internals behind its exports: the live context, the functions it puts
// into the application's OpenXR chain, and the callbacks it registers with the engine.
//
// Threading contract
// - Main thread: UnityPluginLoad/Unload, every script export (handles, providers,
//   UpdateObservedScene, the plane calls), the meshing lifecycle, and the mesh provider's
//   GetMeshInfos, GetUpdatedTransforms, SetMeshDensity and SetBoundingVolume. The engine
//   stops and shuts the meshing subsystem down before it unloads the library.
// - Generation threads, any number at once: AcquireMesh and ReleaseMesh.
// - Frame thread: the intercepted xrGetInstanceProcAddr and xrWaitFrame. They call through the
//   application's chain (loader lookup, runtime xrWaitFrame), which the library keeps outside any
//   context, so they pass through between an unload and the next load too.
// - The context is published in a ContextSlot and changes only at load and unload. Entries off the
//   main thread (the wait's prediction, mesh provider callbacks) pin it for their duration; unload
//   takes it away first, then waits until no pin is left before destroying it. The intercepted
//   wait pins only to store the prediction, never across the runtime's wait, so unload never
//   waits behind a blocked frame.
// - SceneObserver's one lock object, SceneGuard, holds the state lock over the providers, the
//   compute cycle, the mesh and plane maps, the vertex counts and the poses. Every public observer
//   operation holds it once, from start to end (GetMeshInfos steps the cycle and lists in one
//   hold); the lock is not recursive, and a call back into the observer on the thread that holds
//   it (from an engine callback made under it) is refused with a logged failure. An acquisition
//   holds it only to look its mesh up and to record the vertex count: it reads the runtime as a
//   reader of the current scene and computes normals in scratch of its own, outside the lock.
//   Destroying, replacing or forgetting the scene (compute cycle, last provider removed, a new
//   session, objects reported gone) waits, under the lock, for the readers already in it, so
//   GetMeshInfos waits for an acquisition only when the scene is replaced, at most once per
//   compute interval. The classes the observer owns take no lock of their own, except mesh
//   delivery's pool of acquisition scratch, which has its own small lock, never held with another.
// - XrBindings: handles, the predicted display time and the objects reported gone (noted by
//   any call, acquisitions included, taken under the state lock) are atomics; the scene functions
//   are looked up for each new instance (SetInstanceHandle, main thread) under the state
//   lock while no acquisition reads the scene, like the current scene's handle, which
//   changes only then too.
#pragma once

#include <openxr/openxr.h>

#include <cstdint>

#include "UnityXRMeshing.h"

namespace kelbrin {

class ProviderContext;

// The context between load and unload, null otherwise.
ProviderContext* GetProviderContext();
// Forgets the application's lookup and xrWaitFrame, as a freshly mapped library has none. The
// engine never needs it; tests that link the library's objects into one process use it, unloaded,
// between cases.
void ForgetChainedFunctions();

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

} // namespace kelbrin

// The library's internals behind its exports: the live context, the functions it puts
// into the application's OpenXR chain, and the callbacks it registers with the engine.
//
// Threading contract
// - Main thread: load and unload, every script export, the meshing lifecycle, and GetMeshInfos,
//   GetUpdatedTransforms, SetMeshDensity and SetBoundingVolume. Generation threads, any number at
//   once: AcquireMesh and ReleaseMesh. Frame thread: the intercepted xrGetInstanceProcAddr and
//   xrWaitFrame, which pass through between an unload and the next load too.
// - The context changes only at load and unload; an entry off the main thread pins it for its
//   duration (the wait only to store the prediction), and unload waits for no pin left.
// - One lock, SceneGuard's, guards the observer's state: providers, compute cycle, mesh and plane
//   maps, vertex counts, poses, and the instance's scene functions. Each observer operation holds it
//   once (GetMeshInfos steps the cycle and lists in one hold); it is not recursive, and a call back
//   into the observer under it is refused with a logged failure.
// - At once: acquisitions with each other and with everything else, since one holds the lock only
//   to find its mesh and record its vertex count, and reads the runtime as a reader of the current
//   scene; replacing or destroying that scene waits, under the lock, for the readers in it. Mesh
//   delivery's scratch pool has its own lock, never held with another. Handles, the predicted
//   display time and the objects reported gone are atomics.
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

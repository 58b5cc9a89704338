#include "KelbrinPlugin.h"

#include <cstring>
#include <exception>
#include <memory>

#include "ChainedFunctions.h"
#include "ComputeCycle.h"
#include "ContextSlot.h"
#include "EntryGuard.h"
#include "KelbrinModule.h"
#include "ProviderContext.h"
#include "TraceLog.h"

namespace kelbrin {
namespace {
ContextSlot _providerContext;
// The application's chain outlives every load: its hooks keep passing through between them.
ChainedFunctions chainedFunctions;

// The lifecycle provider's subsystem identifier, and the name under which the meshing
// subsystem registers with the scene observer.
const char* const _subsystemId = "Quenra-MeshSubsystem";
const char* const _pluginName = "Tolvane Quenra Meshing Provider";

void LogEntryFailure(IUnityXRTrace* trace, const char* entry, const std::exception* error) noexcept
{
    TraceLog(trace, kXRTraceLevelError, "%s failed: %s", entry, ExceptionReason(error));
}

IUnityXRTrace* TraceOf(const ProviderContext* context)
{
    return context != nullptr ? context->trace : nullptr;
}

// No exception may unwind into the engine, a script or the OpenXR chain: one that reaches
// an entry point becomes a logged failure and the entry's failure result.
template <typename Result, typename Body> Result Guarded(const char* entry, Result failure, Body body) noexcept
{
    return GuardedCall(
        [entry](const std::exception* error) { LogEntryFailure(TraceOf(_providerContext.Get()), entry, error); },
        failure, body);
}

template <typename Body> void Guarded(const char* entry, Body body) noexcept
{
    Guarded(entry, false, [&] {
        body();
        return true;
    });
}

// The engine hands back the user data it was given at registration. A registration made
// under an earlier load (the editor loads and unloads the library repeatedly) carries a
// context that no longer exists, so only the live one is trusted.
ProviderContext* LiveContext(void* userData)
{
    ProviderContext* const live = _providerContext.Get();
    return userData != nullptr && userData == live ? live : nullptr;
}

IUnityXRMeshInterface* MeshInterfaceOf(const ProviderContext& context)
{
    if (context.meshInterface == nullptr) {
        context.Log(kXRTraceLevelError, "Kelbrin IUnityXRMeshingInterface is null");
    }
    return context.meshInterface;
}

bool IsProviderName(const ProviderContext& context, const char* name)
{
    if (name == nullptr) {
        context.Log(kXRTraceLevelError, "Provider name is null");
    }
    return name != nullptr;
}

// The engine names a mesh by address; a null one is a failure, never read.
bool IsMeshId(const ProviderContext& context, const UnityXRMeshId* id)
{
    if (id == nullptr) {
        context.Log(kXRTraceLevelError, "Mesh id is null");
    }
    return id != nullptr;
}

// A mesh provider callback: the observer of the live context, exceptions become failure.
template <typename Body> UnitySubsystemErrorCode ObserverCallback(const char* entry, void* userData, Body body) noexcept
{
    // Acquisitions run on the engine's generation threads: pinned, failure logging included.
    const ContextSlot::Pin pin(_providerContext);
    return Guarded(entry, kUnitySubsystemErrorCodeFailure, [&] {
        ProviderContext* context = userData != nullptr && userData == pin.get() ? pin.get() : nullptr;
        return context != nullptr ? body(*context, *context->sceneObserver) : kUnitySubsystemErrorCodeFailure;
    });
}
} // namespace

// For entries on the thread that loads and unloads: no unload can run meanwhile.
ProviderContext* GetProviderContext()
{
    return _providerContext.Get();
}

void ForgetChainedFunctions()
{
    chainedFunctions.getInstanceProcAddr = nullptr;
    chainedFunctions.waitFrame = nullptr;
}

} // namespace kelbrin

using namespace kelbrin;

// --- Engine entry points -----------------------------------------------------------------

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API UnityPluginLoad(IUnityInterfaces* interfaces) noexcept
{
    // The engine's records point at the context of the first load; a repeated load keeps it.
    if (_providerContext.Get() != nullptr) {
        return;
    }
    IUnityXRTrace* trace = interfaces != nullptr ? interfaces->Get<IUnityXRTrace>() : nullptr;
    GuardedCall([trace](const std::exception* error) { LogEntryFailure(trace, "UnityPluginLoad", error); },
                [&] {
                    auto context = std::make_unique<ProviderContext>(
                        trace, interfaces != nullptr ? interfaces->Get<IUnityXRMeshInterface>() : nullptr,
                        chainedFunctions);
                    context->Log(kXRTraceLevelNotice, "Kelbrin::UnityPluginLoad");
                    _providerContext.Publish(std::move(context));
                });
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API UnityPluginUnload() noexcept
{
    ProviderContext* const live = _providerContext.Get();
    if (live == nullptr) {
        return;
    }
    IUnityXRTrace* const trace = live->trace;
    GuardedCall([trace](const std::exception* error) { LogEntryFailure(trace, "UnityPluginUnload", error); },
                [] {
                    // Forgotten first, so nothing reached during teardown finds a context half destroyed,
                    // and kept until the frame thread's interception and acquisitions in flight are done with it.
                    const std::unique_ptr<ProviderContext> context = _providerContext.Withdraw();
                    context->Log(kXRTraceLevelNotice, "Kelbrin::UnityPluginUnload");
                });
}

// --- Script API --------------------------------------------------------------------------

extern "C" UNITY_INTERFACE_EXPORT bool UNITY_INTERFACE_API RegisterMeshingLifecycleProvider() noexcept
{
    return Guarded("RegisterMeshingLifecycleProvider", false, [] {
        ProviderContext* context = GetProviderContext();
        return context != nullptr && RegisterLifecycleProvider(context);
    });
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API RegisterProviderWithSceneObserver(const char* name,
                                                                                             int32_t features) noexcept
{
    Guarded("RegisterProviderWithSceneObserver",
            [&] { RegisterProviderWithSceneObserver_Internal(GetProviderContext(), name, features); });
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API
UnregisterProviderWithSceneObserver(const char* name) noexcept
{
    Guarded("UnregisterProviderWithSceneObserver",
            [&] { UnregisterProviderWithSceneObserver_Internal(GetProviderContext(), name); });
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetInstanceHandle(uint64_t instance) noexcept
{
    Guarded("SetInstanceHandle", [&] {
        if (ProviderContext* context = GetProviderContext()) {
            context->sceneObserver->UseInstance(instance);
        }
    });
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetSessionHandle(uint64_t session) noexcept
{
    Guarded("SetSessionHandle", [&] {
        if (ProviderContext* context = GetProviderContext()) {
            context->sceneObserver->UseSession(session);
        }
    });
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetSpaceHandle(uint64_t space) noexcept
{
    Guarded("SetSpaceHandle", [&] {
        if (ProviderContext* context = GetProviderContext()) {
            context->xrBindings->SetSpaceHandle(space);
        }
    });
}

extern "C" UNITY_INTERFACE_EXPORT bool UNITY_INTERFACE_API UpdateObservedScene(const char* name) noexcept
{
    return Guarded("UpdateObservedScene", false, [&] {
        ProviderContext* context = GetProviderContext();
        return context != nullptr && IsProviderName(*context, name) &&
               context->sceneObserver->UpdateSceneObservations(name);
    });
}

namespace {
// A plane export: the live observer, exceptions become false.
template <typename Body> bool PlaneCall(const char* entry, Body body) noexcept
{
    return Guarded(entry, false, [&] {
        ProviderContext* context = GetProviderContext();
        return context != nullptr && body(*context->sceneObserver);
    });
}
} // namespace

extern "C" UNITY_INTERFACE_EXPORT bool UNITY_INTERFACE_API UpdatePlanes() noexcept
{
    return PlaneCall("UpdatePlanes", [](SceneObserver& observer) { return observer.UpdatePlanes(); });
}

extern "C" UNITY_INTERFACE_EXPORT bool UNITY_INTERFACE_API CountScenePlanes(uint32_t* count) noexcept
{
    return PlaneCall("CountScenePlanes", [&](SceneObserver& observer) { return observer.CountScenePlanes(count); });
}

extern "C" UNITY_INTERFACE_EXPORT bool UNITY_INTERFACE_API FetchScenePlanes(uint32_t count, ScenePlane* planes) noexcept
{
    return PlaneCall("FetchScenePlanes",
                     [&](SceneObserver& observer) { return observer.FetchScenePlanes(count, planes); });
}

extern "C" UNITY_INTERFACE_EXPORT bool UNITY_INTERFACE_API FetchPlaneVertices(const ScenePlane* plane,
                                                                              XrVector3f* vertices,
                                                                              uint32_t* indices) noexcept
{
    return PlaneCall("FetchPlaneVertices",
                     [&](SceneObserver& observer) { return observer.FetchPlaneVertices(plane, vertices, indices); });
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetPlanesFilterFlags(uint32_t flags) noexcept
{
    Guarded("SetPlanesFilterFlags", [&] {
        if (ProviderContext* context = GetProviderContext()) {
            context->sceneObserver->SetPlanesFilterFlags(flags);
        }
    });
}

extern "C" UNITY_INTERFACE_EXPORT PFN_xrGetInstanceProcAddr UNITY_INTERFACE_API
GetInterceptedInstanceProcAddr(PFN_xrGetInstanceProcAddr loaderFunction) noexcept
{
    return Guarded("GetInterceptedInstanceProcAddr", PFN_xrGetInstanceProcAddr{nullptr},
                   [&]() -> PFN_xrGetInstanceProcAddr {
                       ProviderContext* context = GetProviderContext();
                       if (context == nullptr) {
                           return nullptr;
                       }
                       // Chaining the interceptor into itself would make every lookup recurse without end.
                       if (loaderFunction != &InterceptedXrGetInstanceProcAddr) {
                           context->xrBindings->BindGetInstanceProcAddr(loaderFunction);
                       }
                       return &InterceptedXrGetInstanceProcAddr;
                   });
}

namespace kelbrin {

// --- Internal operations -----------------------------------------------------------------

void RegisterProviderWithSceneObserver_Internal(ProviderContext* context, const char* name, int32_t features)
{
    if (context != nullptr && IsProviderName(*context, name)) {
        context->sceneObserver->RegisterProvider(name, features);
    }
}

void UnregisterProviderWithSceneObserver_Internal(ProviderContext* context, const char* name)
{
    if (context != nullptr && IsProviderName(*context, name)) {
        context->sceneObserver->UnregisterProvider(name);
    }
}

bool RegisterLifecycleProvider(ProviderContext* context)
{
    IUnityXRMeshInterface* meshInterface = MeshInterfaceOf(*context);
    if (meshInterface == nullptr) {
        return false;
    }
    UnityLifecycleProvider provider{};
    provider.userData = context;
    provider.Initialize = &LifecycleHandlerInit;
    provider.Start = &LifecycleHandlerStart;
    provider.Stop = &LifecycleHandlerStop;
    provider.Shutdown = &LifecycleHandlerShutdown;
    if (meshInterface->RegisterLifecycleProvider(_pluginName, _subsystemId, &provider) !=
        kUnitySubsystemErrorCodeSuccess) {
        context->Log(kXRTraceLevelError, "Kelbrin::RegisterLifecycleProvider failed");
        return false;
    }
    return true;
}

// --- OpenXR interception -----------------------------------------------------------------

// Neither hook needs a live context to pass through: the chain is the library's.
XRAPI_ATTR XrResult XRAPI_CALL InterceptedXrGetInstanceProcAddr(XrInstance instance, const char* name,
                                                                PFN_xrVoidFunction* function) noexcept
{
    const XrResult result = chainedFunctions.GetInstanceProcAddr(instance, name, function);
    // Only a runtime function that was found is put behind the interceptor.
    if (XR_SUCCEEDED(result) && name != nullptr && function != nullptr && *function != nullptr &&
        std::strcmp(name, "xrWaitFrame") == 0) {
        chainedFunctions.waitFrame.store(reinterpret_cast<PFN_xrWaitFrame>(*function), std::memory_order_release);
        *function = reinterpret_cast<PFN_xrVoidFunction>(&InterceptedXrWaitFrame);
    }
    return result;
}

XRAPI_ATTR XrResult XRAPI_CALL InterceptedXrWaitFrame(XrSession session, const XrFrameWaitInfo* info,
                                                      XrFrameState* state) noexcept
{
    // The runtime's wait may block for a frame or more: no pin is held across it, so an unload
    // on another thread never waits behind it.
    const XrResult result = chainedFunctions.WaitFrame(session, info, state);
    // A failed wait leaves the frame state undefined; the last good prediction stays.
    if (XR_SUCCEEDED(result) && state != nullptr) {
        const ContextSlot::Pin pin(_providerContext);
        if (ProviderContext* context = pin.get()) {
            context->xrBindings->SetPredictedDisplayTime(state->predictedDisplayTime);
        }
    }
    return result;
}

// --- Meshing lifecycle -------------------------------------------------------------------

UnitySubsystemErrorCode UNITY_INTERFACE_API LifecycleHandlerInit(UnitySubsystemHandle handle, void* userData) noexcept
{
    ProviderContext* context = LiveContext(userData);
    IUnityXRMeshInterface* meshInterface = context != nullptr ? MeshInterfaceOf(*context) : nullptr;
    if (meshInterface == nullptr) {
        return kUnitySubsystemErrorCodeFailure;
    }
    UnityXRMeshProvider provider{};
    provider.userData = userData;
    provider.GetMeshInfos = &GetMeshInfos;
    provider.AcquireMesh = &AcquireMesh;
    provider.ReleaseMesh = &ReleaseMesh;
    provider.SetMeshDensity = &SetMeshDensity;
    provider.SetBoundingVolume = &SetBoundingVolume;
    provider.GetUpdatedTransforms = &GetUpdatedTransforms;
    if (meshInterface->RegisterMeshProvider(handle, &provider) != kUnitySubsystemErrorCodeSuccess) {
        context->Log(kXRTraceLevelError, "Kelbrin::RegisterMeshProvider failed");
        return kUnitySubsystemErrorCodeFailure;
    }
    return kUnitySubsystemErrorCodeSuccess;
}

UnitySubsystemErrorCode UNITY_INTERFACE_API LifecycleHandlerStart(UnitySubsystemHandle, void* userData) noexcept
{
    Guarded("LifecycleHandlerStart", [&] {
        RegisterProviderWithSceneObserver_Internal(LiveContext(userData), _subsystemId,
                                                   ComputeCycle::FeatureVisualMesh);
    });
    return kUnitySubsystemErrorCodeSuccess;
}

void UNITY_INTERFACE_API LifecycleHandlerStop(UnitySubsystemHandle, void* userData) noexcept
{
    Guarded("LifecycleHandlerStop",
            [&] { UnregisterProviderWithSceneObserver_Internal(LiveContext(userData), _subsystemId); });
}

void UNITY_INTERFACE_API LifecycleHandlerShutdown(UnitySubsystemHandle, void* userData) noexcept
{
    Guarded("LifecycleHandlerShutdown",
            [&] { UnregisterProviderWithSceneObserver_Internal(LiveContext(userData), _subsystemId); });
}

// --- Mesh provider -----------------------------------------------------------------------

// The meshing subsystem's own update is what advances the compute cycle while it drives.
UnitySubsystemErrorCode UNITY_INTERFACE_API GetMeshInfos(UnitySubsystemHandle, void* userData,
                                                         UnityXRMeshInfoAllocator* allocator) noexcept
{
    return ObserverCallback("GetMeshInfos", userData, [&](ProviderContext&, SceneObserver& observer) {
        return observer.StepAndListMeshes(_subsystemId, allocator);
    });
}

UnitySubsystemErrorCode UNITY_INTERFACE_API AcquireMesh(UnitySubsystemHandle, void* userData, const UnityXRMeshId* id,
                                                        UnityXRMeshDataAllocator* allocator) noexcept
{
    return ObserverCallback("AcquireMesh", userData, [&](ProviderContext& context, SceneObserver& observer) {
        return IsMeshId(context, id) ? observer.AcquireByMeshId(id, allocator) : kUnitySubsystemErrorCodeFailure;
    });
}

UnitySubsystemErrorCode UNITY_INTERFACE_API ReleaseMesh(UnitySubsystemHandle, void* userData, const UnityXRMeshId* id,
                                                        const UnityXRMeshDescriptor* mesh, void* pluginData) noexcept
{
    return ObserverCallback("ReleaseMesh", userData, [&](ProviderContext& context, SceneObserver& observer) {
        return IsMeshId(context, id) ? observer.ReleaseMesh(id, mesh, pluginData) : kUnitySubsystemErrorCodeFailure;
    });
}

UnitySubsystemErrorCode UNITY_INTERFACE_API SetMeshDensity(UnitySubsystemHandle, void* userData, float density) noexcept
{
    return ObserverCallback("SetMeshDensity", userData, [&](ProviderContext&, SceneObserver& observer) {
        return observer.SetMeshDensity(density);
    });
}

UnitySubsystemErrorCode UNITY_INTERFACE_API SetBoundingVolume(UnitySubsystemHandle, void* userData,
                                                              const UnityXRBoundingVolume* volume) noexcept
{
    return ObserverCallback("SetBoundingVolume", userData, [&](ProviderContext&, SceneObserver& observer) {
        return observer.SetBoundingVolume(volume);
    });
}

UnitySubsystemErrorCode UNITY_INTERFACE_API GetUpdatedTransforms(UnitySubsystemHandle, void* userData,
                                                                 UnityXRMeshTransformList* transforms) noexcept
{
    return ObserverCallback("GetUpdatedTransforms", userData, [&](ProviderContext&, SceneObserver& observer) {
        return observer.GetUpdatedTransforms(transforms);
    });
}

} // namespace kelbrin

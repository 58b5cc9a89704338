#include "XrBindings.h"

namespace {
// Handles cross the exported API as 64-bit integers; OpenXR declares them as pointers on
// 64-bit targets and as integers elsewhere.
template <typename Handle> Handle ToHandle(uint64_t value)
{
    return (Handle)(value);
}

template <typename Function, typename... Args> XrResult CallIfFound(Function function, Args... args)
{
    return function != nullptr ? function(args...) : XR_ERROR_FUNCTION_UNSUPPORTED;
}

// A failed lookup leaves null, whatever the lookup function wrote.
template <typename Function> Function LookUp(PFN_xrGetInstanceProcAddr lookup, XrInstance instance, const char* name)
{
    PFN_xrVoidFunction function = nullptr;
    if (lookup(instance, name, &function) != XR_SUCCESS) {
        return nullptr;
    }
    return reinterpret_cast<Function>(function);
}
} // namespace

XrSpace XrBindings::GetSpace() const
{
    return ToHandle<XrSpace>(space.load(std::memory_order_relaxed));
}

void XrBindings::BindGetInstanceProcAddr(PFN_xrGetInstanceProcAddr function)
{
    PFN_xrGetInstanceProcAddr unbound = nullptr;
    getInstanceProcAddr.compare_exchange_strong(unbound, function, std::memory_order_acq_rel);
}

bool XrBindings::HookFunctions()
{
    const uint64_t wanted = instance.load(std::memory_order_relaxed);
    if (wanted == 0 || wanted == hookedInstance) {
        return false;
    }
    const PFN_xrGetInstanceProcAddr lookup = getInstanceProcAddr.load(std::memory_order_acquire);
    if (lookup == nullptr) {
        return false;
    }
    const bool replacing = hookedInstance != 0;
    sceneObserver = XR_NULL_HANDLE;
    currentScene = XR_NULL_HANDLE;
    const auto lookupInstance = ToHandle<XrInstance>(wanted);
#define KELBRIN_LOOK_UP(name) name = LookUp<PFN_##name>(lookup, lookupInstance, #name);
    KELBRIN_SCENE_FUNCTIONS(KELBRIN_LOOK_UP)
#undef KELBRIN_LOOK_UP
    hookedInstance = wanted;
    return replacing;
}

XrResult XrBindings::CreateXrSceneObserver(const XrSceneObserverCreateInfoMSFT* info)
{
    return CallIfFound(xrCreateSceneObserverMSFT, ToHandle<XrSession>(session.load(std::memory_order_relaxed)), info,
                       &sceneObserver);
}

XrResult XrBindings::DestroyXrSceneObserver()
{
    const XrResult result = CallIfFound(xrDestroySceneObserverMSFT, sceneObserver);
    sceneObserver = XR_NULL_HANDLE;
    return result;
}

XrResult XrBindings::ComputeNewScene(const XrNewSceneComputeInfoMSFT* info)
{
    return CallIfFound(xrComputeNewSceneMSFT, sceneObserver, info);
}

XrResult XrBindings::GetSceneComputeState(XrSceneComputeStateMSFT* state)
{
    return CallIfFound(xrGetSceneComputeStateMSFT, sceneObserver, state);
}

XrResult XrBindings::CreateSceneAsCurrent(const XrSceneCreateInfoMSFT* info)
{
    return CallIfFound(xrCreateSceneMSFT, sceneObserver, info, &currentScene);
}

XrResult XrBindings::DestroyCurrentScene()
{
    const XrResult result = CallIfFound(xrDestroySceneMSFT, currentScene);
    currentScene = XR_NULL_HANDLE;
    return result;
}

XrResult XrBindings::GetSceneComponents(const XrSceneComponentsGetInfoMSFT* info, XrSceneComponentsMSFT* components)
{
    return CallIfFound(xrGetSceneComponentsMSFT, currentScene, info, components);
}

XrResult XrBindings::LocateSceneComponents(const XrSceneComponentsLocateInfoMSFT* info,
                                           XrSceneComponentLocationsMSFT* locations)
{
    return CallIfFound(xrLocateSceneComponentsMSFT, currentScene, info, locations);
}

XrResult XrBindings::GetSceneMeshBuffers(const XrSceneMeshBuffersGetInfoMSFT* info, XrSceneMeshBuffersMSFT* buffers)
{
    return CallIfFound(xrGetSceneMeshBuffersMSFT, currentScene, info, buffers);
}

XrResult XrBindings::WaitFrame(XrSession frameSession, const XrFrameWaitInfo* info, XrFrameState* state)
{
    return CallIfFound(waitFrame.load(std::memory_order_acquire), frameSession, info, state);
}

XrResult XrBindings::GetInstanceProcAddr(XrInstance lookupInstance, const char* name, PFN_xrVoidFunction* function)
{
    const PFN_xrGetInstanceProcAddr lookup = getInstanceProcAddr.load(std::memory_order_acquire);
    if (lookup == nullptr && function != nullptr) {
        *function = nullptr;
    }
    return CallIfFound(lookup, lookupInstance, name, function);
}

#include "XrBindings.h"

#include "XrFunctions.h"

namespace kelbrin {

XrSpace XrBindings::GetSpace() const
{
    return HandleFromValue<XrSpace>(space.load(std::memory_order_relaxed));
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
    const auto lookupInstance = HandleFromValue<XrInstance>(wanted);
#define KELBRIN_LOOK_UP(name) name = LookUpXrFunction<PFN_##name>(lookup, lookupInstance, #name);
    KELBRIN_SCENE_FUNCTIONS(KELBRIN_LOOK_UP)
#undef KELBRIN_LOOK_UP
    hookedInstance = wanted;
    return replacing;
}

XrResult XrBindings::CreateXrSceneObserver(const XrSceneObserverCreateInfoMSFT* info)
{
    return CallXrFunction(xrCreateSceneObserverMSFT,
                          HandleFromValue<XrSession>(session.load(std::memory_order_relaxed)), info, &sceneObserver);
}

XrResult XrBindings::DestroyXrSceneObserver()
{
    const XrResult result = CallXrFunction(xrDestroySceneObserverMSFT, sceneObserver);
    sceneObserver = XR_NULL_HANDLE;
    return result;
}

XrResult XrBindings::ComputeNewScene(const XrNewSceneComputeInfoMSFT* info)
{
    return CallXrFunction(xrComputeNewSceneMSFT, sceneObserver, info);
}

XrResult XrBindings::GetSceneComputeState(XrSceneComputeStateMSFT* state)
{
    return CallXrFunction(xrGetSceneComputeStateMSFT, sceneObserver, state);
}

XrResult XrBindings::CreateSceneAsCurrent(const XrSceneCreateInfoMSFT* info)
{
    return CallXrFunction(xrCreateSceneMSFT, sceneObserver, info, &currentScene);
}

XrResult XrBindings::DestroyCurrentScene()
{
    const XrResult result = CallXrFunction(xrDestroySceneMSFT, currentScene);
    currentScene = XR_NULL_HANDLE;
    return result;
}

XrResult XrBindings::GetSceneComponents(const XrSceneComponentsGetInfoMSFT* info, XrSceneComponentsMSFT* components)
{
    return CallXrFunction(xrGetSceneComponentsMSFT, currentScene, info, components);
}

XrResult XrBindings::LocateSceneComponents(const XrSceneComponentsLocateInfoMSFT* info,
                                           XrSceneComponentLocationsMSFT* locations)
{
    return CallXrFunction(xrLocateSceneComponentsMSFT, currentScene, info, locations);
}

XrResult XrBindings::GetSceneMeshBuffers(const XrSceneMeshBuffersGetInfoMSFT* info, XrSceneMeshBuffersMSFT* buffers)
{
    return CallXrFunction(xrGetSceneMeshBuffersMSFT, currentScene, info, buffers);
}

XrResult XrBindings::WaitFrame(XrSession frameSession, const XrFrameWaitInfo* info, XrFrameState* state)
{
    return CallXrFunction(waitFrame.load(std::memory_order_acquire), frameSession, info, state);
}

XrResult XrBindings::GetInstanceProcAddr(XrInstance lookupInstance, const char* name, PFN_xrVoidFunction* function)
{
    const PFN_xrGetInstanceProcAddr lookup = getInstanceProcAddr.load(std::memory_order_acquire);
    if (lookup == nullptr && function != nullptr) {
        *function = nullptr;
    }
    return CallXrFunction(lookup, lookupInstance, name, function);
}

} // namespace kelbrin

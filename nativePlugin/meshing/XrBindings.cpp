#include "XrBindings.h"

#include "XrFunctions.h"

namespace kelbrin {

XrSpace XrBindings::GetSpace() const
{
    return HandleFromValue<XrSpace>(space.load(std::memory_order_relaxed));
}

void XrBindings::BindGetInstanceProcAddr(PFN_xrGetInstanceProcAddr function)
{
    if (!lookupBound) {
        chain.getInstanceProcAddr.store(function, std::memory_order_release);
        lookupBound = true;
    }
}

bool XrBindings::HookFunctions()
{
    const uint64_t wanted = instance.load(std::memory_order_relaxed);
    if (wanted == 0 || wanted == hookedInstance) {
        return false;
    }
    const PFN_xrGetInstanceProcAddr lookup = chain.getInstanceProcAddr.load(std::memory_order_acquire);
    if (lookup == nullptr) {
        return false;
    }
    const bool replacing = hookedInstance != 0;
    ForgetSceneObjects();
    const auto lookupInstance = HandleFromValue<XrInstance>(wanted);
#define KELBRIN_LOOK_UP(name) name = LookUpXrFunction<PFN_##name>(lookup, lookupInstance, #name);
    KELBRIN_SCENE_FUNCTIONS(KELBRIN_LOOK_UP)
#undef KELBRIN_LOOK_UP
    hookedInstance = wanted;
    return replacing;
}

XrResult XrBindings::NoteLoss(XrResult result, bool onObserver, bool onlyHandle)
{
    const bool lost = result == XR_ERROR_SESSION_LOST || (result == XR_ERROR_HANDLE_INVALID && onlyHandle);
    if (lost) {
        // The scene goes with its observer.
        sceneLost.store(result);
    }
    if (lost && (onObserver || result == XR_ERROR_SESSION_LOST)) {
        sceneObserverLost.store(result);
    }
    return result;
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
    // The request's bounds name the base space too.
    return NoteLoss(CallXrFunction(xrComputeNewSceneMSFT, sceneObserver, info), true, false);
}

XrResult XrBindings::GetSceneComputeState(XrSceneComputeStateMSFT* state)
{
    return NoteLoss(CallXrFunction(xrGetSceneComputeStateMSFT, sceneObserver, state), true);
}

XrResult XrBindings::CreateSceneAsCurrent(const XrSceneCreateInfoMSFT* info)
{
    return NoteLoss(CallXrFunction(xrCreateSceneMSFT, sceneObserver, info, &currentScene), true);
}

XrResult XrBindings::DestroyCurrentScene()
{
    const XrResult result = CallXrFunction(xrDestroySceneMSFT, currentScene);
    currentScene = XR_NULL_HANDLE;
    return result;
}

XrResult XrBindings::GetSceneComponents(const XrSceneComponentsGetInfoMSFT* info, XrSceneComponentsMSFT* components)
{
    return NoteLoss(CallXrFunction(xrGetSceneComponentsMSFT, currentScene, info, components), false);
}

XrResult XrBindings::LocateSceneComponents(const XrSceneComponentsLocateInfoMSFT* info,
                                           XrSceneComponentLocationsMSFT* locations)
{
    // The request names the base space too.
    return NoteLoss(CallXrFunction(xrLocateSceneComponentsMSFT, currentScene, info, locations), false, false);
}

XrResult XrBindings::GetSceneMeshBuffers(const XrSceneMeshBuffersGetInfoMSFT* info, XrSceneMeshBuffersMSFT* buffers)
{
    return NoteLoss(CallXrFunction(xrGetSceneMeshBuffersMSFT, currentScene, info, buffers), false);
}

XrResult XrBindings::WaitFrame(XrSession frameSession, const XrFrameWaitInfo* info, XrFrameState* state)
{
    return chain.WaitFrame(frameSession, info, state);
}

XrResult XrBindings::GetInstanceProcAddr(XrInstance lookupInstance, const char* name, PFN_xrVoidFunction* function)
{
    return chain.GetInstanceProcAddr(lookupInstance, name, function);
}

} // namespace kelbrin

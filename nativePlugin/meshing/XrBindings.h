// The OpenXR side of the library: the handles scripts pass in, the scene objects
// the library creates, the scene-understanding functions it looks up, and a thin
// wrapper for every call it makes.
#pragma once

#include <openxr/openxr.h>

#include <atomic>
#include <cstdint>

#include "ChainedFunctions.h"

namespace kelbrin {

// The scene-understanding functions, in the order they are looked up.
#define KELBRIN_SCENE_FUNCTIONS(X)                                                                                     \
    X(xrCreateSceneObserverMSFT)                                                                                       \
    X(xrDestroySceneObserverMSFT)                                                                                      \
    X(xrComputeNewSceneMSFT)                                                                                           \
    X(xrGetSceneComputeStateMSFT)                                                                                      \
    X(xrCreateSceneMSFT)                                                                                               \
    X(xrDestroySceneMSFT)                                                                                              \
    X(xrGetSceneComponentsMSFT)                                                                                        \
    X(xrLocateSceneComponentsMSFT)                                                                                     \
    X(xrGetSceneMeshBuffersMSFT)

class XrBindings {
public:
    // The chain is the library's and outlives the bindings.
    explicit XrBindings(ChainedFunctions& chain) : chain(chain) {}
    XrBindings(const XrBindings&) = delete;
    XrBindings& operator=(const XrBindings&) = delete;

    // Set by scripts, read by whichever thread calls the runtime.
    void SetInstanceHandle(uint64_t handle) { instance.store(handle, std::memory_order_relaxed); }
    // Answers the session stored before.
    uint64_t ExchangeSessionHandle(uint64_t handle) { return session.exchange(handle, std::memory_order_relaxed); }
    void SetSpaceHandle(uint64_t handle) { space.store(handle, std::memory_order_relaxed); }
    // Written on the application's frame thread, read on others.
    void SetPredictedDisplayTime(XrTime time) { predictedDisplayTime.store(time, std::memory_order_relaxed); }
    XrTime GetPredictedDisplayTime() const { return predictedDisplayTime.load(std::memory_order_relaxed); }
    XrSpace GetSpace() const;

    // The first lookup function bound to these bindings stays in use; it replaces one an earlier
    // load bound, which the hooks used until then.
    void BindGetInstanceProcAddr(PFN_xrGetInstanceProcAddr function);
    // The runtime's xrWaitFrame, replacing any earlier one.
    void BindWaitFrame(PFN_xrWaitFrame function) { chain.waitFrame.store(function, std::memory_order_release); }

    bool IsOpenXrReady() const { return instance.load(std::memory_order_relaxed) != 0; }
    bool HasXrSceneObserver() const { return sceneObserver != XR_NULL_HANDLE; }
    bool HasCurrentScene() const { return currentScene != XR_NULL_HANDLE; }

    // Looks the scene-understanding functions up for the stored instance when the table was
    // not filled for it: not for instance 0, and not again for the same instance. Without a bound
    // lookup function nothing is looked up, so a later call can still do it. Filling the table
    // for another instance first forgets the scene and scene observer of the old one without a
    // call: its functions may have gone with it. True when it replaced an earlier table.
    bool HookFunctions();
    // Whether a scene object could be made but never destroyed: its destroy function is missing,
    // so creating one would leave it on the runtime for good.
    bool SceneObserverWouldLeak() const
    {
        return xrCreateSceneObserverMSFT != nullptr && xrDestroySceneObserverMSFT == nullptr;
    }
    bool SceneWouldLeak() const { return xrCreateSceneMSFT != nullptr && xrDestroySceneMSFT == nullptr; }

    // Forget the scene, or both objects, without a call: they died with their session or instance.
    void ForgetScene() { currentScene = XR_NULL_HANDLE; }
    void ForgetSceneObjects()
    {
        sceneObserver = XR_NULL_HANDLE;
        ForgetScene();
    }
    // What calls on the scene objects reported gone since the last time this was asked: the
    // result that said so for each (XR_SUCCESS while it lives). XR_ERROR_SESSION_LOST takes both;
    // XR_ERROR_HANDLE_INVALID the object called, and the scene with its observer, but only from a
    // call that takes no other handle (a compute or a locate may mean its base space).
    struct LostSceneObjects {
        XrResult sceneObserver;
        XrResult scene;
    };
    LostSceneObjects TakeLostSceneObjects()
    {
        return {sceneObserverLost.exchange(XR_SUCCESS), sceneLost.exchange(XR_SUCCESS)};
    }

    // Each wrapper returns the runtime's result, or XR_ERROR_FUNCTION_UNSUPPORTED without a
    // call when the function was not found.
    XrResult CreateXrSceneObserver(const XrSceneObserverCreateInfoMSFT* info);
    // The handle is forgotten whatever the runtime answers.
    XrResult DestroyXrSceneObserver();
    XrResult ComputeNewScene(const XrNewSceneComputeInfoMSFT* info);
    XrResult GetSceneComputeState(XrSceneComputeStateMSFT* state);
    XrResult CreateSceneAsCurrent(const XrSceneCreateInfoMSFT* info);
    // The handle is forgotten whatever the runtime answers.
    XrResult DestroyCurrentScene();
    XrResult GetSceneComponents(const XrSceneComponentsGetInfoMSFT* info, XrSceneComponentsMSFT* components);
    XrResult LocateSceneComponents(const XrSceneComponentsLocateInfoMSFT* info,
                                   XrSceneComponentLocationsMSFT* locations);
    XrResult GetSceneMeshBuffers(const XrSceneMeshBuffersGetInfoMSFT* info, XrSceneMeshBuffersMSFT* buffers);
    XrResult WaitFrame(XrSession frameSession, const XrFrameWaitInfo* info, XrFrameState* state);
    // A failed lookup leaves null in the output, as the loader's does.
    XrResult GetInstanceProcAddr(XrInstance lookupInstance, const char* name, PFN_xrVoidFunction* function);

private:
    // Notes a result that says the scene objects are gone; from any thread, acquisitions included.
    // `onObserver`: the call was made on the scene observer; `onlyHandle`: it takes no other handle.
    XrResult NoteLoss(XrResult result, bool onObserver, bool onlyHandle = true);

    std::atomic<uint64_t> instance{0};
    std::atomic<uint64_t> session{0};
    std::atomic<uint64_t> space{0};
    std::atomic<XrTime> predictedDisplayTime{0};
    XrSceneObserverMSFT sceneObserver = XR_NULL_HANDLE;
    XrSceneMSFT currentScene = XR_NULL_HANDLE;
#define KELBRIN_DECLARE_FUNCTION(name) PFN_##name name = nullptr;
    KELBRIN_SCENE_FUNCTIONS(KELBRIN_DECLARE_FUNCTION)
#undef KELBRIN_DECLARE_FUNCTION
    std::atomic<XrResult> sceneObserverLost{XR_SUCCESS};
    std::atomic<XrResult> sceneLost{XR_SUCCESS};
    ChainedFunctions& chain;
    // Whether these bindings have bound a lookup function yet; on the main thread.
    bool lookupBound = false;
    // The instance the table was filled for; 0 while it is unfilled.
    uint64_t hookedInstance = 0;
};

} // namespace kelbrin

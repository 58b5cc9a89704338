// The state the whole composition-layer plug-in shares, and the helpers every entry point uses:
// logging through the engine's trace interface and the exception firewall at each C boundary.
#pragma once

#include <openxr/openxr.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "CompositionLayerProvider.h"
#include "EntryGuard.h"
#include "ProviderLock.h"
#include "TraceLog.h"
#include "UnityGraphics.h"
#include "XrFunctions.h"

// The OpenXR functions whose lookups are replaced by hooks, in the order names are compared.
#define SKELDER_HOOKED_FUNCTIONS(X)                                                                                    \
    X(xrWaitFrame)                                                                                                     \
    X(xrBeginFrame)                                                                                                    \
    X(xrEndFrame)                                                                                                      \
    X(xrEnumerateEnvironmentBlendModes)                                                                                \
    X(xrEnumerateInstanceExtensionProperties)                                                                          \
    X(xrCreateInstance)                                                                                                \
    X(xrCreateSwapchain)

// The foveation functions, resolved in this order on first use for an instance, with the member
// caching each.
#define SKELDER_FOVEATION_FUNCTIONS(X)                                                                                 \
    X(xrUpdateSwapchainFB, updateSwapchainFn)                                                                          \
    X(xrCreateFoveationProfileFB, createFoveationProfileFn)                                                            \
    X(xrDestroyFoveationProfileFB, destroyFoveationProfileFn)

namespace Skelder {

using FrameStateCallback = void(UNITY_INTERFACE_API*)(XrFrameState* frameState);
using CreateSwapchainCallback = void(UNITY_INTERFACE_API*)(uint64_t swapchain);

// For each hooked name, the function the application's lookup produced for it.
struct NextFunctions {
#define SKELDER_DECLARE_NEXT(name) std::atomic<PFN_##name> name{nullptr};
    SKELDER_HOOKED_FUNCTIONS(SKELDER_DECLARE_NEXT)
#undef SKELDER_DECLARE_NEXT
};

// Hooks run on the application's OpenXR threads and exports on the scripts' thread: values that
// cross are atomic, and the provider with its layers is reached only under providerLock.
struct ModuleState {
    ModuleState() = default;
    // Finds a provider only when the process ends without UnityPluginUnload. The engine and the
    // runtime may be gone by then, so its layers are not destroyed through them: the provider is
    // left for the end of the process to reclaim.
    ~ModuleState();
    ModuleState(const ModuleState&) = delete;
    ModuleState& operator=(const ModuleState&) = delete;

    std::atomic<IUnityXRTrace*> trace{nullptr};
    std::atomic<IUnityGraphics*> graphics{nullptr};
    std::atomic<PFN_xrGetInstanceProcAddr> nextGetInstanceProcAddr{nullptr};
    std::atomic<bool> frameInProgress{false};
    std::atomic<bool> compositionLayersEnabled{false};
    std::atomic<bool> passthroughSupported{false};
    std::atomic<bool> fusionSupported{false};
    std::atomic<bool> foveationEnabled{false};
    std::atomic<FrameStateCallback> frameStateCallback{nullptr};
    std::atomic<CreateSwapchainCallback> createSwapchainCallback{nullptr};
    std::atomic<uint64_t> lastCreatedSwapchain{0};
    NextFunctions next;
    // The runtime's xrWaitSwapchainImage as the layers' lookup found it (see LayerGetInstanceProcAddr).
    std::atomic<PFN_xrWaitSwapchainImage> layerWaitSwapchainImage{nullptr};
#define SKELDER_DECLARE_CACHED(name, member) std::atomic<PFN_##name> member{nullptr};
    SKELDER_FOVEATION_FUNCTIONS(SKELDER_DECLARE_CACHED)
#undef SKELDER_DECLARE_CACHED
    // The instance the cached foveation functions belong to: another instance looks them up anew.
    std::atomic<uint64_t> foveationInstance{0};

    // Guarded by apiLayerMutex. A deque never moves its strings when it grows, so the pointers
    // of presentApiLayers stay valid: names are never removed.
    std::mutex apiLayerMutex;
    std::deque<std::string> requestedApiLayers;
    std::vector<const char*> presentApiLayers;

    // Guarded by providerLock: the provider and its layers, and the end-frame hook's arrays, whose
    // storage is kept from frame to frame.
    ProviderLock providerLock;
    std::unique_ptr<CompositionLayerProvider> provider;
    std::vector<XrCompositionLayerProjection> projectionLayerCopies;
    std::vector<XrCompositionLayerBaseHeader*> visibleLayers;
    std::vector<const XrCompositionLayerBaseHeader*> mergedLayers;
};

ModuleState& State();
// Back to the state of a freshly loaded library. The engine never needs it (a loaded library
// starts so); tests that link the plug-in's objects into one process use it between cases.
void ResetModuleState();

template <typename... Args> void Log(UnityXRTraceLevel level, const char* format, Args... args)
{
    TraceLog(State().trace.load(), level, format, args...);
}

// Logs an exception that reached a C boundary; never throws.
void LogException(const char* function, const std::exception* error) noexcept;

// Runs an entry point's body; an exception becomes a logged failure and `failure`.
template <typename Result, typename Body> Result Guarded(const char* function, Result failure, Body&& body) noexcept
{
    return GuardedCall([function](const std::exception* error) { LogException(function, error); }, failure, body);
}

// The same for entry points whose failure value is their zero value (nothing, false, 0, null).
template <typename Body> auto Guarded(const char* function, Body&& body) noexcept -> decltype(body())
{
    return GuardedCall([function](const std::exception* error) { LogException(function, error); }, body);
}

} // namespace Skelder

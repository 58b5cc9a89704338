// Module state, engine callbacks and exports of the camera frame plug-in.
//
// Mutex and shutdown: the module mutex is one object for the life of the module; it is never
// destroyed, so a device shutdown cannot destroy it while a script holds it, and LockMutex and
// UnlockMutex always pair on the same object whatever device events come between them. Render
// events read the renderer under it, and device events replace or destroy the renderer under it,
// so a shutdown waits for a script that holds the lock to unlock. The thread that delivers device
// events must therefore not hold the lock itself when the device goes down.
#include "WendrathPlugin.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "EntryGuard.h"
#include "FrameRenderer.h"
#include "RenderHwBuffersEventArgs.h"
#include "TraceLog.h"
#include "UnityXRTrace.h"

namespace wendrath {
namespace {

// Everything the module keeps between calls, constant-initialised, so it is ready before any entry runs.
struct ModuleState {
    IUnityXRTrace* trace = nullptr;
    IUnityGraphics* graphics = nullptr;
    // Owned, but not by a unique_ptr: with no unload entry its destructor would run at process exit
    // and make GL calls without the engine's context.
    FrameRenderer* frameRenderer = nullptr;
    std::mutex mutex;
    // The script thread that holds the mutex through LockMutex; none while no script holds it.
    // Written only by that thread while it holds the mutex, read by any script thread.
    std::atomic<std::thread::id> scriptOwner{};
};

ModuleState _state;

// Engine callbacks and exports are C boundaries: an exception becomes a logged failure.
template <typename Body> void Guarded(const char* function, Body&& body) noexcept
{
    GuardedCall(
        [function](const std::exception* error) {
            TraceLog(_state.trace, kXRTraceLevelError, "Wendrath: %s - %s", function, ExceptionReason(error));
        },
        body);
}

void DestroyFrameRenderer()
{
    std::lock_guard<std::mutex> lock(_state.mutex);
    delete _state.frameRenderer;
    _state.frameRenderer = nullptr;
}

void CreateFrameRenderer(GraphicsAPI api)
{
    // A second initialisation without a shutdown must not lose the first renderer.
    DestroyFrameRenderer();
    std::unique_ptr<FrameRenderer> renderer = FrameRenderer::Create(api, _state.trace);
    std::lock_guard<std::mutex> lock(_state.mutex);
    _state.frameRenderer = renderer.release();
}

void RenderHwBuffers_Internal(const RenderHwBuffersEventArgs& args)
{
    std::lock_guard<std::mutex> lock(_state.mutex);
    if (_state.frameRenderer != nullptr) {
        _state.frameRenderer->RenderHwBuffers(args);
    }
}

void UNITY_INTERFACE_API OnRenderEvent(int eventId, void* data)
{
    Guarded("OnRenderEvent", [&] {
        if (eventId != kRenderHwBuffersEventId) {
            TraceLog(_state.trace, kXRTraceLevelNotice, "Wendrath: OnRenderEvent: Unknown event(%d, %d)", eventId,
                     static_cast<int>(reinterpret_cast<intptr_t>(data)));
            return;
        }
        if (data == nullptr) {
            return;
        }
        // Copied at once: script memory, of any alignment.
        RenderHwBuffersEventArgs args;
        std::memcpy(&args, data, sizeof(args));
        // Refused before any texture is made for it or any array entry read: a count this large
        // is a script's mistake, and the arrays behind it are not that long.
        if (args.bufferCount > kMaxRenderHwBuffers) {
            TraceLog(_state.trace, kXRTraceLevelError,
                     "Wendrath: OnRenderEvent: bufferCount %d is more than the %d buffers a render event may carry; "
                     "event refused",
                     args.bufferCount, kMaxRenderHwBuffers);
            return;
        }
        RenderHwBuffers_Internal(args);
    });
}

void UNITY_INTERFACE_API OnGraphicsDeviceEvent(UnityGfxDeviceEventType type)
{
    Guarded("OnGraphicsDeviceEvent", [&] {
        if (type == kUnityGfxDeviceEventInitialize) {
            const auto renderer = _state.graphics->GetRenderer();
            if (renderer == kUnityGfxRendererVulkan) {
                CreateFrameRenderer(GraphicsAPI::Vulkan);
            } else if (renderer == kUnityGfxRendererOpenGLES30) {
                CreateFrameRenderer(GraphicsAPI::OpenGLES);
            } else {
                // A renderer of an earlier device is of no use to this one.
                DestroyFrameRenderer();
            }
        } else if (type == kUnityGfxDeviceEventShutdown) {
            DestroyFrameRenderer();
        }
    });
}

} // namespace
} // namespace wendrath

using namespace wendrath;

extern "C" {

UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API UnityPluginLoad(IUnityInterfaces* interfaces) noexcept
{
    Guarded("UnityPluginLoad", [&] {
        if (interfaces == nullptr) {
            return;
        }
        _state.trace = interfaces->Get<IUnityXRTrace>();
        _state.graphics = interfaces->Get<IUnityGraphics>();
        if (_state.graphics != nullptr) {
            // A second load without unload (the editor reloads plug-ins) must not register the
            // callback twice, or every device event would create or destroy the renderer twice.
            _state.graphics->UnregisterDeviceEventCallback(&OnGraphicsDeviceEvent);
            _state.graphics->RegisterDeviceEventCallback(&OnGraphicsDeviceEvent);
        }
    });
}

UNITY_INTERFACE_EXPORT UnityRenderingEventAndData UNITY_INTERFACE_API GetRenderEventFuncPtr() noexcept
{
    return &OnRenderEvent;
}

UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API LockMutex() noexcept
{
    Guarded("LockMutex", [] {
        _state.mutex.lock();
        _state.scriptOwner = std::this_thread::get_id();
    });
}

UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API UnlockMutex() noexcept
{
    Guarded("UnlockMutex", [] {
        // Unlocking a mutex this thread does not hold would release the render thread's hold in
        // the middle of a draw (and is undefined for the mutex).
        if (_state.scriptOwner.load() != std::this_thread::get_id()) {
            TraceLog(_state.trace, kXRTraceLevelError,
                     "Wendrath: UnlockMutex - this thread does not hold the lock; nothing unlocked");
            return;
        }
        _state.scriptOwner = std::thread::id();
        _state.mutex.unlock();
    });
}

} // extern "C"

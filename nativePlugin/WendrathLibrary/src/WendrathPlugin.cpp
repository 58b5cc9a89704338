// Module state, engine callbacks and exports of the camera frame plug-in.
//
// Mutex and shutdown: the module mutex is one object for the life of the module; it is never
// destroyed, so a device shutdown cannot destroy it while a script holds it, and LockMutex and
// UnlockMutex always pair on the same object whatever device events come between them. Render
// events read the renderer under it, and device events replace or destroy the renderer under it,
// so a shutdown waits for a script that holds the lock to unlock. The thread that delivers device
// events must therefore not hold the lock itself when the device goes down.
#include "WendrathPlugin.h"

#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>

#include "EntryGuard.h"
#include "FrameRenderer.h"
#include "RenderHwBuffersEventArgs.h"
#include "TraceLog.h"
#include "UnityXRTrace.h"

using wendrath::FrameRenderer;
using wendrath::RenderHwBuffersEventArgs;

namespace {

IUnityXRTrace* _trace = nullptr;
IUnityGraphics* _graphics = nullptr;
int32_t unityGfxRenderer = kUnityGfxRendererNull;
// Owned, but not by a unique_ptr: with no unload entry its destructor would run at process exit
// and make GL calls without the engine's context.
FrameRenderer* _frameRenderer = nullptr;
std::mutex _mutex;

// Engine callbacks and exports are C boundaries: an exception becomes a logged failure.
template <typename Body> void Guarded(const char* function, Body&& body) noexcept
{
    GuardedCall(
        [function](const std::exception* error) {
            TraceLog(_trace, kXRTraceLevelError, "Wendrath: %s - %s", function,
                     error != nullptr ? error->what() : "unknown exception");
        },
        body);
}

void DestroyFrameRenderer()
{
    std::lock_guard<std::mutex> lock(_mutex);
    delete _frameRenderer;
    _frameRenderer = nullptr;
}

void CreateFrameRenderer(GraphicsAPI api)
{
    // A second initialisation without a shutdown must not lose the first renderer.
    DestroyFrameRenderer();
    std::unique_ptr<FrameRenderer> renderer = FrameRenderer::Create(api, _trace);
    std::lock_guard<std::mutex> lock(_mutex);
    _frameRenderer = renderer.release();
}

void RenderHwBuffers_Internal(const RenderHwBuffersEventArgs& args)
{
    std::lock_guard<std::mutex> lock(_mutex);
    if (_frameRenderer != nullptr) {
        _frameRenderer->RenderHwBuffers(args);
    }
}

void UNITY_INTERFACE_API OnRenderEvent(int eventId, void* data)
{
    Guarded("OnRenderEvent", [&] {
        if (eventId != wendrath::kRenderHwBuffersEventId) {
            TraceLog(_trace, kXRTraceLevelNotice, "Wendrath: OnRenderEvent: Unknown event(%d, %d)", eventId,
                     static_cast<int>(reinterpret_cast<intptr_t>(data)));
            return;
        }
        if (data == nullptr) {
            return;
        }
        // Copied at once: script memory, of any alignment.
        RenderHwBuffersEventArgs args;
        std::memcpy(&args, data, sizeof(args));
        RenderHwBuffers_Internal(args);
    });
}

void UNITY_INTERFACE_API OnGraphicsDeviceEvent(UnityGfxDeviceEventType type)
{
    Guarded("OnGraphicsDeviceEvent", [&] {
        if (type == kUnityGfxDeviceEventInitialize) {
            unityGfxRenderer = _graphics->GetRenderer();
            if (unityGfxRenderer == kUnityGfxRendererVulkan) {
                CreateFrameRenderer(GraphicsAPI::Vulkan);
            } else if (unityGfxRenderer == kUnityGfxRendererOpenGLES30) {
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

extern "C" {

UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API UnityPluginLoad(IUnityInterfaces* interfaces)
{
    Guarded("UnityPluginLoad", [&] {
        if (interfaces == nullptr) {
            return;
        }
        _trace = interfaces->Get<IUnityXRTrace>();
        _graphics = interfaces->Get<IUnityGraphics>();
        if (_graphics != nullptr) {
            _graphics->RegisterDeviceEventCallback(&OnGraphicsDeviceEvent);
        }
    });
}

UNITY_INTERFACE_EXPORT UnityRenderingEventAndData UNITY_INTERFACE_API GetRenderEventFuncPtr()
{
    return &OnRenderEvent;
}

UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API LockMutex()
{
    Guarded("LockMutex", [] { _mutex.lock(); });
}

UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API UnlockMutex()
{
    Guarded("UnlockMutex", [] { _mutex.unlock(); });
}

} // extern "C"

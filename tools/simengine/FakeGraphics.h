// Stand-in for the engine's graphics interface: a renderer code, the device-event
// callbacks plug-ins register, and render-event id reservations.
#pragma once

#include <vector>

#include "UnityGraphics.h"

namespace quenra::engine {

class FakeGraphics {
public:
    explicit FakeGraphics(UnityGfxRenderer renderer = kUnityGfxRendererOpenGLES30);
    ~FakeGraphics();
    FakeGraphics(const FakeGraphics&) = delete;
    FakeGraphics& operator=(const FakeGraphics&) = delete;

    IUnityGraphics* Interface() { return &interface_; }

    void SetRenderer(UnityGfxRenderer renderer) { renderer_ = renderer; }
    // Delivers a device event to every registered callback, as the engine does.
    void FireDeviceEvent(UnityGfxDeviceEventType type);
    const std::vector<IUnityGraphicsDeviceEventCallback>& Callbacks() const { return callbacks_; }

private:
    static UnityGfxRenderer UNITY_INTERFACE_API GetRenderer();
    static void UNITY_INTERFACE_API RegisterDeviceEventCallback(IUnityGraphicsDeviceEventCallback callback);
    static void UNITY_INTERFACE_API UnregisterDeviceEventCallback(IUnityGraphicsDeviceEventCallback callback);
    static int UNITY_INTERFACE_API ReserveEventIDRange(int count);

    IUnityGraphics interface_{};
    UnityGfxRenderer renderer_;
    std::vector<IUnityGraphicsDeviceEventCallback> callbacks_;
    int nextEventId_ = 1000;
};

} // namespace quenra::engine

// Stand-in for the engine's graphics interface: a renderer code, the device-event
// callbacks plug-ins register, and render-event id reservations.
#pragma once

#include <vector>

#include "UnityGraphics.h"

namespace quenra::simengine {

class FakeGraphics {
public:
    explicit FakeGraphics(UnityGfxRenderer renderer = kUnityGfxRendererOpenGLES30);
    ~FakeGraphics();
    FakeGraphics(const FakeGraphics&) = delete;
    FakeGraphics& operator=(const FakeGraphics&) = delete;

    IUnityGraphics* Interface() { return &table; }

    void SetRenderer(UnityGfxRenderer renderer) { this->renderer = renderer; }
    // Delivers a device event to every registered callback, as the engine does.
    void FireDeviceEvent(UnityGfxDeviceEventType type);
    const std::vector<IUnityGraphicsDeviceEventCallback>& Callbacks() const { return callbacks; }

private:
    static UnityGfxRenderer UNITY_INTERFACE_API GetRenderer();
    static void UNITY_INTERFACE_API RegisterDeviceEventCallback(IUnityGraphicsDeviceEventCallback callback);
    static void UNITY_INTERFACE_API UnregisterDeviceEventCallback(IUnityGraphicsDeviceEventCallback callback);
    static int UNITY_INTERFACE_API ReserveEventIDRange(int count);

    IUnityGraphics table{};
    UnityGfxRenderer renderer;
    std::vector<IUnityGraphicsDeviceEventCallback> callbacks;
    int nextEventId = 1000;
};

} // namespace quenra::simengine

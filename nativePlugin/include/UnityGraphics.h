// Engine graphics interface: renderer code, device events and render events.
#pragma once

#include "UnityInterfaces.h"

enum UnityGfxRenderer : int {
    kUnityGfxRendererD3D11 = 2,
    kUnityGfxRendererNull = 4,
    kUnityGfxRendererOpenGLES20 = 8,
    kUnityGfxRendererOpenGLES30 = 11,
    kUnityGfxRendererOpenGLCore = 17,
    kUnityGfxRendererD3D12 = 18,
    kUnityGfxRendererVulkan = 21,
};

enum UnityGfxDeviceEventType : int {
    kUnityGfxDeviceEventInitialize = 0,
    kUnityGfxDeviceEventShutdown = 1,
};

typedef void(UNITY_INTERFACE_API* IUnityGraphicsDeviceEventCallback)(UnityGfxDeviceEventType eventType);

// Called by the engine on its render thread with the event id and the script's data.
typedef void(UNITY_INTERFACE_API* UnityRenderingEventAndData)(int eventId, void* data);

struct IUnityGraphics : IUnityInterface {
    static constexpr uint64_t kIdentifierHigh = 0x7cba0a9ca4ddb544ULL;
    static constexpr uint64_t kIdentifierLow = 0x8c5ad4926eb17b11ULL;

    UnityGfxRenderer(UNITY_INTERFACE_API* GetRenderer)();
    void(UNITY_INTERFACE_API* RegisterDeviceEventCallback)(IUnityGraphicsDeviceEventCallback callback);
    void(UNITY_INTERFACE_API* UnregisterDeviceEventCallback)(IUnityGraphicsDeviceEventCallback callback);
    int(UNITY_INTERFACE_API* ReserveEventIDRange)(int count);
};
static_assert(sizeof(IUnityGraphics) == 4 * sizeof(void*), "graphics interface has four operations");

// The 32 functions the engine and its scripts call. OpenXR handles cross as 64-bit integers,
// booleans as one byte (any non-zero value is true), layer ids as signed 32-bit integers.
//
// Per-layer functions (CreateCompositionLayer to SetMaxCompositionLayerCount) and
// ReserveEventIndices do nothing and return their zero value before UnityPluginLoad and after
// UnityPluginUnload; the flag, callback and API-layer functions work at any time.
#pragma once

#include <openxr/openxr.h>

#include <cstdint>

#include "SkelderModule.h"
#include "UnityInterfaces.h"

extern "C" {
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API UnityPluginLoad(IUnityInterfaces* interfaces) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API UnityPluginUnload() noexcept;

UNITY_INTERFACE_EXPORT PFN_xrGetInstanceProcAddr UNITY_INTERFACE_API
GetInterceptedInstanceProcAddr(PFN_xrGetInstanceProcAddr next) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API RequestLayers(const char* names) noexcept;

UNITY_INTERFACE_EXPORT int32_t UNITY_INTERFACE_API CreateCompositionLayer(uint64_t instance, uint64_t session,
                                                                          uint32_t width, uint32_t height,
                                                                          int32_t sortingOrder, uint32_t layerType,
                                                                          uint8_t unused) noexcept;
UNITY_INTERFACE_EXPORT uint8_t UNITY_INTERFACE_API DestroyCompositionLayer(int32_t layerId) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API DestroyCompositionLayersInSession(uint64_t session) noexcept;
UNITY_INTERFACE_EXPORT void* UNITY_INTERFACE_API AcquireSwapchainImageForLayer(int32_t layerId) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API ReleaseSwapchainImageForLayer(int32_t layerId) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SendToSwapchain(int32_t layerId, void* texture, uint32_t first,
                                                                uint32_t second) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetLayerVisible(int32_t layerId, uint8_t visible) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetSortingOrderForLayer(int32_t layerId, int32_t sortingOrder) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetPositionForLayer(int32_t layerId, float x, float y,
                                                                    float z) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetOrientationForLayer(int32_t layerId, float x, float y, float z,
                                                                       float w) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetSizeForQuadLayer(int32_t layerId, float width,
                                                                    float height) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetRadiusForCylinderLayer(int32_t layerId, float radius) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetCentralAngleForCylinderLayer(int32_t layerId, float angle) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetRadiusForEquirectLayer(int32_t layerId, float radius) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetCentralHorizontalAngleForEquirectLayer(int32_t layerId,
                                                                                          float angle) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetUpperVerticalAngleForEquirectLayer(int32_t layerId,
                                                                                      float angle) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetLowerVerticalAngleForEquirectLayer(int32_t layerId,
                                                                                      float angle) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetMaxCompositionLayerCount(uint32_t count) noexcept;

UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetCompositionLayerFeatureEnabled(uint8_t enabled) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetEnableFoveation(uint8_t enabled) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetFoveationLevel(uint64_t instance, uint64_t session,
                                                                  int32_t level) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetFusionSupported(uint8_t supported) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetFrameStateCallback(Skelder::FrameStateCallback callback) noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API
SetCreateSwapchainCallback(Skelder::CreateSwapchainCallback callback) noexcept;
UNITY_INTERFACE_EXPORT int32_t UNITY_INTERFACE_API ReserveEventIndices(int32_t count) noexcept;
UNITY_INTERFACE_EXPORT uint8_t UNITY_INTERFACE_API IsXrFrameInProgress() noexcept;
UNITY_INTERFACE_EXPORT uint8_t UNITY_INTERFACE_API IsPassthroughSupported() noexcept;
UNITY_INTERFACE_EXPORT uint8_t UNITY_INTERFACE_API UseNativeTexture() noexcept;
}

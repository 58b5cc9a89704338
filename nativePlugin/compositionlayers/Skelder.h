// The plug-in's own functions behind the exports: the OpenXR lookup it puts into the application's
// chain and the hooks it installs, the lookup its layers use, foveation, and the engine's
// graphics-device callback.
#pragma once

#include <openxr/openxr.h>

#include <string>
#include <vector>

#include "UnityGraphics.h"

namespace Skelder {

// --- OpenXR interception ------------------------------------------------------------------
// Answers every lookup as the application's own lookup does, with the hooked names replaced.
XRAPI_ATTR XrResult XRAPI_CALL xrGetInstanceProcAddr(XrInstance instance, const char* name,
                                                     PFN_xrVoidFunction* function) noexcept;
XRAPI_ATTR XrResult XRAPI_CALL xrWaitFrame(XrSession session, const XrFrameWaitInfo* frameWaitInfo,
                                           XrFrameState* frameState) noexcept;
XRAPI_ATTR XrResult XRAPI_CALL xrBeginFrame(XrSession session, const XrFrameBeginInfo* frameBeginInfo) noexcept;
// Adds the provider's visible layers beneath and above the application's.
XRAPI_ATTR XrResult XRAPI_CALL xrEndFrame(XrSession session, const XrFrameEndInfo* frameEndInfo) noexcept;
XRAPI_ATTR XrResult XRAPI_CALL xrEnumerateEnvironmentBlendModes(XrInstance instance, XrSystemId systemId,
                                                                XrViewConfigurationType viewConfigurationType,
                                                                uint32_t environmentBlendModeCapacityInput,
                                                                uint32_t* environmentBlendModeCountOutput,
                                                                XrEnvironmentBlendMode* environmentBlendModes) noexcept;
// Reports the extensions of the requested API layers that are present after the runtime's own.
XRAPI_ATTR XrResult XRAPI_CALL xrEnumerateInstanceExtensionProperties(const char* layerName,
                                                                      uint32_t propertyCapacityInput,
                                                                      uint32_t* propertyCountOutput,
                                                                      XrExtensionProperties* properties) noexcept;
// Enables the present requested API layers and adds or removes the fusion extension.
XRAPI_ATTR XrResult XRAPI_CALL xrCreateInstance(const XrInstanceCreateInfo* createInfo, XrInstance* instance) noexcept;
// Passes the runtime a copy of the creation structure whose chain starts with the alpha-blend and
// foveation structures; the caller's structure is never written.
XRAPI_ATTR XrResult XRAPI_CALL xrCreateSwapchain(XrSession session, const XrSwapchainCreateInfo* createInfo,
                                                 XrSwapchain* swapchain) noexcept;

// The lookup the layers resolve their runtime functions with: the application's lookup, except
// that xrWaitSwapchainImage is served by LayerWaitSwapchainImage.
XRAPI_ATTR XrResult XRAPI_CALL LayerGetInstanceProcAddr(XrInstance instance, const char* name,
                                                        PFN_xrVoidFunction* function) noexcept;
// The runtime's xrWaitSwapchainImage, called with the provider lock parked: the wait may last until
// the compositor has taken further frames.
XRAPI_ATTR XrResult XRAPI_CALL LayerWaitSwapchainImage(XrSwapchain swapchain,
                                                       const XrSwapchainImageWaitInfo* waitInfo) noexcept;

// --- Foveation ----------------------------------------------------------------------------
// Creates a profile of the level (the script's value, 0 to 3, checked before it becomes an
// XrFoveationLevelFB), applies it to the swapchain created last, destroys the profile.
void SetFoveationLevel(XrInstance instance, XrSession session, int32_t level) noexcept;

// --- Engine ---------------------------------------------------------------------------------
void UNITY_INTERFACE_API OnGraphicsDeviceEvent(UnityGfxDeviceEventType eventType) noexcept;

// The fields of a RequestLayers string: separated by single space characters, so adjacent spaces
// give an empty field; a trailing space gives none.
std::vector<std::string> SplitLayerNames(const char* names);

} // namespace Skelder

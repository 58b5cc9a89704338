// The camera view of the surroundings (XR_FB_passthrough). It has no swapchain: the runtime
// draws it from a passthrough layer object the layer owns.
#pragma once

#include "CompositionLayerBase.h"

namespace Skelder {

class PassthroughCompositionLayer : public CompositionLayerBase {
public:
    PassthroughCompositionLayer(XrInstance instance, PFN_xrGetInstanceProcAddr getInstanceProcAddr,
                                IUnityXRTrace* trace, int32_t layerId,
                                std::unique_ptr<CompositionLayerGraphicsInterface> graphicsInterface);
    ~PassthroughCompositionLayer() override;

    // Takes session and sorting order and makes no swapchain. Without the runtime's passthrough
    // functions it logs so and still succeeds: the layer then never shows, like one whose
    // passthrough the runtime refused.
    bool ConfigureSwapchain(XrSession session, uint32_t width, uint32_t height, int32_t sortingOrder) override;
    bool CreateSwapchain(uint32_t width, uint32_t height) override;
    void Initialize(XrSession session, uint32_t width, uint32_t height) override;
    XrCompositionLayerBaseHeader* GetXrLayer() override;
    // The runtime places passthrough itself: pose changes have no effect.
    void SetOrientation(float x, float y, float z, float w) override;
    void SetPosition(float x, float y, float z) override;

private:
    bool HasPassthroughFunctions() const;
    void DestroyPassthroughObjects();

    PFN_xrCreatePassthroughFB xrCreatePassthroughFB = nullptr;
    PFN_xrDestroyPassthroughFB xrDestroyPassthroughFB = nullptr;
    PFN_xrCreatePassthroughLayerFB xrCreatePassthroughLayerFB = nullptr;
    PFN_xrDestroyPassthroughLayerFB xrDestroyPassthroughLayerFB = nullptr;
    XrPassthroughFB passthrough = XR_NULL_HANDLE;
    XrPassthroughLayerFB passthroughLayer = XR_NULL_HANDLE;
    XrCompositionLayerPassthroughFB layer{};
    XrCompositionLayerAlphaBlendFB alphaBlend{};
};

} // namespace Skelder

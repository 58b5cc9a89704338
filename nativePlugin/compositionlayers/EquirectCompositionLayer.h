// An equirectangular image mapped onto a sphere around the viewer, placed in local space.
#pragma once

#include "CompositionLayerBase.h"

namespace Skelder {

class EquirectCompositionLayer : public CompositionLayerBase {
public:
    EquirectCompositionLayer(XrInstance instance, PFN_xrGetInstanceProcAddr getInstanceProcAddr, IUnityXRTrace* trace,
                             int32_t layerId, std::unique_ptr<CompositionLayerGraphicsInterface> graphicsInterface);
    ~EquirectCompositionLayer() override;

    void Initialize(XrSession session, uint32_t width, uint32_t height) override;
    XrCompositionLayerBaseHeader* GetXrLayer() override;
    void SetOrientation(float x, float y, float z, float w) override;
    void SetPosition(float x, float y, float z) override;

    void SetRadius(float radius);
    void SetCentralHorizontalAngle(float angle);
    void SetUpperVerticalAngle(float angle);
    void SetLowerVerticalAngle(float angle);

private:
    XrCompositionLayerEquirect2KHR layer{};
    XrCompositionLayerAlphaBlendFB alphaBlend{};
};

} // namespace Skelder

// A section of a cylinder around the viewer, placed in local space.
#pragma once

#include "CompositionLayerBase.h"

namespace Skelder {

class CylinderCompositionLayer : public CompositionLayerBase {
public:
    CylinderCompositionLayer(XrInstance instance, PFN_xrGetInstanceProcAddr getInstanceProcAddr, IUnityXRTrace* trace,
                             int32_t layerId, std::unique_ptr<CompositionLayerGraphicsInterface> graphicsInterface);
    ~CylinderCompositionLayer() override;

    void Initialize(XrSession session, uint32_t width, uint32_t height) override;
    XrCompositionLayerBaseHeader* GetXrLayer() override;
    void SetOrientation(float x, float y, float z, float w) override;
    void SetPosition(float x, float y, float z) override;

    void SetRadius(float radius);
    void SetCentralAngle(float angle);

private:
    XrCompositionLayerCylinderKHR layer{};
    XrCompositionLayerAlphaBlendFB alphaBlend{};
};

} // namespace Skelder

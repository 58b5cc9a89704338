// A flat rectangle placed in view space.
#pragma once

#include "CompositionLayerBase.h"

namespace Skelder {

class QuadCompositionLayer : public CompositionLayerBase {
public:
    QuadCompositionLayer(XrInstance instance, PFN_xrGetInstanceProcAddr getInstanceProcAddr, IUnityXRTrace* trace,
                         int32_t layerId, std::unique_ptr<CompositionLayerGraphicsInterface> graphicsInterface);
    ~QuadCompositionLayer() override;

    void Initialize(XrSession session, uint32_t width, uint32_t height) override;
    XrCompositionLayerBaseHeader* GetXrLayer() override;
    void SetOrientation(float x, float y, float z, float w) override;
    void SetPosition(float x, float y, float z) override;

    void SetSize(float width, float height);

private:
    XrCompositionLayerQuad layer{};
    XrCompositionLayerAlphaBlendFB alphaBlend{};
};

} // namespace Skelder

// A flat rectangle placed in view space.
#pragma once

#include "SwapchainCompositionLayer.h"

namespace Skelder {

class QuadCompositionLayer : public SwapchainCompositionLayer<XrCompositionLayerQuad> {
public:
    using SwapchainCompositionLayer::SwapchainCompositionLayer;

    void Initialize(XrSession session, uint32_t width, uint32_t height) override;

    void SetSize(float width, float height);
};

} // namespace Skelder

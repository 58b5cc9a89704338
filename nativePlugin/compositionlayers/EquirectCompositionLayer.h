// An equirectangular image mapped onto a sphere around the viewer, placed in local space.
#pragma once

#include "SwapchainCompositionLayer.h"

namespace Skelder {

class EquirectCompositionLayer : public SwapchainCompositionLayer<XrCompositionLayerEquirect2KHR> {
public:
    using SwapchainCompositionLayer::SwapchainCompositionLayer;

    void Initialize(XrSession session, uint32_t width, uint32_t height) override;

    void SetRadius(float radius);
    void SetCentralHorizontalAngle(float angle);
    void SetUpperVerticalAngle(float angle);
    void SetLowerVerticalAngle(float angle);
};

} // namespace Skelder

// A section of a cylinder around the viewer, placed in local space.
#pragma once

#include "SwapchainCompositionLayer.h"

namespace Skelder {

class CylinderCompositionLayer : public SwapchainCompositionLayer<XrCompositionLayerCylinderKHR> {
public:
    using SwapchainCompositionLayer::SwapchainCompositionLayer;

    void Initialize(XrSession session, uint32_t width, uint32_t height) override;

    void SetRadius(float radius);
    void SetCentralAngle(float angle);
};

} // namespace Skelder

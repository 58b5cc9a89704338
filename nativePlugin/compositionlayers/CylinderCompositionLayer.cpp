#include "CylinderCompositionLayer.h"

namespace Skelder {

void CylinderCompositionLayer::Initialize(XrSession session, uint32_t width, uint32_t height)
{
    InitializeLayer(
        session, width, height,
        {XR_TYPE_COMPOSITION_LAYER_CYLINDER_KHR,
         XR_REFERENCE_SPACE_TYPE_LOCAL,
         XR_COMPOSITION_LAYER_CORRECT_CHROMATIC_ABERRATION_BIT | XR_COMPOSITION_LAYER_BLEND_TEXTURE_SOURCE_ALPHA_BIT,
         {0.0f, 0.0f, -1.0f},
         "CylinderCompositionLayer::Initialize -- xrCreateReferenceSpace failed: %d"});
    layer.radius = 0.0f;
    layer.centralAngle = 0.0f;
    layer.aspectRatio = static_cast<float>(width) / static_cast<float>(height);
}

void CylinderCompositionLayer::SetRadius(float radius)
{
    layer.radius = radius;
}

void CylinderCompositionLayer::SetCentralAngle(float angle)
{
    layer.centralAngle = angle;
}

} // namespace Skelder

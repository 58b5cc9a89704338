#include "EquirectCompositionLayer.h"

namespace Skelder {

void EquirectCompositionLayer::Initialize(XrSession session, uint32_t width, uint32_t height)
{
    InitializeLayer(
        session, width, height,
        {XR_TYPE_COMPOSITION_LAYER_EQUIRECT2_KHR,
         XR_REFERENCE_SPACE_TYPE_LOCAL,
         XR_COMPOSITION_LAYER_CORRECT_CHROMATIC_ABERRATION_BIT | XR_COMPOSITION_LAYER_BLEND_TEXTURE_SOURCE_ALPHA_BIT,
         {0.0f, 0.0f, 0.0f},
         "EquirectCompositionLayer::Initialize -- xrCreateReferenceSpace failed: %d"});
    layer.radius = 0.0f;
    layer.centralHorizontalAngle = 0.0f;
    layer.upperVerticalAngle = 0.0f;
    layer.lowerVerticalAngle = 0.0f;
}

void EquirectCompositionLayer::SetRadius(float radius)
{
    layer.radius = radius;
}

void EquirectCompositionLayer::SetCentralHorizontalAngle(float angle)
{
    layer.centralHorizontalAngle = angle;
}

void EquirectCompositionLayer::SetUpperVerticalAngle(float angle)
{
    layer.upperVerticalAngle = angle;
}

void EquirectCompositionLayer::SetLowerVerticalAngle(float angle)
{
    layer.lowerVerticalAngle = angle;
}

} // namespace Skelder

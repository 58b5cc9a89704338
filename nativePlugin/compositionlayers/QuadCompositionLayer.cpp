#include "QuadCompositionLayer.h"

namespace Skelder {

void QuadCompositionLayer::Initialize(XrSession session, uint32_t width, uint32_t height)
{
    InitializeLayer(session, width, height,
                    {XR_TYPE_COMPOSITION_LAYER_QUAD,
                     XR_REFERENCE_SPACE_TYPE_VIEW,
                     XR_COMPOSITION_LAYER_BLEND_TEXTURE_SOURCE_ALPHA_BIT,
                     {0.0f, 0.0f, 1.0f},
                     "QuadCompositionLayer::Initialize -- xrCreateReferenceSpace failed: %d"});
    layer.size = {0.1f, -0.1f};
}

void QuadCompositionLayer::SetSize(float width, float height)
{
    layer.size = {width, height};
}

} // namespace Skelder

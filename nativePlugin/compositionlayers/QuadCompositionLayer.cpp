#include "QuadCompositionLayer.h"

namespace Skelder {

QuadCompositionLayer::QuadCompositionLayer(XrInstance instance, PFN_xrGetInstanceProcAddr getInstanceProcAddr,
                                           IUnityXRTrace* trace, int32_t layerId,
                                           std::unique_ptr<CompositionLayerGraphicsInterface> graphicsInterface)
    : CompositionLayerBase(instance, getInstanceProcAddr, trace, layerId, std::move(graphicsInterface))
{
}

QuadCompositionLayer::~QuadCompositionLayer()
{
    DestroyReferenceSpace(layer.space);
}

void QuadCompositionLayer::Initialize(XrSession session, uint32_t width, uint32_t height)
{
    DestroyReferenceSpace(layer.space);
    const XrSpace space = CreateReferenceSpace(session, XR_REFERENCE_SPACE_TYPE_VIEW,
                                               "QuadCompositionLayer::Initialize -- xrCreateReferenceSpace failed: %d");
    alphaBlend = PremultipliedOverBlend();
    layer = {XR_TYPE_COMPOSITION_LAYER_QUAD};
    layer.next = &alphaBlend;
    layer.layerFlags = XR_COMPOSITION_LAYER_BLEND_TEXTURE_SOURCE_ALPHA_BIT;
    layer.space = space;
    layer.eyeVisibility = XR_EYE_VISIBILITY_BOTH;
    layer.subImage = FullSubImage(width, height);
    layer.pose = {{0.0f, 0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, 1.0f}};
    layer.size = {0.1f, -0.1f};
}

XrCompositionLayerBaseHeader* QuadCompositionLayer::GetXrLayer()
{
    return reinterpret_cast<XrCompositionLayerBaseHeader*>(&layer);
}

void QuadCompositionLayer::SetOrientation(float x, float y, float z, float w)
{
    layer.pose.orientation = {x, y, z, w};
}

void QuadCompositionLayer::SetPosition(float x, float y, float z)
{
    layer.pose.position = {x, y, z};
}

void QuadCompositionLayer::SetSize(float width, float height)
{
    layer.size = {width, height};
}

} // namespace Skelder

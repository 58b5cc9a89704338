#include "EquirectCompositionLayer.h"

namespace Skelder {

EquirectCompositionLayer::EquirectCompositionLayer(XrInstance instance, PFN_xrGetInstanceProcAddr getInstanceProcAddr,
                                                   IUnityXRTrace* trace, int32_t layerId,
                                                   std::unique_ptr<CompositionLayerGraphicsInterface> graphicsInterface)
    : CompositionLayerBase(instance, getInstanceProcAddr, trace, layerId, std::move(graphicsInterface))
{
}

EquirectCompositionLayer::~EquirectCompositionLayer()
{
    DestroyReferenceSpace(layer.space);
}

void EquirectCompositionLayer::Initialize(XrSession session, uint32_t width, uint32_t height)
{
    DestroyReferenceSpace(layer.space);
    const XrSpace space =
        CreateReferenceSpace(session, XR_REFERENCE_SPACE_TYPE_LOCAL,
                             "EquirectCompositionLayer::Initialize -- xrCreateReferenceSpace failed: %d");
    alphaBlend = PremultipliedOverBlend();
    layer = {XR_TYPE_COMPOSITION_LAYER_EQUIRECT2_KHR};
    layer.next = &alphaBlend;
    layer.layerFlags =
        XR_COMPOSITION_LAYER_CORRECT_CHROMATIC_ABERRATION_BIT | XR_COMPOSITION_LAYER_BLEND_TEXTURE_SOURCE_ALPHA_BIT;
    layer.space = space;
    layer.eyeVisibility = XR_EYE_VISIBILITY_BOTH;
    layer.subImage = FullSubImage(width, height);
    layer.pose = {{0.0f, 0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, 0.0f}};
    layer.radius = 0.0f;
    layer.centralHorizontalAngle = 0.0f;
    layer.upperVerticalAngle = 0.0f;
    layer.lowerVerticalAngle = 0.0f;
}

XrCompositionLayerBaseHeader* EquirectCompositionLayer::GetXrLayer()
{
    return reinterpret_cast<XrCompositionLayerBaseHeader*>(&layer);
}

void EquirectCompositionLayer::SetOrientation(float x, float y, float z, float w)
{
    layer.pose.orientation = {x, y, z, w};
}

void EquirectCompositionLayer::SetPosition(float x, float y, float z)
{
    layer.pose.position = {x, y, z};
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

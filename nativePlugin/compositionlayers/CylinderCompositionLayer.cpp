#include "CylinderCompositionLayer.h"

namespace Skelder {

CylinderCompositionLayer::CylinderCompositionLayer(XrInstance instance, PFN_xrGetInstanceProcAddr getInstanceProcAddr,
                                                   IUnityXRTrace* trace, int32_t layerId,
                                                   std::unique_ptr<CompositionLayerGraphicsInterface> graphicsInterface)
    : CompositionLayerBase(instance, getInstanceProcAddr, trace, layerId, std::move(graphicsInterface))
{
}

CylinderCompositionLayer::~CylinderCompositionLayer()
{
    DestroyReferenceSpace(layer.space);
}

void CylinderCompositionLayer::Initialize(XrSession session, uint32_t width, uint32_t height)
{
    DestroyReferenceSpace(layer.space);
    const XrSpace space =
        CreateReferenceSpace(session, XR_REFERENCE_SPACE_TYPE_LOCAL,
                             "CylinderCompositionLayer::Initialize -- xrCreateReferenceSpace failed: %d");
    alphaBlend = PremultipliedOverBlend();
    layer = {XR_TYPE_COMPOSITION_LAYER_CYLINDER_KHR};
    layer.next = &alphaBlend;
    layer.layerFlags =
        XR_COMPOSITION_LAYER_CORRECT_CHROMATIC_ABERRATION_BIT | XR_COMPOSITION_LAYER_BLEND_TEXTURE_SOURCE_ALPHA_BIT;
    layer.space = space;
    layer.eyeVisibility = XR_EYE_VISIBILITY_BOTH;
    layer.subImage = FullSubImage(width, height);
    layer.pose = {{0.0f, 0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, -1.0f}};
    layer.radius = 0.0f;
    layer.centralAngle = 0.0f;
    layer.aspectRatio = static_cast<float>(width) / static_cast<float>(height);
}

XrCompositionLayerBaseHeader* CylinderCompositionLayer::GetXrLayer()
{
    return reinterpret_cast<XrCompositionLayerBaseHeader*>(&layer);
}

void CylinderCompositionLayer::SetOrientation(float x, float y, float z, float w)
{
    layer.pose.orientation = {x, y, z, w};
}

void CylinderCompositionLayer::SetPosition(float x, float y, float z)
{
    layer.pose.position = {x, y, z};
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

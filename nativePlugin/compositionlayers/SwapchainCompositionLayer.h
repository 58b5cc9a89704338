// What the kinds that show a swapchain (quad, cylinder, equirect) have in common: their OpenXR
// layer structure XrLayer with its alpha-blend structure, kept inside the layer for xrEndFrame, the
// reference space it is placed in, and its pose.
#pragma once

#include "CompositionLayerBase.h"

namespace Skelder {

template <typename XrLayer> class SwapchainCompositionLayer : public CompositionLayerBase {
public:
    using CompositionLayerBase::CompositionLayerBase;
    ~SwapchainCompositionLayer() override { DestroyReferenceSpace(layer.space); }

    XrCompositionLayerBaseHeader* GetXrLayer() override
    {
        return reinterpret_cast<XrCompositionLayerBaseHeader*>(&layer);
    }
    void SetOrientation(float x, float y, float z, float w) override { layer.pose.orientation = {x, y, z, w}; }
    void SetPosition(float x, float y, float z) override { layer.pose.position = {x, y, z}; }

protected:
    // Where and how a kind's layer starts out.
    struct Placement {
        XrStructureType type;
        XrReferenceSpaceType spaceType;
        XrCompositionLayerFlags flags;
        XrVector3f position;
        // Logged with the result when the reference space cannot be made; the layer goes on without.
        const char* spaceFailureFormat;
    };

    // Starts Initialize: a new reference space, and the layer structure filled afresh with the
    // blend, the whole of the swapchain and the identity orientation at the placement's position.
    void InitializeLayer(XrSession session, uint32_t width, uint32_t height, const Placement& placement)
    {
        DestroyReferenceSpace(layer.space);
        const XrSpace space = CreateReferenceSpace(session, placement.spaceType, placement.spaceFailureFormat);
        alphaBlend = PremultipliedOverBlend();
        layer = {placement.type};
        layer.next = &alphaBlend;
        layer.layerFlags = placement.flags;
        layer.space = space;
        layer.eyeVisibility = XR_EYE_VISIBILITY_BOTH;
        layer.subImage = FullSubImage(width, height);
        layer.pose = {{0.0f, 0.0f, 0.0f, 1.0f}, placement.position};
    }

    XrLayer layer{};
    XrCompositionLayerAlphaBlendFB alphaBlend{};
};

} // namespace Skelder

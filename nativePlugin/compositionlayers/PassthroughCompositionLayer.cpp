#include "PassthroughCompositionLayer.h"

#include "XrFunctions.h"

namespace Skelder {

PassthroughCompositionLayer::PassthroughCompositionLayer(
    XrInstance instance, PFN_xrGetInstanceProcAddr getInstanceProcAddr, IUnityXRTrace* trace, int32_t layerId,
    std::unique_ptr<CompositionLayerGraphicsInterface> graphicsInterface)
    : CompositionLayerBase(instance, getInstanceProcAddr, trace, layerId, std::move(graphicsInterface))
{
    xrCreatePassthroughFB =
        LookUpXrFunction<PFN_xrCreatePassthroughFB>(getInstanceProcAddr, instance, "xrCreatePassthroughFB");
    xrCreatePassthroughLayerFB =
        LookUpXrFunction<PFN_xrCreatePassthroughLayerFB>(getInstanceProcAddr, instance, "xrCreatePassthroughLayerFB");
    xrDestroyPassthroughFB =
        LookUpXrFunction<PFN_xrDestroyPassthroughFB>(getInstanceProcAddr, instance, "xrDestroyPassthroughFB");
    xrDestroyPassthroughLayerFB =
        LookUpXrFunction<PFN_xrDestroyPassthroughLayerFB>(getInstanceProcAddr, instance, "xrDestroyPassthroughLayerFB");
}

PassthroughCompositionLayer::~PassthroughCompositionLayer()
{
    DestroyReferenceSpace(layer.space);
    DestroyPassthroughObjects();
}

bool PassthroughCompositionLayer::HasPassthroughFunctions() const
{
    return xrCreatePassthroughFB != nullptr && xrCreatePassthroughLayerFB != nullptr &&
           xrDestroyPassthroughFB != nullptr && xrDestroyPassthroughLayerFB != nullptr;
}

bool PassthroughCompositionLayer::ConfigureSwapchain(XrSession session, uint32_t, uint32_t, int32_t sortingOrder)
{
    // The layer is made all the same, as when the runtime refuses its passthrough: it keeps a null
    // layer handle, and every frame leaves it out with the frame loop's warning.
    if (!HasPassthroughFunctions()) {
        TraceLog(
            trace, kXRTraceLevelError,
            "PassthroughCompositionLayer::ConfigureSwapchain -- the runtime offers no XR_FB_passthrough functions");
    }
    this->session = session;
    this->sortingOrder = sortingOrder;
    return true;
}

bool PassthroughCompositionLayer::CreateSwapchain(uint32_t, uint32_t)
{
    return true;
}

void PassthroughCompositionLayer::Initialize(XrSession session, uint32_t, uint32_t)
{
    DestroyPassthroughObjects();
    DestroyReferenceSpace(layer.space);

    XrPassthroughCreateInfoFB passthroughInfo{XR_TYPE_PASSTHROUGH_CREATE_INFO_FB};
    passthroughInfo.flags = XR_PASSTHROUGH_IS_RUNNING_AT_CREATION_BIT_FB;
    // A failure leaves the layer handle null; the frame loop then skips the layer with its warning.
    // A handle that came with a success code such as XR_SESSION_LOSS_PENDING exists, so it is kept
    // and destroyed with the layer. Without every function nothing is made that could not be destroyed.
    if (!HasPassthroughFunctions() ||
        XR_FAILED(CallXrFunction(xrCreatePassthroughFB, session, &passthroughInfo, &passthrough))) {
        passthrough = XR_NULL_HANDLE;
    } else {
        XrPassthroughLayerCreateInfoFB layerInfo{XR_TYPE_PASSTHROUGH_LAYER_CREATE_INFO_FB};
        layerInfo.passthrough = passthrough;
        layerInfo.flags = XR_PASSTHROUGH_IS_RUNNING_AT_CREATION_BIT_FB;
        layerInfo.purpose = XR_PASSTHROUGH_LAYER_PURPOSE_RECONSTRUCTION_FB;
        if (XR_FAILED(CallXrFunction(xrCreatePassthroughLayerFB, session, &layerInfo, &passthroughLayer))) {
            passthroughLayer = XR_NULL_HANDLE;
        }
    }
    const XrSpace space =
        CreateReferenceSpace(session, XR_REFERENCE_SPACE_TYPE_VIEW,
                             "PassthroughCompositionLayer::Initialize -- xrCreateReferenceSpace failed: %d");

    alphaBlend = {XR_TYPE_COMPOSITION_LAYER_ALPHA_BLEND_FB};
    alphaBlend.srcFactorColor = XR_BLEND_FACTOR_DST_ALPHA_FB;
    alphaBlend.dstFactorColor = XR_BLEND_FACTOR_ONE_MINUS_DST_ALPHA_FB;
    alphaBlend.srcFactorAlpha = XR_BLEND_FACTOR_ONE_FB;
    alphaBlend.dstFactorAlpha = XR_BLEND_FACTOR_ZERO_FB;
    layer = {XR_TYPE_COMPOSITION_LAYER_PASSTHROUGH_FB};
    layer.next = &alphaBlend;
    layer.flags = XR_COMPOSITION_LAYER_BLEND_TEXTURE_SOURCE_ALPHA_BIT;
    layer.space = space;
    layer.layerHandle = passthroughLayer;
}

XrCompositionLayerBaseHeader* PassthroughCompositionLayer::GetXrLayer()
{
    return reinterpret_cast<XrCompositionLayerBaseHeader*>(&layer);
}

void PassthroughCompositionLayer::SetOrientation(float, float, float, float) {}

void PassthroughCompositionLayer::SetPosition(float, float, float) {}

void PassthroughCompositionLayer::DestroyPassthroughObjects()
{
    if (passthroughLayer != XR_NULL_HANDLE) {
        CallXrFunction(xrDestroyPassthroughLayerFB, passthroughLayer);
        passthroughLayer = XR_NULL_HANDLE;
        layer.layerHandle = XR_NULL_HANDLE;
    }
    if (passthrough != XR_NULL_HANDLE) {
        CallXrFunction(xrDestroyPassthroughFB, passthrough);
        passthrough = XR_NULL_HANDLE;
    }
}

} // namespace Skelder

// Layer submission: every xrEndFrame carries the provider's visible layers of negative sorting
// order beneath the application's layers and the others above them, within the maximum count.
#include "Skelder.h"
#include "SkelderModule.h"
#include "XrFunctions.h"

namespace Skelder {
namespace {
using LayerList = std::vector<const XrCompositionLayerBaseHeader*>;

// Why a provider layer cannot be submitted this frame, or null when it can.
const char* RejectionOf(const XrCompositionLayerBaseHeader* layer)
{
    if (layer == nullptr) {
        return "Attempted to submit a null layer. Skipping the layer instead.";
    }
    // Every layer structure carries its space right after the layer flags, as the header does.
    if (layer->space == XR_NULL_HANDLE) {
        return "Attempted to submit layer with null space handle. Skipping the layer instead.";
    }
    switch (layer->type) {
    case XR_TYPE_COMPOSITION_LAYER_QUAD:
        return reinterpret_cast<const XrCompositionLayerQuad*>(layer)->subImage.swapchain == XR_NULL_HANDLE
                   ? "Attempted to submit quad layer with null swapchain handle. Skipping the layer instead."
                   : nullptr;
    case XR_TYPE_COMPOSITION_LAYER_CYLINDER_KHR:
        return reinterpret_cast<const XrCompositionLayerCylinderKHR*>(layer)->subImage.swapchain == XR_NULL_HANDLE
                   ? "Attempted to submit cylinder layer with null swapchain handle. Skipping the layer instead."
                   : nullptr;
    case XR_TYPE_COMPOSITION_LAYER_EQUIRECT2_KHR:
        return reinterpret_cast<const XrCompositionLayerEquirect2KHR*>(layer)->subImage.swapchain == XR_NULL_HANDLE
                   ? "Attempted to submit equirect layer with null swapchain handle. Skipping the layer instead."
                   : nullptr;
    case XR_TYPE_COMPOSITION_LAYER_PASSTHROUGH_FB:
        return reinterpret_cast<const XrCompositionLayerPassthroughFB*>(layer)->layerHandle == XR_NULL_HANDLE
                   ? "Attempted to submit passthrough layer with null layer handle. Skipping the layer instead."
                   : nullptr;
    default:
        return "Attempted to submit layer of unsupported type. Skipping the layer instead.";
    }
}

// Appends the application's layers while there is room; projection layers that do not blend by
// their alpha are replaced by copies that do, so the layers beneath show through.
void AddApplicationLayers(const XrFrameEndInfo& frameEndInfo, uint32_t layerLimit, LayerList& merged,
                          std::vector<XrCompositionLayerProjection>& copies)
{
    for (uint32_t i = 0; i < frameEndInfo.layerCount && merged.size() < layerLimit; ++i) {
        const XrCompositionLayerBaseHeader* layer = frameEndInfo.layers[i];
        if (layer != nullptr && layer->type == XR_TYPE_COMPOSITION_LAYER_PROJECTION &&
            (layer->layerFlags & XR_COMPOSITION_LAYER_BLEND_TEXTURE_SOURCE_ALPHA_BIT) == 0) {
            XrCompositionLayerProjection copy = *reinterpret_cast<const XrCompositionLayerProjection*>(layer);
            copy.layerFlags |= XR_COMPOSITION_LAYER_BLEND_TEXTURE_SOURCE_ALPHA_BIT;
            // Room for every application layer was reserved: no copy moves while the list points at it.
            copies.push_back(copy);
            merged.push_back(reinterpret_cast<const XrCompositionLayerBaseHeader*>(&copies.back()));
        } else {
            merged.push_back(layer);
        }
    }
}

// The caller's frame as it is: the feature is off, nothing is loaded, or the structure is one the
// runtime must refuse.
bool PassesThrough(const ModuleState& state, const XrFrameEndInfo* frameEndInfo)
{
    return !state.provider || !state.compositionLayersEnabled || frameEndInfo == nullptr ||
           (frameEndInfo->layerCount > 0 && frameEndInfo->layers == nullptr);
}

// Builds the merged list and ends the frame. The caller holds the provider lock, which stays held
// until the runtime has returned, so every layer handed over stays valid.
XrResult SubmitFrame(ModuleState& state, PFN_xrEndFrame endFrame, XrSession session, const XrFrameEndInfo* frameEndInfo)
{
    state.projectionLayerCopies.clear();
    state.mergedLayers.clear();
    if (PassesThrough(state, frameEndInfo)) {
        state.frameInProgress = false;
        return CallXrFunction(endFrame, session, frameEndInfo);
    }
    CompositionLayerProvider& provider = *state.provider;
    const uint32_t applicationCount = frameEndInfo->layerCount;
    const uint64_t offered = uint64_t{applicationCount} + provider.VisibleLayerCount();
    uint32_t layerLimit = static_cast<uint32_t>(offered);
    if (offered > provider.maxLayerCount) {
        Log(kXRTraceLevelWarning, "Attempting to composite %u layers. Max Compositor Layer Count is %u",
            static_cast<unsigned>(offered), provider.maxLayerCount);
        layerLimit = provider.maxLayerCount;
    }

    LayerList& merged = state.mergedLayers;
    merged.reserve(layerLimit);
    state.projectionLayerCopies.reserve(applicationCount);
    if (layerLimit > 0) {
        std::vector<XrCompositionLayerBaseHeader*>& visible = state.visibleLayers;
        provider.GetVisibleXrLayers(visible);
        const size_t insertionIndex = provider.UnderlayCount(visible);
        bool applicationAdded = false;
        for (size_t i = 0; i < visible.size() && merged.size() < layerLimit; ++i) {
            if (i == insertionIndex) {
                AddApplicationLayers(*frameEndInfo, layerLimit, merged, state.projectionLayerCopies);
                applicationAdded = true;
                if (merged.size() >= layerLimit) {
                    break;
                }
            }
            if (const char* rejection = RejectionOf(visible[i])) {
                Log(kXRTraceLevelWarning, rejection);
                --layerLimit;
                continue;
            }
            merged.push_back(visible[i]);
        }
        if (!applicationAdded) {
            AddApplicationLayers(*frameEndInfo, layerLimit, merged, state.projectionLayerCopies);
        }
    }

    XrFrameEndInfo submitted{XR_TYPE_FRAME_END_INFO};
    submitted.next = frameEndInfo->next;
    submitted.displayTime = frameEndInfo->displayTime;
    submitted.environmentBlendMode = frameEndInfo->environmentBlendMode;
    submitted.layerCount = static_cast<uint32_t>(merged.size());
    submitted.layers = merged.data();
    state.frameInProgress = false;
    return CallXrFunction(endFrame, session, &submitted);
}
} // namespace

XRAPI_ATTR XrResult XRAPI_CALL xrEndFrame(XrSession session, const XrFrameEndInfo* frameEndInfo) noexcept
{
    ModuleState& state = State();
    const PFN_xrEndFrame endFrame = state.next.xrEndFrame.load();
    try {
        ProviderLock::Hold hold(state.providerLock);
        return SubmitFrame(state, endFrame, session, frameEndInfo);
    } catch (const std::exception& error) {
        LogException("xrEndFrame", &error);
    } catch (...) {
        LogException("xrEndFrame", nullptr);
    }
    // Nothing was handed to the runtime yet: the application's frame still gets ended, as it came.
    state.frameInProgress = false;
    return CallXrFunction(endFrame, session, frameEndInfo);
}

} // namespace Skelder

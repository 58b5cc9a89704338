#include "FrameLoop.h"

#include <stdexcept>

namespace quenra::simruntime {
namespace {
FrameLoop* current = nullptr;

bool IsLayerType(XrStructureType type)
{
    switch (type) {
    case XR_TYPE_COMPOSITION_LAYER_PROJECTION:
    case XR_TYPE_COMPOSITION_LAYER_QUAD:
    case XR_TYPE_COMPOSITION_LAYER_CYLINDER_KHR:
    case XR_TYPE_COMPOSITION_LAYER_EQUIRECT2_KHR:
    case XR_TYPE_COMPOSITION_LAYER_EQUIRECT_KHR:
    case XR_TYPE_COMPOSITION_LAYER_CUBE_KHR:
    case XR_TYPE_COMPOSITION_LAYER_PASSTHROUGH_FB:
        return true;
    default:
        return false;
    }
}
} // namespace

FrameLoop::FrameLoop(Runtime& runtime) : runtime(runtime)
{
    if (current != nullptr) {
        throw std::logic_error("only one FrameLoop may exist at a time");
    }
    current = this;
    runtime.AddFunction("xrWaitFrame", reinterpret_cast<PFN_xrVoidFunction>(&FrameLoop::WaitFrame));
    runtime.AddFunction("xrBeginFrame", reinterpret_cast<PFN_xrVoidFunction>(&FrameLoop::BeginFrame));
    runtime.AddFunction("xrEndFrame", reinterpret_cast<PFN_xrVoidFunction>(&FrameLoop::EndFrame));
}

FrameLoop::~FrameLoop()
{
    runtime.RemoveFunction("xrWaitFrame");
    runtime.RemoveFunction("xrBeginFrame");
    runtime.RemoveFunction("xrEndFrame");
    current = nullptr;
}

FrameLoop& FrameLoop::Current()
{
    if (current == nullptr) {
        throw std::logic_error("no simulated frame loop exists");
    }
    return *current;
}

XrResult XRAPI_CALL FrameLoop::WaitFrame(XrSession session, const XrFrameWaitInfo* info, XrFrameState* state)
{
    SIMRUNTIME_ENTER_ON(call, "xrWaitFrame", HandleKind::Session, session);
    FrameLoop& loop = Current();
    SIMRUNTIME_INVALID_IF(call, (info != nullptr && info->type != XR_TYPE_FRAME_WAIT_INFO) || state == nullptr ||
                                    state->type != XR_TYPE_FRAME_STATE);
    loop.predicted += loop.period;
    loop.waited = true;
    state->predictedDisplayTime = loop.predicted;
    state->predictedDisplayPeriod = loop.period;
    state->shouldRender = XR_TRUE;
    return call.Return(XR_SUCCESS);
}

XrResult XRAPI_CALL FrameLoop::BeginFrame(XrSession session, const XrFrameBeginInfo* info)
{
    SIMRUNTIME_ENTER_ON(call, "xrBeginFrame", HandleKind::Session, session);
    FrameLoop& loop = Current();
    SIMRUNTIME_INVALID_IF(call, info != nullptr && info->type != XR_TYPE_FRAME_BEGIN_INFO);
    if (!loop.waited) {
        return call.Return(XR_ERROR_CALL_ORDER_INVALID);
    }
    loop.waited = false;
    // A frame begun while another is open discards the open one.
    const XrResult result = loop.began ? XR_FRAME_DISCARDED : XR_SUCCESS;
    loop.began = true;
    return call.Return(result);
}

XrResult XRAPI_CALL FrameLoop::EndFrame(XrSession session, const XrFrameEndInfo* info)
{
    SIMRUNTIME_ENTER_ON(call, "xrEndFrame", HandleKind::Session, session);
    FrameLoop& loop = Current();
    SIMRUNTIME_INVALID_IF(call, info == nullptr || info->type != XR_TYPE_FRAME_END_INFO);
    if (!loop.began) {
        return call.Return(XR_ERROR_CALL_ORDER_INVALID);
    }
    if (info->layerCount > loop.maxLayerCount) {
        return call.Return(XR_ERROR_LAYER_LIMIT_EXCEEDED);
    }
    SIMRUNTIME_INVALID_IF(call, info->layerCount > 0 && info->layers == nullptr);
    SubmittedFrame frame{info->displayTime, info->environmentBlendMode, {}, {}};
    for (uint32_t i = 0; i < info->layerCount; ++i) {
        const XrCompositionLayerBaseHeader* layer = info->layers[i];
        if (layer == nullptr || !IsLayerType(layer->type)) {
            return call.Return(XR_ERROR_LAYER_INVALID);
        }
        if (loop.layerCheck) {
            const XrResult checked = loop.layerCheck(layer);
            if (checked != XR_SUCCESS) {
                return call.Return(checked);
            }
        }
        frame.layers.push_back(layer);
        frame.layerTypes.push_back(layer->type);
    }
    if (loop.frameObserver) {
        loop.frameObserver(*info);
    }
    loop.began = false;
    call.runtime().Keep(loop.submitted, std::move(frame));
    return call.Return(XR_SUCCESS);
}

} // namespace quenra::simruntime

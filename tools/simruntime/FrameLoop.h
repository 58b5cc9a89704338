// The simulated runtime's frame loop: xrWaitFrame, xrBeginFrame and xrEndFrame,
// which must come in that order per session.
#pragma once

#include <functional>
#include <vector>

#include "Runtime.h"

namespace quenra::simruntime {

// What one xrEndFrame carried: the layer pointers in order, and their types.
struct SubmittedFrame {
    XrTime displayTime;
    XrEnvironmentBlendMode blendMode;
    std::vector<const XrCompositionLayerBaseHeader*> layers;
    std::vector<XrStructureType> layerTypes;
};

class FrameLoop {
public:
    explicit FrameLoop(Runtime& runtime);
    ~FrameLoop();
    FrameLoop(const FrameLoop&) = delete;
    FrameLoop& operator=(const FrameLoop&) = delete;

    static FrameLoop& Current();

    // Each xrWaitFrame predicts a display time this much later than the last one.
    void SetFramePeriod(XrDuration period) { this->period = period; }
    XrTime LastPredictedDisplayTime() const { return predicted; }
    uint32_t MaxLayerCount() const { return maxLayerCount; }
    void SetMaxLayerCount(uint32_t count) { maxLayerCount = count; }

    // Checks one submitted layer beyond null and type, e.g. its swapchain's state
    // (installed by the swapchain module); a non-success result refuses the frame.
    using LayerCheck = std::function<XrResult(const XrCompositionLayerBaseHeader*)>;
    void SetLayerCheck(LayerCheck check) { layerCheck = std::move(check); }
    // Runs while the runtime still reads the layers, before xrEndFrame returns.
    using FrameObserver = std::function<void(const XrFrameEndInfo&)>;
    void SetFrameObserver(FrameObserver observer) { frameObserver = std::move(observer); }

    const std::vector<SubmittedFrame>& SubmittedFrames() const { return submitted; }
    // Forgets the frames recorded so far, so a long run does not grow without end.
    void ClearSubmittedFrames() { submitted.clear(); }
    bool FrameInProgress() const { return began; }

private:
    static XrResult XRAPI_CALL WaitFrame(XrSession session, const XrFrameWaitInfo* info, XrFrameState* state);
    static XrResult XRAPI_CALL BeginFrame(XrSession session, const XrFrameBeginInfo* info);
    static XrResult XRAPI_CALL EndFrame(XrSession session, const XrFrameEndInfo* info);

    Runtime& runtime;
    XrDuration period = 11'111'111;
    XrTime predicted = 1'000'000'000;
    uint32_t maxLayerCount = 16;
    bool waited = false;
    bool began = false;
    LayerCheck layerCheck;
    FrameObserver frameObserver;
    std::vector<SubmittedFrame> submitted;
};

} // namespace quenra::simruntime

#include <atomic>
#include <thread>

#include "MeshingFixture.h"

namespace kelbrin::test {
namespace {

using PredictedTime = LoadedPlugin;

TEST_F(PredictedTime, FrameThreadWritesWhileAnotherThreadReads)
{
    ConnectOpenXr();
    PFN_xrVoidFunction function = nullptr;
    ASSERT_EQ(InterceptedXrGetInstanceProcAddr(instance, "xrWaitFrame", &function), XR_SUCCESS);
    const auto wait = reinterpret_cast<PFN_xrWaitFrame>(function);
    frames.SetFramePeriod(10);
    const XrTime first = frames.LastPredictedDisplayTime() + 10;
    constexpr int kFrames = 2000;

    std::atomic<bool> done{false};
    std::thread frameThread([&] {
        for (int i = 0; i < kFrames; ++i) {
            XrFrameState state{XR_TYPE_FRAME_STATE};
            EXPECT_EQ(wait(session, nullptr, &state), XR_SUCCESS);
        }
        done = true;
    });
    // Every value read is one the runtime predicted, and they never go back.
    XrTime last = 0;
    bool ordered = true;
    bool predicted = true;
    while (!done) {
        const XrTime now = Bindings().GetPredictedDisplayTime();
        ordered = ordered && now >= last;
        predicted = predicted && (now == 0 || (now >= first && (now - first) % 10 == 0));
        last = now;
    }
    frameThread.join();
    EXPECT_TRUE(ordered);
    EXPECT_TRUE(predicted);
    EXPECT_EQ(Bindings().GetPredictedDisplayTime(), first + 10 * (kFrames - 1));
}

} // namespace
} // namespace kelbrin::test

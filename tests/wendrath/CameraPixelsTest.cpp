// What the engine's textures hold after a render event, with the stand-in executing the renderer's
// draws: each camera frame upright, in its colours (BT.601 full range, gamma 2.2), in its own texture.
#include <gtest/gtest.h>

#include <cmath>

#include "EngineRegistry.h"
#include "FakeGraphics.h"
#include "RecordingGl.h"
#include "SyntheticCamera.h"
#include "TraceRecorder.h"
#include "WendrathPlugin.h"
#include "CameraEvent.h"

namespace wendrath::test {
namespace {

using quenra::simgl::RecordingGl;
using quenra::simgl::SyntheticCamera;
using quenra::simgl::YuvFrame;

constexpr uint32_t kWidth = 64;
constexpr uint32_t kHeight = 48;

// A colour as it leaves the shader: what survives the 8-bit YUV round trip, raised to 2.2.
void ExpectColour(const quenra::simruntime::RgbaImage& texture, uint32_t x, uint32_t rowFromTop,
                  std::array<uint8_t, 3> expected, const std::string& what)
{
    // GL keeps rows from the bottom: the camera's top row is the texture's last.
    const quenra::simruntime::Rgba seen = texture.Get(x, kHeight - 1 - rowFromTop);
    for (int c = 0; c < 3; ++c) {
        const double linear = std::pow(expected[c] / 255.0, 2.2) * 255.0;
        EXPECT_NEAR(seen[c], linear, 6.0) << what << ", channel " << c << " at (" << x << ", " << rowFromTop << ")";
    }
    EXPECT_EQ(seen[3], 255) << what;
}

TEST(CameraPixels, EachFrameLandsUprightAndInColourInItsOwnTexture)
{
    quenra::simengine::TraceRecorder trace;
    quenra::simengine::FakeGraphics graphics(kUnityGfxRendererOpenGLES30);
    quenra::simengine::EngineRegistry registry;
    registry.Provide<IUnityXRTrace>(trace.Interface());
    registry.Provide<IUnityGraphics>(graphics.Interface());
    RecordingGl gl;
    gl.ExecuteDraws();
    UnityPluginLoad(registry.Interfaces());
    graphics.FireDeviceEvent(kUnityGfxDeviceEventInitialize);

    const uint32_t numbers[] = {0, 9, 20};
    std::vector<YuvFrame> frames;
    CameraEvent event;
    event.width = kWidth;
    event.height = kHeight;
    for (uint32_t i = 0; i < 3; ++i) {
        frames.push_back(SyntheticCamera::Capture(numbers[i], kWidth, kHeight));
        event.targets.push_back(200 + i);
    }
    for (uint32_t i = 0; i < 3; ++i) {
        event.buffers.push_back(reinterpret_cast<AHardwareBuffer*>(&frames[i]));
        gl.ProvideFrame(event.buffers[i], &frames[i]);
    }
    RenderHwBuffersEventArgs args = event.Args();
    GetRenderEventFuncPtr()(kRenderHwBuffersEventId, &args);
    graphics.FireDeviceEvent(kUnityGfxDeviceEventShutdown);

    EXPECT_TRUE(gl.Misuses().empty());
    EXPECT_EQ(gl.ExecutedDraws(), 3u);
    for (uint32_t i = 0; i < 3; ++i) {
        const quenra::simruntime::RgbaImage texture = gl.TexturePixels(200 + i);
        ASSERT_EQ(texture.width, kWidth);
        ASSERT_EQ(texture.height, kHeight);
        const std::string frame = "texture " + std::to_string(i);
        // The bars, left to right, near the top and near the bottom of their band.
        for (uint32_t bar = 0; bar < 8; ++bar) {
            const uint32_t x = bar * kWidth / 8 + kWidth / 16;
            ExpectColour(texture, x, 1, SyntheticCamera::kBars[bar], frame + ", bar " + std::to_string(bar));
            ExpectColour(texture, x, kHeight / 2, SyntheticCamera::kBars[bar], frame + ", bar " + std::to_string(bar));
        }
        // Its own frame's marker is there; the others' are not.
        for (uint32_t j = 0; j < 3; ++j) {
            const auto [x, y] = SyntheticCamera::MarkerCentre(numbers[j], kWidth, kHeight);
            const quenra::simruntime::Rgba seen = texture.Get(x, kHeight - 1 - y);
            const bool white = seen[0] > 240 && seen[1] > 240 && seen[2] > 240;
            EXPECT_EQ(white, i == j) << frame << ", marker of frame " << numbers[j];
        }
    }
}

} // namespace
} // namespace wendrath::test

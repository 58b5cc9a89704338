// The record engine scripts pass with a camera render event. It crosses from script
// memory, so its layout is fixed.
#pragma once

#include <cstddef>
#include <cstdint>

struct AHardwareBuffer;

namespace wendrath {

// The one render event the plug-in handles: draw the record's camera frames.
constexpr int kRenderHwBuffersEventId = 0;

// The most frames one render event may carry: twice the eight cameras of the largest rigs in use,
// so every real rig fits, while a count read from a wrong record is refused before it is used.
constexpr int32_t kMaxRenderHwBuffers = 16;

struct RenderHwBuffersEventArgs {
    // Number of frames to draw; entry i of the two arrays belong together.
    int32_t bufferCount;
    // Size in pixels of every target texture, and so the drawing viewport.
    int32_t width;
    int32_t height;
    // Camera frames, in a YUV layout.
    AHardwareBuffer* const* hardwareBuffers;
    // Engine-owned GL 2D textures to draw into.
    const uint32_t* targetTextures;
};

static_assert(sizeof(RenderHwBuffersEventArgs) == 32, "scripts pass a 32-byte record");
static_assert(offsetof(RenderHwBuffersEventArgs, bufferCount) == 0, "record layout is fixed");
static_assert(offsetof(RenderHwBuffersEventArgs, width) == 4, "record layout is fixed");
static_assert(offsetof(RenderHwBuffersEventArgs, height) == 8, "record layout is fixed");
static_assert(offsetof(RenderHwBuffersEventArgs, hardwareBuffers) == 16, "record layout is fixed");
static_assert(offsetof(RenderHwBuffersEventArgs, targetTextures) == 24, "record layout is fixed");

} // namespace wendrath

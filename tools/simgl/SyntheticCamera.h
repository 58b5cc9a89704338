// A camera that films a known scene, so that pictures of what a renderer drew can be checked:
// eight colour bars across the top two thirds (white, yellow, cyan, green, magenta, red, blue,
// black, from the left), dark grey below with a white square marker that moves to the right
// from frame to frame.
#pragma once

#include <array>
#include <cstdint>

#include "YuvFrame.h"

namespace quenra::simgl {

class SyntheticCamera {
public:
    static constexpr std::array<std::array<uint8_t, 3>, 8> kBars = {{{255, 255, 255},
                                                                     {255, 255, 0},
                                                                     {0, 255, 255},
                                                                     {0, 255, 0},
                                                                     {255, 0, 255},
                                                                     {255, 0, 0},
                                                                     {0, 0, 255},
                                                                     {0, 0, 0}}};

    // Frame `number` of a width × height camera, converted to YUV with BT.601 full range.
    static YuvFrame Capture(uint32_t number, uint32_t width, uint32_t height);
    // The centre pixel (column, row from the top) of the marker in frame `number`.
    static std::array<uint32_t, 2> MarkerCentre(uint32_t number, uint32_t width, uint32_t height);
    // The marker's side in pixels.
    static uint32_t MarkerSize(uint32_t height) { return height / 6 > 2 ? height / 6 : 2; }
};

} // namespace quenra::simgl

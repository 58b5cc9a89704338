#include "SyntheticCamera.h"

#include <algorithm>
#include <cmath>

namespace quenra::simgl {
namespace {

constexpr std::array<uint8_t, 3> kGround{48, 48, 48};
constexpr std::array<uint8_t, 3> kWhite{255, 255, 255};

uint8_t Quantise(float value)
{
    return static_cast<uint8_t>(std::lround(std::clamp(value, 0.0f, 255.0f)));
}

} // namespace

std::array<uint32_t, 2> SyntheticCamera::MarkerCentre(uint32_t number, uint32_t width, uint32_t height)
{
    const uint32_t size = MarkerSize(height);
    const uint32_t travel = width > size ? width - size : 1;
    // Each frame moves it an eighth of the width to the right, wrapping round.
    const uint32_t left = (number * (width / 8 > 0 ? width / 8 : 1)) % travel;
    return {left + size / 2, height * 5 / 6};
}

YuvFrame SyntheticCamera::Capture(uint32_t number, uint32_t width, uint32_t height)
{
    YuvFrame frame(width, height);
    const auto [markerX, markerY] = MarkerCentre(number, width, height);
    const uint32_t half = MarkerSize(height) / 2;
    // Full-resolution RGB first; chroma is then the average of each 2 × 2 block.
    std::vector<std::array<float, 3>> yuv(std::size_t(width) * height);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            std::array<uint8_t, 3> rgb = y < height * 2 / 3 ? kBars[std::min<std::size_t>(x * 8 / width, 7)] : kGround;
            if (y >= height * 2 / 3 && x + half >= markerX && x < markerX + half && y + half >= markerY &&
                y < markerY + half) {
                rgb = kWhite;
            }
            const float luma = 0.299f * rgb[0] + 0.587f * rgb[1] + 0.114f * rgb[2];
            yuv[std::size_t(y) * width + x] = {luma, (rgb[2] - luma) / 1.772f + 128.0f,
                                               (rgb[0] - luma) / 1.402f + 128.0f};
        }
    }
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            frame.y[std::size_t(y) * width + x] = Quantise(yuv[std::size_t(y) * width + x][0]);
        }
    }
    for (uint32_t y = 0; y + 1 < height; y += 2) {
        for (uint32_t x = 0; x + 1 < width; x += 2) {
            for (int c = 1; c < 3; ++c) {
                const float sum = yuv[std::size_t(y) * width + x][c] + yuv[std::size_t(y) * width + x + 1][c] +
                                  yuv[std::size_t(y + 1) * width + x][c] + yuv[std::size_t(y + 1) * width + x + 1][c];
                (c == 1 ? frame.u : frame.v)[std::size_t(y / 2) * (width / 2) + x / 2] = Quantise(sum / 4);
            }
        }
    }
    return frame;
}

} // namespace quenra::simgl

// An 8-bit RGBA picture, rows from the top: what the runtime's CPU-backed swapchain images hold
// and what its reference compositor produces.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quenra::simruntime {

using Rgba = std::array<uint8_t, 4>;

struct RgbaImage {
    RgbaImage() = default;
    RgbaImage(uint32_t w, uint32_t h, Rgba fill = {0, 0, 0, 0}) : width(w), height(h), pixels(std::size_t(w) * h * 4)
    {
        Fill(fill);
    }

    uint8_t* At(uint32_t x, uint32_t y) { return &pixels[(std::size_t(y) * width + x) * 4]; }
    const uint8_t* At(uint32_t x, uint32_t y) const { return &pixels[(std::size_t(y) * width + x) * 4]; }
    Rgba Get(uint32_t x, uint32_t y) const
    {
        const uint8_t* p = At(x, y);
        return {p[0], p[1], p[2], p[3]};
    }
    void Set(uint32_t x, uint32_t y, Rgba colour)
    {
        uint8_t* p = At(x, y);
        for (int c = 0; c < 4; ++c) {
            p[c] = colour[c];
        }
    }
    void Fill(Rgba colour)
    {
        for (std::size_t i = 0; i < pixels.size(); i += 4) {
            for (int c = 0; c < 4; ++c) {
                pixels[i + c] = colour[c];
            }
        }
    }

    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> pixels;
};

} // namespace quenra::simruntime

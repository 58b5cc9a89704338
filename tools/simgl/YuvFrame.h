// A camera frame as a hardware buffer holds it: 8-bit Y, U (Cb) and V (Cr) planes, rows from the
// top, U and V at half the resolution in both directions (4:2:0).
#pragma once

#include <cstdint>
#include <vector>

namespace quenra::simgl {

struct YuvFrame {
    YuvFrame(uint32_t w, uint32_t h)
        : width(w), height(h), y(std::size_t(w) * h), u(std::size_t(w / 2) * (h / 2)), v(std::size_t(w / 2) * (h / 2))
    {
    }

    uint32_t width;
    uint32_t height;
    std::vector<uint8_t> y;
    std::vector<uint8_t> u;
    std::vector<uint8_t> v;
};

} // namespace quenra::simgl

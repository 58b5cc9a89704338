#include "Png.h"

#include <cstring>
#include <stdexcept>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

namespace quenra::sim {

void WritePng(const std::string& path, const simruntime::RgbaImage& picture, bool flipRows)
{
    simruntime::RgbaImage upright = picture;
    const size_t stride = size_t(picture.width) * 4;
    for (uint32_t y = 0; flipRows && y < picture.height; ++y) {
        std::memcpy(&upright.pixels[y * stride], &picture.pixels[(picture.height - 1 - y) * stride], stride);
    }
    if (picture.pixels.empty() ||
        stbi_write_png(path.c_str(), static_cast<int>(picture.width), static_cast<int>(picture.height), 4,
                       upright.pixels.data(), static_cast<int>(stride)) == 0) {
        throw std::runtime_error("cannot write " + path);
    }
}

} // namespace quenra::sim

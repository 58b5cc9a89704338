// Pictures written as PNG files, through the stb image writer.
#pragma once

#include <string>

#include "RgbaImage.h"

namespace quenra::sim {

// Writes the picture, rows from the top; with flipRows its rows are taken from the bottom (as GL
// stores a texture). Throws std::runtime_error naming the file when it cannot be written.
void WritePng(const std::string& path, const simruntime::RgbaImage& picture, bool flipRows = false);

} // namespace quenra::sim

// Text drawn into pictures with a 5 × 7 pixel font: digits, the capital letters and a few signs.
#pragma once

#include <string>

#include "RgbaImage.h"

namespace quenra::sim {

// Draws text with its top-left corner at (x, y), each font pixel a scale × scale square; characters
// the font lacks are left blank.
void DrawText(simruntime::RgbaImage& picture, const std::string& text, int x, int y, int scale,
              simruntime::Rgba colour);
// The width in pixels that DrawText takes for the text.
int TextWidth(const std::string& text, int scale);

} // namespace quenra::sim

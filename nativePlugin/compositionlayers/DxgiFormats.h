// The DXGI formats both Direct3D interfaces prefer for layer swapchains: R8G8B8A8_UNORM,
// B8G8R8A8_UNORM, R8G8B8A8_UNORM_SRGB, B8G8R8A8_UNORM_SRGB.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace Skelder {

constexpr std::initializer_list<int64_t> kPreferredDxgiFormats = {28, 87, 29, 91};

} // namespace Skelder

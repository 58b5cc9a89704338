// The graphics APIs the drawing plug-ins tell apart, one numbering for both.
#pragma once

#include <cstdint>

enum class GraphicsAPI : uint32_t {
    None = 0,
    OpenGLES = 1,
    Vulkan = 2,
    D3D11 = 3,
    D3D12 = 4,
};

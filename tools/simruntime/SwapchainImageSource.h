// Where a simulated swapchain's images come from. Without a source the runtime makes distinct
// placeholder values; a graphics API's source makes real images of that API instead.
#pragma once

#include <openxr/openxr.h>

#include <cstdint>
#include <vector>

namespace quenra::simruntime {

class SwapchainImageSource {
public:
    virtual ~SwapchainImageSource() = default;
    // `count` images for a new swapchain, as the values its image structures carry; none when
    // the API could not make them.
    virtual std::vector<uint64_t> MakeImages(const XrSwapchainCreateInfo& info, uint32_t count) = 0;
    // Frees the images of a swapchain that is gone.
    virtual void FreeImages(const std::vector<uint64_t>& images) = 0;
};

} // namespace quenra::simruntime

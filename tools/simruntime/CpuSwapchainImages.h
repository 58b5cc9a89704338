// Gives every image of the simulated runtime's swapchains CPU memory: an RGBA picture of the
// swapchain's size, found by the image value the runtime enumerates (what a Vulkan application
// would see as its VkImage). Applications and scripts write into it; the reference compositor
// reads, from each swapchain, the image released last.
#pragma once

#include <map>

#include "RgbaImage.h"
#include "Runtime.h"

namespace quenra::simruntime {

class Swapchains;

class CpuSwapchainImages {
public:
    // Wraps the swapchain module's creation and destruction; it must outlive this object.
    CpuSwapchainImages(Runtime& runtime, Swapchains& swapchains);
    // Puts the swapchain module's functions back.
    ~CpuSwapchainImages();
    CpuSwapchainImages(const CpuSwapchainImages&) = delete;
    CpuSwapchainImages& operator=(const CpuSwapchainImages&) = delete;

    // The memory of a swapchain image, by its enumerated value; null for a value no swapchain made
    // through this module enumerates.
    RgbaImage* Find(uint64_t image);
    // The image a compositor shows for the swapchain: the one released last; null before the
    // first release or for a swapchain that is not live.
    const RgbaImage* Presented(XrSwapchain swapchain) const;

private:
    static XrResult XRAPI_CALL CreateSwapchain(XrSession session, const XrSwapchainCreateInfo* info,
                                               XrSwapchain* swapchain);
    static XrResult XRAPI_CALL DestroySwapchain(XrSwapchain swapchain);

    Runtime& runtime;
    Swapchains& swapchains;
    PFN_xrCreateSwapchain nextCreate = nullptr;
    PFN_xrDestroySwapchain nextDestroy = nullptr;
    // Image value → memory; the swapchain's handle → its image values, in index order.
    std::map<uint64_t, RgbaImage> images;
    std::map<uint64_t, std::vector<uint64_t>> swapchainImages;
};

} // namespace quenra::simruntime

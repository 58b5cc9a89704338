// The OpenXR swapchain image structure of each graphics API. Where the platform has an API's
// headers, the published structure is used; where it has not (Direct3D 12 off Windows, Vulkan
// without its SDK), a record of the same layout stands in: the plug-in only stores and hands on
// the image handle, so it needs the layout, not the API.
#pragma once

#if __has_include(<vulkan/vulkan.h>)
#include <vulkan/vulkan.h>
#ifndef XR_USE_GRAPHICS_API_VULKAN
#define XR_USE_GRAPHICS_API_VULKAN
#endif
#endif

#if __has_include(<d3d11.h>)
#include <d3d11.h>
#ifndef XR_USE_GRAPHICS_API_D3D11
#define XR_USE_GRAPHICS_API_D3D11
#endif
#endif

#if __has_include(<d3d12.h>)
#include <d3d12.h>
#ifndef XR_USE_GRAPHICS_API_D3D12
#define XR_USE_GRAPHICS_API_D3D12
#endif
#endif

#include <openxr/openxr.h>
#include <openxr/openxr_platform.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

struct ID3D12Resource;

namespace Skelder {

#ifdef XR_USE_GRAPHICS_API_VULKAN
using SwapchainImageVulkan = XrSwapchainImageVulkanKHR;
#else
struct SwapchainImageVulkan {
    XrStructureType type;
    void* next;
    // A VkImage: a 64-bit non-dispatchable handle.
    uint64_t image;
};
#endif

// XrSwapchainImageD3D12KHR as declared where <d3d12.h> is missing.
struct SwapchainImageD3D12Record {
    XrStructureType type;
    void* next;
    ID3D12Resource* texture;
};
#ifdef XR_USE_GRAPHICS_API_D3D12
// Windows uses the published structure; the record the other platforms use must be its twin.
using SwapchainImageD3D12 = XrSwapchainImageD3D12KHR;
static_assert(sizeof(XrSwapchainImageD3D12KHR) == sizeof(SwapchainImageD3D12Record) &&
                  offsetof(XrSwapchainImageD3D12KHR, type) == offsetof(SwapchainImageD3D12Record, type) &&
                  offsetof(XrSwapchainImageD3D12KHR, next) == offsetof(SwapchainImageD3D12Record, next) &&
                  offsetof(XrSwapchainImageD3D12KHR, texture) == offsetof(SwapchainImageD3D12Record, texture),
              "the Direct3D 12 image record must have the layout of d3d12.h's");
static_assert(std::is_same_v<decltype(XrSwapchainImageD3D12KHR::texture), decltype(SwapchainImageD3D12Record::texture)>,
              "the Direct3D 12 image is an ID3D12Resource pointer");
#else
using SwapchainImageD3D12 = SwapchainImageD3D12Record;
#endif

// The runtime writes these records through the base header's layout, with the image member
// right after it; a stand-in record that differed would be overwritten in the wrong place.
#define SKELDER_CHECK_IMAGE_RECORD(Record, member)                                                                     \
    static_assert(offsetof(Record, type) == offsetof(XrSwapchainImageBaseHeader, type) &&                              \
                      offsetof(Record, next) == offsetof(XrSwapchainImageBaseHeader, next) &&                          \
                      offsetof(Record, member) == sizeof(XrSwapchainImageBaseHeader) &&                                \
                      sizeof(Record) == sizeof(XrSwapchainImageBaseHeader) + sizeof(uint64_t),                         \
                  #Record " must have the layout of the OpenXR swapchain image structure")
SKELDER_CHECK_IMAGE_RECORD(SwapchainImageVulkan, image);
SKELDER_CHECK_IMAGE_RECORD(SwapchainImageD3D12, texture);
#ifdef XR_USE_GRAPHICS_API_D3D11
SKELDER_CHECK_IMAGE_RECORD(XrSwapchainImageD3D11KHR, texture);
#endif
#undef SKELDER_CHECK_IMAGE_RECORD

} // namespace Skelder

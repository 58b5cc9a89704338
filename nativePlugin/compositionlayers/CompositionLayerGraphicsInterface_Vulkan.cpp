#include "CompositionLayerGraphicsInterface_Vulkan.h"

namespace Skelder {

namespace {
// VkFormat values: B8G8R8A8_SRGB, R8G8B8A8_SRGB, B8G8R8A8_UNORM, R8G8B8A8_UNORM.
constexpr std::initializer_list<int64_t> kPreferredFormats = {50, 43, 44, 37};
} // namespace

CompositionLayerGraphicsInterface_Vulkan::CompositionLayerGraphicsInterface_Vulkan(IUnityXRTrace* trace)
    : CompositionLayerGraphicsInterface(trace)
{
}

std::vector<XrSwapchainImageBaseHeader*> CompositionLayerGraphicsInterface_Vulkan::EnumerateImages(uint32_t count)
{
    return ResizeRecords(images, count, XR_TYPE_SWAPCHAIN_IMAGE_VULKAN_KHR);
}

void* CompositionLayerGraphicsInterface_Vulkan::SelectImage(uint32_t index)
{
    SwapchainImageVulkan* record = SelectRecord(images, index);
    return record != nullptr ? static_cast<void*>(&record->image) : nullptr;
}

int64_t CompositionLayerGraphicsInterface_Vulkan::ChooseFormat(const std::vector<int64_t>& formats) const
{
    return FirstPreferredFormat(formats, kPreferredFormats);
}

} // namespace Skelder

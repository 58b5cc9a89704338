#include "FrameRenderer_Vulkan.h"

namespace wendrath {

FrameRenderer_Vulkan::FrameRenderer_Vulkan(IUnityXRTrace* trace) : FrameRenderer(trace) {}

void FrameRenderer_Vulkan::RenderHwBuffers(const RenderHwBuffersEventArgs& /*args*/) {}

std::unique_ptr<VkImage> FrameRenderer_Vulkan::BindTexture(AHardwareBuffer* /*buffer*/, int32_t /*index*/)
{
    return std::make_unique<VkImage>();
}

} // namespace wendrath

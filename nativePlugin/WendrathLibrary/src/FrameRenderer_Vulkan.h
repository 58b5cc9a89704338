// Holds the place of a Vulkan drawing path: takes every render event and draws nothing.
#pragma once

#include <memory>
#include <vector>

#include "FrameRenderer.h"
#include "PlatformGraphics.h"

namespace wendrath {

class FrameRenderer_Vulkan final : public FrameRenderer {
public:
    explicit FrameRenderer_Vulkan(IUnityXRTrace* trace);

    void RenderHwBuffers(const RenderHwBuffersEventArgs& args) override;

    // A null image handle: hardware buffers are not imported into Vulkan yet.
    std::unique_ptr<VkImage> BindTexture(AHardwareBuffer* buffer, int32_t index);

private:
    // Images imported from hardware buffers; stays empty until there is a Vulkan drawing path.
    std::vector<VkImage*> images;
};

} // namespace wendrath

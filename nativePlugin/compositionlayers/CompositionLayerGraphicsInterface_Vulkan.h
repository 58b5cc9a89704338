// Vulkan layer swapchains: filled by scripts that draw into the acquired image, whose
// handle they get as the address of its VkImage.
#pragma once

#include "CompositionLayerGraphicsInterface.h"
#include "SwapchainImageRecords.h"

namespace Skelder {

class CompositionLayerGraphicsInterface_Vulkan : public CompositionLayerGraphicsInterface {
public:
    explicit CompositionLayerGraphicsInterface_Vulkan(IUnityXRTrace* trace);

    std::vector<XrSwapchainImageBaseHeader*> EnumerateImages(uint32_t count) override;
    void* SelectImage(uint32_t index) override;
    int64_t ChooseFormat(const std::vector<int64_t>& formats) const override;

private:
    std::vector<SwapchainImageVulkan> images;
};

} // namespace Skelder

#include "CompositionLayerGraphicsInterface_D3D12.h"

#include "DxgiFormats.h"

namespace Skelder {

CompositionLayerGraphicsInterface_D3D12::CompositionLayerGraphicsInterface_D3D12(IUnityXRTrace* trace)
    : CompositionLayerGraphicsInterface(trace)
{
}

std::vector<XrSwapchainImageBaseHeader*> CompositionLayerGraphicsInterface_D3D12::EnumerateImages(uint32_t count)
{
    return ResizeRecords(images, count, XR_TYPE_SWAPCHAIN_IMAGE_D3D12_KHR);
}

void* CompositionLayerGraphicsInterface_D3D12::SelectImage(uint32_t index)
{
    SwapchainImageD3D12* record = SelectRecord(images, index);
    return record != nullptr ? static_cast<void*>(record->texture) : nullptr;
}

int64_t CompositionLayerGraphicsInterface_D3D12::ChooseFormat(const std::vector<int64_t>& formats) const
{
    return FirstPreferredFormat(formats, kPreferredDxgiFormats);
}

} // namespace Skelder

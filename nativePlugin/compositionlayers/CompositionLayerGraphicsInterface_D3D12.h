// Direct3D 12 layer swapchains: filled by scripts that draw into the acquired image, whose
// handle they get as its ID3D12Resource.
#pragma once

#include "CompositionLayerGraphicsInterface.h"
#include "SwapchainImageRecords.h"

namespace Skelder {

class CompositionLayerGraphicsInterface_D3D12 : public CompositionLayerGraphicsInterface {
public:
    explicit CompositionLayerGraphicsInterface_D3D12(IUnityXRTrace* trace);

    std::vector<XrSwapchainImageBaseHeader*> EnumerateImages(uint32_t count) override;
    void* SelectImage(uint32_t index) override;
    int64_t ChooseFormat(const std::vector<int64_t>& formats) const override;

private:
    std::vector<SwapchainImageD3D12> images;
};

} // namespace Skelder

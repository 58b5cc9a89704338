// Direct3D 11 layer swapchains: the only API whose layers can be filled by copying an engine
// texture. Built only where the platform has <d3d11.h>.
#pragma once

#include "SwapchainImageRecords.h"

#ifdef XR_USE_GRAPHICS_API_D3D11

#include "CompositionLayerGraphicsInterface.h"

namespace Skelder {

class CompositionLayerGraphicsInterface_D3D11 : public CompositionLayerGraphicsInterface {
public:
    // Holds a reference on the engine's device for as long as it lives.
    CompositionLayerGraphicsInterface_D3D11(IUnityXRTrace* trace, ID3D11Device* device);
    ~CompositionLayerGraphicsInterface_D3D11() override;

    std::vector<XrSwapchainImageBaseHeader*> EnumerateImages(uint32_t count) override;
    void* SelectImage(uint32_t index) override;
    int64_t ChooseFormat(const std::vector<int64_t>& formats) const override;
    // A null texture is logged and not copied.
    bool CanCopyTexture(void* texture) const override;
    // Whole-resource copy: the texture must match the swapchain's size and format. A texture of
    // another size is logged and not copied.
    void TextureToSwapchain(void* texture, void* image) override;

private:
    bool SameSize(ID3D11Resource* texture, ID3D11Texture2D* swapchainTexture) const;

    ID3D11Device* device;
    std::vector<XrSwapchainImageD3D11KHR> images;
};

} // namespace Skelder

#endif

// Swapchain images of a Direct3D 11 session: real textures made on the application's device,
// as a runtime makes them, handed out as the ID3D11Texture2D pointers of XrSwapchainImageD3D11KHR.
#pragma once

#include <d3d11.h>

#include "SwapchainImageSource.h"

namespace quenra::simruntime {

class D3D11SwapchainImages : public SwapchainImageSource {
public:
    // Holds a reference on the device for as long as it lives.
    explicit D3D11SwapchainImages(ID3D11Device* device);
    ~D3D11SwapchainImages() override;
    D3D11SwapchainImages(const D3D11SwapchainImages&) = delete;
    D3D11SwapchainImages& operator=(const D3D11SwapchainImages&) = delete;

    // Textures of the create info's format, size, mip, array and sample counts, bound for the
    // usage it asks (render target, shader resource).
    std::vector<uint64_t> MakeImages(const XrSwapchainCreateInfo& info, uint32_t count) override;
    void FreeImages(const std::vector<uint64_t>& images) override;

    // Images made and not yet freed.
    int LiveImages() const { return liveImages; }

private:
    ID3D11Device* device;
    int liveImages = 0;
};

} // namespace quenra::simruntime

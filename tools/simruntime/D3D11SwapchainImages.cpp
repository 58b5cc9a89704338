#include "D3D11SwapchainImages.h"

namespace quenra::simruntime {

D3D11SwapchainImages::D3D11SwapchainImages(ID3D11Device* device) : device(device)
{
    device->AddRef();
}

D3D11SwapchainImages::~D3D11SwapchainImages()
{
    device->Release();
}

std::vector<uint64_t> D3D11SwapchainImages::MakeImages(const XrSwapchainCreateInfo& info, uint32_t count)
{
    D3D11_TEXTURE2D_DESC description{};
    description.Width = info.width;
    description.Height = info.height;
    description.MipLevels = info.mipCount;
    description.ArraySize = info.arraySize;
    description.Format = static_cast<DXGI_FORMAT>(info.format);
    description.SampleDesc.Count = info.sampleCount;
    description.Usage = D3D11_USAGE_DEFAULT;
    if ((info.usageFlags & XR_SWAPCHAIN_USAGE_COLOR_ATTACHMENT_BIT) != 0) {
        description.BindFlags |= D3D11_BIND_RENDER_TARGET;
    }
    if ((info.usageFlags & XR_SWAPCHAIN_USAGE_SAMPLED_BIT) != 0) {
        description.BindFlags |= D3D11_BIND_SHADER_RESOURCE;
    }
    std::vector<uint64_t> images;
    for (uint32_t i = 0; i < count; ++i) {
        ID3D11Texture2D* texture = nullptr;
        if (FAILED(device->CreateTexture2D(&description, nullptr, &texture))) {
            FreeImages(images);
            return {};
        }
        ++liveImages;
        images.push_back(reinterpret_cast<uint64_t>(texture));
    }
    return images;
}

void D3D11SwapchainImages::FreeImages(const std::vector<uint64_t>& images)
{
    for (uint64_t image : images) {
        reinterpret_cast<ID3D11Texture2D*>(image)->Release();
        --liveImages;
    }
}

} // namespace quenra::simruntime

#include "CompositionLayerGraphicsInterface_D3D11.h"

#ifdef XR_USE_GRAPHICS_API_D3D11

#include "DxgiFormats.h"

namespace Skelder {

namespace {
// IID of ID3D11Resource, spelled out so that no GUID library has to be linked.
const GUID kResourceInterfaceId = {0xdc8e63f3, 0xd12b, 0x4952, {0xb4, 0x7b, 0x5e, 0x45, 0x02, 0x6a, 0x86, 0x2d}};
} // namespace

CompositionLayerGraphicsInterface_D3D11::CompositionLayerGraphicsInterface_D3D11(IUnityXRTrace* trace,
                                                                                 ID3D11Device* device)
    : CompositionLayerGraphicsInterface(trace), device(device)
{
    if (device != nullptr) {
        device->AddRef();
    }
}

CompositionLayerGraphicsInterface_D3D11::~CompositionLayerGraphicsInterface_D3D11()
{
    if (device != nullptr) {
        device->Release();
    }
}

std::vector<XrSwapchainImageBaseHeader*> CompositionLayerGraphicsInterface_D3D11::EnumerateImages(uint32_t count)
{
    return ResizeRecords(images, count, XR_TYPE_SWAPCHAIN_IMAGE_D3D11_KHR);
}

void* CompositionLayerGraphicsInterface_D3D11::SelectImage(uint32_t index)
{
    XrSwapchainImageD3D11KHR* record = SelectRecord(images, index);
    return record != nullptr ? static_cast<void*>(record->texture) : nullptr;
}

int64_t CompositionLayerGraphicsInterface_D3D11::ChooseFormat(const std::vector<int64_t>& formats) const
{
    return FirstPreferredFormat(formats, kPreferredDxgiFormats);
}

bool CompositionLayerGraphicsInterface_D3D11::CanCopyTexture(void* texture) const
{
    if (texture == nullptr) {
        TraceLog(trace, kXRTraceLevelError,
                 "CompositionLayerGraphicsInterface_D3D11::TextureToSwapchain -- no texture");
        return false;
    }
    return device != nullptr;
}

void CompositionLayerGraphicsInterface_D3D11::TextureToSwapchain(void* texture, void* image)
{
    auto* swapchainTexture = static_cast<ID3D11Texture2D*>(image);
    ID3D11Resource* swapchainResource = nullptr;
    const HRESULT result =
        swapchainTexture->QueryInterface(kResourceInterfaceId, reinterpret_cast<void**>(&swapchainResource));
    if (FAILED(result)) {
        TraceLog(trace, kXRTraceLevelError,
                 "CompositionLayerGraphicsInterface_D3D11::TextureToSwapchain cannot get layer texture error %d",
                 static_cast<int>(result));
        return;
    }
    auto* source = static_cast<ID3D11Resource*>(texture);
    if (SameSize(source, swapchainTexture)) {
        ID3D11DeviceContext* context = nullptr;
        device->GetImmediateContext(&context);
        context->CopyResource(swapchainResource, source);
        context->Release();
    }
    swapchainResource->Release();
}

bool CompositionLayerGraphicsInterface_D3D11::SameSize(ID3D11Resource* texture, ID3D11Texture2D* swapchainTexture) const
{
    // Direct3D 11 drops a copy between resources of different sizes without a word, so the
    // script would see its layer stay as it was: say why.
    D3D11_TEXTURE2D_DESC target{};
    swapchainTexture->GetDesc(&target);
    D3D11_RESOURCE_DIMENSION dimension = D3D11_RESOURCE_DIMENSION_UNKNOWN;
    texture->GetType(&dimension);
    if (dimension != D3D11_RESOURCE_DIMENSION_TEXTURE2D) {
        TraceLog(trace, kXRTraceLevelError,
                 "CompositionLayerGraphicsInterface_D3D11::TextureToSwapchain -- texture is not a 2D texture, "
                 "nothing copied");
        return false;
    }
    D3D11_TEXTURE2D_DESC source{};
    static_cast<ID3D11Texture2D*>(texture)->GetDesc(&source);
    if (source.Width != target.Width || source.Height != target.Height) {
        TraceLog(trace, kXRTraceLevelError,
                 "CompositionLayerGraphicsInterface_D3D11::TextureToSwapchain -- texture size %ux%u differs from the "
                 "layer's swapchain size %ux%u, nothing copied",
                 source.Width, source.Height, target.Width, target.Height);
        return false;
    }
    return true;
}

} // namespace Skelder

#endif

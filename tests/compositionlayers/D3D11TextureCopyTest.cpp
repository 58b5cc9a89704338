// A script's texture copied into a layer's swapchain on a real Direct3D 11 device: the engine
// stand-in hands the plug-in the device, the runtime stand-in makes real swapchain textures, and
// what arrives is read back through a staging texture.
#include <gtest/gtest.h>

#include <d3d11.h>

#include <memory>
#include <string>
#include <vector>

#include "CompositionLayerGraphicsInterface_D3D11.h"
#include "D3D11SwapchainImages.h"
#include "FakeGraphicsD3D11.h"
#include "SkelderTestWorld.h"

namespace Skelder::test {
namespace {

using Pixels = std::vector<uint32_t>;

struct ComRelease {
    void operator()(IUnknown* object) const { object->Release(); }
};
using Texture = std::unique_ptr<ID3D11Texture2D, ComRelease>;

// A COM object's reference count, left as it was.
ULONG References(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

// Four distinct bytes per pixel, none repeated along a row or a column, so that a shifted,
// swizzled, converted or partial copy shows.
Pixels Pattern(uint32_t width, uint32_t height)
{
    Pixels pixels;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            pixels.push_back(0x40000000u | (x << 16) | (y << 8) | ((x * 7 + y * 13) & 0xFFu));
        }
    }
    return pixels;
}

Texture MakeTexture(ID3D11Device* device, DXGI_FORMAT format, uint32_t width, uint32_t height, const Pixels& pixels)
{
    D3D11_TEXTURE2D_DESC description{};
    description.Width = width;
    description.Height = height;
    description.MipLevels = 1;
    description.ArraySize = 1;
    description.Format = format;
    description.SampleDesc.Count = 1;
    description.Usage = D3D11_USAGE_DEFAULT;
    description.BindFlags = D3D11_BIND_SHADER_RESOURCE | D3D11_BIND_RENDER_TARGET;
    const D3D11_SUBRESOURCE_DATA data{pixels.data(), width * 4, 0};
    ID3D11Texture2D* texture = nullptr;
    EXPECT_EQ(device->CreateTexture2D(&description, &data, &texture), S_OK);
    return Texture(texture);
}

// The texture's pixels, copied to a staging texture on the GPU and read by the CPU row by row.
Pixels ReadBack(ID3D11Device* device, ID3D11Texture2D* texture)
{
    D3D11_TEXTURE2D_DESC description{};
    texture->GetDesc(&description);
    description.Usage = D3D11_USAGE_STAGING;
    description.BindFlags = 0;
    description.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    ID3D11Texture2D* staging = nullptr;
    if (device->CreateTexture2D(&description, nullptr, &staging) != S_OK) {
        ADD_FAILURE() << "no staging texture";
        return {};
    }
    ID3D11DeviceContext* context = nullptr;
    device->GetImmediateContext(&context);
    context->CopyResource(staging, texture);
    Pixels pixels;
    D3D11_MAPPED_SUBRESOURCE mapped{};
    if (context->Map(staging, 0, D3D11_MAP_READ, 0, &mapped) == S_OK) {
        for (uint32_t y = 0; y < description.Height; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const BYTE*>(mapped.pData) +
                                                                y * mapped.RowPitch);
            pixels.insert(pixels.end(), row, row + description.Width);
        }
        context->Unmap(staging, 0);
    } else {
        ADD_FAILURE() << "staging texture not mapped";
    }
    context->Release();
    staging->Release();
    return pixels;
}

// A real device, a plug-in loaded for Direct3D 11 with it, and a runtime whose swapchains are
// real textures of the device. Layers are 64x32 (SkelderTestWorld::CreateLayer).
class D3D11World : public ::testing::Test {
protected:
    static constexpr uint32_t kWidth = 64;
    static constexpr uint32_t kHeight = 32;

    void SetUp() override
    {
        const D3D_FEATURE_LEVEL level = D3D_FEATURE_LEVEL_11_0;
        ASSERT_EQ(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, &level, 1, D3D11_SDK_VERSION,
                                    &device, nullptr, &context),
                  S_OK);
        deviceReferences = References(device);
    }
    void TearDown() override
    {
        world.reset();
        if (images) {
            EXPECT_EQ(images->LiveImages(), 0) << "every swapchain texture released";
        }
        images.reset();
        d3d11.reset();
        if (device != nullptr) {
            EXPECT_EQ(References(device), deviceReferences) << "the plug-in gave back its device reference";
            context->Release();
            device->Release();
        }
    }

    // Loads the plug-in for a runtime offering an unpreferred format first, then `format`, and
    // makes one quad layer with one image cycled (the swapchain's first).
    void Start(DXGI_FORMAT format)
    {
        d3d11 = std::make_unique<quenra::simengine::FakeGraphicsD3D11>(device);
        images = std::make_unique<quenra::simruntime::D3D11SwapchainImages>(device);
        world = std::make_unique<SkelderTestWorld>();
        world->graphics.SetRenderer(kUnityGfxRendererD3D11);
        world->registry.Provide(d3d11->Interface());
        world->layers.swapchains.SetImageType(XR_TYPE_SWAPCHAIN_IMAGE_D3D11_KHR);
        world->layers.swapchains.SetFormats({DXGI_FORMAT_R16G16B16A16_FLOAT, format});
        world->layers.swapchains.SetImageSource(images.get());
        world->Load();
        SetCompositionLayerFeatureEnabled(1);
        SetMaxCompositionLayerCount(16);
        layer = world->CreateLayer(LayerType::Quad, 0);
        ASSERT_NE(layer, 0);
        const auto swapchains = world->layers.runtime.LiveHandles(quenra::simruntime::HandleKind::Swapchain);
        ASSERT_EQ(swapchains.size(), 1u);
        swapchain = reinterpret_cast<XrSwapchain>(swapchains[0].handle);
    }
    ID3D11Texture2D* Image(size_t index) const
    {
        return reinterpret_cast<ID3D11Texture2D*>(world->layers.swapchains.Images(swapchain).at(index));
    }
    std::vector<std::string> Errors() const { return world->layers.trace.Texts(kXRTraceLevelError); }

    ID3D11Device* device = nullptr;
    ID3D11DeviceContext* context = nullptr;
    ULONG deviceReferences = 0;
    std::unique_ptr<quenra::simengine::FakeGraphicsD3D11> d3d11;
    std::unique_ptr<quenra::simruntime::D3D11SwapchainImages> images;
    std::unique_ptr<SkelderTestWorld> world;
    int32_t layer = 0;
    XrSwapchain swapchain = XR_NULL_HANDLE;
};

class D3D11Formats : public D3D11World, public ::testing::WithParamInterface<DXGI_FORMAT> {};

TEST_P(D3D11Formats, TheScriptsTextureArrivesPixelForPixelInTheAcquiredImageAndTheFrameShowsIt)
{
    Start(GetParam());
    D3D11_TEXTURE2D_DESC description{};
    Image(1)->GetDesc(&description);
    EXPECT_EQ(description.Format, GetParam()) << "the preferred format, not the runtime's first";
    EXPECT_EQ(world->layers.swapchains.CreateInfos().back().format, GetParam());

    const Pixels pattern = Pattern(kWidth, kHeight);
    const Texture texture = MakeTexture(device, GetParam(), kWidth, kHeight, pattern);
    ASSERT_NE(texture, nullptr);
    const ULONG textureReferences = References(texture.get());
    const ULONG imageReferences = References(Image(1));
    const ULONG contextReferences = References(context);

    EXPECT_EQ(UseNativeTexture(), 1);
    SendToSwapchain(layer, texture.get(), 0, 0);

    // The layer's second acquire got the swapchain's second image, and gave it back.
    EXPECT_EQ(ReadBack(device, Image(1)), pattern);
    EXPECT_NE(ReadBack(device, Image(0)), pattern);
    EXPECT_NE(ReadBack(device, Image(2)), pattern);
    EXPECT_EQ(world->layers.swapchains.AcquiredCount(swapchain), 0u);
    EXPECT_EQ(world->layers.swapchains.ReleasedCount(swapchain), 2u);
    EXPECT_EQ(References(texture.get()), textureReferences);
    EXPECT_EQ(References(Image(1)), imageReferences);
    EXPECT_EQ(References(context), contextReferences);

    ASSERT_EQ(world->RunFrame({}), XR_SUCCESS);
    ASSERT_EQ(world->Submitted().back().size(), 1u);
    EXPECT_EQ(world->Submitted().back()[0].type, XR_TYPE_COMPOSITION_LAYER_QUAD);
    EXPECT_EQ(world->Submitted().back()[0].address, world->StructureOf(layer));
    EXPECT_EQ(Errors(), std::vector<std::string>{});

    // The device came through the engine's Direct3D 11 interface, asked for by its two words.
    const std::pair<uint64_t, uint64_t> d3d11Id{0xaab37ef87a87d748ULL, 0xbf76967f07efb177ULL};
    EXPECT_EQ(world->registry.SplitLookups().back(), d3d11Id);
}

INSTANTIATE_TEST_SUITE_P(PreferredFormats, D3D11Formats,
                         ::testing::Values(DXGI_FORMAT_R8G8B8A8_UNORM, DXGI_FORMAT_R8G8B8A8_UNORM_SRGB,
                                           DXGI_FORMAT_B8G8R8A8_UNORM, DXGI_FORMAT_B8G8R8A8_UNORM_SRGB),
                         [](const ::testing::TestParamInfo<DXGI_FORMAT>& info) {
                             switch (info.param) {
                             case DXGI_FORMAT_R8G8B8A8_UNORM:
                                 return std::string("RGBA8");
                             case DXGI_FORMAT_R8G8B8A8_UNORM_SRGB:
                                 return std::string("RGBA8_SRGB");
                             case DXGI_FORMAT_B8G8R8A8_UNORM:
                                 return std::string("BGRA8");
                             default:
                                 return std::string("BGRA8_SRGB");
                             }
                         });

TEST_F(D3D11World, WhileTheScriptHoldsTheImageASendTouchesNothing)
{
    Start(DXGI_FORMAT_R8G8B8A8_UNORM);
    ASSERT_NE(AcquireSwapchainImageForLayer(layer), nullptr);
    const Pixels before = ReadBack(device, Image(1));
    const Texture texture = MakeTexture(device, DXGI_FORMAT_R8G8B8A8_UNORM, kWidth, kHeight,
                                           Pattern(kWidth, kHeight));
    ASSERT_NE(texture, nullptr);

    SendToSwapchain(layer, texture.get(), 0, 0);

    EXPECT_EQ(ReadBack(device, Image(1)), before);
    EXPECT_EQ(world->layers.swapchains.AcquiredCount(swapchain), 1u) << "the script's image is still the script's";
    EXPECT_EQ(world->layers.swapchains.ReleasedCount(swapchain), 1u);
    ReleaseSwapchainImageForLayer(layer);
    EXPECT_EQ(world->layers.swapchains.ReleasedCount(swapchain), 2u);
    EXPECT_EQ(Errors(), std::vector<std::string>{});
}

TEST_F(D3D11World, AFailedImageWaitGivesTheImageBackAndTheNextSendCopies)
{
    Start(DXGI_FORMAT_R8G8B8A8_UNORM);
    const Pixels pattern = Pattern(kWidth, kHeight);
    const Texture texture = MakeTexture(device, DXGI_FORMAT_R8G8B8A8_UNORM, kWidth, kHeight, pattern);
    ASSERT_NE(texture, nullptr);

    world->layers.runtime.FailNext("xrWaitSwapchainImage", XR_ERROR_RUNTIME_FAILURE);
    SendToSwapchain(layer, texture.get(), 0, 0);
    EXPECT_EQ(Errors(), std::vector<std::string>{"CompositionLayerBase::AcquireImage -- xrAcquireSwapchainImage "
                                                 "failed: -2"});
    EXPECT_EQ(world->layers.swapchains.AcquiredCount(swapchain), 0u) << "the image this send acquired went back";
    EXPECT_EQ(world->layers.swapchains.ReleasedCount(swapchain), 2u);

    SendToSwapchain(layer, texture.get(), 0, 0);
    EXPECT_EQ(ReadBack(device, Image(2)), pattern);
    EXPECT_EQ(world->layers.swapchains.AcquiredCount(swapchain), 0u);
    ASSERT_EQ(world->RunFrame({}), XR_SUCCESS);
    ASSERT_EQ(world->Submitted().back().size(), 1u) << "the layer is not left out of the frame";
    EXPECT_EQ(world->Warnings(), std::vector<std::string>{});
}

TEST_F(D3D11World, ATextureOfAnotherSizeIsNamedInAnErrorAndNotCopied)
{
    Start(DXGI_FORMAT_R8G8B8A8_UNORM);
    const Pixels before = ReadBack(device, Image(1));
    const Texture texture = MakeTexture(device, DXGI_FORMAT_R8G8B8A8_UNORM, 32, 32, Pattern(32, 32));
    ASSERT_NE(texture, nullptr);

    SendToSwapchain(layer, texture.get(), 0, 0);

    EXPECT_EQ(Errors(), std::vector<std::string>{"CompositionLayerGraphicsInterface_D3D11::TextureToSwapchain -- "
                                                 "texture size 32x32 differs from the layer's swapchain size 64x32, "
                                                 "nothing copied"});
    EXPECT_EQ(ReadBack(device, Image(1)), before);
    EXPECT_EQ(world->layers.swapchains.ReleasedCount(swapchain), 2u) << "the image is released all the same";
}

// A swapchain image that refuses every interface query; nothing else of it may be called.
class RefusingTexture : public ID3D11Texture2D {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    void STDMETHODCALLTYPE GetDevice(ID3D11Device**) override { ADD_FAILURE(); }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, UINT*, void*) override { return Unexpected(); }
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, UINT, const void*) override { return Unexpected(); }
    HRESULT STDMETHODCALLTYPE SetPrivateDataInterface(REFGUID, const IUnknown*) override { return Unexpected(); }
    void STDMETHODCALLTYPE GetType(D3D11_RESOURCE_DIMENSION*) override { ADD_FAILURE(); }
    void STDMETHODCALLTYPE SetEvictionPriority(UINT) override { ADD_FAILURE(); }
    UINT STDMETHODCALLTYPE GetEvictionPriority() override { return Unexpected(); }
    void STDMETHODCALLTYPE GetDesc(D3D11_TEXTURE2D_DESC*) override { ADD_FAILURE(); }

    ULONG references = 1;

private:
    static HRESULT Unexpected()
    {
        ADD_FAILURE();
        return E_FAIL;
    }
};

TEST_F(D3D11World, AFailedQueryIsLoggedAndEverythingTakenIsGivenBack)
{
    quenra::simengine::TraceRecorder trace;
    RefusingTexture refusing;
    const Texture texture = MakeTexture(device, DXGI_FORMAT_R8G8B8A8_UNORM, kWidth, kHeight,
                                           Pattern(kWidth, kHeight));
    ASSERT_NE(texture, nullptr);
    const ULONG textureReferences = References(texture.get());
    const ULONG contextReferences = References(context);
    const ULONG deviceReferencesBefore = References(device);
    {
        CompositionLayerGraphicsInterface_D3D11 graphics(trace.Interface(), device);
        EXPECT_EQ(References(device), deviceReferencesBefore + 1);
        ASSERT_TRUE(graphics.CanCopyTexture(texture.get()));
        graphics.TextureToSwapchain(texture.get(), &refusing);

        EXPECT_EQ(trace.Texts(kXRTraceLevelError),
                  std::vector<std::string>{"CompositionLayerGraphicsInterface_D3D11::TextureToSwapchain cannot get "
                                           "layer texture error " +
                                           std::to_string(static_cast<int>(E_NOINTERFACE))});
        EXPECT_EQ(refusing.references, 1u);
        EXPECT_EQ(References(texture.get()), textureReferences);
        EXPECT_EQ(References(context), contextReferences);
    }
    EXPECT_EQ(References(device), deviceReferencesBefore);
}

} // namespace
} // namespace Skelder::test

#include <gtest/gtest.h>

#include "CompositionLayerProvider.h"
#include "EngineRegistry.h"
#include "LayerTestWorld.h"
#include "QuadCompositionLayer.h"

namespace Skelder::test {
namespace {

using quenra::simengine::EngineRegistry;

class Provider : public ::testing::Test {
protected:
    Provider() : provider(MakeProvider(registry, world)) { provider.SetGraphicsAPI(GraphicsAPI::Vulkan); }
    // The provider looks its trace up when it is made, so the registry must offer it first.
    static IUnityInterfaces* MakeProvider(EngineRegistry& registry, LayerTestWorld& world)
    {
        registry.Provide(world.trace.Interface());
        return registry.Interfaces();
    }
    int32_t Create(LayerType type, int32_t sortingOrder = 0, XrSession session = XR_NULL_HANDLE)
    {
        return provider.CreateLayer(world.instance, &quenra::simruntime::Runtime::GetInstanceProcAddr,
                                    session != XR_NULL_HANDLE ? session : world.session, 64, 32, sortingOrder, type);
    }
    std::vector<int32_t> ListedIds() const
    {
        std::vector<int32_t> ids;
        for (int32_t id = 1; id <= 16; ++id) {
            if (provider.FindLayer(id) != nullptr) {
                ids.push_back(id);
            }
        }
        return ids;
    }
    std::vector<int32_t> VisibleIds() const { return VisibleLayerIds(provider); }

    LayerTestWorld world;
    EngineRegistry registry;
    CompositionLayerProvider provider;
};

TEST_F(Provider, LayersGetConsecutiveIdsAndAreFoundByThem)
{
    const int32_t quad = Create(LayerType::Quad);
    const int32_t cylinder = Create(LayerType::Cylinder);
    const int32_t equirect = Create(LayerType::Equirect);
    const int32_t passthrough = Create(LayerType::Passthrough);
    EXPECT_EQ(quad, 1);
    EXPECT_EQ(cylinder, 2);
    EXPECT_EQ(equirect, 3);
    EXPECT_EQ(passthrough, 4);
    EXPECT_EQ(provider.LayerCount(), 4u);
    EXPECT_NE(dynamic_cast<QuadCompositionLayer*>(provider.FindLayer(quad)), nullptr);
    EXPECT_EQ(provider.FindLayer(cylinder)->LayerId(), cylinder);
    EXPECT_EQ(provider.FindLayer(0), nullptr);
    EXPECT_EQ(provider.FindLayer(5), nullptr);
    EXPECT_EQ(world.trace.Size(), 0u);
    EXPECT_EQ(world.LiveCount(HandleKind::Swapchain), 3u) << "passthrough has none";
}

TEST_F(Provider, WithoutAGraphicsInterfaceNothingIsCreated)
{
    for (GraphicsAPI api : {GraphicsAPI::None, GraphicsAPI::OpenGLES, GraphicsAPI::D3D11}) {
        world.trace.Clear();
        provider.SetGraphicsAPI(api);
        EXPECT_EQ(Create(LayerType::Quad), 0);
        const unsigned value = static_cast<unsigned>(api);
        Texts expected{"CompositionLayerProvider::CreateLayer -- cannot create composition layer graphics interface "
                       "with invalid graphics API " +
                           std::to_string(value),
                       "CompositionLayerProvider::CreateLayer -- failed to create composition layer of type 1 -- no "
                       "graphics interface could be created for api " +
                           std::to_string(value)};
#ifdef XR_USE_GRAPHICS_API_D3D11
        // Where Direct3D 11 exists its API is valid; here it fails for want of the engine's device.
        if (api == GraphicsAPI::D3D11) {
            expected.erase(expected.begin());
        }
#endif
        EXPECT_EQ(world.trace.Texts(kXRTraceLevelError), expected);
    }
    EXPECT_EQ(provider.LayerCount(), 0u);
    EXPECT_EQ(world.runtime.CallCount("xrCreateSwapchain"), 0u);
    provider.SetGraphicsAPI(GraphicsAPI::Vulkan);
    EXPECT_EQ(Create(LayerType::Quad), 1) << "no id was used up";
}

TEST_F(Provider, CubeIsRefusedAfterItsInterfaceWasMade)
{
    EXPECT_EQ(Create(LayerType::Cube), 0);
    EXPECT_EQ(world.trace.Texts(kXRTraceLevelError),
              (Texts{"CompositionLayerProvider::CreateLayer -- cube layer not yet implemented",
                     "CompositionLayerProvider::CreateLayer -- failed to create composition layer of type 2"}));
    EXPECT_EQ(provider.LayerCount(), 0u);
    EXPECT_EQ(Create(LayerType::Quad), 1);
}

TEST_F(Provider, UnknownTypesAreRefusedWithOneMessage)
{
    for (uint32_t type : {0u, 6u}) {
        world.trace.Clear();
        EXPECT_EQ(Create(static_cast<LayerType>(type)), 0);
        EXPECT_EQ(world.trace.Texts(kXRTraceLevelError),
                  Texts{"CompositionLayerProvider::CreateLayer -- unknown layer type " + std::to_string(type)});
    }
    EXPECT_EQ(provider.LayerCount(), 0u);
    EXPECT_EQ(world.runtime.Calls().size(), 0u);
}

TEST_F(Provider, FailedConfigurationUsesUpItsIdAndLeavesNothing)
{
    EXPECT_EQ(Create(LayerType::Quad), 1);
    world.runtime.FailNext("xrCreateSwapchain", XR_ERROR_RUNTIME_FAILURE);
    EXPECT_EQ(Create(LayerType::Cylinder), 0);
    EXPECT_TRUE(world.trace.Contains(
        kXRTraceLevelError, "CompositionLayerProvider::CreateLayer -- failed to configure composition layer of "
                            "type 3"));
    EXPECT_EQ(provider.FindLayer(2), nullptr);
    EXPECT_EQ(world.LiveCount(HandleKind::Swapchain), 1u);
    EXPECT_EQ(world.LiveCount(HandleKind::Space), 1u) << "the failed layer made no space";
    EXPECT_EQ(Create(LayerType::Quad), 3);
}

TEST_F(Provider, LayerMadeWithoutLookupFunctionFailsWithMessages)
{
    EXPECT_EQ(provider.CreateLayer(world.instance, nullptr, world.session, 64, 64, 0, LayerType::Quad), 0);
    // A passthrough layer is made all the same; it never shows (see LayerKinds).
    EXPECT_EQ(provider.CreateLayer(world.instance, nullptr, world.session, 64, 64, 0, LayerType::Passthrough), 2);
    EXPECT_EQ(world.trace.Texts(kXRTraceLevelError),
              (Texts{"CompositionLayerBase::CreateSwapchain -- enumerateswapchainformats result -7",
                     "CompositionLayerBase::ConfigureSwapchain -- Failed to create swapchain.",
                     "CompositionLayerProvider::CreateLayer -- failed to configure composition layer of type 1",
                     "PassthroughCompositionLayer::ConfigureSwapchain -- the runtime offers no XR_FB_passthrough "
                     "functions",
                     "PassthroughCompositionLayer::Initialize -- xrCreateReferenceSpace failed: -7"}));
    EXPECT_EQ(provider.LayerCount(), 1u);
}

TEST_F(Provider, Direct3D12LayersEnumerateDirect3D12Images)
{
    world.swapchains.SetImageType(XR_TYPE_SWAPCHAIN_IMAGE_D3D12_KHR);
    world.swapchains.SetFormats({2, 29, 28});
    provider.SetGraphicsAPI(GraphicsAPI::D3D12);
    const int32_t id = Create(LayerType::Quad);
    ASSERT_EQ(id, 1);
    EXPECT_EQ(world.swapchains.CreateInfos().at(0).format, 29);
    CompositionLayerBase* layer = provider.FindLayer(id);
    void* image = layer->AcquireImage(XR_INFINITE_DURATION);
    EXPECT_EQ(reinterpret_cast<uint64_t>(image), world.swapchains.Images(layer->Swapchain()).at(0));
}

TEST_F(Provider, LayersKeepTheInterfaceTheyWereMadeWith)
{
    const int32_t id = Create(LayerType::Quad);
    provider.SetGraphicsAPI(GraphicsAPI::None);
    CompositionLayerBase* layer = provider.FindLayer(id);
    EXPECT_NE(layer->AcquireImage(XR_INFINITE_DURATION), nullptr);
}

TEST_F(Provider, SortingOrdersLayersAscending)
{
    const int32_t a = Create(LayerType::Quad, 5);
    const int32_t b = Create(LayerType::Quad, -2);
    const int32_t c = Create(LayerType::Quad, 0);
    const int32_t d = Create(LayerType::Quad, -1);
    // Unsorted until asked.
    EXPECT_EQ(VisibleIds(), (std::vector<int32_t>{a, b, c, d}));
    provider.SortLayers();
    EXPECT_EQ(VisibleIds(), (std::vector<int32_t>{b, d, c, a}));
    provider.FindLayer(a)->sortingOrder = -9;
    provider.SortLayers();
    EXPECT_EQ(VisibleIds(), (std::vector<int32_t>{a, b, d, c}));
}

TEST_F(Provider, HiddenLayersAreNeitherListedNorUnderlays)
{
    const int32_t hidden = Create(LayerType::Quad, -1);
    const int32_t below = Create(LayerType::Quad, -1);
    const int32_t above = Create(LayerType::Quad, 2);
    provider.SortLayers();
    provider.FindLayer(hidden)->visible = false;

    const std::vector<XrCompositionLayerBaseHeader*> visible = VisibleXrLayers(provider);
    EXPECT_EQ(VisibleIds(), (std::vector<int32_t>{below, above}));
    EXPECT_EQ(provider.UnderlayCount(visible), 1u);
    EXPECT_EQ(provider.VisibleLayerCount(), 2u);

    provider.FindLayer(below)->visible = false;
    EXPECT_EQ(provider.UnderlayCount(VisibleXrLayers(provider)), 0u);
    EXPECT_EQ(provider.VisibleLayerCount(), 1u);
}

TEST_F(Provider, AcquiredLayerIsLeftOutWithANoticeButStillCounts)
{
    const int32_t held = Create(LayerType::Quad, -3);
    const int32_t other = Create(LayerType::Cylinder, -1);
    provider.SortLayers();
    ASSERT_NE(provider.FindLayer(held)->AcquireImage(XR_INFINITE_DURATION), nullptr);

    const std::vector<XrCompositionLayerBaseHeader*> visible = VisibleXrLayers(provider);
    EXPECT_EQ(VisibleIds(), std::vector<int32_t>{other});
    EXPECT_EQ(provider.UnderlayCount(visible), 1u);
    EXPECT_EQ(provider.VisibleLayerCount(), 2u);
    EXPECT_EQ(world.trace.Texts(kXRTraceLevelNotice),
              (Texts(2, "CompositionLayerProvider::GetVisibleXrLayers -- Want to show layer 1, but it is currently "
                        "acquired. Should be released before submitting to xrEndFrame. Skipping layer for now.")));

    provider.FindLayer(held)->ReleaseImage();
    EXPECT_EQ(VisibleIds(), (std::vector<int32_t>{held, other}));
}

TEST_F(Provider, DestroyLayerTearsDownOnlyThatLayer)
{
    const int32_t first = Create(LayerType::Quad);
    const int32_t second = Create(LayerType::Quad);
    const XrSwapchain swapchain = provider.FindLayer(first)->Swapchain();
    EXPECT_FALSE(provider.DestroyLayer(99));
    EXPECT_TRUE(provider.DestroyLayer(first));
    EXPECT_FALSE(provider.DestroyLayer(first));
    EXPECT_EQ(world.HandlesOf("xrDestroySwapchain"), std::vector<uint64_t>{HandleValue(swapchain)});
    EXPECT_EQ(ListedIds(), std::vector<int32_t>{second});
    EXPECT_EQ(world.LiveCount(HandleKind::Space), 1u);
    EXPECT_EQ(Create(LayerType::Quad), 3) << "ids are never reused";
}

TEST_F(Provider, DestroyLayersInSessionTakesOnlyThatSessionsLayers)
{
    const XrSession otherSession = world.runtime.MakeSession(world.instance);
    const int32_t mine = Create(LayerType::Quad);
    const int32_t theirs = Create(LayerType::Passthrough, 0, otherSession);
    const int32_t mineToo = Create(LayerType::Equirect);

    provider.DestroyLayersInSession(world.runtime.MakeSession(world.instance));
    EXPECT_EQ(ListedIds(), (std::vector<int32_t>{mine, theirs, mineToo}));
    EXPECT_EQ(world.runtime.CallCount("xrDestroySwapchain"), 0u);

    provider.DestroyLayersInSession(world.session);
    EXPECT_EQ(ListedIds(), std::vector<int32_t>{theirs});
    EXPECT_EQ(world.LiveCount(HandleKind::Swapchain), 0u);
    EXPECT_EQ(world.LiveCount(HandleKind::Space), 1u) << "the passthrough layer's space stays";
}

TEST_F(Provider, TeardownDestroysLayersFromTheFrontOfTheList)
{
    const int32_t last = Create(LayerType::Quad, 9);
    const int32_t first = Create(LayerType::Quad, -9);
    const int32_t middle = Create(LayerType::Cylinder, 0);
    provider.SortLayers();
    const std::vector<uint64_t> expected = {HandleValue(provider.FindLayer(first)->Swapchain()),
                                            HandleValue(provider.FindLayer(middle)->Swapchain()),
                                            HandleValue(provider.FindLayer(last)->Swapchain())};
    ASSERT_NE(provider.FindLayer(middle)->AcquireImage(XR_INFINITE_DURATION), nullptr);

    provider.DestroyAllLayers();
    EXPECT_EQ(world.HandlesOf("xrDestroySwapchain"), expected);
    EXPECT_EQ(world.runtime.CallCount("xrReleaseSwapchainImage"), 1u) << "the held image is given back first";
    EXPECT_EQ(provider.LayerCount(), 0u);
    EXPECT_TRUE(world.runtime.LiveHandles(HandleKind::Swapchain).empty());
    EXPECT_TRUE(world.runtime.LiveHandles(HandleKind::Space).empty());
}

TEST_F(Provider, DestroyingTheProviderDestroysItsLayers)
{
    {
        CompositionLayerProvider scoped(registry.Interfaces());
        scoped.SetGraphicsAPI(GraphicsAPI::Vulkan);
        ASSERT_EQ(scoped.CreateLayer(world.instance, &quenra::simruntime::Runtime::GetInstanceProcAddr, world.session,
                                     8, 8, 0, LayerType::Passthrough),
                  1);
        ASSERT_EQ(scoped.CreateLayer(world.instance, &quenra::simruntime::Runtime::GetInstanceProcAddr, world.session,
                                     8, 8, 0, LayerType::Quad),
                  2);
    }
    EXPECT_TRUE(world.runtime.LiveHandles(HandleKind::Swapchain).empty());
    EXPECT_TRUE(world.runtime.LiveHandles(HandleKind::PassthroughLayer).empty());
    EXPECT_TRUE(world.runtime.LiveHandles(HandleKind::Space).empty());
}

TEST_F(Provider, MissingTraceInterfaceSilencesMessagesOnly)
{
    registry.Withhold<IUnityXRTrace>();
    CompositionLayerProvider silent(registry.Interfaces());
    silent.SetGraphicsAPI(GraphicsAPI::Vulkan);
    EXPECT_EQ(silent.CreateLayer(world.instance, &quenra::simruntime::Runtime::GetInstanceProcAddr, world.session, 8, 8,
                                 0, LayerType::Cube),
              0);
    EXPECT_EQ(silent.CreateLayer(world.instance, &quenra::simruntime::Runtime::GetInstanceProcAddr, world.session, 8, 8,
                                 0, LayerType::Quad),
              1);
    EXPECT_EQ(world.trace.Size(), 0u);
    CompositionLayerProvider withoutRegistry(nullptr);
    EXPECT_EQ(withoutRegistry.CreateLayer(world.instance, &quenra::simruntime::Runtime::GetInstanceProcAddr,
                                          world.session, 8, 8, 0, LayerType::Quad),
              0);
}

} // namespace
} // namespace Skelder::test

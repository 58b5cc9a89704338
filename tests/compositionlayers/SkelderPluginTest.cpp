// Load, unload, device events and the exported layer functions.
#include <gtest/gtest.h>

#include <cstring>

#include "CylinderCompositionLayer.h"
#include "EquirectCompositionLayer.h"
#include "QuadCompositionLayer.h"
#include "SkelderTestWorld.h"

namespace Skelder::test {
namespace {

class Plugin : public ::testing::Test {
protected:
    GraphicsAPI ProviderAPI()
    {
        ProviderLock::Hold hold(Skelder::State().providerLock);
        return Skelder::State().provider->GetGraphicsAPI();
    }
    // The provider's layer ids in table order.
    std::vector<int32_t> TableOrder()
    {
        ProviderLock::Hold hold(Skelder::State().providerLock);
        return VisibleLayerIds(*Skelder::State().provider);
    }
    template <typename Structure> Structure StructureOf(int32_t id)
    {
        return *reinterpret_cast<const Structure*>(world.StructureOf(id));
    }
    void SetOrderWithoutSorting(int32_t id, int32_t order)
    {
        ProviderLock::Hold hold(Skelder::State().providerLock);
        Skelder::State().provider->FindLayer(id)->sortingOrder = order;
    }
    size_t SwapchainCalls() const
    {
        size_t count = 0;
        for (const char* name : {"xrCreateSwapchain", "xrAcquireSwapchainImage", "xrReleaseSwapchainImage",
                                 "xrDestroySwapchain", "xrEnumerateSwapchainFormats"}) {
            count += world.layers.runtime.CallCount(name);
        }
        return count;
    }

    SkelderTestWorld world;
};

TEST_F(Plugin, LoadAndUnloadAreAnnouncedAndFollowTheDeviceCallback)
{
    world.Load();
    EXPECT_EQ(world.layers.trace.Texts(kXRTraceLevelNotice), Texts{"Skelder::UnityPluginLoad"});
    EXPECT_EQ(world.graphics.Callbacks().size(), 1u);
    EXPECT_EQ(ProviderAPI(), GraphicsAPI::Vulkan);

    UnityPluginUnload();
    EXPECT_EQ(world.layers.trace.Texts(kXRTraceLevelNotice),
              (Texts{"Skelder::UnityPluginLoad", "Skelder::UnityPluginUnload"}));
    EXPECT_TRUE(world.graphics.Callbacks().empty());
}

TEST_F(Plugin, TheEnginesRendererChoosesTheProvidersGraphicsAPI)
{
    const std::pair<UnityGfxRenderer, GraphicsAPI> cases[] = {
        {kUnityGfxRendererVulkan, GraphicsAPI::Vulkan},   {kUnityGfxRendererOpenGLES30, GraphicsAPI::OpenGLES},
        {kUnityGfxRendererD3D11, GraphicsAPI::D3D11},     {kUnityGfxRendererD3D12, GraphicsAPI::D3D12},
        {kUnityGfxRendererNull, GraphicsAPI::None},       {kUnityGfxRendererOpenGLES20, GraphicsAPI::None},
        {kUnityGfxRendererOpenGLCore, GraphicsAPI::None},
    };
    for (const auto& [renderer, api] : cases) {
        world.graphics.SetRenderer(renderer);
        UnityPluginLoad(world.registry.Interfaces());
        EXPECT_EQ(ProviderAPI(), api) << "renderer " << renderer;
        UnityPluginUnload();
    }
}

TEST_F(Plugin, DeviceShutdownStopsLayerCreationUntilTheDeviceIsBack)
{
    world.Load();
    world.graphics.FireDeviceEvent(kUnityGfxDeviceEventShutdown);
    EXPECT_EQ(ProviderAPI(), GraphicsAPI::None);
    EXPECT_EQ(world.CreateLayer(LayerType::Quad, 0), 0);
    EXPECT_TRUE(world.layers.trace.Contains(kXRTraceLevelError,
                                            "CompositionLayerProvider::CreateLayer -- failed to create composition "
                                            "layer of type 1 -- no graphics interface could be created for api 0"));

    world.graphics.FireDeviceEvent(kUnityGfxDeviceEventInitialize);
    EXPECT_EQ(ProviderAPI(), GraphicsAPI::Vulkan);
    EXPECT_EQ(world.CreateLayer(LayerType::Quad, 0), 1);
}

TEST_F(Plugin, WithoutATraceInterfaceNothingIsLoggedAndNothingElseChanges)
{
    world.registry.Withhold<IUnityXRTrace>();
    world.Load();
    EXPECT_EQ(world.CreateLayer(LayerType::Quad, 0), 1);
    EXPECT_EQ(world.CreateLayer(LayerType::Cube, 0), 0);
    UnityPluginUnload();
    EXPECT_EQ(world.layers.trace.Size(), 0u);
}

TEST_F(Plugin, AnEngineWithoutGraphicsGetsAPluginThatMakesNoLayers)
{
    world.registry.Withhold<IUnityGraphics>();
    world.Load();
    EXPECT_EQ(world.layers.trace.Texts(kXRTraceLevelError),
              Texts{"Skelder::UnityPluginLoad - the engine offers no graphics interface"});
    EXPECT_EQ(ProviderAPI(), GraphicsAPI::None);
    EXPECT_EQ(world.CreateLayer(LayerType::Quad, 0), 0);
    EXPECT_EQ(ReserveEventIndices(1), 0);
    UnityPluginUnload();
    EXPECT_TRUE(world.layers.trace.Contains(kXRTraceLevelNotice, "Skelder::UnityPluginUnload"));
}

TEST_F(Plugin, PerLayerExportsDoNothingBeforeLoadAndAfterUnload)
{
    GetInterceptedInstanceProcAddr(&quenra::simruntime::Runtime::GetInstanceProcAddr);
    auto expectInert = [&] {
        EXPECT_EQ(world.CreateLayer(LayerType::Quad, 0), 0);
        EXPECT_EQ(DestroyCompositionLayer(1), 0);
        EXPECT_EQ(AcquireSwapchainImageForLayer(1), nullptr);
        ReleaseSwapchainImageForLayer(1);
        SendToSwapchain(1, &world, 0, 0);
        SetLayerVisible(1, 1);
        SetSortingOrderForLayer(1, 3);
        SetSizeForQuadLayer(1, 1.0f, 1.0f);
        SetMaxCompositionLayerCount(4);
        DestroyCompositionLayersInSession(HandleValue(world.layers.session));
        EXPECT_EQ(ReserveEventIndices(2), 0);
        EXPECT_EQ(UseNativeTexture(), 1);
    };
    expectInert();
    EXPECT_EQ(SwapchainCalls(), 0u);

    world.Load();
    const int32_t layer = world.CreateLayer(LayerType::Quad, 0);
    EXPECT_EQ(layer, 1);
    EXPECT_EQ(UseNativeTexture(), 1);
    UnityPluginUnload();
    world.layers.runtime.ClearCalls();
    world.layers.trace.Clear();

    expectInert();
    EXPECT_EQ(SwapchainCalls(), 0u);
    EXPECT_EQ(world.layers.trace.Size(), 0u);
    EXPECT_EQ(world.layers.LiveCount(HandleKind::Swapchain), 0u) << "unload destroyed the layer";
}

TEST_F(Plugin, CreatingALayerBeforeTheLookupIsChainedLogsAndCallsNothing)
{
    UnityPluginLoad(world.registry.Interfaces());
    EXPECT_EQ(world.CreateLayer(LayerType::Quad, 0), 0);
    EXPECT_EQ(world.layers.trace.Texts(kXRTraceLevelError),
              Texts{"Skelder::CreateCompositionLayer - no OpenXR lookup function: call GetInterceptedInstanceProcAddr "
                    "before creating layers"});
    EXPECT_TRUE(world.layers.runtime.Calls().empty());
}

TEST_F(Plugin, AnUnknownLayerTypeIsRefusedAndTheTableIsStillSorted)
{
    world.Load();
    const int32_t first = world.CreateLayer(LayerType::Quad, 1);
    const int32_t second = world.CreateLayer(LayerType::Quad, 2);
    SetOrderWithoutSorting(first, 3);
    ASSERT_EQ(TableOrder(), (std::vector<int32_t>{first, second}));

    EXPECT_EQ(
        CreateCompositionLayer(HandleValue(world.layers.instance), HandleValue(world.layers.session), 64, 32, 0, 9, 1),
        0);
    EXPECT_TRUE(world.layers.trace.Contains(kXRTraceLevelError,
                                            "CompositionLayerProvider::CreateLayer -- unknown layer type 9"));
    EXPECT_EQ(TableOrder(), (std::vector<int32_t>{second, first}));
}

TEST_F(Plugin, SortingOrderReSortsAtOnceForAKnownIdOnly)
{
    world.Load();
    const int32_t first = world.CreateLayer(LayerType::Quad, 1);
    const int32_t second = world.CreateLayer(LayerType::Quad, 2);
    SetOrderWithoutSorting(first, 3);

    SetSortingOrderForLayer(99, -5);
    EXPECT_EQ(TableOrder(), (std::vector<int32_t>{first, second})) << "an unknown id causes no re-sort";

    SetSortingOrderForLayer(second, 4);
    EXPECT_EQ(TableOrder(), (std::vector<int32_t>{first, second}));
    SetSortingOrderForLayer(second, -4);
    EXPECT_EQ(TableOrder(), (std::vector<int32_t>{second, first}));
}

TEST_F(Plugin, UnknownIdsAnswerZeroValues)
{
    world.Load();
    world.CreateLayer(LayerType::Quad, 0);
    world.layers.runtime.ClearCalls();
    EXPECT_EQ(AcquireSwapchainImageForLayer(7), nullptr);
    EXPECT_EQ(DestroyCompositionLayer(7), 0);
    EXPECT_EQ(DestroyCompositionLayer(0), 0);
    EXPECT_EQ(SwapchainCalls(), 0u);
    EXPECT_EQ(world.layers.trace.Size(), 1u) << "only the load notice";
}

TEST_F(Plugin, DestroyingRemovesTheLayerAndItsSwapchain)
{
    world.Load();
    const int32_t layer = world.CreateLayer(LayerType::Quad, 0);
    ASSERT_EQ(world.layers.LiveCount(HandleKind::Swapchain), 1u);
    EXPECT_EQ(DestroyCompositionLayer(layer), 1);
    EXPECT_EQ(world.layers.LiveCount(HandleKind::Swapchain), 0u);
    EXPECT_EQ(DestroyCompositionLayer(layer), 0);
}

TEST_F(Plugin, DestroyingASessionsLayersLeavesOtherSessionsAlone)
{
    world.Load();
    const XrSession other = world.layers.runtime.MakeSession(world.layers.instance);
    const int32_t mine = world.CreateLayer(LayerType::Quad, 0);
    const int32_t theirs = CreateCompositionLayer(HandleValue(world.layers.instance), HandleValue(other), 64, 32, 0,
                                                  static_cast<uint32_t>(LayerType::Quad), 0);
    DestroyCompositionLayersInSession(HandleValue(world.layers.session));
    EXPECT_EQ(world.StructureOf(mine), nullptr);
    EXPECT_NE(world.StructureOf(theirs), nullptr);
}

TEST_F(Plugin, AcquireWaitsWithoutTimeoutAndAnswersTheNativeImage)
{
    world.Load();
    const int32_t layer = world.CreateLayer(LayerType::Quad, 0);
    void* image = AcquireSwapchainImageForLayer(layer);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(world.layers.swapchains.WaitTimeouts().back(), XR_INFINITE_DURATION);
    ReleaseSwapchainImageForLayer(layer);
    const XrSwapchain swapchain = StructureOf<XrCompositionLayerQuad>(layer).subImage.swapchain;
    EXPECT_EQ(world.layers.swapchains.ReleasedCount(swapchain), 2u);
    EXPECT_EQ(world.layers.swapchains.AcquiredCount(swapchain), 0u);
}

TEST_F(Plugin, SendingATextureUnderVulkanTouchesNoImage)
{
    world.Load();
    const int32_t layer = world.CreateLayer(LayerType::Quad, 0);
    world.layers.runtime.ClearCalls();
    int texture = 0;
    SendToSwapchain(layer, &texture, 1, 2);
    EXPECT_EQ(SwapchainCalls(), 0u);
}

TEST_F(Plugin, VisibilityTakesAnyNonZeroByteAsTrue)
{
    world.Load();
    const int32_t layer = world.CreateLayer(LayerType::Quad, 0);
    SetLayerVisible(layer, 0);
    EXPECT_TRUE(TableOrder().empty());
    SetLayerVisible(layer, 2);
    EXPECT_EQ(TableOrder(), std::vector<int32_t>{layer});
}

TEST_F(Plugin, PoseAndShapeSettersWriteTheLayerStructures)
{
    world.Load();
    const int32_t quad = world.CreateLayer(LayerType::Quad, 0);
    const int32_t cylinder = world.CreateLayer(LayerType::Cylinder, 0);
    const int32_t equirect = world.CreateLayer(LayerType::Equirect, 0);

    SetPositionForLayer(quad, 1.0f, 2.0f, 3.0f);
    SetOrientationForLayer(quad, 0.0f, 1.0f, 0.0f, 0.0f);
    SetSizeForQuadLayer(quad, 0.5f, 0.25f);
    SetRadiusForCylinderLayer(cylinder, 2.0f);
    SetCentralAngleForCylinderLayer(cylinder, 1.5f);
    SetRadiusForEquirectLayer(equirect, 3.0f);
    SetCentralHorizontalAngleForEquirectLayer(equirect, 0.5f);
    SetUpperVerticalAngleForEquirectLayer(equirect, 0.75f);
    SetLowerVerticalAngleForEquirectLayer(equirect, -0.75f);

    const auto quadLayer = StructureOf<XrCompositionLayerQuad>(quad);
    EXPECT_EQ(quadLayer.pose.position.x, 1.0f);
    EXPECT_EQ(quadLayer.pose.position.z, 3.0f);
    EXPECT_EQ(quadLayer.pose.orientation.y, 1.0f);
    EXPECT_EQ(quadLayer.pose.orientation.w, 0.0f);
    EXPECT_EQ(quadLayer.size.width, 0.5f);
    EXPECT_EQ(quadLayer.size.height, 0.25f);
    const auto cylinderLayer = StructureOf<XrCompositionLayerCylinderKHR>(cylinder);
    EXPECT_EQ(cylinderLayer.radius, 2.0f);
    EXPECT_EQ(cylinderLayer.centralAngle, 1.5f);
    const auto equirectLayer = StructureOf<XrCompositionLayerEquirect2KHR>(equirect);
    EXPECT_EQ(equirectLayer.radius, 3.0f);
    EXPECT_EQ(equirectLayer.centralHorizontalAngle, 0.5f);
    EXPECT_EQ(equirectLayer.upperVerticalAngle, 0.75f);
    EXPECT_EQ(equirectLayer.lowerVerticalAngle, -0.75f);
}

TEST_F(Plugin, ShapeSettersOfAnotherKindChangeNothing)
{
    world.Load();
    const int32_t quad = world.CreateLayer(LayerType::Quad, 0);
    const int32_t equirect = world.CreateLayer(LayerType::Equirect, 0);
    const auto quadBefore = StructureOf<XrCompositionLayerQuad>(quad);
    const auto equirectBefore = StructureOf<XrCompositionLayerEquirect2KHR>(equirect);

    SetRadiusForCylinderLayer(quad, 9.0f);
    SetCentralAngleForCylinderLayer(equirect, 9.0f);
    SetRadiusForCylinderLayer(equirect, 9.0f);
    SetSizeForQuadLayer(equirect, 9.0f, 9.0f);
    SetRadiusForEquirectLayer(quad, 9.0f);
    SetSizeForQuadLayer(0, 9.0f, 9.0f);
    SetPositionForLayer(0, 9.0f, 9.0f, 9.0f);

    const auto quadAfter = StructureOf<XrCompositionLayerQuad>(quad);
    const auto equirectAfter = StructureOf<XrCompositionLayerEquirect2KHR>(equirect);
    EXPECT_EQ(std::memcmp(&quadBefore, &quadAfter, sizeof(quadAfter)), 0);
    EXPECT_EQ(std::memcmp(&equirectBefore, &equirectAfter, sizeof(equirectAfter)), 0);
}

TEST_F(Plugin, EventIndicesAreReservedByTheEngine)
{
    world.Load();
    EXPECT_EQ(ReserveEventIndices(3), 1000);
    EXPECT_EQ(ReserveEventIndices(1), 1003);
}

TEST_F(Plugin, FlagsAndCallbacksWorkBeforeLoad)
{
    SetCompositionLayerFeatureEnabled(1);
    SetEnableFoveation(1);
    SetFusionSupported(7);
    EXPECT_TRUE(Skelder::State().compositionLayersEnabled);
    EXPECT_TRUE(Skelder::State().foveationEnabled);
    EXPECT_TRUE(Skelder::State().fusionSupported);
    EXPECT_EQ(IsPassthroughSupported(), 0);
    EXPECT_EQ(IsXrFrameInProgress(), 0);
    SetFusionSupported(0);
    EXPECT_FALSE(Skelder::State().fusionSupported);
}

TEST_F(Plugin, ChainingTheLookupTwiceKeepsTheSecondAndAnswersTheSameHook)
{
    const PFN_xrGetInstanceProcAddr first = GetInterceptedInstanceProcAddr(&LayerTestWorld::RecordingLookup);
    const PFN_xrGetInstanceProcAddr second =
        GetInterceptedInstanceProcAddr(&quenra::simruntime::Runtime::GetInstanceProcAddr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(GetInterceptedInstanceProcAddr(first), first) << "chaining the hook into itself is ignored";
    PFN_xrVoidFunction function = nullptr;
    EXPECT_EQ(first(world.layers.instance, "xrCreateSession", &function), XR_SUCCESS);
    EXPECT_TRUE(LayerTestWorld::LookedUpNames().empty()) << "the first lookup was replaced";
    EXPECT_EQ(Skelder::State().nextGetInstanceProcAddr.load(), &quenra::simruntime::Runtime::GetInstanceProcAddr);
}

TEST(LayerNames, SplitAtEverySingleSpace)
{
    using Skelder::SplitLayerNames;
    EXPECT_EQ(SplitLayerNames("XR_APILAYER_a  XR_APILAYER_b"), (Texts{"XR_APILAYER_a", "", "XR_APILAYER_b"}));
    EXPECT_EQ(SplitLayerNames("XR_APILAYER_a XR_APILAYER_b "), (Texts{"XR_APILAYER_a", "XR_APILAYER_b"}));
    EXPECT_EQ(SplitLayerNames(" XR_APILAYER_a"), (Texts{"", "XR_APILAYER_a"}));
    EXPECT_EQ(SplitLayerNames("a\tb\nc"), Texts{"a\tb\nc"});
    EXPECT_TRUE(SplitLayerNames("").empty());
    EXPECT_EQ(SplitLayerNames(" "), Texts{""});
}

TEST_F(Plugin, RequestedNamesAccumulateWithoutDuplicates)
{
    RequestLayers("first second ");
    RequestLayers("first second ");
    RequestLayers(nullptr);
    RequestLayers("third  first");
    const std::deque<std::string>& requested = Skelder::State().requestedApiLayers;
    EXPECT_EQ(Texts(requested.begin(), requested.end()), (Texts{"first", "second", "third", ""}));
}

} // namespace
} // namespace Skelder::test

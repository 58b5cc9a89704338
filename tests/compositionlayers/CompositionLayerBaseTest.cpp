// The swapchain and image cycle every layer kind shares, run against the strict simulated
// runtime (a quad layer with the Vulkan interface stands for every kind).
#include <gtest/gtest.h>

#include <functional>

#include "LayerTestWorld.h"
#include "QuadCompositionLayer.h"

namespace Skelder::test {
namespace {

class LayerSwapchain : public ::testing::Test {
protected:
    std::unique_ptr<QuadCompositionLayer>
    MakeLayer(PFN_xrGetInstanceProcAddr lookup = &quenra::simruntime::Runtime::GetInstanceProcAddr)
    {
        return std::make_unique<QuadCompositionLayer>(world.instance, lookup, world.trace.Interface(), 7,
                                                      world.VulkanInterface());
    }
    // A layer with its swapchain, and a clean call record.
    std::unique_ptr<QuadCompositionLayer> MakeConfiguredLayer()
    {
        auto layer = MakeLayer();
        EXPECT_TRUE(layer->ConfigureSwapchain(world.session, 64, 32, 0));
        world.runtime.ClearCalls();
        world.trace.Clear();
        return layer;
    }
    Calls SwapchainCalls() const
    {
        Calls calls;
        for (const std::string& name : world.runtime.CallSequence()) {
            if (name != "xrGetInstanceProcAddr") {
                calls.push_back(name);
            }
        }
        return calls;
    }
    // The value the runtime wrote for the image whose handle the layer handed out.
    static uint64_t ImageValue(void* handle) { return HandleValue(*static_cast<VkImage*>(handle)); }

    LayerTestWorld world;
};

TEST_F(LayerSwapchain, CreatesTheSwapchainTheRuntimeExpects)
{
    world.swapchains.SetFormats({10, 37, 50});
    world.swapchains.SetImageCount(2);
    auto layer = MakeLayer();
    world.runtime.ClearCalls();

    ASSERT_TRUE(layer->ConfigureSwapchain(world.session, 640, 480, -3));
    EXPECT_EQ(layer->sortingOrder, -3);
    EXPECT_EQ(layer->Session(), world.session);
    EXPECT_EQ(SwapchainCalls(),
              (Calls{"xrEnumerateSwapchainFormats", "xrEnumerateSwapchainFormats", "xrCreateSwapchain",
                     "xrEnumerateSwapchainImages", "xrEnumerateSwapchainImages"}));

    const std::vector<XrSwapchainCreateInfo> infos = world.swapchains.CreateInfos();
    ASSERT_EQ(infos.size(), 1u);
    const XrSwapchainCreateInfo& info = infos[0];
    EXPECT_EQ(info.type, XR_TYPE_SWAPCHAIN_CREATE_INFO);
    EXPECT_EQ(info.next, nullptr);
    EXPECT_EQ(info.createFlags, 0u);
    EXPECT_EQ(info.usageFlags, XR_SWAPCHAIN_USAGE_COLOR_ATTACHMENT_BIT | XR_SWAPCHAIN_USAGE_SAMPLED_BIT);
    EXPECT_EQ(info.format, 37) << "first of the runtime's formats that Vulkan prefers";
    EXPECT_EQ(info.sampleCount, 1u);
    EXPECT_EQ(info.width, 640u);
    EXPECT_EQ(info.height, 480u);
    EXPECT_EQ(info.faceCount, 1u);
    EXPECT_EQ(info.arraySize, 1u);
    EXPECT_EQ(info.mipCount, 1u);
    EXPECT_TRUE(world.runtime.IsLive(HandleKind::Swapchain, HandleValue(layer->Swapchain())));
    EXPECT_EQ(world.trace.Size(), 0u);
}

TEST_F(LayerSwapchain, SecondConfigurationIsRefusedWhileASwapchainExists)
{
    auto layer = MakeConfiguredLayer();
    const XrSwapchain swapchain = layer->Swapchain();
    EXPECT_FALSE(layer->ConfigureSwapchain(world.session, 8, 8, 5));
    EXPECT_FALSE(layer->CreateSwapchain(8, 8));
    EXPECT_EQ(layer->Swapchain(), swapchain);
    EXPECT_EQ(layer->sortingOrder, 0);
    EXPECT_EQ(world.trace.Texts(kXRTraceLevelError),
              (Calls{"CompositionLayerBase::ConfigureSwapchain -- There is already an active Swapchain. Destroy the "
                     "previous one to create a new one.",
                     "There is already an active Swapchain. Destroy the previous one to create a new one."}));
    EXPECT_EQ(world.swapchains.CreateInfos().size(), 1u);
}

struct CreateFailure {
    const char* name;
    std::function<void(LayerTestWorld&)> inject;
    std::string message;
    // Calls the layer makes after the failure, and whether the swapchain it made is destroyed.
    Calls tail;
};
// By name: GoogleTest would otherwise print the bytes of the record, padding included.
void PrintTo(const CreateFailure& failure, std::ostream* out) { *out << failure.name; }

class LayerSwapchainFailure : public LayerSwapchain, public ::testing::WithParamInterface<CreateFailure> {};

TEST_P(LayerSwapchainFailure, FailsWithItsMessageAndLeavesNoSwapchain)
{
    auto layer = MakeLayer();
    world.runtime.ClearCalls();
    GetParam().inject(world);

    EXPECT_FALSE(layer->ConfigureSwapchain(world.session, 64, 64, 2));
    EXPECT_EQ(layer->Swapchain(), XR_NULL_HANDLE);
    EXPECT_EQ(layer->sortingOrder, 0);
    EXPECT_EQ(world.LiveCount(HandleKind::Swapchain), 0u);
    EXPECT_EQ(world.trace.Texts(kXRTraceLevelError),
              (Calls{GetParam().message, "CompositionLayerBase::ConfigureSwapchain -- Failed to create swapchain."}));
    const Calls calls = SwapchainCalls();
    ASSERT_GE(calls.size(), GetParam().tail.size());
    EXPECT_EQ(Calls(calls.end() - static_cast<long>(GetParam().tail.size()), calls.end()), GetParam().tail);
}

INSTANTIATE_TEST_SUITE_P(
    EveryBranch, LayerSwapchainFailure,
    ::testing::Values(
        CreateFailure{
            "FormatCount",
            [](LayerTestWorld& w) { w.runtime.FailNext("xrEnumerateSwapchainFormats", XR_ERROR_RUNTIME_FAILURE); },
            "CompositionLayerBase::CreateSwapchain -- enumerateswapchainformats result -2",
            {"xrEnumerateSwapchainFormats"}},
        CreateFailure{"NoFormats",
                      [](LayerTestWorld& w) { w.swapchains.SetFormats({}); },
                      "CompositionLayerBase::CreateSwapchain -- the runtime offers no formats",
                      {"xrEnumerateSwapchainFormats"}},
        CreateFailure{"FormatFill",
                      [](LayerTestWorld& w) {
                          w.swapchains.FailNextFill("xrEnumerateSwapchainFormats", XR_ERROR_SIZE_INSUFFICIENT);
                      },
                      "CompositionLayerBase::CreateSwapchain -- xrEnumerateSwapchainFormats failed: -11",
                      {"xrEnumerateSwapchainFormats", "xrEnumerateSwapchainFormats"}},
        CreateFailure{"Create",
                      [](LayerTestWorld& w) { w.runtime.FailNext("xrCreateSwapchain", XR_ERROR_OUT_OF_MEMORY); },
                      "CompositionLayerBase::CreateSwapchain -- xrCreateSwapchain failed: -3",
                      {"xrCreateSwapchain"}},
        CreateFailure{
            "ImageCount",
            [](LayerTestWorld& w) { w.runtime.FailNext("xrEnumerateSwapchainImages", XR_ERROR_RUNTIME_FAILURE); },
            "CompositionLayerBase::CreateSwapchain -- xrEnumerateSwapchainImages1 failed: -2",
            {"xrCreateSwapchain", "xrEnumerateSwapchainImages", "xrDestroySwapchain"}},
        CreateFailure{"ImageFill",
                      [](LayerTestWorld& w) {
                          w.swapchains.FailNextFill("xrEnumerateSwapchainImages", XR_ERROR_RUNTIME_FAILURE);
                      },
                      "CompositionLayerBase::CreateSwapchain -- xrEnumerateSwapchainImages2 failed: -2",
                      {"xrEnumerateSwapchainImages", "xrEnumerateSwapchainImages", "xrDestroySwapchain"}},
        // Records of another API's type are refused by the runtime, and the swapchain goes.
        CreateFailure{"ImageType",
                      [](LayerTestWorld& w) { w.swapchains.SetImageType(XR_TYPE_SWAPCHAIN_IMAGE_D3D12_KHR); },
                      "CompositionLayerBase::CreateSwapchain -- xrEnumerateSwapchainImages2 failed: -1",
                      {"xrEnumerateSwapchainImages", "xrDestroySwapchain"}}),
    [](const ::testing::TestParamInfo<CreateFailure>& info) { return info.param.name; });

TEST_F(LayerSwapchain, SwapchainCreatedWithAnotherSuccessCodeIsKeptAndDestroyedWithTheLayer)
{
    auto layer = MakeLayer();
    world.runtime.SucceedNextWith("xrCreateSwapchain", XR_SESSION_LOSS_PENDING);
    EXPECT_FALSE(layer->ConfigureSwapchain(world.session, 64, 64, 0));
    EXPECT_TRUE(world.trace.Contains(kXRTraceLevelError,
                                     "CompositionLayerBase::CreateSwapchain -- xrCreateSwapchain failed: 3"));
    const XrSwapchain swapchain = layer->Swapchain();
    EXPECT_TRUE(world.runtime.IsLive(HandleKind::Swapchain, HandleValue(swapchain)));
    layer.reset();
    EXPECT_EQ(world.HandlesOf("xrDestroySwapchain"), std::vector<uint64_t>{HandleValue(swapchain)});
    EXPECT_EQ(world.LiveCount(HandleKind::Swapchain), 0u);
}

TEST_F(LayerSwapchain, AcquireWaitsAndHandsOutTheRuntimesImage)
{
    world.swapchains.SetImageCount(2);
    auto layer = MakeConfiguredLayer();
    const std::vector<uint64_t> images = world.swapchains.Images(layer->Swapchain());

    void* first = layer->AcquireImage(5'000'000);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(ImageValue(first), images[0]);
    EXPECT_TRUE(layer->IsImageAcquired());
    EXPECT_EQ(world.swapchains.WaitedCount(layer->Swapchain()), 1u);
    EXPECT_EQ(world.swapchains.WaitTimeouts(), std::vector<XrDuration>{5'000'000});
    layer->ReleaseImage();
    EXPECT_FALSE(layer->IsImageAcquired());
    EXPECT_EQ(layer->GraphicsInterface().CurrentImage(), nullptr);
    EXPECT_EQ(world.swapchains.ReleasedCount(layer->Swapchain()), 1u);

    void* second = layer->AcquireImage(XR_INFINITE_DURATION);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(ImageValue(second), images[1]);
    EXPECT_EQ(SwapchainCalls(), (Calls{"xrAcquireSwapchainImage", "xrWaitSwapchainImage", "xrReleaseSwapchainImage",
                                       "xrAcquireSwapchainImage", "xrWaitSwapchainImage"}));
    EXPECT_EQ(world.trace.Size(), 0u);
}

TEST_F(LayerSwapchain, SecondAcquireBeforeReleaseIsRefused)
{
    auto layer = MakeConfiguredLayer();
    ASSERT_NE(layer->AcquireImage(XR_INFINITE_DURATION), nullptr);
    EXPECT_EQ(layer->AcquireImage(XR_INFINITE_DURATION), nullptr);
    EXPECT_TRUE(layer->IsImageAcquired());
    EXPECT_EQ(world.swapchains.AcquiredCount(layer->Swapchain()), 1u);
    EXPECT_EQ(world.trace.Texts(kXRTraceLevelWarning),
              Calls{"CompositionLayerBase::AcquireImage -- An image is already acquired"});
}

TEST_F(LayerSwapchain, AcquireWithoutSwapchainIsRefused)
{
    auto layer = MakeLayer();
    EXPECT_EQ(layer->AcquireImage(XR_INFINITE_DURATION), nullptr);
    EXPECT_EQ(world.runtime.CallCount("xrAcquireSwapchainImage"), 0u);
    EXPECT_EQ(world.trace.Texts(kXRTraceLevelWarning),
              Calls{"CompositionLayerBase::AcquireImage -- Attempting to acquire from an invalid swapchain."});
}

TEST_F(LayerSwapchain, FailedAcquireLeavesNothingAcquired)
{
    auto layer = MakeConfiguredLayer();
    world.runtime.FailNext("xrAcquireSwapchainImage", XR_ERROR_RUNTIME_FAILURE);
    EXPECT_EQ(layer->AcquireImage(XR_INFINITE_DURATION), nullptr);
    EXPECT_FALSE(layer->IsImageAcquired());
    EXPECT_EQ(SwapchainCalls(), Calls{"xrAcquireSwapchainImage"});
    EXPECT_EQ(world.trace.Texts(kXRTraceLevelError),
              Calls{"CompositionLayerBase::AcquireImage -- xrAcquireSwapchainImage failed: -2"});
    EXPECT_NE(layer->AcquireImage(XR_INFINITE_DURATION), nullptr);
}

TEST_F(LayerSwapchain, SessionLossOnAcquireGivesTheImageBackAtOnce)
{
    auto layer = MakeConfiguredLayer();
    world.runtime.SucceedNextWith("xrAcquireSwapchainImage", XR_SESSION_LOSS_PENDING);
    EXPECT_EQ(layer->AcquireImage(1000), nullptr);
    EXPECT_FALSE(layer->IsImageAcquired());
    // The runtime handed the image over, so it is waited for and released, not forgotten.
    EXPECT_EQ(world.swapchains.AcquiredCount(layer->Swapchain()), 0u);
    EXPECT_EQ(world.swapchains.ReleasedCount(layer->Swapchain()), 1u);
    EXPECT_EQ(world.swapchains.WaitTimeouts(), std::vector<XrDuration>{XR_INFINITE_DURATION});
    EXPECT_EQ(world.trace.Texts(kXRTraceLevelWarning),
              Calls{"CompositionLayerBase::AcquireImage -- session loss pending. Release immediately."});
}

TEST_F(LayerSwapchain, FailedWaitGivesTheImageBackAndTheLayerCanAcquireAgain)
{
    auto layer = MakeConfiguredLayer();
    world.runtime.FailNext("xrWaitSwapchainImage", XR_ERROR_RUNTIME_FAILURE);
    EXPECT_EQ(layer->AcquireImage(XR_INFINITE_DURATION), nullptr);
    EXPECT_FALSE(layer->IsImageAcquired());
    EXPECT_EQ(world.trace.Texts(kXRTraceLevelError),
              Calls{"CompositionLayerBase::AcquireImage -- xrAcquireSwapchainImage failed: -2"});
    // The runtime releases only a waited image: the wait is finished first.
    EXPECT_EQ(world.swapchains.AcquiredCount(layer->Swapchain()), 0u);
    EXPECT_EQ(world.swapchains.ReleasedCount(layer->Swapchain()), 1u);

    EXPECT_NE(layer->AcquireImage(XR_INFINITE_DURATION), nullptr);
    EXPECT_EQ(SwapchainCalls(), (Calls{"xrAcquireSwapchainImage", "xrWaitSwapchainImage", "xrWaitSwapchainImage",
                                       "xrReleaseSwapchainImage", "xrAcquireSwapchainImage", "xrWaitSwapchainImage"}));
    EXPECT_TRUE(world.trace.Texts(kXRTraceLevelWarning).empty());
}

TEST_F(LayerSwapchain, SessionLossOnWaitReleasesAtOnce)
{
    auto layer = MakeConfiguredLayer();
    world.runtime.SucceedNextWith("xrWaitSwapchainImage", XR_SESSION_LOSS_PENDING);
    EXPECT_EQ(layer->AcquireImage(XR_INFINITE_DURATION), nullptr);
    EXPECT_FALSE(layer->IsImageAcquired());
    EXPECT_EQ(SwapchainCalls(), (Calls{"xrAcquireSwapchainImage", "xrWaitSwapchainImage", "xrReleaseSwapchainImage"}));
    EXPECT_EQ(world.swapchains.ReleasedCount(layer->Swapchain()), 1u);
    EXPECT_EQ(world.trace.Texts(kXRTraceLevelWarning),
              Calls{"CompositionLayerBase::AcquireImage -- session loss pending. Release immediately."});
}

TEST_F(LayerSwapchain, TimedOutWaitReleasesAtOnceAndTheLayerCanAcquireAgain)
{
    auto layer = MakeConfiguredLayer();
    world.runtime.FailNext("xrWaitSwapchainImage", XR_TIMEOUT_EXPIRED);
    EXPECT_EQ(layer->AcquireImage(1000), nullptr);
    EXPECT_FALSE(layer->IsImageAcquired());
    EXPECT_EQ(world.swapchains.AcquiredCount(layer->Swapchain()), 0u);
    EXPECT_EQ(world.trace.Texts(kXRTraceLevelWarning),
              Calls{"CompositionLayerBase::AcquireImage -- wait swapchain image timed out. Release immediately."});
    EXPECT_TRUE(world.trace.Texts(kXRTraceLevelError).empty());

    EXPECT_NE(layer->AcquireImage(XR_INFINITE_DURATION), nullptr);
    EXPECT_EQ(SwapchainCalls(), (Calls{"xrAcquireSwapchainImage", "xrWaitSwapchainImage", "xrWaitSwapchainImage",
                                       "xrReleaseSwapchainImage", "xrAcquireSwapchainImage", "xrWaitSwapchainImage"}));
}

TEST_F(LayerSwapchain, ReleaseWithNothingAcquiredDoesNothing)
{
    auto layer = MakeConfiguredLayer();
    layer->ReleaseImage();
    EXPECT_TRUE(SwapchainCalls().empty());
    EXPECT_EQ(world.trace.Size(), 0u);
}

TEST_F(LayerSwapchain, FailedReleaseKeepsTheImageAcquired)
{
    auto layer = MakeConfiguredLayer();
    void* image = layer->AcquireImage(XR_INFINITE_DURATION);
    ASSERT_NE(image, nullptr);
    world.runtime.FailNext("xrReleaseSwapchainImage", XR_ERROR_RUNTIME_FAILURE);
    layer->ReleaseImage();
    EXPECT_TRUE(layer->IsImageAcquired());
    EXPECT_NE(layer->GraphicsInterface().CurrentImage(), nullptr);
    EXPECT_EQ(world.trace.Texts(kXRTraceLevelError),
              Calls{"CompositionLayerBase::ReleaseImage -- xrReleaseSwapchainImage failed: -2"});
    layer->ReleaseImage();
    EXPECT_FALSE(layer->IsImageAcquired());
}

TEST_F(LayerSwapchain, DestroyReleasesTheAcquiredImageFirst)
{
    auto layer = MakeConfiguredLayer();
    const XrSwapchain swapchain = layer->Swapchain();
    ASSERT_NE(layer->AcquireImage(XR_INFINITE_DURATION), nullptr);
    layer->DestroySwapchain();
    EXPECT_EQ(layer->Swapchain(), XR_NULL_HANDLE);
    EXPECT_FALSE(layer->IsImageAcquired());
    EXPECT_EQ(SwapchainCalls(), (Calls{"xrAcquireSwapchainImage", "xrWaitSwapchainImage", "xrReleaseSwapchainImage",
                                       "xrDestroySwapchain"}));
    EXPECT_EQ(world.HandlesOf("xrDestroySwapchain"), std::vector<uint64_t>{HandleValue(swapchain)});
    layer->DestroySwapchain();
    EXPECT_EQ(world.runtime.CallCount("xrDestroySwapchain"), 1u) << "nothing left to destroy";
}

TEST_F(LayerSwapchain, DestroyForgetsTheSwapchainWhateverTheRuntimeSays)
{
    auto failing = MakeConfiguredLayer();
    world.runtime.FailNext("xrDestroySwapchain", XR_ERROR_RUNTIME_FAILURE);
    failing->DestroySwapchain();
    EXPECT_EQ(failing->Swapchain(), XR_NULL_HANDLE);
    EXPECT_EQ(world.trace.Texts(kXRTraceLevelError),
              Calls{"CompositionLayerBase::DestroySwapchain -- xrDestroySwapchain failed: -2"});

    auto losing = MakeConfiguredLayer();
    const XrSwapchain swapchain = losing->Swapchain();
    world.runtime.SucceedNextWith("xrDestroySwapchain", XR_SESSION_LOSS_PENDING);
    losing->DestroySwapchain();
    EXPECT_EQ(losing->Swapchain(), XR_NULL_HANDLE);
    EXPECT_FALSE(world.runtime.IsLive(HandleKind::Swapchain, HandleValue(swapchain)));
    EXPECT_EQ(world.trace.Texts(kXRTraceLevelWarning),
              Calls{"CompositionLayerBase::DestroySwapchain -- session loss pending."});
    // A configured layer can make a new swapchain once the old one is gone.
    EXPECT_TRUE(losing->ConfigureSwapchain(world.session, 16, 16, 1));
}

TEST_F(LayerSwapchain, SendRunsOneCycleAroundTheCopyAndGivesBackEveryImageItTook)
{
    struct Case {
        const char* name;
        std::function<void(QuadCompositionLayer&)> before;
        bool withTexture;
        Calls calls;
        size_t copies;
        uint32_t stillAcquired;
    };
    const Case cases[] = {
        {"copy", nullptr, true, {"xrAcquireSwapchainImage", "xrWaitSwapchainImage", "xrReleaseSwapchainImage"}, 1, 0},
        {"failed wait",
         [&](QuadCompositionLayer&) { world.runtime.FailNext("xrWaitSwapchainImage", XR_ERROR_RUNTIME_FAILURE); },
         true,
         {"xrAcquireSwapchainImage", "xrWaitSwapchainImage", "xrWaitSwapchainImage", "xrReleaseSwapchainImage"},
         0,
         0},
        {"failed acquire",
         [&](QuadCompositionLayer&) { world.runtime.FailNext("xrAcquireSwapchainImage", XR_ERROR_RUNTIME_FAILURE); },
         true,
         {"xrAcquireSwapchainImage"},
         0,
         0},
        {"the script's image",
         [](QuadCompositionLayer& layer) { layer.AcquireImage(XR_INFINITE_DURATION); },
         true,
         {"xrAcquireSwapchainImage", "xrWaitSwapchainImage"},
         0,
         1},
        {"nothing to copy", nullptr, false, {}, 0, 0},
    };
    for (const Case& test : cases) {
        auto copying = std::make_unique<CopyingGraphicsInterface>(world.trace.Interface());
        CopyingGraphicsInterface& graphics = *copying;
        QuadCompositionLayer layer(world.instance, &quenra::simruntime::Runtime::GetInstanceProcAddr,
                                   world.trace.Interface(), 7, std::move(copying));
        ASSERT_TRUE(layer.ConfigureSwapchain(world.session, 64, 32, 0));
        world.runtime.ClearCalls();
        if (test.before) {
            test.before(layer);
        }
        int texture = 0;
        layer.SendToSwapchain(test.withTexture ? &texture : nullptr);

        EXPECT_EQ(SwapchainCalls(), test.calls) << test.name;
        ASSERT_EQ(graphics.copies.size(), test.copies) << test.name;
        EXPECT_EQ(world.swapchains.AcquiredCount(layer.Swapchain()), test.stillAcquired) << test.name;
        if (test.copies == 1) {
            EXPECT_EQ(graphics.copies[0].texture, &texture);
            EXPECT_EQ(ImageValue(graphics.copies[0].image), world.swapchains.Images(layer.Swapchain())[0])
                << "copied into the image just acquired";
            EXPECT_EQ(world.swapchains.WaitTimeouts().back(), XR_INFINITE_DURATION);
        }
    }
}

TEST_F(LayerSwapchain, LayerWithoutLookupFailsWithMessagesInsteadOfCallingNull)
{
    auto layer = MakeLayer(nullptr);
    EXPECT_FALSE(layer->ConfigureSwapchain(world.session, 64, 64, 0));
    layer->Initialize(world.session, 64, 64);
    EXPECT_EQ(layer->AcquireImage(XR_INFINITE_DURATION), nullptr);
    EXPECT_EQ(world.trace.Texts(kXRTraceLevelError),
              (Calls{"CompositionLayerBase::CreateSwapchain -- enumerateswapchainformats result -7",
                     "CompositionLayerBase::ConfigureSwapchain -- Failed to create swapchain.",
                     "QuadCompositionLayer::Initialize -- xrCreateReferenceSpace failed: -7"}));
    EXPECT_EQ(world.runtime.Calls().size(), 0u);
}

TEST_F(LayerSwapchain, HandlesThatCouldNotBeDestroyedAreNeverCreated)
{
    world.runtime.RemoveFunction("xrDestroySwapchain");
    world.runtime.RemoveFunction("xrDestroySpace");
    auto layer = MakeLayer();
    EXPECT_FALSE(layer->ConfigureSwapchain(world.session, 64, 64, 0));
    layer->Initialize(world.session, 64, 64);
    layer.reset();
    EXPECT_EQ(world.trace.Texts(kXRTraceLevelError),
              (Calls{"CompositionLayerBase::CreateSwapchain -- the runtime offers no xrDestroySwapchain; no swapchain "
                     "is created",
                     "CompositionLayerBase::ConfigureSwapchain -- Failed to create swapchain.",
                     "CompositionLayerBase::CreateReferenceSpace -- the runtime offers no xrDestroySpace; no space is "
                     "created"}));
    EXPECT_EQ(world.runtime.CallCount("xrCreateSwapchain") + world.runtime.CallCount("xrCreateReferenceSpace"), 0u);
    EXPECT_TRUE(world.runtime.LiveHandles(HandleKind::Swapchain).empty());
    EXPECT_TRUE(world.runtime.LiveHandles(HandleKind::Space).empty());
}

TEST_F(LayerSwapchain, RuntimeWithoutWaitFunctionFailsTheAcquireWithAMessage)
{
    world.runtime.RemoveFunction("xrWaitSwapchainImage");
    auto layer = MakeConfiguredLayer();
    EXPECT_EQ(layer->AcquireImage(XR_INFINITE_DURATION), nullptr);
    // The acquire tries to give the image back at once, and a later release tries again.
    layer->ReleaseImage();
    EXPECT_EQ(world.trace.Texts(kXRTraceLevelError),
              (Calls{"CompositionLayerBase::AcquireImage -- xrAcquireSwapchainImage failed: -7",
                     "CompositionLayerBase::ReleaseImage -- xrWaitSwapchainImage failed: -7",
                     "CompositionLayerBase::ReleaseImage -- xrWaitSwapchainImage failed: -7"}));
    layer.reset();
    EXPECT_EQ(world.LiveCount(HandleKind::Swapchain), 0u);
}

} // namespace
} // namespace Skelder::test

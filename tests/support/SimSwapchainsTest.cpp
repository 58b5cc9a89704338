// The simulated runtime's swapchain and passthrough modules must be as strict as a conformant
// runtime, or the layer tests built on them prove nothing.
#include <gtest/gtest.h>

#include "LayerTestWorld.h"

namespace quenra::simruntime {
namespace {

template <typename Pfn> Pfn Lookup(XrInstance instance, const char* name)
{
    PFN_xrVoidFunction function = nullptr;
    EXPECT_EQ(Runtime::GetInstanceProcAddr(instance, name, &function), XR_SUCCESS) << name;
    return reinterpret_cast<Pfn>(function);
}

// A 4x4 swapchain of an offered format: the runtime accepts it.
XrResult CreateSwapchain(const Skelder::test::LayerTestWorld& world, XrSwapchain* swapchain)
{
    XrSwapchainCreateInfo info{XR_TYPE_SWAPCHAIN_CREATE_INFO};
    info.format = 43;
    info.width = 4;
    info.height = 4;
    info.sampleCount = info.faceCount = info.arraySize = info.mipCount = 1;
    return Lookup<PFN_xrCreateSwapchain>(world.instance, "xrCreateSwapchain")(world.session, &info, swapchain);
}

class SimSwapchains : public ::testing::Test {
protected:
    XrSwapchain Create()
    {
        XrSwapchain swapchain = XR_NULL_HANDLE;
        EXPECT_EQ(CreateSwapchain(world, &swapchain), XR_SUCCESS);
        return swapchain;
    }

    Skelder::test::LayerTestWorld world;
    PFN_xrAcquireSwapchainImage acquire =
        Lookup<PFN_xrAcquireSwapchainImage>(world.instance, "xrAcquireSwapchainImage");
    PFN_xrWaitSwapchainImage wait = Lookup<PFN_xrWaitSwapchainImage>(world.instance, "xrWaitSwapchainImage");
    PFN_xrReleaseSwapchainImage release =
        Lookup<PFN_xrReleaseSwapchainImage>(world.instance, "xrReleaseSwapchainImage");
    XrSwapchainImageWaitInfo waitInfo{XR_TYPE_SWAPCHAIN_IMAGE_WAIT_INFO, nullptr, XR_INFINITE_DURATION};
};

TEST_F(SimSwapchains, ImagesMustBeAcquiredWaitedAndReleasedInOrder)
{
    world.swapchains.SetImageCount(2);
    XrSwapchain swapchain = Create();
    uint32_t index = 99;
    EXPECT_EQ(wait(swapchain, &waitInfo), XR_ERROR_CALL_ORDER_INVALID);
    EXPECT_EQ(release(swapchain, nullptr), XR_ERROR_CALL_ORDER_INVALID);
    ASSERT_EQ(acquire(swapchain, nullptr, &index), XR_SUCCESS);
    EXPECT_EQ(index, 0u);
    // Acquired but not waited: not releasable yet.
    EXPECT_EQ(release(swapchain, nullptr), XR_ERROR_CALL_ORDER_INVALID);
    ASSERT_EQ(acquire(swapchain, nullptr, &index), XR_SUCCESS);
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(acquire(swapchain, nullptr, &index), XR_ERROR_CALL_ORDER_INVALID) << "both images are held";
    EXPECT_EQ(wait(swapchain, &waitInfo), XR_SUCCESS);
    EXPECT_EQ(world.swapchains.WaitedCount(swapchain), 1u);
    EXPECT_EQ(release(swapchain, nullptr), XR_SUCCESS);
    EXPECT_EQ(world.swapchains.AcquiredCount(swapchain), 1u);
    EXPECT_EQ(world.swapchains.ReleasedCount(swapchain), 1u);
    EXPECT_EQ(release(swapchain, nullptr), XR_ERROR_CALL_ORDER_INVALID) << "the remaining image was not waited";
}

TEST_F(SimSwapchains, WrongStructuresAndDeadHandlesAreRefused)
{
    XrSwapchain swapchain = Create();
    XrSwapchainImageWaitInfo wrongWait{XR_TYPE_SWAPCHAIN_IMAGE_ACQUIRE_INFO};
    uint32_t index = 0;
    ASSERT_EQ(acquire(swapchain, nullptr, &index), XR_SUCCESS);
    EXPECT_EQ(wait(swapchain, &wrongWait), XR_ERROR_VALIDATION_FAILURE);
    EXPECT_EQ(wait(swapchain, nullptr), XR_ERROR_VALIDATION_FAILURE);

    // A Vulkan session enumerates into Vulkan image structures only.
    auto enumerate = Lookup<PFN_xrEnumerateSwapchainImages>(world.instance, "xrEnumerateSwapchainImages");
    std::vector<uint64_t> storage(9, 0);
    auto* images = reinterpret_cast<XrSwapchainImageBaseHeader*>(storage.data());
    for (int i = 0; i < 3; ++i) {
        reinterpret_cast<XrSwapchainImageBaseHeader*>(storage.data() + 3 * i)->type = XR_TYPE_SWAPCHAIN_IMAGE_D3D12_KHR;
    }
    uint32_t count = 0;
    EXPECT_EQ(enumerate(swapchain, 3, &count, images), XR_ERROR_VALIDATION_FAILURE);

    XrSwapchainCreateInfo unsupported{XR_TYPE_SWAPCHAIN_CREATE_INFO};
    unsupported.format = 999;
    unsupported.width = unsupported.height = 4;
    unsupported.sampleCount = unsupported.faceCount = unsupported.arraySize = unsupported.mipCount = 1;
    XrSwapchain other = XR_NULL_HANDLE;
    EXPECT_EQ(Lookup<PFN_xrCreateSwapchain>(world.instance, "xrCreateSwapchain")(world.session, &unsupported, &other),
              XR_ERROR_SWAPCHAIN_FORMAT_UNSUPPORTED);

    auto destroy = Lookup<PFN_xrDestroySwapchain>(world.instance, "xrDestroySwapchain");
    EXPECT_EQ(destroy(swapchain), XR_SUCCESS);
    EXPECT_EQ(destroy(swapchain), XR_ERROR_HANDLE_INVALID);
    EXPECT_EQ(acquire(swapchain, nullptr, &index), XR_ERROR_HANDLE_INVALID);
}

TEST_F(SimSwapchains, FrameLoopRefusesALayerWhoseSwapchainHasNoReleasedImage)
{
    XrSwapchain swapchain = Create();
    XrCompositionLayerQuad quad{XR_TYPE_COMPOSITION_LAYER_QUAD};
    quad.space = world.runtime.MakeSpace(world.session);
    quad.subImage.swapchain = swapchain;
    const auto* header = reinterpret_cast<const XrCompositionLayerBaseHeader*>(&quad);
    EXPECT_EQ(world.swapchains.CheckLayer(header), XR_ERROR_LAYER_INVALID);

    uint32_t index = 0;
    ASSERT_EQ(acquire(swapchain, nullptr, &index), XR_SUCCESS);
    ASSERT_EQ(wait(swapchain, &waitInfo), XR_SUCCESS);
    ASSERT_EQ(release(swapchain, nullptr), XR_SUCCESS);
    EXPECT_EQ(world.swapchains.CheckLayer(header), XR_SUCCESS);

    quad.space = XR_NULL_HANDLE;
    EXPECT_EQ(world.swapchains.CheckLayer(header), XR_ERROR_HANDLE_INVALID);
}

TEST_F(SimSwapchains, PassthroughLayerNeedsALivePassthrough)
{
    auto create = Lookup<PFN_xrCreatePassthroughFB>(world.instance, "xrCreatePassthroughFB");
    auto createLayer = Lookup<PFN_xrCreatePassthroughLayerFB>(world.instance, "xrCreatePassthroughLayerFB");
    auto pause = Lookup<PFN_xrPassthroughPauseFB>(world.instance, "xrPassthroughPauseFB");
    auto destroy = Lookup<PFN_xrDestroyPassthroughFB>(world.instance, "xrDestroyPassthroughFB");

    XrPassthroughCreateInfoFB info{XR_TYPE_PASSTHROUGH_CREATE_INFO_FB, nullptr,
                                   XR_PASSTHROUGH_IS_RUNNING_AT_CREATION_BIT_FB};
    XrPassthroughFB passthrough = XR_NULL_HANDLE;
    ASSERT_EQ(create(world.session, &info, &passthrough), XR_SUCCESS);
    EXPECT_TRUE(world.passthrough.IsRunning(passthrough));
    EXPECT_EQ(pause(passthrough), XR_SUCCESS);
    EXPECT_FALSE(world.passthrough.IsRunning(passthrough));

    XrPassthroughLayerCreateInfoFB layerInfo{XR_TYPE_PASSTHROUGH_LAYER_CREATE_INFO_FB};
    layerInfo.passthrough = passthrough;
    XrPassthroughLayerFB layer = XR_NULL_HANDLE;
    ASSERT_EQ(createLayer(world.session, &layerInfo, &layer), XR_SUCCESS);
    EXPECT_FALSE(world.passthrough.IsLayerRunning(layer)) << "created without the running bit";

    ASSERT_EQ(destroy(passthrough), XR_SUCCESS);
    EXPECT_EQ(createLayer(world.session, &layerInfo, &layer), XR_ERROR_HANDLE_INVALID);
}

// Hands out numbered images (none once `failing`) and keeps what was made and freed.
class NumberedImages : public SwapchainImageSource {
public:
    std::vector<uint64_t> MakeImages(const XrSwapchainCreateInfo& info, uint32_t count) override
    {
        if (failing) {
            return {};
        }
        widths.push_back(info.width);
        std::vector<uint64_t> images;
        for (uint32_t i = 0; i < count; ++i) {
            images.push_back(next++);
        }
        return images;
    }
    void FreeImages(const std::vector<uint64_t>& images) override
    {
        freed.insert(freed.end(), images.begin(), images.end());
    }

    bool failing = false;
    uint64_t next = 100;
    std::vector<uint32_t> widths;
    std::vector<uint64_t> freed;
};

TEST_F(SimSwapchains, AnImageSourceMakesTheImagesAndGetsThemBackWhenTheSwapchainGoes)
{
    NumberedImages source;
    world.swapchains.SetImageCount(2);
    world.swapchains.SetImageSource(&source);
    const XrSwapchain first = Create();
    const XrSwapchain second = Create();
    EXPECT_EQ(source.widths, (std::vector<uint32_t>{4, 4}));
    EXPECT_EQ(world.swapchains.Images(first), (std::vector<uint64_t>{100, 101}));
    EXPECT_EQ(world.swapchains.Images(second), (std::vector<uint64_t>{102, 103}));

    ASSERT_EQ(Lookup<PFN_xrDestroySwapchain>(world.instance, "xrDestroySwapchain")(first), XR_SUCCESS);
    EXPECT_EQ(source.freed, (std::vector<uint64_t>{100, 101}));

    // A source that cannot make the images fails the creation and leaves no swapchain.
    source.failing = true;
    XrSwapchain failed = XR_NULL_HANDLE;
    EXPECT_EQ(CreateSwapchain(world, &failed), XR_ERROR_RUNTIME_FAILURE);
    EXPECT_EQ(world.LiveCount(HandleKind::Swapchain), 1u);
    // (The source is gone before the world: nothing of it may be left there.)
    ASSERT_EQ(Lookup<PFN_xrDestroySwapchain>(world.instance, "xrDestroySwapchain")(second), XR_SUCCESS);
    EXPECT_EQ(source.freed, (std::vector<uint64_t>{100, 101, 102, 103}));
}

TEST(SimSwapchainImages, ImagesOfSwapchainsLeftAliveAreFreedWithTheRuntime)
{
    NumberedImages source;
    {
        Skelder::test::LayerTestWorld world;
        world.swapchains.SetImageCount(1);
        world.swapchains.SetImageSource(&source);
        XrSwapchain swapchain = XR_NULL_HANDLE;
        ASSERT_EQ(CreateSwapchain(world, &swapchain), XR_SUCCESS);
    }
    EXPECT_EQ(source.freed, std::vector<uint64_t>{100});
}

} // namespace
} // namespace quenra::simruntime

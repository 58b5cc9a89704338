// What the runtime receives from the plug-in's xrEndFrame.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <future>

#include "QuadCompositionLayer.h"
#include "SkelderTestWorld.h"

namespace Skelder::test {
namespace {

using Layers = std::vector<const XrCompositionLayerBaseHeader*>;

const XrCompositionLayerBaseHeader* Header(const XrCompositionLayerProjection& projection)
{
    return reinterpret_cast<const XrCompositionLayerBaseHeader*>(&projection);
}

std::vector<const XrCompositionLayerBaseHeader*> Addresses(const std::vector<SubmittedLayer>& frame)
{
    std::vector<const XrCompositionLayerBaseHeader*> addresses;
    for (const SubmittedLayer& layer : frame) {
        addresses.push_back(layer.address);
    }
    return addresses;
}

std::string LimitWarning(unsigned offered, unsigned maximum)
{
    return "Attempting to composite " + std::to_string(offered) + " layers. Max Compositor Layer Count is " +
           std::to_string(maximum);
}

class EndFrame : public ::testing::Test {
protected:
    EndFrame()
    {
        world.Load();
        SetCompositionLayerFeatureEnabled(1);
        SetMaxCompositionLayerCount(16);
        projection = world.ApplicationProjection(world.ApplicationSwapchain());
    }

    // Runs the change on the provider's layer under the lock, as the exports do.
    void ChangeLayer(int32_t layerId, const std::function<void(CompositionLayerBase&)>& change)
    {
        ProviderLock::Hold hold(Skelder::State().providerLock);
        change(*Skelder::State().provider->FindLayer(layerId));
    }

    const std::vector<SubmittedLayer>& LastFrame() const { return world.Submitted().back(); }
    // A submitted projection layer that is not the application's own but a copy of it with the
    // alpha bit added.
    void ExpectBlendingCopyOf(const XrCompositionLayerProjection& original, const SubmittedLayer& submitted)
    {
        EXPECT_NE(submitted.address, Header(original));
        EXPECT_EQ(submitted.type, XR_TYPE_COMPOSITION_LAYER_PROJECTION);
        EXPECT_EQ(submitted.flags, original.layerFlags | XR_COMPOSITION_LAYER_BLEND_TEXTURE_SOURCE_ALPHA_BIT);
    }

    SkelderTestWorld world;
    XrCompositionLayerProjection projection{};
};

TEST_F(EndFrame, NegativeOrdersGoBeneathTheApplicationAndTheOthersAbove)
{
    const int32_t five = world.CreateLayer(LayerType::Quad, 5);
    const int32_t minusOne = world.CreateLayer(LayerType::Cylinder, -1);
    const int32_t zero = world.CreateLayer(LayerType::Equirect, 0);
    const int32_t minusTwo = world.CreateLayer(LayerType::Quad, -2);
    const XrCompositionLayerProjection before = projection;

    ASSERT_EQ(world.RunFrame({Header(projection)}), XR_SUCCESS);

    const std::vector<SubmittedLayer>& frame = LastFrame();
    ASSERT_EQ(frame.size(), 5u);
    EXPECT_EQ(frame[0].address, world.StructureOf(minusTwo));
    EXPECT_EQ(frame[1].address, world.StructureOf(minusOne));
    ExpectBlendingCopyOf(projection, frame[2]);
    EXPECT_EQ(frame[3].address, world.StructureOf(zero));
    EXPECT_EQ(frame[4].address, world.StructureOf(five));
    EXPECT_EQ(std::memcmp(&before, &projection, sizeof(projection)), 0) << "the application's layer was written";
    EXPECT_TRUE(world.Warnings().empty());
}

TEST_F(EndFrame, WithoutProviderLayersOnlyNonBlendingProjectionsAreReplacedByCopies)
{
    const XrCompositionLayerProjection blending =
        world.ApplicationProjection(world.ApplicationSwapchain(), XR_COMPOSITION_LAYER_BLEND_TEXTURE_SOURCE_ALPHA_BIT);
    const XrCompositionLayerProjection corrected = world.ApplicationProjection(
        world.ApplicationSwapchain(), XR_COMPOSITION_LAYER_CORRECT_CHROMATIC_ABERRATION_BIT);

    ASSERT_EQ(world.RunFrame({Header(projection), Header(blending), Header(corrected)}), XR_SUCCESS);

    const std::vector<SubmittedLayer>& frame = LastFrame();
    ASSERT_EQ(frame.size(), 3u);
    ExpectBlendingCopyOf(projection, frame[0]);
    EXPECT_EQ(frame[1].address, Header(blending)) << "a projection that blends already is passed as it is";
    ExpectBlendingCopyOf(corrected, frame[2]);
    EXPECT_EQ(projection.layerFlags, 0u);
    EXPECT_EQ(corrected.layerFlags, XR_COMPOSITION_LAYER_CORRECT_CHROMATIC_ABERRATION_BIT);
}

TEST_F(EndFrame, CopiesCarryEveryOtherMemberOfTheApplicationsLayer)
{
    XrCompositionLayerProjection copy{};
    world.layers.frameLoop.SetFrameObserver([&](const XrFrameEndInfo& info) {
        copy = *reinterpret_cast<const XrCompositionLayerProjection*>(info.layers[0]);
    });
    ASSERT_EQ(world.RunFrame({Header(projection)}), XR_SUCCESS);
    EXPECT_EQ(copy.layerFlags, XR_COMPOSITION_LAYER_BLEND_TEXTURE_SOURCE_ALPHA_BIT);
    copy.layerFlags = projection.layerFlags;
    EXPECT_EQ(std::memcmp(&copy, &projection, sizeof(copy)), 0);
}

TEST_F(EndFrame, WhenAllProviderLayersAreUnderlaysTheApplicationComesLast)
{
    const int32_t minusOne = world.CreateLayer(LayerType::Quad, -1);
    const int32_t minusThree = world.CreateLayer(LayerType::Quad, -3);

    ASSERT_EQ(world.RunFrame({Header(projection)}), XR_SUCCESS);

    const std::vector<SubmittedLayer>& frame = LastFrame();
    ASSERT_EQ(frame.size(), 3u);
    EXPECT_EQ(frame[0].address, world.StructureOf(minusThree));
    EXPECT_EQ(frame[1].address, world.StructureOf(minusOne));
    ExpectBlendingCopyOf(projection, frame[2]);
}

TEST_F(EndFrame, UnderlaysFillingTheLimitLeaveTheApplicationOut)
{
    SetMaxCompositionLayerCount(2);
    world.CreateLayer(LayerType::Quad, -1);
    const int32_t minusThree = world.CreateLayer(LayerType::Quad, -3);
    const int32_t minusTwo = world.CreateLayer(LayerType::Quad, -2);
    const int32_t hidden = world.CreateLayer(LayerType::Quad, -4);
    SetLayerVisible(hidden, 0);

    ASSERT_EQ(world.RunFrame({Header(projection)}), XR_SUCCESS);

    EXPECT_EQ(Addresses(LastFrame()), (Layers{world.StructureOf(minusThree), world.StructureOf(minusTwo)}));
    EXPECT_EQ(world.Warnings(), std::vector<std::string>{LimitWarning(4, 2)}) << "a hidden layer is not offered";
}

TEST_F(EndFrame, TheLimitKeepsTheApplicationsLayersBeforeOverlays)
{
    SetMaxCompositionLayerCount(2);
    world.CreateLayer(LayerType::Quad, 0);
    const XrCompositionLayerProjection second = world.ApplicationProjection(world.ApplicationSwapchain());

    ASSERT_EQ(world.RunFrame({Header(projection), Header(second)}), XR_SUCCESS);
    ASSERT_EQ(world.RunFrame({Header(projection), Header(second)}), XR_SUCCESS);

    const std::vector<SubmittedLayer>& frame = LastFrame();
    ASSERT_EQ(frame.size(), 2u);
    ExpectBlendingCopyOf(projection, frame[0]);
    ExpectBlendingCopyOf(second, frame[1]);
    EXPECT_EQ(world.Warnings(), (std::vector<std::string>{LimitWarning(3, 2), LimitWarning(3, 2)}))
        << "the warning repeats in every frame beyond the maximum";
}

TEST_F(EndFrame, WithoutAMaximumEveryFrameEndsEmpty)
{
    SetMaxCompositionLayerCount(0);
    world.CreateLayer(LayerType::Quad, -1);

    ASSERT_EQ(world.RunFrame({Header(projection)}), XR_SUCCESS);

    EXPECT_TRUE(LastFrame().empty());
    EXPECT_EQ(world.Warnings(), std::vector<std::string>{LimitWarning(2, 0)});
}

TEST_F(EndFrame, AnAcquiredLayerIsLeftOutButCountsTowardsTheMaximum)
{
    SetMaxCompositionLayerCount(2);
    const int32_t acquired = world.CreateLayer(LayerType::Quad, -1);
    const int32_t overlay = world.CreateLayer(LayerType::Quad, 0);
    ASSERT_NE(AcquireSwapchainImageForLayer(acquired), nullptr);

    ASSERT_EQ(world.RunFrame({Header(projection)}), XR_SUCCESS);

    const std::vector<SubmittedLayer>& frame = LastFrame();
    ASSERT_EQ(frame.size(), 2u);
    ExpectBlendingCopyOf(projection, frame[0]);
    EXPECT_EQ(frame[1].address, world.StructureOf(overlay));
    EXPECT_EQ(world.Warnings(), std::vector<std::string>{LimitWarning(3, 2)});
    EXPECT_TRUE(world.layers.trace.Contains(kXRTraceLevelNotice,
                                            "CompositionLayerProvider::GetVisibleXrLayers -- Want to show layer " +
                                                std::to_string(acquired) +
                                                ", but it is currently acquired. Should be released before "
                                                "submitting to xrEndFrame. Skipping layer for now."));
}

TEST_F(EndFrame, ALayerWithoutASwapchainIsSkippedInEveryFrame)
{
    const int32_t quad = world.CreateLayer(LayerType::Quad, 1);
    const int32_t cylinder = world.CreateLayer(LayerType::Cylinder, 2);
    const int32_t equirect = world.CreateLayer(LayerType::Equirect, 3);
    for (int32_t id : {quad, cylinder, equirect}) {
        // The sub-image swapchain sits at the same place in the three kinds' structures.
        ChangeLayer(id, [](CompositionLayerBase& layer) {
            reinterpret_cast<XrCompositionLayerQuad*>(layer.GetXrLayer())->subImage.swapchain = XR_NULL_HANDLE;
        });
    }
    static_assert(offsetof(XrCompositionLayerQuad, subImage) == offsetof(XrCompositionLayerCylinderKHR, subImage) &&
                      offsetof(XrCompositionLayerQuad, subImage) == offsetof(XrCompositionLayerEquirect2KHR, subImage),
                  "the kinds share the sub-image's place");
    const std::vector<std::string> messages{
        "Attempted to submit quad layer with null swapchain handle. Skipping the layer instead.",
        "Attempted to submit cylinder layer with null swapchain handle. Skipping the layer instead.",
        "Attempted to submit equirect layer with null swapchain handle. Skipping the layer instead."};

    ASSERT_EQ(world.RunFrame({Header(projection)}), XR_SUCCESS);
    EXPECT_EQ(LastFrame().size(), 1u);
    EXPECT_EQ(world.Warnings(), messages);

    world.layers.trace.Clear();
    ASSERT_EQ(world.RunFrame({Header(projection)}), XR_SUCCESS);
    EXPECT_EQ(LastFrame().size(), 1u);
    EXPECT_EQ(world.Warnings(), messages) << "dropped for one frame only, and tested again";
}

TEST_F(EndFrame, ALayerWithoutASpaceIsSkipped)
{
    world.layers.runtime.FailNext("xrCreateReferenceSpace", XR_ERROR_RUNTIME_FAILURE);
    world.CreateLayer(LayerType::Quad, 1);

    ASSERT_EQ(world.RunFrame({Header(projection)}), XR_SUCCESS);

    EXPECT_EQ(LastFrame().size(), 1u);
    EXPECT_EQ(world.Warnings(), std::vector<std::string>{
                                    "Attempted to submit layer with null space handle. Skipping the layer instead."});
}

TEST_F(EndFrame, APassthroughLayerWithoutItsHandleIsSkippedWhetherRefusedOrNotOffered)
{
    quenra::simruntime::Runtime& runtime = world.layers.runtime;
    runtime.FailNext("xrCreatePassthroughLayerFB", XR_ERROR_FEATURE_UNSUPPORTED);
    EXPECT_NE(world.CreateLayer(LayerType::Passthrough, -1), 0);
    const PFN_xrVoidFunction create = runtime.Function("xrCreatePassthroughFB");
    runtime.RemoveFunction("xrCreatePassthroughFB");
    EXPECT_NE(world.CreateLayer(LayerType::Passthrough, -1), 0) << "made without the extension, never shown";
    runtime.AddFunction("xrCreatePassthroughFB", create);
    const int32_t working = world.CreateLayer(LayerType::Passthrough, -1);

    ASSERT_EQ(world.RunFrame({Header(projection)}), XR_SUCCESS);

    const std::vector<SubmittedLayer>& frame = LastFrame();
    ASSERT_EQ(frame.size(), 2u);
    EXPECT_EQ(frame[0].address, world.StructureOf(working));
    const std::string skipped =
        "Attempted to submit passthrough layer with null layer handle. Skipping the layer instead.";
    EXPECT_EQ(world.Warnings(), (std::vector<std::string>{skipped, skipped}));
}

TEST_F(EndFrame, ALayerOfAnUnsupportedTypeIsSkipped)
{
    const int32_t quad = world.CreateLayer(LayerType::Quad, 1);
    ChangeLayer(quad,
                [](CompositionLayerBase& layer) { layer.GetXrLayer()->type = XR_TYPE_COMPOSITION_LAYER_CUBE_KHR; });

    ASSERT_EQ(world.RunFrame({Header(projection)}), XR_SUCCESS);

    EXPECT_EQ(LastFrame().size(), 1u);
    EXPECT_EQ(world.Warnings(),
              std::vector<std::string>{"Attempted to submit layer of unsupported type. Skipping the layer instead."});
}

TEST_F(EndFrame, EachDroppedLayerLowersTheLimitOfThatFrame)
{
    SetMaxCompositionLayerCount(2);
    world.layers.runtime.FailNext("xrCreateReferenceSpace", XR_ERROR_RUNTIME_FAILURE);
    world.CreateLayer(LayerType::Quad, -2);
    const int32_t good = world.CreateLayer(LayerType::Quad, -1);

    ASSERT_EQ(world.RunFrame({Header(projection)}), XR_SUCCESS);

    EXPECT_EQ(Addresses(LastFrame()), Layers{world.StructureOf(good)});
}

TEST_F(EndFrame, DisabledFeaturePassesTheCallersFrameThroughUntouched)
{
    world.CreateLayer(LayerType::Quad, -1);
    SetCompositionLayerFeatureEnabled(0);

    ASSERT_EQ(world.RunFrame({Header(projection)}), XR_SUCCESS);

    ASSERT_EQ(LastFrame().size(), 1u);
    EXPECT_EQ(LastFrame()[0].address, Header(projection));
    EXPECT_EQ(LastFrame()[0].flags, 0u);
    EXPECT_TRUE(Skelder::State().projectionLayerCopies.empty());
}

TEST_F(EndFrame, AfterUnloadFramesPassThroughUntouched)
{
    world.CreateLayer(LayerType::Quad, -1);
    UnityPluginUnload();

    ASSERT_EQ(world.RunFrame({Header(projection)}), XR_SUCCESS);

    EXPECT_EQ(Addresses(LastFrame()), Layers{Header(projection)});
}

TEST_F(EndFrame, AFrameWithALayerArrayMissingReachesTheRuntimeToBeRefused)
{
    world.CreateLayer(LayerType::Quad, -1);
    XrFrameState state{XR_TYPE_FRAME_STATE};
    world.Lookup<PFN_xrWaitFrame>("xrWaitFrame")(world.layers.session, nullptr, &state);
    world.Lookup<PFN_xrBeginFrame>("xrBeginFrame")(world.layers.session, nullptr);
    XrFrameEndInfo info{XR_TYPE_FRAME_END_INFO};
    info.displayTime = state.predictedDisplayTime;
    info.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
    info.layerCount = 1;
    EXPECT_EQ(world.Lookup<PFN_xrEndFrame>("xrEndFrame")(world.layers.session, &info), XR_ERROR_VALIDATION_FAILURE);
    EXPECT_EQ(world.Lookup<PFN_xrEndFrame>("xrEndFrame")(world.layers.session, nullptr), XR_ERROR_VALIDATION_FAILURE);
}

TEST_F(EndFrame, TheFramesTimeAndBlendModeReachTheRuntime)
{
    XrFrameState state{XR_TYPE_FRAME_STATE};
    world.Lookup<PFN_xrWaitFrame>("xrWaitFrame")(world.layers.session, nullptr, &state);
    world.Lookup<PFN_xrBeginFrame>("xrBeginFrame")(world.layers.session, nullptr);
    XrCompositionLayerProjection unrelated{XR_TYPE_COMPOSITION_LAYER_PROJECTION};
    const void* next = nullptr;
    world.layers.frameLoop.SetFrameObserver([&](const XrFrameEndInfo& info) { next = info.next; });
    XrFrameEndInfo info{XR_TYPE_FRAME_END_INFO};
    info.next = &unrelated;
    info.displayTime = state.predictedDisplayTime;
    info.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_ALPHA_BLEND;
    ASSERT_EQ(world.Lookup<PFN_xrEndFrame>("xrEndFrame")(world.layers.session, &info), XR_SUCCESS);
    const quenra::simruntime::SubmittedFrame& frame = world.layers.frameLoop.SubmittedFrames().back();
    EXPECT_EQ(frame.displayTime, state.predictedDisplayTime);
    EXPECT_EQ(frame.blendMode, XR_ENVIRONMENT_BLEND_MODE_ALPHA_BLEND);
    EXPECT_EQ(next, &unrelated);
}

TEST_F(EndFrame, FrameIsInProgressFromBeginUntilTheRuntimeEndsIt)
{
    bool inProgressWhileEnding = true;
    world.layers.frameLoop.SetFrameObserver(
        [&](const XrFrameEndInfo&) { inProgressWhileEnding = IsXrFrameInProgress(); });
    XrFrameState state{XR_TYPE_FRAME_STATE};
    EXPECT_EQ(IsXrFrameInProgress(), 0);
    world.Lookup<PFN_xrWaitFrame>("xrWaitFrame")(world.layers.session, nullptr, &state);
    EXPECT_EQ(IsXrFrameInProgress(), 0);
    world.Lookup<PFN_xrBeginFrame>("xrBeginFrame")(world.layers.session, nullptr);
    EXPECT_EQ(IsXrFrameInProgress(), 1);
    XrFrameEndInfo info{XR_TYPE_FRAME_END_INFO};
    info.displayTime = state.predictedDisplayTime;
    info.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
    ASSERT_EQ(world.Lookup<PFN_xrEndFrame>("xrEndFrame")(world.layers.session, &info), XR_SUCCESS);
    EXPECT_FALSE(inProgressWhileEnding);
    EXPECT_EQ(IsXrFrameInProgress(), 0);

    world.layers.runtime.FailNext("xrBeginFrame", XR_ERROR_SESSION_NOT_RUNNING);
    EXPECT_EQ(world.Lookup<PFN_xrBeginFrame>("xrBeginFrame")(world.layers.session, nullptr),
              XR_ERROR_SESSION_NOT_RUNNING);
    EXPECT_EQ(IsXrFrameInProgress(), 1) << "set even when the runtime refuses the frame";
}

TEST_F(EndFrame, AFrameEndsWhileAScriptWaitsForALayerImage)
{
    const int32_t waiting = world.CreateLayer(LayerType::Quad, -1);
    const int32_t shown = world.CreateLayer(LayerType::Quad, 1);
    std::future_status frameStatus = std::future_status::deferred;
    std::future<XrResult> frame;
    world.DuringNextImageWait([&] {
        frame = std::async(std::launch::async, [&] { return world.RunFrame({Header(projection)}); });
        frameStatus = frame.wait_for(std::chrono::seconds(10));
    });

    EXPECT_NE(AcquireSwapchainImageForLayer(waiting), nullptr);
    world.DuringNextImageWait(nullptr);

    EXPECT_EQ(frameStatus, std::future_status::ready) << "the frame waited for the script's image wait";
    EXPECT_EQ(frame.get(), XR_SUCCESS);
    const std::vector<SubmittedLayer>& submitted = LastFrame();
    ASSERT_EQ(submitted.size(), 2u);
    ExpectBlendingCopyOf(projection, submitted[0]);
    EXPECT_EQ(submitted[1].address, world.StructureOf(shown)) << "the layer being acquired is left out";
}

} // namespace
} // namespace Skelder::test

// Each kind's OpenXR layer structure, alpha blend and reference space as the runtime receives
// them, and the kinds' setters and teardown.
#include <gtest/gtest.h>

#include <cstring>

#include "CylinderCompositionLayer.h"
#include "EquirectCompositionLayer.h"
#include "LayerTestWorld.h"
#include "PassthroughCompositionLayer.h"
#include "QuadCompositionLayer.h"

namespace Skelder::test {
namespace {

class LayerKinds : public ::testing::Test {
protected:
    template <typename Kind>
    std::unique_ptr<Kind> Make(uint32_t width, uint32_t height,
                               PFN_xrGetInstanceProcAddr lookup = &quenra::simruntime::Runtime::GetInstanceProcAddr)
    {
        auto layer =
            std::make_unique<Kind>(world.instance, lookup, world.trace.Interface(), 3, world.VulkanInterface());
        EXPECT_TRUE(layer->ConfigureSwapchain(world.session, width, height, 0));
        layer->Initialize(world.session, width, height);
        return layer;
    }
    template <typename Structure> static const Structure& As(CompositionLayerBase& layer)
    {
        return *reinterpret_cast<const Structure*>(layer.GetXrLayer());
    }
    void ExpectSpaceOfType(XrSpace space, XrReferenceSpaceType type)
    {
        EXPECT_TRUE(world.runtime.IsLive(HandleKind::Space, HandleValue(space)));
        const std::vector<XrReferenceSpaceCreateInfo> infos = world.spaces.CreateInfos();
        ASSERT_EQ(infos.size(), 1u);
        EXPECT_EQ(infos[0].type, XR_TYPE_REFERENCE_SPACE_CREATE_INFO);
        EXPECT_EQ(infos[0].next, nullptr);
        EXPECT_EQ(infos[0].referenceSpaceType, type);
        ExpectPose(infos[0].poseInReferenceSpace, {0, 0, 0, 1}, {0, 0, 0});
        EXPECT_EQ(world.HandlesOf("xrCreateReferenceSpace"), std::vector<uint64_t>{HandleValue(world.session)});
    }
    static void ExpectPose(const XrPosef& pose, XrQuaternionf orientation, XrVector3f position)
    {
        EXPECT_EQ(pose.orientation.x, orientation.x);
        EXPECT_EQ(pose.orientation.y, orientation.y);
        EXPECT_EQ(pose.orientation.z, orientation.z);
        EXPECT_EQ(pose.orientation.w, orientation.w);
        EXPECT_EQ(pose.position.x, position.x);
        EXPECT_EQ(pose.position.y, position.y);
        EXPECT_EQ(pose.position.z, position.z);
    }
    static void ExpectBlend(const void* next, XrBlendFactorFB srcColor, XrBlendFactorFB dstColor,
                            XrBlendFactorFB srcAlpha, XrBlendFactorFB dstAlpha)
    {
        ASSERT_NE(next, nullptr);
        const auto& blend = *static_cast<const XrCompositionLayerAlphaBlendFB*>(next);
        EXPECT_EQ(blend.type, XR_TYPE_COMPOSITION_LAYER_ALPHA_BLEND_FB);
        EXPECT_EQ(blend.next, nullptr);
        EXPECT_EQ(blend.srcFactorColor, srcColor);
        EXPECT_EQ(blend.dstFactorColor, dstColor);
        EXPECT_EQ(blend.srcFactorAlpha, srcAlpha);
        EXPECT_EQ(blend.dstFactorAlpha, dstAlpha);
    }
    void ExpectWholeImage(const XrSwapchainSubImage& subImage, const CompositionLayerBase& layer, int32_t width,
                          int32_t height)
    {
        EXPECT_NE(subImage.swapchain, XR_NULL_HANDLE);
        EXPECT_EQ(subImage.swapchain, layer.Swapchain());
        EXPECT_EQ(subImage.imageRect.offset.x, 0);
        EXPECT_EQ(subImage.imageRect.offset.y, 0);
        EXPECT_EQ(subImage.imageRect.extent.width, width);
        EXPECT_EQ(subImage.imageRect.extent.height, height);
        EXPECT_EQ(subImage.imageArrayIndex, 0u);
    }

    LayerTestWorld world;
};

TEST_F(LayerKinds, QuadStartsInViewSpaceOneMetreAheadAndSmall)
{
    auto layer = Make<QuadCompositionLayer>(256, 128);
    const auto& quad = As<XrCompositionLayerQuad>(*layer);
    EXPECT_EQ(quad.type, XR_TYPE_COMPOSITION_LAYER_QUAD);
    EXPECT_EQ(quad.layerFlags, XR_COMPOSITION_LAYER_BLEND_TEXTURE_SOURCE_ALPHA_BIT);
    EXPECT_EQ(quad.eyeVisibility, XR_EYE_VISIBILITY_BOTH);
    ExpectWholeImage(quad.subImage, *layer, 256, 128);
    ExpectPose(quad.pose, {0, 0, 0, 1}, {0, 0, 1.0f});
    EXPECT_EQ(quad.size.width, 0.1f);
    EXPECT_EQ(quad.size.height, -0.1f);
    ExpectBlend(quad.next, XR_BLEND_FACTOR_ONE_FB, XR_BLEND_FACTOR_ONE_MINUS_SRC_ALPHA_FB, XR_BLEND_FACTOR_ONE_FB,
                XR_BLEND_FACTOR_ONE_MINUS_SRC_ALPHA_FB);
    ExpectSpaceOfType(quad.space, XR_REFERENCE_SPACE_TYPE_VIEW);

    layer->SetSize(2.0f, 1.5f);
    layer->SetPosition(1, 2, 3);
    layer->SetOrientation(0.5f, 0.5f, 0.5f, 0.5f);
    EXPECT_EQ(quad.size.width, 2.0f);
    EXPECT_EQ(quad.size.height, 1.5f);
    ExpectPose(quad.pose, {0.5f, 0.5f, 0.5f, 0.5f}, {1, 2, 3});
}

TEST_F(LayerKinds, CylinderTakesItsAspectRatioFromTheSwapchain)
{
    auto layer = Make<CylinderCompositionLayer>(1024, 512);
    const auto& cylinder = As<XrCompositionLayerCylinderKHR>(*layer);
    EXPECT_EQ(cylinder.type, XR_TYPE_COMPOSITION_LAYER_CYLINDER_KHR);
    EXPECT_EQ(cylinder.layerFlags, XR_COMPOSITION_LAYER_CORRECT_CHROMATIC_ABERRATION_BIT |
                                       XR_COMPOSITION_LAYER_BLEND_TEXTURE_SOURCE_ALPHA_BIT);
    EXPECT_EQ(cylinder.eyeVisibility, XR_EYE_VISIBILITY_BOTH);
    ExpectWholeImage(cylinder.subImage, *layer, 1024, 512);
    ExpectPose(cylinder.pose, {0, 0, 0, 1}, {0, 0, -1.0f});
    EXPECT_EQ(cylinder.radius, 0.0f);
    EXPECT_EQ(cylinder.centralAngle, 0.0f);
    EXPECT_EQ(cylinder.aspectRatio, 2.0f);
    ExpectBlend(cylinder.next, XR_BLEND_FACTOR_ONE_FB, XR_BLEND_FACTOR_ONE_MINUS_SRC_ALPHA_FB, XR_BLEND_FACTOR_ONE_FB,
                XR_BLEND_FACTOR_ONE_MINUS_SRC_ALPHA_FB);
    ExpectSpaceOfType(cylinder.space, XR_REFERENCE_SPACE_TYPE_LOCAL);

    layer->SetRadius(3.0f);
    layer->SetCentralAngle(1.25f);
    layer->SetPosition(0, 1, 0);
    EXPECT_EQ(cylinder.radius, 3.0f);
    EXPECT_EQ(cylinder.centralAngle, 1.25f);
    EXPECT_EQ(cylinder.aspectRatio, 2.0f);
    ExpectPose(cylinder.pose, {0, 0, 0, 1}, {0, 1, 0});
}

TEST_F(LayerKinds, EquirectStartsAtTheOriginWithNoExtent)
{
    auto layer = Make<EquirectCompositionLayer>(300, 200);
    const auto& equirect = As<XrCompositionLayerEquirect2KHR>(*layer);
    EXPECT_EQ(equirect.type, XR_TYPE_COMPOSITION_LAYER_EQUIRECT2_KHR);
    EXPECT_EQ(equirect.layerFlags, XR_COMPOSITION_LAYER_CORRECT_CHROMATIC_ABERRATION_BIT |
                                       XR_COMPOSITION_LAYER_BLEND_TEXTURE_SOURCE_ALPHA_BIT);
    EXPECT_EQ(equirect.eyeVisibility, XR_EYE_VISIBILITY_BOTH);
    ExpectWholeImage(equirect.subImage, *layer, 300, 200);
    ExpectPose(equirect.pose, {0, 0, 0, 1}, {0, 0, 0});
    EXPECT_EQ(equirect.radius, 0.0f);
    EXPECT_EQ(equirect.centralHorizontalAngle, 0.0f);
    EXPECT_EQ(equirect.upperVerticalAngle, 0.0f);
    EXPECT_EQ(equirect.lowerVerticalAngle, 0.0f);
    ExpectBlend(equirect.next, XR_BLEND_FACTOR_ONE_FB, XR_BLEND_FACTOR_ONE_MINUS_SRC_ALPHA_FB, XR_BLEND_FACTOR_ONE_FB,
                XR_BLEND_FACTOR_ONE_MINUS_SRC_ALPHA_FB);
    ExpectSpaceOfType(equirect.space, XR_REFERENCE_SPACE_TYPE_LOCAL);

    layer->SetRadius(10.0f);
    layer->SetCentralHorizontalAngle(3.0f);
    layer->SetUpperVerticalAngle(1.0f);
    layer->SetLowerVerticalAngle(-1.0f);
    EXPECT_EQ(equirect.radius, 10.0f);
    EXPECT_EQ(equirect.centralHorizontalAngle, 3.0f);
    EXPECT_EQ(equirect.upperVerticalAngle, 1.0f);
    EXPECT_EQ(equirect.lowerVerticalAngle, -1.0f);
}

TEST_F(LayerKinds, PassthroughIsConfiguredWithoutSwapchain)
{
    auto layer = std::make_unique<PassthroughCompositionLayer>(world.instance, &LayerTestWorld::RecordingLookup,
                                                               world.trace.Interface(), 4, world.VulkanInterface());
    // Its own functions come after the base's, in this order.
    const std::vector<std::string>& names = LayerTestWorld::LookedUpNames();
    ASSERT_EQ(names.size(), 13u);
    EXPECT_EQ(Calls(names.begin(), names.begin() + 9),
              (Calls{"xrEnumerateSwapchainFormats", "xrCreateSwapchain", "xrDestroySwapchain",
                     "xrEnumerateSwapchainImages", "xrAcquireSwapchainImage", "xrWaitSwapchainImage",
                     "xrReleaseSwapchainImage", "xrCreateReferenceSpace", "xrDestroySpace"}));
    EXPECT_EQ(Calls(names.begin() + 9, names.end()), (Calls{"xrCreatePassthroughFB", "xrCreatePassthroughLayerFB",
                                                            "xrDestroyPassthroughFB", "xrDestroyPassthroughLayerFB"}));

    ASSERT_TRUE(layer->ConfigureSwapchain(world.session, 32, 32, -4));
    EXPECT_EQ(layer->sortingOrder, -4);
    EXPECT_EQ(layer->Session(), world.session);
    EXPECT_EQ(layer->Swapchain(), XR_NULL_HANDLE);
    EXPECT_EQ(world.runtime.CallCount("xrEnumerateSwapchainFormats"), 0u);
    EXPECT_EQ(world.runtime.CallCount("xrCreateSwapchain"), 0u);
    EXPECT_EQ(layer->AcquireImage(XR_INFINITE_DURATION), nullptr);
    EXPECT_TRUE(
        world.trace.Contains(kXRTraceLevelWarning,
                             "CompositionLayerBase::AcquireImage -- Attempting to acquire from an invalid swapchain."));
}

TEST_F(LayerKinds, PassthroughCreatesItsRunningLayerAndBlendsByDestinationAlpha)
{
    auto layer = Make<PassthroughCompositionLayer>(32, 32);
    const auto& passthrough = As<XrCompositionLayerPassthroughFB>(*layer);

    const std::vector<XrPassthroughCreateInfoFB> infos = world.passthrough.CreateInfos();
    ASSERT_EQ(infos.size(), 1u);
    EXPECT_EQ(infos[0].next, nullptr);
    EXPECT_EQ(infos[0].flags, XR_PASSTHROUGH_IS_RUNNING_AT_CREATION_BIT_FB);
    const std::vector<XrPassthroughLayerCreateInfoFB> layerInfos = world.passthrough.LayerCreateInfos();
    ASSERT_EQ(layerInfos.size(), 1u);
    EXPECT_EQ(layerInfos[0].next, nullptr);
    EXPECT_EQ(layerInfos[0].flags, XR_PASSTHROUGH_IS_RUNNING_AT_CREATION_BIT_FB);
    EXPECT_EQ(layerInfos[0].purpose, XR_PASSTHROUGH_LAYER_PURPOSE_RECONSTRUCTION_FB);
    EXPECT_TRUE(world.passthrough.IsRunning(layerInfos[0].passthrough));

    EXPECT_EQ(passthrough.type, XR_TYPE_COMPOSITION_LAYER_PASSTHROUGH_FB);
    EXPECT_EQ(passthrough.flags, XR_COMPOSITION_LAYER_BLEND_TEXTURE_SOURCE_ALPHA_BIT);
    EXPECT_TRUE(world.passthrough.IsLayerRunning(passthrough.layerHandle));
    ExpectBlend(passthrough.next, XR_BLEND_FACTOR_DST_ALPHA_FB, XR_BLEND_FACTOR_ONE_MINUS_DST_ALPHA_FB,
                XR_BLEND_FACTOR_ONE_FB, XR_BLEND_FACTOR_ZERO_FB);
    ExpectSpaceOfType(passthrough.space, XR_REFERENCE_SPACE_TYPE_VIEW);

    // The runtime places passthrough: pose setters change nothing.
    XrCompositionLayerPassthroughFB before = passthrough;
    layer->SetPosition(1, 2, 3);
    layer->SetOrientation(1, 0, 0, 0);
    EXPECT_EQ(std::memcmp(&before, &passthrough, sizeof(before)), 0);

    world.runtime.ClearCalls();
    layer.reset();
    EXPECT_EQ(world.runtime.CallSequence(),
              (Calls{"xrDestroySpace", "xrDestroyPassthroughLayerFB", "xrDestroyPassthroughFB"}));
    EXPECT_TRUE(world.runtime.LiveHandles(HandleKind::Space).empty());
    EXPECT_TRUE(world.runtime.LiveHandles(HandleKind::Passthrough).empty());
    EXPECT_TRUE(world.runtime.LiveHandles(HandleKind::PassthroughLayer).empty());
}

TEST_F(LayerKinds, PassthroughWithoutTheExtensionIsMadeWithANullLayerHandleAndNoPassthroughCall)
{
    for (const char* missing : {"xrCreatePassthroughFB", "xrCreatePassthroughLayerFB", "xrDestroyPassthroughFB",
                                "xrDestroyPassthroughLayerFB"}) {
        const PFN_xrVoidFunction function = world.runtime.Function(missing);
        world.runtime.RemoveFunction(missing);
        world.runtime.ClearCalls();
        world.trace.Clear();
        auto layer = Make<PassthroughCompositionLayer>(32, 32);
        EXPECT_EQ(world.trace.Texts(kXRTraceLevelError),
                  Calls{"PassthroughCompositionLayer::ConfigureSwapchain -- the runtime offers no XR_FB_passthrough "
                        "functions"})
            << missing;
        EXPECT_EQ(As<XrCompositionLayerPassthroughFB>(*layer).layerHandle, XR_NULL_HANDLE) << missing;
        EXPECT_EQ(world.runtime.CallCount("xrCreatePassthroughFB") +
                      world.runtime.CallCount("xrCreatePassthroughLayerFB"),
                  0u)
            << missing << ": nothing made that could not be destroyed";
        layer.reset();
        EXPECT_EQ(world.LiveCount(HandleKind::Space), 0u);
        world.runtime.AddFunction(missing, function);
    }
}

TEST_F(LayerKinds, PassthroughThatTheRuntimeRefusesLeavesANullLayerHandle)
{
    world.runtime.FailNext("xrCreatePassthroughFB", XR_ERROR_FEATURE_UNSUPPORTED);
    auto layer = Make<PassthroughCompositionLayer>(32, 32);
    EXPECT_EQ(As<XrCompositionLayerPassthroughFB>(*layer).layerHandle, XR_NULL_HANDLE);
    EXPECT_EQ(world.runtime.CallCount("xrCreatePassthroughLayerFB"), 0u) << "no layer without a passthrough";
    world.runtime.ClearCalls();
    layer.reset();
    EXPECT_EQ(world.runtime.CallSequence(), Calls{"xrDestroySpace"});
}

TEST_F(LayerKinds, PassthroughHandlesThatCameWithASuccessCodeAreKeptAndDestroyed)
{
    world.runtime.SucceedNextWith("xrCreatePassthroughFB", XR_SESSION_LOSS_PENDING);
    world.runtime.SucceedNextWith("xrCreatePassthroughLayerFB", XR_SESSION_LOSS_PENDING);
    auto layer = Make<PassthroughCompositionLayer>(32, 32);
    const XrPassthroughLayerFB handle = As<XrCompositionLayerPassthroughFB>(*layer).layerHandle;
    EXPECT_TRUE(world.runtime.IsLive(HandleKind::PassthroughLayer, HandleValue(handle)));
    layer.reset();
    EXPECT_TRUE(world.runtime.LiveHandles(HandleKind::PassthroughLayer).empty());
    EXPECT_TRUE(world.runtime.LiveHandles(HandleKind::Passthrough).empty());
}

TEST_F(LayerKinds, FailedSpaceIsLoggedAndTheLayerGoesOnWithoutOne)
{
    struct Case {
        std::function<std::unique_ptr<CompositionLayerBase>()> make;
        const char* message;
    };
    const Case cases[] = {
        {[&] { return Make<QuadCompositionLayer>(8, 8); },
         "QuadCompositionLayer::Initialize -- xrCreateReferenceSpace failed: -2"},
        {[&] { return Make<CylinderCompositionLayer>(8, 8); },
         "CylinderCompositionLayer::Initialize -- xrCreateReferenceSpace failed: -2"},
        {[&] { return Make<EquirectCompositionLayer>(8, 8); },
         "EquirectCompositionLayer::Initialize -- xrCreateReferenceSpace failed: -2"},
        {[&] { return Make<PassthroughCompositionLayer>(8, 8); },
         "PassthroughCompositionLayer::Initialize -- xrCreateReferenceSpace failed: -2"},
    };
    for (const Case& kind : cases) {
        world.trace.Clear();
        world.runtime.FailNext("xrCreateReferenceSpace", XR_ERROR_RUNTIME_FAILURE);
        std::unique_ptr<CompositionLayerBase> layer = kind.make();
        EXPECT_EQ(world.trace.Texts(kXRTraceLevelError), Calls{kind.message});
        // Every layer structure holds its space right after the flags.
        const auto* withSpace = reinterpret_cast<const XrCompositionLayerQuad*>(layer->GetXrLayer());
        EXPECT_EQ(withSpace->space, XR_NULL_HANDLE) << kind.message;
        layer.reset();
        EXPECT_EQ(world.runtime.CallCount("xrDestroySpace"), 0u) << kind.message;
    }
}

TEST_F(LayerKinds, InitializingAgainReplacesTheSpaceInsteadOfLeakingIt)
{
    auto layer = Make<QuadCompositionLayer>(8, 8);
    const XrSpace first = As<XrCompositionLayerQuad>(*layer).space;
    layer->Initialize(world.session, 8, 8);
    EXPECT_FALSE(world.runtime.IsLive(HandleKind::Space, HandleValue(first)));
    EXPECT_EQ(world.LiveCount(HandleKind::Space), 1u);
    layer.reset();
    EXPECT_EQ(world.LiveCount(HandleKind::Space), 0u);
    EXPECT_EQ(world.LiveCount(HandleKind::Swapchain), 0u);
}

TEST_F(LayerKinds, ReleasedLayerIsAcceptedByTheRuntimesEndFrame)
{
    auto layer = Make<QuadCompositionLayer>(64, 64);
    const XrCompositionLayerBaseHeader* layers[] = {layer->GetXrLayer()};
    XrFrameEndInfo end{XR_TYPE_FRAME_END_INFO};
    end.layerCount = 1;
    end.layers = layers;
    PFN_xrVoidFunction function = nullptr;
    quenra::simruntime::Runtime::GetInstanceProcAddr(world.instance, "xrWaitFrame", &function);
    auto waitFrame = reinterpret_cast<PFN_xrWaitFrame>(function);
    quenra::simruntime::Runtime::GetInstanceProcAddr(world.instance, "xrBeginFrame", &function);
    auto beginFrame = reinterpret_cast<PFN_xrBeginFrame>(function);
    quenra::simruntime::Runtime::GetInstanceProcAddr(world.instance, "xrEndFrame", &function);
    auto endFrame = reinterpret_cast<PFN_xrEndFrame>(function);
    XrFrameState state{XR_TYPE_FRAME_STATE};
    ASSERT_EQ(waitFrame(world.session, nullptr, &state), XR_SUCCESS);
    ASSERT_EQ(beginFrame(world.session, nullptr), XR_SUCCESS);

    // Nothing was ever drawn into the swapchain.
    EXPECT_EQ(endFrame(world.session, &end), XR_ERROR_LAYER_INVALID);
    ASSERT_NE(layer->AcquireImage(XR_INFINITE_DURATION), nullptr);
    layer->ReleaseImage();
    EXPECT_EQ(endFrame(world.session, &end), XR_SUCCESS);
    ASSERT_EQ(world.frameLoop.SubmittedFrames().size(), 1u);
    EXPECT_EQ(world.frameLoop.SubmittedFrames()[0].layerTypes,
              std::vector<XrStructureType>{XR_TYPE_COMPOSITION_LAYER_QUAD});
}

} // namespace
} // namespace Skelder::test

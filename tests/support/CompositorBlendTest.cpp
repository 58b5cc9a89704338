// How the reference compositor lays one layer over another: opaque without the source-alpha flag,
// premultiplied colour with it, straight colour when the layer also says so; and only for the eyes
// the layer is visible to. Two quads fill the view: an opaque white one beneath, the case's above.
#include <gtest/gtest.h>

#include "Compositor.h"
#include "CpuSwapchainImages.h"
#include "FrameLoop.h"
#include "Swapchains.h"

namespace quenra::simruntime {
namespace {

struct BlendCase {
    const char* name;
    XrCompositionLayerFlags flags;
    XrEyeVisibility visibility;
    uint32_t eye;
    Rgba expected;
};

std::ostream& operator<<(std::ostream& out, const BlendCase& blend)
{
    return out << blend.name;
}

class CompositorBlend : public ::testing::TestWithParam<BlendCase> {
protected:
    // A 4 × 4 swapchain of one colour, one image released; a quad that fills the default view.
    XrCompositionLayerQuad Quad(Rgba colour, XrCompositionLayerFlags flags, XrEyeVisibility visibility)
    {
        XrSwapchainCreateInfo info{XR_TYPE_SWAPCHAIN_CREATE_INFO};
        info.format = 43;
        info.sampleCount = info.faceCount = info.arraySize = info.mipCount = 1;
        info.width = info.height = 4;
        XrSwapchain swapchain = XR_NULL_HANDLE;
        uint32_t index = 0;
        XrSwapchainImageWaitInfo wait{XR_TYPE_SWAPCHAIN_IMAGE_WAIT_INFO};
        EXPECT_EQ(Call<PFN_xrCreateSwapchain>("xrCreateSwapchain")(session, &info, &swapchain), XR_SUCCESS);
        images.Find(swapchains.Images(swapchain).at(0))->Fill(colour);
        Call<PFN_xrAcquireSwapchainImage>("xrAcquireSwapchainImage")(swapchain, nullptr, &index);
        Call<PFN_xrWaitSwapchainImage>("xrWaitSwapchainImage")(swapchain, &wait);
        Call<PFN_xrReleaseSwapchainImage>("xrReleaseSwapchainImage")(swapchain, nullptr);

        XrCompositionLayerQuad quad{XR_TYPE_COMPOSITION_LAYER_QUAD};
        quad.layerFlags = flags;
        quad.space = runtime.MakeSpace(session);
        quad.eyeVisibility = visibility;
        quad.subImage.swapchain = swapchain;
        quad.subImage.imageRect.extent = {4, 4};
        quad.pose = {{0, 0, 0, 1}, {0, 0, -1}};
        quad.size = {4, 4};
        return quad;
    }

    template <typename Pfn> Pfn Call(const char* name)
    {
        PFN_xrVoidFunction function = nullptr;
        Runtime::GetInstanceProcAddr(instance, name, &function);
        return reinterpret_cast<Pfn>(function);
    }

    Runtime runtime;
    FrameLoop frameLoop{runtime};
    Swapchains swapchains{runtime, frameLoop};
    CpuSwapchainImages images{runtime, swapchains};
    Compositor compositor{runtime, images};
    XrInstance instance = runtime.MakeInstance();
    XrSession session = runtime.MakeSession(instance);
};

TEST_P(CompositorBlend, LaysTheLayerOverWhatIsBeneathAsItsFlagsSay)
{
    const BlendCase& blend = GetParam();
    const XrCompositionLayerQuad white = Quad({255, 255, 255, 255}, 0, XR_EYE_VISIBILITY_BOTH);
    // Orange at half coverage: as premultiplied colour, (200, 100, 0) already carries the alpha.
    const XrCompositionLayerQuad top = Quad({200, 100, 0, 128}, blend.flags, blend.visibility);
    const XrCompositionLayerBaseHeader* layers[] = {reinterpret_cast<const XrCompositionLayerBaseHeader*>(&white),
                                                    reinterpret_cast<const XrCompositionLayerBaseHeader*>(&top)};
    XrFrameEndInfo frame{XR_TYPE_FRAME_END_INFO};
    frame.layerCount = 2;
    frame.layers = layers;

    const RgbaImage picture = compositor.Compose(frame, blend.eye, 8, 8);
    const Rgba seen = picture.Get(4, 4);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(seen[c], blend.expected[c], 1) << "channel " << c;
    }
    EXPECT_EQ(seen[3], 255);
}

constexpr XrCompositionLayerFlags kAlpha = XR_COMPOSITION_LAYER_BLEND_TEXTURE_SOURCE_ALPHA_BIT;
constexpr XrCompositionLayerFlags kStraight = XR_COMPOSITION_LAYER_UNPREMULTIPLIED_ALPHA_BIT;

INSTANTIATE_TEST_SUITE_P(
    Flags, CompositorBlend,
    ::testing::Values(
        BlendCase{"OpaqueWithoutTheAlphaFlag", 0, XR_EYE_VISIBILITY_BOTH, 0, {200, 100, 0, 255}},
        BlendCase{"Premultiplied", kAlpha, XR_EYE_VISIBILITY_BOTH, 0, {255, 227, 127, 255}},
        BlendCase{"Unpremultiplied", kAlpha | kStraight, XR_EYE_VISIBILITY_BOTH, 0, {227, 177, 127, 255}},
        BlendCase{"UnpremultipliedFlagAloneIsOpaque", kStraight, XR_EYE_VISIBILITY_BOTH, 0, {200, 100, 0, 255}},
        BlendCase{"LeftEyeLayerSeenByTheLeftEye", 0, XR_EYE_VISIBILITY_LEFT, 0, {200, 100, 0, 255}},
        BlendCase{"RightEyeLayerAbsentFromTheLeftEye", 0, XR_EYE_VISIBILITY_RIGHT, 0, {255, 255, 255, 255}},
        BlendCase{"LeftEyeLayerAbsentFromTheRightEye", 0, XR_EYE_VISIBILITY_LEFT, 1, {255, 255, 255, 255}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quenra::simruntime

// Skelder's layers as the runtime's reference compositor draws them, driven through the exports the
// way a script does: each case places a layer in engine coordinates (converted by the script), fills
// its image with a pattern whose top-left quarter is red and the rest green, and checks where the
// left eye sees it against a projection of the same surface worked out in engine coordinates: the
// pixel rectangle within a pixel, the red quarter top left (no mirrored axis), the application's
// projection layer (opaque blue on the left half, transparent on the right) above or beneath it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>

#include "Compositor.h"
#include "CpuSwapchainImages.h"
#include "EngineCoordinates.h"
#include "PoseMath.h"
#include "SkelderTestWorld.h"

namespace Skelder::test {
namespace {

using quenra::simruntime::Rgba;
using quenra::simruntime::RgbaImage;
using quenra::simruntime::operator+;
using quenra::simruntime::operator*;

constexpr uint32_t kSize = 100;
constexpr float kHalfFov = 0.785398163f; // 45°: tan = 1, so a pixel is 2 / kSize of tangent.
constexpr Rgba kRed{255, 0, 0, 255};
constexpr Rgba kGreen{0, 255, 0, 255};
constexpr Rgba kBlue{0, 0, 255, 255};
constexpr float kPi = 3.14159265f;

XrQuaternionf EngineYaw(float radians)
{
    return quenra::simruntime::AxisAngle({0, 1, 0}, radians);
}

// Inclusive pixel bounds; empty when first > last.
struct Bounds {
    int left = kSize, top = kSize, right = -1, bottom = -1;
    bool Empty() const { return left > right || top > bottom; }
    void Add(int x, int y)
    {
        left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
    }
};

// The pixel an engine-space point falls in, seen by the eye at the origin looking along +z.
std::optional<std::pair<float, float>> Project(XrVector3f point)
{
    if (point.z <= 0) {
        return std::nullopt;
    }
    return std::make_pair((point.x / point.z + 1) / 2 * kSize, (1 - point.y / point.z) / 2 * kSize);
}

// The pixels whose centres the surface covers, from its outline sampled finely.
Bounds Predict(const std::function<XrVector3f(float u, float v)>& surface)
{
    float left = 1e9f, right = -1e9f, top = 1e9f, bottom = -1e9f;
    for (int i = 0; i <= 400; ++i) {
        const float s = i / 400.0f;
        for (auto uv :
             {std::make_pair(s, 0.0f), std::make_pair(s, 1.0f), std::make_pair(0.0f, s), std::make_pair(1.0f, s)}) {
            if (auto pixel = Project(surface(uv.first, uv.second))) {
                left = std::min(left, pixel->first), right = std::max(right, pixel->first);
                top = std::min(top, pixel->second), bottom = std::max(bottom, pixel->second);
            }
        }
    }
    Bounds bounds;
    bounds.left = std::max(0, static_cast<int>(std::ceil(left - 0.5f)));
    bounds.right = std::min<int>(kSize - 1, static_cast<int>(std::floor(right - 0.5f)));
    bounds.top = std::max(0, static_cast<int>(std::ceil(top - 0.5f)));
    bounds.bottom = std::min<int>(kSize - 1, static_cast<int>(std::floor(bottom - 0.5f)));
    return bounds;
}

// One case: the layer's engine pose and shape, its order and visibility, and what the eye must see.
struct Placement {
    const char* name;
    XrVector3f position;
    XrQuaternionf rotation;
    float shape[4];
    int32_t sortingOrder = 1;
    bool visible = true;
    // Seen from behind, or hidden: nothing of the layer may show.
    bool expectAbsent = false;
};

std::ostream& operator<<(std::ostream& out, const Placement& placement)
{
    return out << placement.name;
}

class CompositorGeometry : public ::testing::TestWithParam<Placement> {
protected:
    CompositorGeometry()
    {
        world.Load();
        SetCompositionLayerFeatureEnabled(1);
        SetMaxCompositionLayerCount(16);
        world.layers.frameLoop.SetFrameObserver(
            [this](const XrFrameEndInfo& info) { picture = compositor.Compose(info, 0, kSize, kSize); });
        MakeProjection();
    }
    // The layers destroy their swapchains through the image module's functions, so they go first.
    ~CompositorGeometry() override { UnityPluginUnload(); }

    // An application swapchain image, opaque blue on its left half, transparent on its right.
    void MakeProjection()
    {
        XrSwapchainCreateInfo info{XR_TYPE_SWAPCHAIN_CREATE_INFO};
        info.format = 43;
        info.sampleCount = info.faceCount = info.arraySize = info.mipCount = 1;
        info.width = info.height = kSize;
        XrSwapchain swapchain = XR_NULL_HANDLE;
        ASSERT_EQ(world.Lookup<PFN_xrCreateSwapchain>("xrCreateSwapchain")(world.layers.session, &info, &swapchain),
                  XR_SUCCESS);
        RgbaImage* image = images.Find(world.layers.swapchains.Images(swapchain).at(0));
        ASSERT_NE(image, nullptr);
        for (uint32_t y = 0; y < kSize; ++y) {
            for (uint32_t x = 0; x < kSize / 2; ++x) {
                image->Set(x, y, kBlue);
            }
        }
        uint32_t index = 0;
        XrSwapchainImageWaitInfo wait{XR_TYPE_SWAPCHAIN_IMAGE_WAIT_INFO};
        wait.timeout = XR_INFINITE_DURATION;
        world.Lookup<PFN_xrAcquireSwapchainImage>("xrAcquireSwapchainImage")(swapchain, nullptr, &index);
        world.Lookup<PFN_xrWaitSwapchainImage>("xrWaitSwapchainImage")(swapchain, &wait);
        world.Lookup<PFN_xrReleaseSwapchainImage>("xrReleaseSwapchainImage")(swapchain, nullptr);
        for (XrCompositionLayerProjectionView& view : views) {
            view = {XR_TYPE_COMPOSITION_LAYER_PROJECTION_VIEW};
            view.pose.orientation.w = 1;
            view.fov = {-kHalfFov, kHalfFov, kHalfFov, -kHalfFov};
            view.subImage.swapchain = swapchain;
            view.subImage.imageRect.extent = {static_cast<int32_t>(kSize), static_cast<int32_t>(kSize)};
        }
        projection.space = world.applicationSpace;
        projection.viewCount = 2;
        projection.views = views;
    }

    // A layer made, placed and filled through the exports, as a script does.
    int32_t MakeLayer(LayerType type, const Placement& placement)
    {
        const int32_t id = CreateCompositionLayer(quenra::simruntime::HandleValue(world.layers.instance),
                                                  quenra::simruntime::HandleValue(world.layers.session), 64, 32,
                                                  placement.sortingOrder, static_cast<uint32_t>(type), 0);
        const XrVector3f position = quenra::simengine::ToOpenXr(placement.position);
        const XrQuaternionf rotation = quenra::simengine::ToOpenXr(placement.rotation);
        SetPositionForLayer(id, position.x, position.y, position.z);
        SetOrientationForLayer(id, rotation.x, rotation.y, rotation.z, rotation.w);
        SetLayerVisible(id, placement.visible);
        // The handle the export gives is the runtime's image, whose memory the script writes.
        const void* handle = AcquireSwapchainImageForLayer(id);
        EXPECT_NE(handle, nullptr);
        RgbaImage* image = handle != nullptr ? images.Find(*static_cast<const uint64_t*>(handle)) : nullptr;
        EXPECT_NE(image, nullptr);
        for (uint32_t y = 0; image != nullptr && y < image->height; ++y) {
            for (uint32_t x = 0; x < image->width; ++x) {
                image->Set(x, y, x < image->width / 2 && y < image->height / 2 ? kRed : kGreen);
            }
        }
        ReleaseSwapchainImageForLayer(id);
        return id;
    }

    // Runs one frame and checks the picture against the surface's outline in engine coordinates.
    void ExpectDrawnWhereTheEngineSays(const std::function<XrVector3f(float u, float v)>& surface)
    {
        const Placement& placement = GetParam();
        ASSERT_EQ(world.RunFrame({reinterpret_cast<const XrCompositionLayerBaseHeader*>(&projection)}), XR_SUCCESS);
        ASSERT_EQ(picture.width, kSize);
        Bounds seen;
        for (uint32_t y = 0; y < kSize; ++y) {
            for (uint32_t x = 0; x < kSize; ++x) {
                const Rgba colour = picture.Get(x, y);
                if (colour == kRed || colour == kGreen) {
                    seen.Add(static_cast<int>(x), static_cast<int>(y));
                }
            }
        }
        if (placement.expectAbsent) {
            EXPECT_TRUE(seen.Empty()) << "layer drawn at x " << seen.left << ".." << seen.right;
            return;
        }
        Bounds expected = Predict(surface);
        // Beneath the projection, the layer shows only where the projection is transparent.
        if (placement.sortingOrder < 0) {
            expected.left = std::max<int>(expected.left, kSize / 2);
        }
        ASSERT_FALSE(expected.Empty());
        EXPECT_NEAR(seen.left, expected.left, 1);
        EXPECT_NEAR(seen.right, expected.right, 1);
        EXPECT_NEAR(seen.top, expected.top, 1);
        EXPECT_NEAR(seen.bottom, expected.bottom, 1);
        // The middles of the top-left and bottom-right quarters, where the layer is not cut off.
        for (auto [u, v, colour] : {std::make_tuple(0.25f, 0.25f, kRed), std::make_tuple(0.75f, 0.75f, kGreen)}) {
            if (auto pixel = Project(surface(u, v));
                pixel && (placement.sortingOrder >= 0 || pixel->first > kSize / 2)) {
                EXPECT_EQ(picture.Get(static_cast<uint32_t>(pixel->first), static_cast<uint32_t>(pixel->second)),
                          colour)
                    << "at u " << u << ", v " << v;
            }
        }
    }

    // A point of the layer's engine-space frame, placed by the case's pose.
    static XrVector3f Placed(XrVector3f local)
    {
        return quenra::simruntime::Rotate(GetParam().rotation, local) + GetParam().position;
    }

    SkelderTestWorld world;
    quenra::simruntime::CpuSwapchainImages images{world.layers.runtime, world.layers.swapchains};
    quenra::simruntime::Compositor compositor{world.layers.runtime, images};
    XrCompositionLayerProjectionView views[2];
    XrCompositionLayerProjection projection{XR_TYPE_COMPOSITION_LAYER_PROJECTION};
    RgbaImage picture;
};

// shape: width, height in metres.
using QuadGeometry = CompositorGeometry;
TEST_P(QuadGeometry, CoversWhatTheEngineCoordinatesPredict)
{
    const Placement& placement = GetParam();
    const int32_t id = MakeLayer(LayerType::Quad, placement);
    const float width = placement.shape[0];
    const float height = placement.shape[1];
    SetSizeForQuadLayer(id, width, height);
    ExpectDrawnWhereTheEngineSays([&](float u, float v) {
        return Placed({(u - 0.5f) * width, (0.5f - v) * height, 0});
    });
}
INSTANTIATE_TEST_SUITE_P(
    Layers, QuadGeometry,
    ::testing::Values(Placement{"StraightAhead", {0, 0, 2}, {0, 0, 0, 1}, {1.0f, 0.5f}},
                      Placement{"RightAndUp", {0.5f, 0.25f, 2}, {0, 0, 0, 1}, {0.6f, 0.4f}},
                      Placement{"TurnedAboutY", {0, 0, 1.5f}, EngineYaw(0.6f), {1.0f, 0.5f}},
                      Placement{
                          "RolledAboutZ", {-0.3f, 0, 2}, quenra::simruntime::AxisAngle({0, 0, 1}, 0.4f), {0.8f, 0.4f}},
                      Placement{"BeneathTheProjection", {0, 0, 2}, {0, 0, 0, 1}, {1.0f, 0.5f}, -1},
                      Placement{"SeenFromBehind", {0, 0, 2}, EngineYaw(kPi), {1.0f, 0.5f}, 1, true, true},
                      Placement{"Invisible", {0, 0, 2}, {0, 0, 0, 1}, {1.0f, 0.5f}, 1, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

// shape: radius, central angle, aspect ratio (Skelder takes it from the image: 64 / 32).
using CylinderGeometry = CompositorGeometry;
TEST_P(CylinderGeometry, SpansTheColumnsOfItsCentralAngle)
{
    const Placement& placement = GetParam();
    const int32_t id = MakeLayer(LayerType::Cylinder, placement);
    const float radius = placement.shape[0];
    const float angle = placement.shape[1];
    const float height = radius * angle / 2.0f;
    SetRadiusForCylinderLayer(id, radius);
    SetCentralAngleForCylinderLayer(id, angle);
    ExpectDrawnWhereTheEngineSays([&](float u, float v) {
        const float azimuth = (u - 0.5f) * angle;
        return Placed({radius * std::sin(azimuth), (0.5f - v) * height, radius * std::cos(azimuth)});
    });
}
INSTANTIATE_TEST_SUITE_P(
    Layers, CylinderGeometry,
    ::testing::Values(Placement{"AroundTheEye", {0, 0, 0}, {0, 0, 0, 1}, {2.0f, 1.0f}},
                      Placement{"TurnedRight", {0, 0.2f, 0}, EngineYaw(0.3f), {1.5f, 0.6f}},
                      Placement{"FarWallFromOutside", {0.2f, 0, 3}, {0, 0, 0, 1}, {1.0f, 1.2f}},
                      Placement{"BeneathTheProjection", {0, 0, 0}, {0, 0, 0, 1}, {2.0f, 1.0f}, -1},
                      Placement{"OuterFaceOnly", {0, 0, 3}, EngineYaw(kPi), {1.0f, 1.2f}, 1, true, true},
                      Placement{"Invisible", {0, 0, 0}, {0, 0, 0, 1}, {2.0f, 1.0f}, 1, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

// shape: radius (0: infinite), central horizontal angle, upper and lower vertical angles.
using EquirectGeometry = CompositorGeometry;
TEST_P(EquirectGeometry, SpansItsAngles)
{
    const Placement& placement = GetParam();
    const int32_t id = MakeLayer(LayerType::Equirect, placement);
    const float radius = placement.shape[0];
    const float across = placement.shape[1];
    const float upper = placement.shape[2];
    const float lower = placement.shape[3];
    SetRadiusForEquirectLayer(id, radius);
    SetCentralHorizontalAngleForEquirectLayer(id, across);
    SetUpperVerticalAngleForEquirectLayer(id, upper);
    SetLowerVerticalAngleForEquirectLayer(id, lower);
    ExpectDrawnWhereTheEngineSays([&](float u, float v) {
        const float azimuth = (u - 0.5f) * across;
        const float latitude = upper - v * (upper - lower);
        // An infinite sphere is as far as the eye's own offset no longer matters.
        const float distance = radius == 0 ? 1e4f : radius;
        const XrVector3f direction{std::cos(latitude) * std::sin(azimuth), std::sin(latitude),
                                   std::cos(latitude) * std::cos(azimuth)};
        return Placed(direction * distance);
    });
}
INSTANTIATE_TEST_SUITE_P(
    Layers, EquirectGeometry,
    ::testing::Values(Placement{"InfiniteAhead", {0, 0, 0}, {0, 0, 0, 1}, {0, 1.0f, 0.4f, -0.2f}},
                      Placement{"InfiniteTurned", {5, 0, 0}, EngineYaw(-0.25f), {0, 0.8f, 0.3f, -0.5f}},
                      Placement{"FiniteSphereAroundTheEye", {0, 0, 0.5f}, {0, 0, 0, 1}, {3.0f, 1.2f, 0.5f, -0.3f}},
                      Placement{"BeneathTheProjection", {0, 0, 0}, {0, 0, 0, 1}, {0, 1.0f, 0.4f, -0.2f}, -1},
                      Placement{"Invisible", {0, 0, 0}, {0, 0, 0, 1}, {0, 1.0f, 0.4f, -0.2f}, 1, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace Skelder::test

#include "LayerScript.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "EngineCoordinates.h"
#include "PixelFont.h"
#include "PoseMath.h"

namespace quenra::sim {
namespace {

constexpr uint32_t kQuadLayer = 1;
constexpr uint32_t kCylinderLayer = 3;
constexpr uint32_t kEquirectLayer = 4;
constexpr float kPi = 3.14159265f;

// Where the engine camera's eye is (the cylinder is centred on it).
constexpr XrVector3f kEye{0.3f, 1.55f, -1.4f};

// Layer images hold premultiplied colour: the layers blend with the source-alpha flag alone.
simruntime::Rgba Premultiplied(uint8_t r, uint8_t g, uint8_t b, uint8_t a)
{
    const auto scale = [a](uint8_t c) { return static_cast<uint8_t>((c * a + 127) / 255); };
    return {scale(r), scale(g), scale(b), a};
}

// A translucent panel: border, colour bars, a checkerboard, its id and the frame it was drawn in.
void PaintPanel(simruntime::RgbaImage& image, int32_t id, uint32_t frame)
{
    image.Fill(Premultiplied(20, 24, 40, 190));
    const uint32_t w = image.width, h = image.height;
    const simruntime::Rgba bars[] = {{255, 255, 255, 255}, {255, 255, 0, 255}, {0, 255, 255, 255}, {0, 255, 0, 255},
                                     {255, 0, 255, 255},   {255, 0, 0, 255},   {0, 0, 255, 255}};
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            const bool border = x < 4 || y < 4 || x >= w - 4 || y >= h - 4;
            if (border) {
                image.Set(x, y, {255, 200, 0, 255});
            } else if (y >= h / 2 && y < h * 3 / 4) {
                image.Set(x, y, bars[(x - 4) * 7 / (w - 8)]);
            } else if (y >= h * 3 / 4 + 4 && y < h - 8 && x >= 8 && x < w - 8) {
                image.Set(x, y,
                          ((x / 8 + y / 8) % 2) != 0 ? simruntime::Rgba{230, 230, 230, 255}
                                                     : simruntime::Rgba{40, 40, 40, 255});
            }
        }
    }
    // The top-left corner marks orientation: a mirrored or flipped panel shows it elsewhere.
    for (uint32_t y = 4; y < 20; ++y) {
        for (uint32_t x = 4; x < 20; ++x) {
            image.Set(x, y, {255, 40, 40, 255});
        }
    }
    DrawText(image, "QUAD ID " + std::to_string(id), 28, 10, 3, {255, 255, 255, 255});
    DrawText(image, "FRAME " + std::to_string(frame), 28, 40, 2, {180, 220, 255, 255});
}

// A banner: a warm gradient with ticks every tenth of its width and its id.
void PaintBanner(simruntime::RgbaImage& image, int32_t id)
{
    for (uint32_t y = 0; y < image.height; ++y) {
        for (uint32_t x = 0; x < image.width; ++x) {
            const float t = static_cast<float>(x) / image.width;
            simruntime::Rgba colour{static_cast<uint8_t>(200 + 55 * t), static_cast<uint8_t>(90 + 100 * t),
                                    static_cast<uint8_t>(40 + 40 * (1 - t)), 255};
            if (x % (image.width / 10) < 3 || y < 4 || y >= image.height - 4) {
                colour = {60, 20, 10, 255};
            }
            image.Set(x, y, colour);
        }
    }
    const std::string text = "CYLINDER ID " + std::to_string(id);
    DrawText(image, text, (static_cast<int>(image.width) - TextWidth(text, 6)) / 2,
             static_cast<int>(image.height) / 2 - 21, 6, {40, 10, 60, 255});
}

// A sky: deep blue at the top to pale at the horizon, a sun, and the layer's id.
void PaintSky(simruntime::RgbaImage& image, int32_t id)
{
    for (uint32_t y = 0; y < image.height; ++y) {
        const float t = static_cast<float>(y) / (image.height - 1);
        for (uint32_t x = 0; x < image.width; ++x) {
            image.Set(x, y,
                      {static_cast<uint8_t>(30 + 170 * t), static_cast<uint8_t>(70 + 150 * t),
                       static_cast<uint8_t>(170 + 80 * t), 255});
        }
    }
    const float sunX = image.width * 0.42f;
    const float sunY = image.height * 0.55f;
    const float radius = image.height * 0.07f;
    for (uint32_t y = 0; y < image.height; ++y) {
        for (uint32_t x = 0; x < image.width; ++x) {
            if (std::hypot(x - sunX, y - sunY) < radius) {
                image.Set(x, y, {255, 240, 170, 255});
            }
        }
    }
    DrawText(image, "SKY ID " + std::to_string(id), static_cast<int>(image.width * 0.40f),
             static_cast<int>(image.height * 0.62f), 2, {255, 255, 255, 255});
}

} // namespace

LayerScript::LayerScript(const harness::SkelderExportTable& skelder, simruntime::CpuSwapchainImages& images)
    : skelder(skelder), images(images)
{
}

template <typename Paint> void LayerScript::Fill(int32_t layer, Paint paint)
{
    // Vulkan: the export hands out the address of the image's VkImage handle.
    const auto* handle = static_cast<const uint64_t*>(skelder.AcquireSwapchainImageForLayer(layer));
    if (handle == nullptr) {
        ++counts.acquireFailures;
        return;
    }
    ++counts.acquired;
    if (simruntime::RgbaImage* image = images.Find(*handle)) {
        paint(*image);
    }
    skelder.ReleaseSwapchainImageForLayer(layer);
    ++counts.released;
}

void LayerScript::Place(int32_t layer, float x, float y, float z, float yaw) const
{
    const XrVector3f position = simengine::ToOpenXr(XrVector3f{x, y, z});
    const XrQuaternionf rotation = simengine::ToOpenXr(simruntime::AxisAngle({0, 1, 0}, yaw));
    skelder.SetPositionForLayer(layer, position.x, position.y, position.z);
    skelder.SetOrientationForLayer(layer, rotation.x, rotation.y, rotation.z, rotation.w);
}

void LayerScript::Start(uint64_t instance, uint64_t session)
{
    quad = skelder.CreateCompositionLayer(instance, session, 320, 180, 2, kQuadLayer, 0);
    cylinder = skelder.CreateCompositionLayer(instance, session, 640, 128, -1, kCylinderLayer, 0);
    sky = skelder.CreateCompositionLayer(instance, session, 512, 256, -2, kEquirectLayer, 0);
    if (quad == 0 || cylinder == 0 || sky == 0) {
        throw std::runtime_error("Skelder made no layer for the script");
    }
    counts.created = 3;

    // The quad hangs in VIEW space, ahead and to the right of the eye, turned a little towards it.
    skelder.SetSizeForQuadLayer(quad, 0.48f, 0.27f);
    Place(quad, 0.28f, -0.16f, 1.0f, -0.35f);
    // The cylinder (LOCAL space) is centred on the eye, its arc ahead and to the left.
    skelder.SetRadiusForCylinderLayer(cylinder, 1.6f);
    skelder.SetCentralAngleForCylinderLayer(cylinder, 1.1f);
    Place(cylinder, kEye.x, kEye.y + 0.5f, kEye.z, -0.3f);
    // The sky: an infinite sphere's upper half, all the way round.
    skelder.SetRadiusForEquirectLayer(sky, 0.0f);
    skelder.SetCentralHorizontalAngleForEquirectLayer(sky, 2 * kPi);
    skelder.SetUpperVerticalAngleForEquirectLayer(sky, kPi / 2);
    skelder.SetLowerVerticalAngleForEquirectLayer(sky, -0.05f);
    Place(sky, 0, 0, 0, 0);

    Fill(quad, [&](simruntime::RgbaImage& image) { PaintPanel(image, quad, 0); });
    Fill(cylinder, [&](simruntime::RgbaImage& image) { PaintBanner(image, cylinder); });
    Fill(sky, [&](simruntime::RgbaImage& image) { PaintSky(image, sky); });
    skelder.SetCompositionLayerFeatureEnabled(1);
    Update(0, 0.0);
}

void LayerScript::Update(uint32_t frame, double progress)
{
    // Layers change between frames only.
    if (skelder.IsXrFrameInProgress() != 0) {
        return;
    }
    const int reached = progress < 0.3 ? 0 : progress < 0.55 ? 1 : progress < 0.9 ? 2 : 3;
    if (reached != phase) {
        phase = reached;
        switch (reached) {
        case 0:
            maxLayerCount = 8;
            arrangement = "sky and cylinder beneath the room, quad above";
            break;
        case 1:
            skelder.SetLayerVisible(quad, 0);
            skelder.SetSortingOrderForLayer(cylinder, 1);
            arrangement = "quad hidden, cylinder sorted above the room";
            break;
        case 2:
            skelder.SetLayerVisible(quad, 1);
            arrangement = "quad visible again and moving, cylinder above";
            break;
        default:
            // Three layers of Skelder and the application's one, at most three a frame: one is cut.
            maxLayerCount = 3;
            arrangement = "at most three layers a frame: the quad is cut";
            break;
        }
        skelder.SetMaxCompositionLayerCount(maxLayerCount);
        visibleLayers = reached == 1 ? 2 : 3;
    }
    if (reached >= 2) {
        const float t = static_cast<float>((progress - 0.55) / 0.35);
        Place(quad, 0.28f - 0.45f * t, -0.16f + 0.1f * t, 1.0f, -0.35f + 0.6f * t);
    }
    // The panel shows the frame it was drawn in: redrawn every 30 frames.
    if (frame != 0 && frame % 30 == 0 && reached != 1) {
        Fill(quad, [&](simruntime::RgbaImage& image) { PaintPanel(image, quad, frame); });
    }
}

void LayerScript::Stop(uint64_t session)
{
    skelder.DestroyCompositionLayersInSession(session);
}

} // namespace quenra::sim

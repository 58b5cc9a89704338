#include "LayerScript.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "EngineCoordinates.h"
#include "PixelFont.h"
#include "PoseMath.h"

namespace quenra::simulator {
namespace {

constexpr uint32_t kQuadLayer = 1;
constexpr uint32_t kCylinderLayer = 3;
constexpr uint32_t kEquirectLayer = 4;
constexpr float kPi = 3.14159265f;

// Where the engine camera's eye is (the cylinder is centred on it).
constexpr XrVector3f kEye{0.3f, 1.55f, -1.4f};

// Layer images hold premultiplied colour: the layers blend with the source-alpha flag alone.
sim::Rgba Premultiplied(uint8_t r, uint8_t g, uint8_t b, uint8_t a)
{
    const auto scale = [a](uint8_t c) { return static_cast<uint8_t>((c * a + 127) / 255); };
    return {scale(r), scale(g), scale(b), a};
}

// A translucent panel: border, colour bars, a checkerboard, its id and the frame it was drawn in.
void PaintPanel(sim::RgbaImage& image, int32_t id, uint32_t frame)
{
    image.Fill(Premultiplied(20, 24, 40, 190));
    const uint32_t w = image.width, h = image.height;
    const sim::Rgba bars[] = {{255, 255, 255, 255}, {255, 255, 0, 255}, {0, 255, 255, 255}, {0, 255, 0, 255},
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
                          ((x / 8 + y / 8) % 2) != 0 ? sim::Rgba{230, 230, 230, 255} : sim::Rgba{40, 40, 40, 255});
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
void PaintBanner(sim::RgbaImage& image, int32_t id)
{
    for (uint32_t y = 0; y < image.height; ++y) {
        for (uint32_t x = 0; x < image.width; ++x) {
            const float t = static_cast<float>(x) / image.width;
            sim::Rgba colour{static_cast<uint8_t>(200 + 55 * t), static_cast<uint8_t>(90 + 100 * t),
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
void PaintSky(sim::RgbaImage& image, int32_t id)
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

LayerScript::LayerScript(const SkelderFunctions& skelder, sim::CpuSwapchainImages& images)
    : skelder_(skelder), images_(images)
{
}

template <typename Paint> void LayerScript::Fill(int32_t layer, Paint paint)
{
    // Vulkan: the export hands out the address of the image's VkImage handle.
    const auto* handle = static_cast<const uint64_t*>(skelder_.AcquireSwapchainImageForLayer(layer));
    if (handle == nullptr) {
        ++counts_.acquireFailures;
        return;
    }
    ++counts_.acquired;
    if (sim::RgbaImage* image = images_.Find(*handle)) {
        paint(*image);
    }
    skelder_.ReleaseSwapchainImageForLayer(layer);
    ++counts_.released;
}

void LayerScript::Place(int32_t layer, float x, float y, float z, float yaw) const
{
    const XrVector3f position = engine::ToOpenXr(XrVector3f{x, y, z});
    const XrQuaternionf rotation = engine::ToOpenXr(sim::AxisAngle({0, 1, 0}, yaw));
    skelder_.SetPositionForLayer(layer, position.x, position.y, position.z);
    skelder_.SetOrientationForLayer(layer, rotation.x, rotation.y, rotation.z, rotation.w);
}

void LayerScript::Start(uint64_t instance, uint64_t session)
{
    quad_ = skelder_.CreateCompositionLayer(instance, session, 320, 180, 2, kQuadLayer, 0);
    cylinder_ = skelder_.CreateCompositionLayer(instance, session, 640, 128, -1, kCylinderLayer, 0);
    sky_ = skelder_.CreateCompositionLayer(instance, session, 512, 256, -2, kEquirectLayer, 0);
    if (quad_ == 0 || cylinder_ == 0 || sky_ == 0) {
        throw std::runtime_error("Skelder made no layer for the script");
    }
    counts_.created = 3;

    // The quad hangs in VIEW space, ahead and to the right of the eye, turned a little towards it.
    skelder_.SetSizeForQuadLayer(quad_, 0.48f, 0.27f);
    Place(quad_, 0.28f, -0.16f, 1.0f, -0.35f);
    // The cylinder (LOCAL space) is centred on the eye, its arc ahead and to the left.
    skelder_.SetRadiusForCylinderLayer(cylinder_, 1.6f);
    skelder_.SetCentralAngleForCylinderLayer(cylinder_, 1.1f);
    Place(cylinder_, kEye.x, kEye.y + 0.5f, kEye.z, -0.3f);
    // The sky: an infinite sphere's upper half, all the way round.
    skelder_.SetRadiusForEquirectLayer(sky_, 0.0f);
    skelder_.SetCentralHorizontalAngleForEquirectLayer(sky_, 2 * kPi);
    skelder_.SetUpperVerticalAngleForEquirectLayer(sky_, kPi / 2);
    skelder_.SetLowerVerticalAngleForEquirectLayer(sky_, -0.05f);
    Place(sky_, 0, 0, 0, 0);

    Fill(quad_, [&](sim::RgbaImage& image) { PaintPanel(image, quad_, 0); });
    Fill(cylinder_, [&](sim::RgbaImage& image) { PaintBanner(image, cylinder_); });
    Fill(sky_, [&](sim::RgbaImage& image) { PaintSky(image, sky_); });
    skelder_.SetCompositionLayerFeatureEnabled(1);
    Update(0, 0.0);
}

void LayerScript::Update(uint32_t frame, double progress)
{
    // Layers change between frames only.
    if (skelder_.IsXrFrameInProgress() != 0) {
        return;
    }
    const int phase = progress < 0.3 ? 0 : progress < 0.55 ? 1 : progress < 0.9 ? 2 : 3;
    if (phase != phase_) {
        phase_ = phase;
        switch (phase) {
        case 0:
            maxLayerCount_ = 8;
            arrangement_ = "sky and cylinder beneath the room, quad above";
            break;
        case 1:
            skelder_.SetLayerVisible(quad_, 0);
            skelder_.SetSortingOrderForLayer(cylinder_, 1);
            arrangement_ = "quad hidden, cylinder sorted above the room";
            break;
        case 2:
            skelder_.SetLayerVisible(quad_, 1);
            arrangement_ = "quad visible again and moving, cylinder above";
            break;
        default:
            // Three layers of Skelder and the application's one, at most three a frame: one is cut.
            maxLayerCount_ = 3;
            arrangement_ = "at most three layers a frame: the quad is cut";
            break;
        }
        skelder_.SetMaxCompositionLayerCount(maxLayerCount_);
        visibleLayers_ = phase == 1 ? 2 : 3;
    }
    if (phase >= 2) {
        const float t = static_cast<float>((progress - 0.55) / 0.35);
        Place(quad_, 0.28f - 0.45f * t, -0.16f + 0.1f * t, 1.0f, -0.35f + 0.6f * t);
    }
    // The panel shows the frame it was drawn in: redrawn every 30 frames.
    if (frame != 0 && frame % 30 == 0 && phase != 1) {
        Fill(quad_, [&](sim::RgbaImage& image) { PaintPanel(image, quad_, frame); });
    }
}

void LayerScript::Stop(uint64_t session)
{
    skelder_.DestroyCompositionLayersInSession(session);
}

} // namespace quenra::simulator

// Scripts change layers on their thread while the application ends frames on another: no race,
// and no frame hands the runtime a layer that is destroyed, hidden or held by a script.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <random>
#include <thread>
#include <vector>

#include "SkelderTestWorld.h"

namespace Skelder::test {
namespace {

constexpr int kFrames = 8000;
constexpr size_t kMaxLayers = 6;

bool IsCopy(const XrCompositionLayerBaseHeader* layer)
{
    const std::vector<XrCompositionLayerProjection>& copies = Skelder::State().projectionLayerCopies;
    return std::any_of(copies.begin(), copies.end(), [&](const XrCompositionLayerProjection& copy) {
        return reinterpret_cast<const XrCompositionLayerBaseHeader*>(&copy) == layer;
    });
}

TEST(SkelderThreads, ScriptsChangeLayersWhileFramesEnd)
{
    SkelderTestWorld world;
    // Messages would only slow the threads down; the checks below see what matters.
    world.registry.Withhold<IUnityXRTrace>();
    world.Load();
    SetCompositionLayerFeatureEnabled(1);
    SetMaxCompositionLayerCount(16);
    const XrCompositionLayerProjection projection = world.ApplicationProjection(world.ApplicationSwapchain());
    const auto* application = reinterpret_cast<const XrCompositionLayerBaseHeader*>(&projection);

    // The runtime reads each layer while the hook still holds the provider lock, so it may look
    // at the provider: every submitted layer but the application's must be listed and visible,
    // hold no acquired image, and show a live swapchain.
    std::atomic<int> deadLayers{0};
    std::atomic<int> providerLayersSeen{0};
    std::vector<XrCompositionLayerBaseHeader*> live;
    world.layers.frameLoop.SetLayerCheck(nullptr);
    world.layers.frameLoop.SetFrameObserver([&](const XrFrameEndInfo& info) {
        Skelder::State().provider->GetVisibleXrLayers(live);
        for (uint32_t i = 0; i < info.layerCount; ++i) {
            const XrCompositionLayerBaseHeader* layer = info.layers[i];
            if (layer == application || IsCopy(layer)) {
                continue;
            }
            ++providerLayersSeen;
            const bool listed = std::find(live.begin(), live.end(), layer) != live.end();
            const bool swapchainLive =
                layer->type != XR_TYPE_COMPOSITION_LAYER_QUAD ||
                world.layers.runtime.IsLive(
                    HandleKind::Swapchain,
                    HandleValue(reinterpret_cast<const XrCompositionLayerQuad*>(layer)->subImage.swapchain));
            if (!listed || !swapchainLive) {
                ++deadLayers;
            }
        }
    });

    std::atomic<bool> framesDone{false};
    std::vector<XrResult> results;
    std::thread frames([&] {
        for (int frame = 0; frame < kFrames; ++frame) {
            results.push_back(world.RunFrame({application}));
        }
        framesDone = true;
    });

    std::thread scripts([&] {
        std::minstd_rand random(7);
        std::vector<int32_t> ids;
        const uint64_t instance = HandleValue(world.layers.instance);
        const uint64_t session = HandleValue(world.layers.session);
        auto pick = [&] { return ids.empty() ? 0 : ids[random() % ids.size()]; };
        while (!framesDone) {
            const int32_t id = pick();
            switch (random() % 10) {
            case 0:
                if (ids.size() < kMaxLayers) {
                    const uint32_t type = 1 + random() % 5;
                    const int32_t created = CreateCompositionLayer(instance, session, 32, 32,
                                                                   static_cast<int32_t>(random() % 7) - 3, type, 0);
                    if (created != 0) {
                        ids.push_back(created);
                    }
                }
                break;
            case 1:
                if (DestroyCompositionLayer(id) != 0) {
                    ids.erase(std::find(ids.begin(), ids.end(), id));
                }
                break;
            case 2:
                SetLayerVisible(id, random() % 4 != 0);
                break;
            case 3:
                SetSortingOrderForLayer(id, static_cast<int32_t>(random() % 7) - 3);
                break;
            case 4:
                SetPositionForLayer(id, 0.1f, 0.2f, -1.0f);
                SetSizeForQuadLayer(id, 0.5f, 0.5f);
                SetRadiusForCylinderLayer(id, 2.0f);
                break;
            case 5:
            case 6:
                AcquireSwapchainImageForLayer(id);
                break;
            case 7:
            case 8:
                ReleaseSwapchainImageForLayer(id);
                SendToSwapchain(id, nullptr, 0, 0);
                break;
            default:
                if (random() % 50 == 0) {
                    DestroyCompositionLayersInSession(session);
                    ids.clear();
                }
                IsXrFrameInProgress();
                break;
            }
        }
    });

    frames.join();
    scripts.join();

    EXPECT_EQ(deadLayers.load(), 0);
    EXPECT_GT(providerLayersSeen.load(), 0) << "the scripts' layers were never submitted";
    EXPECT_EQ(std::count(results.begin(), results.end(), XR_SUCCESS), kFrames);
    EXPECT_EQ(IsXrFrameInProgress(), 0);
}

TEST(SkelderThreads, ChangesToTheTableWaitForAnAcquisitionParkedInTheCompositorWait)
{
    using namespace std::chrono_literals;
    SkelderTestWorld world;
    world.Load();
    const uint64_t instance = HandleValue(world.layers.instance);
    const uint64_t session = HandleValue(world.layers.session);
    const int32_t other = world.CreateLayer(LayerType::Quad, 1);
    int32_t waiting = 0;
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"destroy", [&] { DestroyCompositionLayer(waiting); }},
        {"re-sort", [&] { SetSortingOrderForLayer(other, -5); }},
        {"create", [&] { CreateCompositionLayer(instance, session, 32, 32, 2, 1, 0); }},
        {"destroy in session", [&] { DestroyCompositionLayersInSession(session); }},
    };
    for (const auto& [name, change] : changes) {
        waiting = world.CreateLayer(LayerType::Quad, 0);
        std::future<void> changed;
        bool returnedDuringTheWait = true;
        world.DuringNextImageWait([&] {
            changed = std::async(std::launch::async, change);
            returnedDuringTheWait = changed.wait_for(100ms) == std::future_status::ready;
        });
        EXPECT_NE(AcquireSwapchainImageForLayer(waiting), nullptr) << name;
        changed.get();
        EXPECT_FALSE(returnedDuringTheWait) << name << " went ahead while the acquisition used the layer";
        DestroyCompositionLayer(waiting);
    }
}

} // namespace
} // namespace Skelder::test

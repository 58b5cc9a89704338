// The simulated swapchains serve several threads at once, as a runtime does: each thread
// cycles its own layer's images while another reads the runtime's record.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "LayerTestWorld.h"
#include "QuadCompositionLayer.h"

namespace quenra::simruntime {
namespace {

using Skelder::QuadCompositionLayer;
using Skelder::test::LayerTestWorld;

TEST(SimSwapchainsThreads, LayersOnSeparateThreadsCycleTheirImagesIndependently)
{
    LayerTestWorld world;
    constexpr int kCycles = 200;
    std::vector<std::unique_ptr<QuadCompositionLayer>> layers;
    for (int32_t id = 1; id <= 2; ++id) {
        layers.push_back(std::make_unique<QuadCompositionLayer>(world.instance, &Runtime::GetInstanceProcAddr,
                                                                world.trace.Interface(), id, world.VulkanInterface()));
        ASSERT_TRUE(layers.back()->ConfigureSwapchain(world.session, 16, 16, 0));
    }
    std::atomic<int> nullImages{0};
    std::vector<std::thread> threads;
    for (auto& layer : layers) {
        threads.emplace_back([&layer, &nullImages] {
            for (int i = 0; i < kCycles; ++i) {
                if (layer->AcquireImage(XR_INFINITE_DURATION) == nullptr) {
                    ++nullImages;
                }
                layer->ReleaseImage();
            }
        });
    }
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done) {
            for (auto& layer : layers) {
                EXPECT_LE(world.swapchains.AcquiredCount(layer->Swapchain()), 1u);
            }
        }
    });
    for (std::thread& thread : threads) {
        thread.join();
    }
    done = true;
    reader.join();

    EXPECT_EQ(nullImages, 0);
    for (auto& layer : layers) {
        EXPECT_EQ(world.swapchains.ReleasedCount(layer->Swapchain()), static_cast<uint32_t>(kCycles));
    }
    EXPECT_EQ(world.swapchains.WaitTimeouts().size(), 2u * kCycles);
    EXPECT_EQ(world.trace.Size(), 0u);
}

} // namespace
} // namespace quenra::simruntime

// A render thread delivering events while a script thread holds the module mutex.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "EngineRegistry.h"
#include "FakeGraphics.h"
#include "RecordingGl.h"
#include "TraceRecorder.h"
#include "WendrathPlugin.h"
#include "CameraEvent.h"

using namespace quenra::simengine;
using namespace quenra::simgl;
using namespace std::chrono_literals;
using testing::ElementsAre;
using testing::IsEmpty;

namespace wendrath::test {
namespace {

class WendrathThreadTest : public testing::Test {
protected:
    WendrathThreadTest()
    {
        registry.Provide<IUnityXRTrace>(trace.Interface());
        registry.Provide<IUnityGraphics>(graphics.Interface());
        UnityPluginLoad(registry.Interfaces());
    }

    ~WendrathThreadTest() override { graphics.FireDeviceEvent(kUnityGfxDeviceEventShutdown); }

    void Initialise(UnityGfxRenderer renderer)
    {
        graphics.SetRenderer(renderer);
        graphics.FireDeviceEvent(kUnityGfxDeviceEventInitialize);
    }

    static void Render(const CameraEvent& event)
    {
        RenderHwBuffersEventArgs args = event.Args();
        GetRenderEventFuncPtr()(kRenderHwBuffersEventId, &args);
    }

    TraceRecorder trace;
    EngineRegistry registry;
    FakeGraphics graphics;
    RecordingGl gl;
};

TEST_F(WendrathThreadTest, NoDrawStartsWhileAScriptHoldsTheMutex)
{
    Initialise(kUnityGfxRendererOpenGLES30);
    std::atomic<bool> scriptHolds{false};
    std::atomic<int> draws{0};
    std::atomic<int> drawsWhileHeld{0};
    gl.OnDraw([&] {
        if (scriptHolds.load()) {
            ++drawsWhileHeld;
        }
        ++draws;
    });

    const CameraEvent event = Frames(1);
    std::atomic<bool> stop{false};
    std::thread renderThread([&] {
        for (int i = 0; i < 20000 && !stop.load(); ++i) {
            Render(event);
        }
    });
    while (draws.load() == 0) {
        std::this_thread::yield();
    }
    std::thread scriptThread([&] {
        for (int i = 0; i < 20; ++i) {
            LockMutex();
            scriptHolds = true;
            const int before = draws.load();
            std::this_thread::sleep_for(1ms);
            EXPECT_EQ(draws.load(), before);
            scriptHolds = false;
            UnlockMutex();
            std::this_thread::sleep_for(200us);
        }
    });
    scriptThread.join();
    stop = true;
    renderThread.join();

    EXPECT_EQ(drawsWhileHeld.load(), 0);
    EXPECT_GT(draws.load(), 1);
}

TEST_F(WendrathThreadTest, VulkanRenderEventStillWaitsForTheScriptsLock)
{
    Initialise(kUnityGfxRendererVulkan);
    LockMutex();
    std::atomic<bool> returned{false};
    std::thread renderThread([&] {
        Render(Frames(1));
        returned = true;
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(returned.load());
    UnlockMutex();
    renderThread.join();
    EXPECT_TRUE(returned.load());
}

TEST_F(WendrathThreadTest, ShutdownWaitsForTheScriptToUnlockAndLeavesTheMutexUsable)
{
    Initialise(kUnityGfxRendererOpenGLES30);
    LockMutex();
    std::atomic<bool> shutDown{false};
    std::thread deviceThread([&] {
        graphics.FireDeviceEvent(kUnityGfxDeviceEventShutdown);
        shutDown = true;
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(shutDown.load());
    EXPECT_EQ(gl.LivePrograms().size(), 1u);
    UnlockMutex();
    deviceThread.join();
    EXPECT_TRUE(shutDown.load());
    EXPECT_TRUE(gl.LivePrograms().empty());

    // After shutdown the script's lock and unlock pair as before.
    std::thread scriptThread([] {
        LockMutex();
        UnlockMutex();
    });
    scriptThread.join();
    Render(Frames(1));
    EXPECT_EQ(gl.Count("glDrawElements"), 0u);
}

TEST_F(WendrathThreadTest, UnlockByAThreadWithoutTheLockIsRefusedAndEveryHoldStays)
{
    Initialise(kUnityGfxRendererOpenGLES30);
    const std::string strayUnlock = "Wendrath: UnlockMutex - this thread does not hold the lock; nothing unlocked";

    // Nothing held.
    UnlockMutex();
    // The render thread's own hold, in the middle of a draw.
    gl.OnDraw([] { UnlockMutex(); });
    Render(Frames(1));
    gl.OnDraw(nullptr);
    // Another script thread's hold: a render event still waits for its holder.
    LockMutex();
    std::thread([] { UnlockMutex(); }).join();
    std::atomic<bool> rendered{false};
    std::thread renderThread([&] {
        Render(Frames(1));
        rendered = true;
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(rendered.load()) << "the stray unlock released the script's hold";
    UnlockMutex();
    renderThread.join();

    EXPECT_THAT(trace.Texts(kXRTraceLevelError), ElementsAre(strayUnlock, strayUnlock, strayUnlock));
    EXPECT_EQ(gl.Count("glDrawElements"), 2u);
    EXPECT_THAT(gl.Misuses(), IsEmpty());
}

} // namespace
} // namespace wendrath::test

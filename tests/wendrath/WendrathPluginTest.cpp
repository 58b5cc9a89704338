#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "EngineRegistry.h"
#include "FakeGraphics.h"
#include "RecordingGl.h"
#include "TraceRecorder.h"
#include "UnityXRTrace.h"
#include "WendrathPlugin.h"
#include "CameraEvent.h"

using namespace quenra::simengine;
using namespace quenra::simgl;
using testing::ElementsAre;
using testing::IsEmpty;

namespace wendrath::test {
namespace {

class WendrathPluginTest : public testing::Test {
protected:
    WendrathPluginTest()
    {
        registry.Provide<IUnityXRTrace>(trace.Interface());
        registry.Provide<IUnityGraphics>(graphics.Interface());
    }

    // The module outlives each test: leave it without a renderer.
    ~WendrathPluginTest() override
    {
        graphics.FireDeviceEvent(kUnityGfxDeviceEventShutdown);
        EXPECT_THAT(gl.Misuses(), IsEmpty());
    }

    void Load() { UnityPluginLoad(registry.Interfaces()); }

    void Initialise(UnityGfxRenderer renderer)
    {
        graphics.SetRenderer(renderer);
        graphics.FireDeviceEvent(kUnityGfxDeviceEventInitialize);
    }

    static void Render(int eventId, void* data) { GetRenderEventFuncPtr()(eventId, data); }

    static void Render(const CameraEvent& event)
    {
        RenderHwBuffersEventArgs args = event.Args();
        Render(kRenderHwBuffersEventId, &args);
    }

    TraceRecorder trace;
    EngineRegistry registry;
    FakeGraphics graphics;
    RecordingGl gl;
};

TEST_F(WendrathPluginTest, LoadRegistersForDeviceEventsAndMakesNoRenderer)
{
    Load();
    EXPECT_EQ(graphics.Callbacks().size(), 1u);
    Render(Frames(1));
    EXPECT_EQ(gl.CallCount(), 0u);
    EXPECT_EQ(trace.Size(), 0u);
}

TEST_F(WendrathPluginTest, SecondLoadWithoutUnloadRegistersTheDeviceCallbackOnce)
{
    Load();
    Load();
    EXPECT_EQ(graphics.Callbacks().size(), 1u);
    Initialise(kUnityGfxRendererOpenGLES30);
    EXPECT_EQ(gl.Count("glCreateProgram"), 1u) << "one renderer made per device event";
}

TEST_F(WendrathPluginTest, OpenGles3DeviceGetsARendererThatDrawsEveryFrameOfAnEvent)
{
    Load();
    Initialise(kUnityGfxRendererOpenGLES30);
    EXPECT_EQ(gl.Count("glCreateProgram"), 1u);
    Render(Frames(2));
    EXPECT_EQ(gl.Count("glDrawElements"), 2u);
    EXPECT_EQ(trace.Size(), 0u);
}

TEST_F(WendrathPluginTest, RecordIsReadFromScriptMemoryOfAnyAlignment)
{
    Load();
    Initialise(kUnityGfxRendererOpenGLES30);
    CameraEvent event = Frames(1);
    const RenderHwBuffersEventArgs args = event.Args();
    alignas(8) unsigned char scriptMemory[sizeof(args) + 4];
    std::memcpy(scriptMemory + 4, &args, sizeof(args));
    Render(kRenderHwBuffersEventId, scriptMemory + 4);
    EXPECT_EQ(gl.Count("glDrawElements"), 1u);
}

TEST_F(WendrathPluginTest, VulkanDeviceTakesEventsAndDrawsNothing)
{
    Load();
    Initialise(kUnityGfxRendererVulkan);
    Render(Frames(2));
    EXPECT_EQ(gl.CallCount(), 0u);
    EXPECT_EQ(trace.Size(), 0u);
}

TEST_F(WendrathPluginTest, OtherRenderersGetNoRendererAndTheMutexStaysFree)
{
    Load();
    for (UnityGfxRenderer renderer : {kUnityGfxRendererD3D11, kUnityGfxRendererNull, kUnityGfxRendererOpenGLES20,
                                      kUnityGfxRendererOpenGLCore, kUnityGfxRendererD3D12}) {
        Initialise(renderer);
        Render(Frames(1));
        LockMutex();
        UnlockMutex();
    }
    EXPECT_EQ(gl.CallCount(), 0u);
    EXPECT_EQ(trace.Size(), 0u);
}

TEST_F(WendrathPluginTest, BufferCountsUpToTheBoundAreDrawnAndLargerOnesRefusedBeforeAnyGlCall)
{
    Load();
    Initialise(kUnityGfxRendererOpenGLES30);
    const CameraEvent largest = Frames(kMaxRenderHwBuffers);
    Render(largest);
    EXPECT_EQ(gl.Count("glDrawElements"), static_cast<size_t>(kMaxRenderHwBuffers));
    EXPECT_EQ(trace.Size(), 0u);

    // No arrays behind these records: reading one would crash.
    const size_t mark = gl.CallCount();
    for (int32_t count : {kMaxRenderHwBuffers + 1, 1000000, INT32_MAX}) {
        RenderHwBuffersEventArgs args{count, 64, 64, nullptr, nullptr};
        Render(kRenderHwBuffersEventId, &args);
    }
    EXPECT_THAT(gl.CallsSince(mark), IsEmpty());
    const std::string refused = " buffers a render event may carry; event refused";
    EXPECT_THAT(trace.Texts(kXRTraceLevelError),
                ElementsAre("Wendrath: OnRenderEvent: bufferCount 17 is more than the 16" + refused,
                            "Wendrath: OnRenderEvent: bufferCount 1000000 is more than the 16" + refused,
                            "Wendrath: OnRenderEvent: bufferCount 2147483647 is more than the 16" + refused));
}

TEST_F(WendrathPluginTest, RenderEventWithoutDataDoesNothing)
{
    Load();
    Initialise(kUnityGfxRendererOpenGLES30);
    const size_t mark = gl.CallCount();
    Render(kRenderHwBuffersEventId, nullptr);
    EXPECT_THAT(gl.CallsSince(mark), IsEmpty());
    EXPECT_EQ(trace.Size(), 0u);
}

TEST_F(WendrathPluginTest, UnknownEventIsLoggedWithItsIdAndDataAndDrawsNothing)
{
    Load();
    Initialise(kUnityGfxRendererOpenGLES30);
    const size_t mark = gl.CallCount();
    Render(7, nullptr);
    Render(-2, reinterpret_cast<void*>(uintptr_t{0x40}));
    EXPECT_THAT(gl.CallsSince(mark), IsEmpty());
    EXPECT_THAT(trace.Texts(kXRTraceLevelNotice), ElementsAre("Wendrath: OnRenderEvent: Unknown event(7, 0)",
                                                              "Wendrath: OnRenderEvent: Unknown event(-2, 64)"));
}

TEST_F(WendrathPluginTest, ShutdownDestroysTheRendererAndLaterEventsDoNothing)
{
    Load();
    Initialise(kUnityGfxRendererOpenGLES30);
    Render(Frames(2));
    graphics.FireDeviceEvent(kUnityGfxDeviceEventShutdown);
    EXPECT_THAT(gl.LivePrograms(), IsEmpty());
    EXPECT_THAT(gl.LiveBuffers(), IsEmpty());
    EXPECT_THAT(gl.LiveFramebuffers(), IsEmpty());
    EXPECT_THAT(gl.LiveTextures(), IsEmpty());

    const size_t mark = gl.CallCount();
    Render(Frames(2));
    LockMutex();
    UnlockMutex();
    EXPECT_THAT(gl.CallsSince(mark), IsEmpty());
}

TEST_F(WendrathPluginTest, SecondInitialisationReplacesTheRendererWithoutLosingTheFirst)
{
    Load();
    Initialise(kUnityGfxRendererOpenGLES30);
    Render(Frames(2));
    Initialise(kUnityGfxRendererOpenGLES30);
    // The first renderer's program, framebuffer, buffers and textures are gone; only the new ones live.
    EXPECT_EQ(gl.Count("glDeleteProgram"), 1u);
    EXPECT_EQ(gl.LivePrograms().size(), 1u);
    EXPECT_EQ(gl.LiveBuffers().size(), 2u);
    EXPECT_EQ(gl.LiveFramebuffers().size(), 1u);
    EXPECT_THAT(gl.LiveTextures(), IsEmpty());
    Render(Frames(1));
    EXPECT_EQ(gl.Count("glDrawElements"), 3u);
}

TEST_F(WendrathPluginTest, InitialisationOfAnotherRendererDropsTheEarlierOne)
{
    Load();
    Initialise(kUnityGfxRendererOpenGLES30);
    Initialise(kUnityGfxRendererD3D11);
    EXPECT_THAT(gl.LivePrograms(), IsEmpty());
    EXPECT_THAT(gl.LiveBuffers(), IsEmpty());
}

TEST_F(WendrathPluginTest, ExceptionDuringARenderEventIsLoggedAndReleasesTheMutex)
{
    Load();
    Initialise(kUnityGfxRendererOpenGLES30);
    gl.ThrowFrom("glGenTextures");
    Render(Frames(1));
    EXPECT_THAT(trace.Texts(kXRTraceLevelError), ElementsAre("Wendrath: OnRenderEvent - std::bad_alloc"));
    // The lock was released on the way out: the script can take it, and the next event draws.
    LockMutex();
    UnlockMutex();
    Render(Frames(1));
    EXPECT_EQ(gl.Count("glDrawElements"), 1u);
}

TEST_F(WendrathPluginTest, ExceptionWhileMakingTheRendererIsLoggedAndLeavesNoRenderer)
{
    Load();
    gl.ThrowFrom("glGenBuffers");
    Initialise(kUnityGfxRendererOpenGLES30);
    EXPECT_THAT(trace.Texts(kXRTraceLevelError), ElementsAre("Wendrath: OnGraphicsDeviceEvent - std::bad_alloc"));
    Render(Frames(1));
    EXPECT_EQ(gl.Count("glDrawElements"), 0u);
    // What the half-made renderer had already made is released.
    EXPECT_THAT(gl.LivePrograms(), IsEmpty());
    EXPECT_THAT(gl.LiveFramebuffers(), IsEmpty());
    EXPECT_THAT(gl.LiveBuffers(), IsEmpty());
}

TEST_F(WendrathPluginTest, WithoutTraceInterfaceNothingIsLogged)
{
    registry.Withhold<IUnityXRTrace>();
    Load();
    gl.Withhold("eglGetNativeClientBufferANDROID");
    Initialise(kUnityGfxRendererOpenGLES30);
    Render(3, nullptr);
    EXPECT_EQ(trace.Size(), 0u);
}

TEST_F(WendrathPluginTest, WithoutGraphicsInterfaceLoadRegistersNothing)
{
    registry.Withhold<IUnityGraphics>();
    Load();
    EXPECT_THAT(graphics.Callbacks(), IsEmpty());
}

} // namespace
} // namespace wendrath::test

// libSkelder as the engine sees it: a shared library opened by path, its 32 functions found by
// name, driving a frame through the hooks it hands out.
#include <gtest/gtest.h>
#include <openxr/openxr.h>

#include <string>
#include <vector>

#include "EngineRegistry.h"
#include "FakeGraphics.h"
#include "FrameLoop.h"
#include "Passthrough.h"
#include "PluginLibrary.h"
#include "Runtime.h"
#include "SkelderExportTable.h"
#include "Swapchains.h"
#include "TraceRecorder.h"

namespace Skelder::test {
namespace {

using quenra::simruntime::HandleKind;
using quenra::simruntime::HandleValue;
using quenra::simruntime::Runtime;
using quenra::harness::SkelderExportTable;

// A failure names every export the library lacks.
SkelderExportTable ResolveAll(const quenra::simengine::PluginLibrary& library)
{
    SkelderExportTable exports;
    EXPECT_EQ(quenra::harness::ResolveExports(library, exports), std::vector<std::string>{});
    EXPECT_EQ(quenra::harness::ExportNames<SkelderExportTable>().size(), 32u);
    return exports;
}

// The engine (trace and Vulkan graphics offered) and the runtime (one instance, one session) the
// library is loaded into.
struct EngineAndRuntime {
    EngineAndRuntime()
    {
        registry.Provide(trace.Interface());
        registry.Provide(graphics.Interface());
    }

    Runtime runtime;
    quenra::simruntime::FrameLoop frameLoop{runtime};
    quenra::simruntime::Swapchains swapchains{runtime, frameLoop};
    quenra::simruntime::Passthrough passthrough{runtime};
    quenra::simengine::TraceRecorder trace;
    quenra::simengine::FakeGraphics graphics{kUnityGfxRendererVulkan};
    quenra::simengine::EngineRegistry registry;
    XrInstance instance = runtime.MakeInstance();
    XrSession session = runtime.MakeSession(instance);
};

template <typename Pfn> Pfn LookUp(PFN_xrGetInstanceProcAddr lookup, XrInstance instance, const char* name)
{
    PFN_xrVoidFunction function = nullptr;
    EXPECT_EQ(lookup(instance, name, &function), XR_SUCCESS) << name;
    return reinterpret_cast<Pfn>(function);
}

TEST(SkelderLibrary, TheEngineFindsEveryExportAndAFrameCarriesALayer)
{
    const quenra::simengine::PluginLibrary library(SKELDER_LIBRARY_PATH);
    ASSERT_TRUE(library.Loaded()) << library.Error();
    const SkelderExportTable skelder = ResolveAll(library);
    ASSERT_FALSE(::testing::Test::HasFailure());

    EngineAndRuntime world;
    auto& [runtime, frameLoop, swapchains, passthrough, trace, graphics, registry, instance, session] = world;

    EXPECT_EQ(skelder.UseNativeTexture(), 1);
    skelder.UnityPluginLoad(registry.Interfaces());
    const PFN_xrGetInstanceProcAddr lookup = skelder.GetInterceptedInstanceProcAddr(&Runtime::GetInstanceProcAddr);
    ASSERT_NE(lookup, nullptr);
    skelder.SetCompositionLayerFeatureEnabled(1);
    skelder.SetMaxCompositionLayerCount(4);
    const int32_t layer = skelder.CreateCompositionLayer(HandleValue(instance), HandleValue(session), 64, 64, -1,
                                                         /*quad*/ 1, 0);
    ASSERT_EQ(layer, 1);
    ASSERT_NE(skelder.AcquireSwapchainImageForLayer(layer), nullptr);
    skelder.ReleaseSwapchainImageForLayer(layer);

    XrFrameState state{XR_TYPE_FRAME_STATE};
    ASSERT_EQ(LookUp<PFN_xrWaitFrame>(lookup, instance, "xrWaitFrame")(session, nullptr, &state), XR_SUCCESS);
    ASSERT_EQ(LookUp<PFN_xrBeginFrame>(lookup, instance, "xrBeginFrame")(session, nullptr), XR_SUCCESS);
    EXPECT_EQ(skelder.IsXrFrameInProgress(), 1);
    XrFrameEndInfo endInfo{XR_TYPE_FRAME_END_INFO};
    endInfo.displayTime = state.predictedDisplayTime;
    endInfo.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
    ASSERT_EQ(LookUp<PFN_xrEndFrame>(lookup, instance, "xrEndFrame")(session, &endInfo), XR_SUCCESS);
    EXPECT_EQ(skelder.IsXrFrameInProgress(), 0);
    ASSERT_EQ(frameLoop.SubmittedFrames().size(), 1u);
    EXPECT_EQ(frameLoop.SubmittedFrames()[0].layerTypes, std::vector<XrStructureType>{XR_TYPE_COMPOSITION_LAYER_QUAD});

    skelder.UnityPluginUnload();
    EXPECT_TRUE(runtime.LiveHandles(HandleKind::Swapchain).empty());
    EXPECT_TRUE(trace.Contains(kXRTraceLevelNotice, "Skelder::UnityPluginUnload"));
    EXPECT_TRUE(graphics.Callbacks().empty());
}

// The engine loads, uses and unloads its plug-ins many times in one process (each entry into
// play mode in the editor): every cycle must start from a clean slate and leave nothing behind,
// and the registry must receive the identifiers' two words intact across the library boundary.
TEST(SkelderLibrary, LoadUseUnloadAHundredTimesInOneProcess)
{
    EngineAndRuntime world;
    auto& [runtime, frameLoop, swapchains, passthrough, trace, graphics, registry, instance, session] = world;

    constexpr int kCycles = 100;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        SCOPED_TRACE(cycle);
        const quenra::simengine::PluginLibrary library(SKELDER_LIBRARY_PATH);
        ASSERT_TRUE(library.Loaded()) << library.Error();
        const SkelderExportTable skelder = ResolveAll(library);
        ASSERT_FALSE(::testing::Test::HasFailure());
        skelder.UnityPluginLoad(registry.Interfaces());
        ASSERT_NE(skelder.GetInterceptedInstanceProcAddr(&Runtime::GetInstanceProcAddr), nullptr);
        skelder.SetCompositionLayerFeatureEnabled(1);
        // A fresh load hands out ids from 1 again: nothing of the last cycle survived.
        const int32_t layer = skelder.CreateCompositionLayer(HandleValue(instance), HandleValue(session), 16, 16, 0,
                                                             /*quad*/ 1, 0);
        ASSERT_EQ(layer, 1);
        ASSERT_NE(skelder.AcquireSwapchainImageForLayer(layer), nullptr);
        skelder.ReleaseSwapchainImageForLayer(layer);
        skelder.UnityPluginUnload();
        ASSERT_TRUE(runtime.LiveHandles(HandleKind::Swapchain).empty());
        ASSERT_TRUE(graphics.Callbacks().empty());
    }
    EXPECT_EQ(trace.Texts(kXRTraceLevelError), std::vector<std::string>{});

    // Each load asks for the trace (the plug-in, then its provider) and the graphics interface,
    // by their two 64-bit words.
    const std::pair<uint64_t, uint64_t> traceId{0xc633a7c9398b4a95ULL, 0xc225399ed5a2328fULL};
    const std::pair<uint64_t, uint64_t> graphicsId{0x7cba0a9ca4ddb544ULL, 0x8c5ad4926eb17b11ULL};
    std::vector<std::pair<uint64_t, uint64_t>> expected;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        expected.insert(expected.end(), {traceId, traceId, graphicsId});
    }
    EXPECT_EQ(registry.SplitLookups(), expected);
    EXPECT_EQ(registry.LookupCount(), static_cast<int>(expected.size())) << "no lookup by identifier record";
}

} // namespace
} // namespace Skelder::test

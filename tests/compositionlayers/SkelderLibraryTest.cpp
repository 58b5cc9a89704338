// libSkelder as the engine sees it: a shared library opened by path, its 32 functions found by
// name, driving a frame through the hooks it hands out.
#include <gtest/gtest.h>
#include <openxr/openxr.h>

#include "EngineRegistry.h"
#include "FakeGraphics.h"
#include "FrameLoop.h"
#include "Passthrough.h"
#include "PluginLibrary.h"
#include "SimRuntime.h"
#include "Swapchains.h"
#include "TraceRecorder.h"

namespace {

using quenra::sim::HandleKind;
using quenra::sim::HandleValue;
using quenra::sim::Runtime;

// Every export with its signature, resolved by name.
#define SKELDER_EXPORTS(X)                                                                                             \
    X(UnityPluginLoad, void, IUnityInterfaces*)                                                                        \
    X(UnityPluginUnload, void)                                                                                         \
    X(GetInterceptedInstanceProcAddr, PFN_xrGetInstanceProcAddr, PFN_xrGetInstanceProcAddr)                            \
    X(RequestLayers, void, const char*)                                                                                \
    X(CreateCompositionLayer, int32_t, uint64_t, uint64_t, uint32_t, uint32_t, int32_t, uint32_t, uint8_t)             \
    X(DestroyCompositionLayer, uint8_t, int32_t)                                                                       \
    X(DestroyCompositionLayersInSession, void, uint64_t)                                                               \
    X(AcquireSwapchainImageForLayer, void*, int32_t)                                                                   \
    X(ReleaseSwapchainImageForLayer, void, int32_t)                                                                    \
    X(SendToSwapchain, void, int32_t, void*, uint32_t, uint32_t)                                                       \
    X(SetLayerVisible, void, int32_t, uint8_t)                                                                         \
    X(SetSortingOrderForLayer, void, int32_t, int32_t)                                                                 \
    X(SetPositionForLayer, void, int32_t, float, float, float)                                                         \
    X(SetOrientationForLayer, void, int32_t, float, float, float, float)                                               \
    X(SetSizeForQuadLayer, void, int32_t, float, float)                                                                \
    X(SetRadiusForCylinderLayer, void, int32_t, float)                                                                 \
    X(SetCentralAngleForCylinderLayer, void, int32_t, float)                                                           \
    X(SetRadiusForEquirectLayer, void, int32_t, float)                                                                 \
    X(SetCentralHorizontalAngleForEquirectLayer, void, int32_t, float)                                                 \
    X(SetUpperVerticalAngleForEquirectLayer, void, int32_t, float)                                                     \
    X(SetLowerVerticalAngleForEquirectLayer, void, int32_t, float)                                                     \
    X(SetMaxCompositionLayerCount, void, uint32_t)                                                                     \
    X(SetCompositionLayerFeatureEnabled, void, uint8_t)                                                                \
    X(SetEnableFoveation, void, uint8_t)                                                                               \
    X(SetFoveationLevel, void, uint64_t, uint64_t, int32_t)                                                            \
    X(SetFusionSupported, void, uint8_t)                                                                               \
    X(SetFrameStateCallback, void, void (*)(XrFrameState*))                                                            \
    X(SetCreateSwapchainCallback, void, void (*)(uint64_t))                                                            \
    X(ReserveEventIndices, int32_t, int32_t)                                                                           \
    X(IsXrFrameInProgress, uint8_t)                                                                                    \
    X(IsPassthroughSupported, uint8_t)                                                                                 \
    X(UseNativeTexture, uint8_t)

struct Exports {
#define SKELDER_EXPORT_MEMBER(name, result, ...) result (*name)(__VA_ARGS__) = nullptr;
    SKELDER_EXPORTS(SKELDER_EXPORT_MEMBER)
#undef SKELDER_EXPORT_MEMBER
};

Exports ResolveAll(const quenra::engine::PluginLibrary& library, int* found)
{
    Exports exports;
    *found = 0;
#define SKELDER_RESOLVE(name, ...)                                                                                     \
    EXPECT_TRUE(library.Resolve(#name, exports.name)) << #name;                                                        \
    *found += exports.name != nullptr ? 1 : 0;
    SKELDER_EXPORTS(SKELDER_RESOLVE)
#undef SKELDER_RESOLVE
    return exports;
}

template <typename Pfn> Pfn LookUp(PFN_xrGetInstanceProcAddr lookup, XrInstance instance, const char* name)
{
    PFN_xrVoidFunction function = nullptr;
    EXPECT_EQ(lookup(instance, name, &function), XR_SUCCESS) << name;
    return reinterpret_cast<Pfn>(function);
}

TEST(SkelderLibrary, TheEngineFindsEveryExportAndAFrameCarriesALayer)
{
    const quenra::engine::PluginLibrary library(SKELDER_LIBRARY_PATH);
    ASSERT_TRUE(library.Loaded()) << library.Error();
    int found = 0;
    const Exports skelder = ResolveAll(library, &found);
    ASSERT_EQ(found, 32);

    Runtime runtime;
    quenra::sim::FrameLoop frameLoop(runtime);
    quenra::sim::Swapchains swapchains(runtime, frameLoop);
    quenra::sim::Passthrough passthrough(runtime);
    quenra::engine::TraceRecorder trace;
    quenra::engine::FakeGraphics graphics(kUnityGfxRendererVulkan);
    quenra::engine::EngineRegistry registry;
    registry.Provide(trace.Interface());
    registry.Provide(graphics.Interface());
    const XrInstance instance = runtime.MakeInstance();
    const XrSession session = runtime.MakeSession(instance);

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

} // namespace

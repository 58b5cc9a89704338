// libKelbrin and Skelder in one application, their interceptors chained one behind the other in
// either order in front of the real loader, with and without the core validation layer.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "LoaderWorld.h"
#include "SkelderSession.h"

namespace quenra::test {
namespace {

// (Kelbrin in front of Skelder, validated)
using Setup = std::tuple<bool, bool>;

class BothPluginsThroughLoader : public ::testing::TestWithParam<Setup> {
protected:
    bool KelbrinInFront() const { return std::get<0>(GetParam()); }
    bool Validated() const { return std::get<1>(GetParam()); }
};

TEST_P(BothPluginsThroughLoader, SessionRunsBothAndLeavesNoHandle)
{
    LoaderWorld world;
    world.ShowRoom();
    const harness::OpenedPlugin<harness::KelbrinExportTable> kelbrinPlugin("libKelbrin", KELBRIN_LIBRARY_PATH);
    const harness::OpenedPlugin<harness::SkelderExportTable> skelderPlugin("Skelder", SKELDER_LIBRARY_PATH);
    harness::KelbrinSession kelbrin(kelbrinPlugin.Exports(), world.engine);
    harness::SkelderSession skelder(skelderPlugin.Exports(), world.engine);
    const harness::SkelderExportTable& x = skelder.Exports();
    if (Validated()) {
        x.RequestLayers(kValidationLayer);
    }
    kelbrin.Load();
    const PFN_xrGetInstanceProcAddr loader = LoaderWorld::LoaderLookup();
    const PFN_xrGetInstanceProcAddr lookup = KelbrinInFront() ? kelbrin.Chain(skelder.LoadAndChain(loader))
                                                              : skelder.LoadAndChain(kelbrin.Chain(loader));
    harness::Application app(lookup);
    app.EnumerateExtensions();
    app.CreateInstance({}, {XR_MND_HEADLESS_EXTENSION_NAME, XR_MSFT_SCENE_UNDERSTANDING_EXTENSION_NAME,
                            XR_FB_COMPOSITION_LAYER_ALPHA_BLEND_EXTENSION_NAME, XR_FB_FOVEATION_EXTENSION_NAME,
                            XR_FB_FOVEATION_CONFIGURATION_EXTENSION_NAME, XR_FB_SWAPCHAIN_UPDATE_STATE_EXTENSION_NAME});
    EXPECT_EQ(world.Runtime().properties.CreateRecords().at(0).apiLayers.size(), Validated() ? 1u : 0u);
    app.CreateSession();
    ASSERT_TRUE(kelbrin.StartMeshing(app.instance, app.session, app.space));
    kelbrin.RegisterScript();
    const XrSwapchain eyes = app.CreateSwapchain(128, 128, app.FirstSwapchainFormat());
    const harness::ProjectionLayer projection(eyes, app.space);
    const int32_t quad = skelder.CreateLayer(app.instance, app.session, harness::SkelderLayer::Quad, 1);
    // Layer 1.0.20 refuses the alpha-blend structure our quad carries (see the allowlist).
    x.SetLayerVisible(quad, Validated() ? 0 : 1);

    harness::KelbrinSession::Tally tally;
    const size_t scenes = world.RunUntilScenes(app, kelbrin, tally, 2, [&](const XrFrameState& state) {
        app.CycleImage(eyes);
        app.EndFrame(state, {projection.Header()});
    });
    EXPECT_GE(scenes, 2u);
    EXPECT_EQ(tally.meshesListed, kRoomMeshes);
    EXPECT_EQ(tally.planesCounted, kRoomPlanes);
    if (!Validated()) {
        // With validation, mesh reads are refused by the layer (see the Kelbrin-only test).
        EXPECT_EQ(tally.meshesAcquired, kRoomMeshes);
        EXPECT_EQ(world.engine.ErrorsAndWarnings(), std::vector<std::string>{});
    }
    // Every frame passed Skelder's end-of-frame hook: its projection copy blends by alpha.
    const auto& frames = world.Runtime().frameLoop.SubmittedFrames();
    ASSERT_FALSE(frames.empty());
    const std::vector<XrStructureType> expected =
        Validated() ? std::vector<XrStructureType>{XR_TYPE_COMPOSITION_LAYER_PROJECTION}
                    : std::vector<XrStructureType>{XR_TYPE_COMPOSITION_LAYER_PROJECTION, XR_TYPE_COMPOSITION_LAYER_QUAD};
    EXPECT_EQ(frames.back().layerTypes, expected);
    EXPECT_TRUE(frames.back().layers[0]->layerFlags & XR_COMPOSITION_LAYER_BLEND_TEXTURE_SOURCE_ALPHA_BIT);
    EXPECT_EQ(x.IsXrFrameInProgress(), 0);

    EXPECT_EQ(x.DestroyCompositionLayer(quad), 1);
    kelbrin.UnregisterScript();
    kelbrin.StopMeshing();
    kelbrin.Unload();
    EXPECT_EQ(world.LiveHandlesBesides(app.Handles()), std::vector<std::string>{});
    app.Teardown();
    skelder.Unload();
    EXPECT_EQ(world.LiveHandles(), std::vector<std::string>{});
    if (Validated()) {
        const ValidationReport report = world.Validation();
        EXPECT_TRUE(report.Unexpected().empty()) << report.Describe();
    }
}

INSTANTIATE_TEST_SUITE_P(Loader, BothPluginsThroughLoader, ::testing::Combine(::testing::Bool(), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<Setup>& info) {
                             return std::string(std::get<0>(info.param) ? "KelbrinInFront" : "SkelderInFront") +
                                    (std::get<1>(info.param) ? "WithValidation" : "LoaderOnly");
                         });

} // namespace
} // namespace quenra::test

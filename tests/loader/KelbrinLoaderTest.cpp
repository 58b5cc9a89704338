// libKelbrin as built, on the real loader: a whole session of scene meshing and plane reading,
// with and without the core validation layer, with nothing reported and nothing left behind.
#include <gtest/gtest.h>

#include "LoaderWorld.h"

namespace quenra::test {
namespace {

using harness::KelbrinSession;

class KelbrinThroughLoader : public ::testing::TestWithParam<bool> {
protected:
    bool Validated() const { return GetParam(); }
};

TEST_P(KelbrinThroughLoader, FullSessionPassesAndLeavesNoHandle)
{
    LoaderWorld world;
    world.ShowRoom();
    const harness::OpenedPlugin<harness::KelbrinExportTable> plugin("libKelbrin", KELBRIN_LIBRARY_PATH);
    KelbrinSession kelbrin(plugin.Exports(), world.engine);
    kelbrin.Load();
    harness::Application app(kelbrin.Chain(LoaderWorld::LoaderLookup()));
    app.CreateInstance(Validated() ? std::vector<std::string>{kValidationLayer} : std::vector<std::string>{},
                       {XR_MND_HEADLESS_EXTENSION_NAME, XR_MSFT_SCENE_UNDERSTANDING_EXTENSION_NAME});
    app.CreateSession();
    ASSERT_TRUE(kelbrin.StartMeshing(app.instance, app.session, app.space));
    kelbrin.RegisterScript();

    KelbrinSession::Tally tally;
    const size_t scenes = world.RunUntilScenes(app, kelbrin, tally, 3);
    kelbrin.UnregisterScript();
    kelbrin.StopMeshing();
    kelbrin.Unload();
    EXPECT_EQ(world.LiveHandlesBesides(app.Handles()), std::vector<std::string>{});
    app.Teardown();
    EXPECT_EQ(world.LiveHandles(), std::vector<std::string>{});

    EXPECT_GE(scenes, 3u);
    EXPECT_EQ(tally.meshesListed, kRoomMeshes);
    EXPECT_EQ(tally.planesCounted, kRoomPlanes);
    EXPECT_GT(tally.planeReads, 0u);
    if (Validated()) {
        // Layer 1.0.20 refuses every mesh-buffer read (see the allowlist): the runtime never sees one.
        EXPECT_EQ(world.Runtime().runtime.CallCount("xrGetSceneMeshBuffersMSFT"), 0u);
        EXPECT_EQ(tally.meshesAcquired, 0u);
        const ValidationReport report = world.Validation();
        EXPECT_TRUE(report.Unexpected().empty()) << report.Describe();
        EXPECT_GT(report.AllowedCount(), 0u);
    } else {
        // The room does not change: its meshes are new, and acquired, with the first scene only.
        EXPECT_EQ(tally.meshesAcquired, kRoomMeshes);
        EXPECT_EQ(tally.acquireFailures, 0u);
        // Squares: four corners and two triangles each.
        EXPECT_EQ(tally.verticesAcquired, 4 * kRoomMeshes);
        EXPECT_EQ(tally.indicesAcquired, 6 * kRoomMeshes);
        EXPECT_EQ(tally.planeOutlinesRead, tally.planeReads * kRoomPlanes);
        EXPECT_EQ(tally.planeVerticesRead, 4 * tally.planeOutlinesRead);
        EXPECT_EQ(world.engine.ErrorsAndWarnings(), std::vector<std::string>{});
    }
}

INSTANTIATE_TEST_SUITE_P(Loader, KelbrinThroughLoader, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "WithValidation" : "LoaderOnly";
                         });

} // namespace
} // namespace quenra::test

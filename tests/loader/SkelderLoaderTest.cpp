// Skelder as built, on the real loader: with the core validation layer it requests itself (the
// probe of API layers and the rewritten instance creation then run against the loader's real
// list), and without it. One layer of each kind around the application's projection layer,
// visibility and order changed, foveation set, and a clean teardown.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "LoaderWorld.h"
#include "SkelderSession.h"

namespace quenra::test {
namespace {

using harness::SkelderLayer;

const std::vector<std::string> kLayerExtensions{
    XR_MND_HEADLESS_EXTENSION_NAME, XR_KHR_COMPOSITION_LAYER_CYLINDER_EXTENSION_NAME,
    XR_KHR_COMPOSITION_LAYER_EQUIRECT2_EXTENSION_NAME, XR_FB_COMPOSITION_LAYER_ALPHA_BLEND_EXTENSION_NAME,
    XR_FB_PASSTHROUGH_EXTENSION_NAME,
    XR_FB_FOVEATION_EXTENSION_NAME, XR_FB_FOVEATION_CONFIGURATION_EXTENSION_NAME,
    XR_FB_SWAPCHAIN_UPDATE_STATE_EXTENSION_NAME};

const XrStructureType P = XR_TYPE_COMPOSITION_LAYER_PROJECTION, Q = XR_TYPE_COMPOSITION_LAYER_QUAD,
                      C = XR_TYPE_COMPOSITION_LAYER_CYLINDER_KHR, E = XR_TYPE_COMPOSITION_LAYER_EQUIRECT2_KHR,
                      T = XR_TYPE_COMPOSITION_LAYER_PASSTHROUGH_FB;

bool Contains(const std::vector<std::string>& names, const std::string& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

class SkelderThroughLoader : public ::testing::TestWithParam<bool> {
protected:
    bool Validated() const { return GetParam(); }

    // Ends one frame with the application's projection layer. Without validation the runtime must
    // receive `expected`. Layer 1.0.20 knows neither the passthrough layer nor the alpha-blend
    // structure every other layer of ours carries (see the allowlist): it refuses any frame with
    // a layer of ours, and only the bare projection layer reaches the runtime.
    void ExpectFrame(const std::vector<XrStructureType>& expected)
    {
        app.CycleImage(eyes);
        const XrFrameState state = app.BeginFrame();
        EXPECT_EQ(skelder.Exports().IsXrFrameInProgress(), 1);
        const size_t framesBefore = world.Runtime().frameLoop.SubmittedFrames().size();
        const XrResult result = app.TryEndFrame(state, {projection->Header()});
        EXPECT_EQ(skelder.Exports().IsXrFrameInProgress(), 0);
        const auto& frames = world.Runtime().frameLoop.SubmittedFrames();
        if (Validated() && expected != std::vector<XrStructureType>{P}) {
            EXPECT_EQ(result, XR_ERROR_VALIDATION_FAILURE);
            EXPECT_EQ(frames.size(), framesBefore);
        } else {
            EXPECT_EQ(result, XR_SUCCESS);
            ASSERT_EQ(frames.size(), framesBefore + 1);
            EXPECT_EQ(frames.back().layerTypes, expected);
        }
    }

    LoaderWorld world;
    const harness::OpenedPlugin<harness::SkelderExportTable> plugin{"Skelder", SKELDER_LIBRARY_PATH};
    harness::SkelderSession skelder{plugin.Exports(), world.engine};
    harness::Application app{skelder.LoadAndChain(LoaderWorld::LoaderLookup())};
    XrSwapchain eyes = XR_NULL_HANDLE;
    std::unique_ptr<harness::ProjectionLayer> projection;
};

TEST_P(SkelderThroughLoader, FullSessionPassesAndLeavesNoHandle)
{
    const harness::SkelderExportTable& x = skelder.Exports();
    if (Validated()) {
        x.RequestLayers(kValidationLayer);
        EXPECT_TRUE(Contains(app.EnumerateApiLayers(), kValidationLayer));
    }
    const std::vector<std::string> extensions = app.EnumerateExtensions();
    for (const std::string& name : kLayerExtensions) {
        EXPECT_TRUE(Contains(extensions, name)) << name;
    }
    // The application names no layer: Skelder's rewritten creation adds the one its probe of the
    // extension enumeration found present.
    app.CreateInstance({}, kLayerExtensions);
    const std::vector<simruntime::InstanceCreateRecord> created = world.Runtime().properties.CreateRecords();
    ASSERT_EQ(created.size(), 1u);
    const std::vector<std::string> enabled =
        Validated() ? std::vector<std::string>{kValidationLayer} : std::vector<std::string>{};
    EXPECT_EQ(created[0].apiLayers, enabled);

    app.CreateSession();
    EXPECT_EQ(app.EnumerateBlendModes().size(), 2u);
    EXPECT_EQ(x.IsPassthroughSupported(), 1);

    // The application's swapchain gets foveation and alpha blending chained in; the validation
    // layer refuses the alpha-blend structure there, and the hook asks again without it.
    eyes = app.CreateSwapchain(128, 128, app.FirstSwapchainFormat());
    const std::vector<simruntime::SwapchainCreation> creations = world.Runtime().foveation.Creations();
    ASSERT_EQ(creations.size(), 1u);
    std::vector<XrStructureType> chain;
    for (const simruntime::ChainedStructure& structure : creations[0].chain) {
        chain.push_back(structure.type);
    }
    std::vector<XrStructureType> expectedChain{XR_TYPE_SWAPCHAIN_CREATE_INFO_FOVEATION_FB};
    if (!Validated()) {
        expectedChain.insert(expectedChain.begin(), XR_TYPE_COMPOSITION_LAYER_ALPHA_BLEND_FB);
    }
    EXPECT_EQ(chain, expectedChain);
    projection = std::make_unique<harness::ProjectionLayer>(eyes, app.space);

    const int32_t passthrough = skelder.CreateLayer(app.instance, app.session, SkelderLayer::Passthrough, -2);
    const int32_t quad = skelder.CreateLayer(app.instance, app.session, SkelderLayer::Quad, -1);
    const int32_t cylinder = skelder.CreateLayer(app.instance, app.session, SkelderLayer::Cylinder, 1);
    const int32_t equirect = skelder.CreateLayer(app.instance, app.session, SkelderLayer::Equirect, 2);
    x.SetSizeForQuadLayer(quad, 0.5f, 0.25f);
    x.SetRadiusForCylinderLayer(cylinder, 2.0f);
    x.SetCentralAngleForCylinderLayer(cylinder, 1.0f);
    x.SetRadiusForEquirectLayer(equirect, 3.0f);
    x.SetCentralHorizontalAngleForEquirectLayer(equirect, 1.5f);
    x.SetUpperVerticalAngleForEquirectLayer(equirect, 0.5f);
    x.SetLowerVerticalAngleForEquirectLayer(equirect, -0.5f);

    ExpectFrame({T, Q, P, C, E});
    x.SetLayerVisible(passthrough, 0);
    x.SetLayerVisible(quad, 0);
    ExpectFrame({P, C, E});
    x.SetSortingOrderForLayer(equirect, -3);
    x.SetLayerVisible(quad, 1);
    ExpectFrame({E, Q, P, C});
    // A layer filled between frames stays in.
    ASSERT_NE(x.AcquireSwapchainImageForLayer(cylinder), nullptr);
    x.ReleaseSwapchainImageForLayer(cylinder);
    ExpectFrame({E, Q, P, C});
    for (int32_t layer : {quad, cylinder, equirect}) {
        x.SetLayerVisible(layer, 0);
    }
    ExpectFrame({P});

    x.SetFoveationLevel(simruntime::HandleValue(app.instance), simruntime::HandleValue(app.session),
                        XR_FOVEATION_LEVEL_HIGH_FB);
    EXPECT_EQ(world.Runtime().foveation.LevelOf(eyes), XR_FOVEATION_LEVEL_HIGH_FB);

    for (int32_t layer : {passthrough, quad, cylinder}) {
        EXPECT_EQ(x.DestroyCompositionLayer(layer), 1) << layer;
    }
    x.DestroyCompositionLayersInSession(simruntime::HandleValue(app.session));
    EXPECT_EQ(x.DestroyCompositionLayer(equirect), 0) << "destroyed with its session's layers";
    ExpectFrame({P});
    EXPECT_EQ(world.LiveHandlesBesides(app.Handles()), std::vector<std::string>{});
    app.Teardown();
    skelder.Unload();

    EXPECT_EQ(world.LiveHandles(), std::vector<std::string>{});
    EXPECT_EQ(world.engine.ErrorsAndWarnings(), std::vector<std::string>{});
    if (Validated()) {
        const ValidationReport report = world.Validation();
        EXPECT_TRUE(report.Unexpected().empty()) << report.Describe();
    }
}

INSTANTIATE_TEST_SUITE_P(Loader, SkelderThroughLoader, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "WithValidation" : "LoaderOnly";
                         });

} // namespace
} // namespace quenra::test

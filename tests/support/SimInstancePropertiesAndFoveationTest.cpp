// The runtime stand-in's instance queries and foveation are as strict as the plug-in's tests
// assume: what they accept, refuse and record.
#include <gtest/gtest.h>

#include <cstring>

#include "Foveation.h"
#include "InstanceProperties.h"
#include "LayerTestWorld.h"

namespace quenra::simruntime {
namespace {

using Skelder::test::LayerTestWorld;

template <typename Pfn> Pfn RuntimeFunction(XrInstance instance, const char* name)
{
    PFN_xrVoidFunction function = nullptr;
    EXPECT_EQ(Runtime::GetInstanceProcAddr(instance, name, &function), XR_SUCCESS) << name;
    return reinterpret_cast<Pfn>(function);
}

class SimModules : public ::testing::Test {
protected:
    LayerTestWorld world;
    InstanceProperties properties{world.runtime};
    Foveation foveation{world.runtime};
};

TEST_F(SimModules, EnumerationsFollowTheTwoCallIdiom)
{
    properties.AddApiLayer("XR_APILAYER_one", {"XR_EXT_one"});
    properties.AddApiLayer("XR_APILAYER_two", {});
    auto layers = RuntimeFunction<PFN_xrEnumerateApiLayerProperties>(XR_NULL_HANDLE, "xrEnumerateApiLayerProperties");
    uint32_t count = 0;
    ASSERT_EQ(layers(0, &count, nullptr), XR_SUCCESS);
    EXPECT_EQ(count, 2u);
    std::vector<XrApiLayerProperties> found(2, {XR_TYPE_API_LAYER_PROPERTIES});
    EXPECT_EQ(layers(1, &count, found.data()), XR_ERROR_SIZE_INSUFFICIENT);
    ASSERT_EQ(layers(2, &count, found.data()), XR_SUCCESS);
    EXPECT_STREQ(found[1].layerName, "XR_APILAYER_two");

    auto extensions = RuntimeFunction<PFN_xrEnumerateInstanceExtensionProperties>(
        XR_NULL_HANDLE, "xrEnumerateInstanceExtensionProperties");
    EXPECT_EQ(extensions("XR_APILAYER_none", 0, &count, nullptr), XR_ERROR_API_LAYER_NOT_PRESENT);
    std::vector<XrExtensionProperties> untyped(1);
    EXPECT_EQ(extensions("XR_APILAYER_one", 1, &count, untyped.data()), XR_ERROR_VALIDATION_FAILURE);
    const std::vector<ExtensionQuery> queries = properties.ExtensionQueries();
    ASSERT_EQ(queries.size(), 2u);
    EXPECT_EQ(queries[0].layerName, "XR_APILAYER_none");
    EXPECT_EQ(queries[0].result, XR_ERROR_API_LAYER_NOT_PRESENT);
    EXPECT_EQ(queries[1].capacity, 1u);
}

TEST_F(SimModules, InstanceCreationRefusesWhatNothingOffers)
{
    properties.SetRuntimeExtensions({"XR_EXT_runtime"});
    properties.AddApiLayer("XR_APILAYER_one", {"XR_EXT_one"});
    auto create = RuntimeFunction<PFN_xrCreateInstance>(XR_NULL_HANDLE, "xrCreateInstance");
    auto attempt = [&](std::vector<const char*> layers, std::vector<const char*> extensions) {
        XrInstanceCreateInfo info{XR_TYPE_INSTANCE_CREATE_INFO};
        info.enabledApiLayerCount = static_cast<uint32_t>(layers.size());
        info.enabledApiLayerNames = layers.data();
        info.enabledExtensionCount = static_cast<uint32_t>(extensions.size());
        info.enabledExtensionNames = extensions.data();
        XrInstance instance = XR_NULL_HANDLE;
        return create(&info, &instance);
    };
    EXPECT_EQ(attempt({"XR_APILAYER_other"}, {}), XR_ERROR_API_LAYER_NOT_PRESENT);
    EXPECT_EQ(attempt({}, {"XR_EXT_one"}), XR_ERROR_EXTENSION_NOT_PRESENT) << "its layer is not enabled";
    EXPECT_EQ(attempt({"XR_APILAYER_one"}, {"XR_EXT_one", "XR_EXT_runtime"}), XR_SUCCESS);
    const std::vector<InstanceCreateRecord> records = properties.CreateRecords();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[2].extensions, (std::vector<std::string>{"XR_EXT_one", "XR_EXT_runtime"}));
}

TEST_F(SimModules, OnlyAFoveationCapableSwapchainTakesAProfile)
{
    XrSwapchainCreateInfo info{XR_TYPE_SWAPCHAIN_CREATE_INFO};
    info.format = 43;
    info.sampleCount = 1;
    info.width = 8;
    info.height = 8;
    info.faceCount = 1;
    info.arraySize = 1;
    info.mipCount = 1;
    auto createSwapchain = RuntimeFunction<PFN_xrCreateSwapchain>(world.instance, "xrCreateSwapchain");
    XrSwapchain plain = XR_NULL_HANDLE;
    ASSERT_EQ(createSwapchain(world.session, &info, &plain), XR_SUCCESS);
    XrSwapchainCreateInfoFoveationFB capable{XR_TYPE_SWAPCHAIN_CREATE_INFO_FOVEATION_FB};
    info.next = &capable;
    XrSwapchain foveated = XR_NULL_HANDLE;
    ASSERT_EQ(createSwapchain(world.session, &info, &foveated), XR_SUCCESS);
    ASSERT_EQ(foveation.Creations().size(), 2u);
    EXPECT_EQ(foveation.Creations()[1].chain.at(0).address, &capable);

    XrFoveationLevelProfileCreateInfoFB level{XR_TYPE_FOVEATION_LEVEL_PROFILE_CREATE_INFO_FB};
    level.level = XR_FOVEATION_LEVEL_MEDIUM_FB;
    XrFoveationProfileCreateInfoFB profileInfo{XR_TYPE_FOVEATION_PROFILE_CREATE_INFO_FB, &level};
    XrFoveationProfileFB profile = XR_NULL_HANDLE;
    ASSERT_EQ(RuntimeFunction<PFN_xrCreateFoveationProfileFB>(world.instance, "xrCreateFoveationProfileFB")(
                  world.session, &profileInfo, &profile),
              XR_SUCCESS);
    auto update = RuntimeFunction<PFN_xrUpdateSwapchainFB>(world.instance, "xrUpdateSwapchainFB");
    XrSwapchainStateFoveationFB state{XR_TYPE_SWAPCHAIN_STATE_FOVEATION_FB};
    state.profile = profile;
    const auto* header = reinterpret_cast<const XrSwapchainStateBaseHeaderFB*>(&state);
    EXPECT_EQ(update(plain, header), XR_ERROR_VALIDATION_FAILURE);
    EXPECT_EQ(update(foveated, header), XR_SUCCESS);
    EXPECT_EQ(foveation.LevelOf(foveated), XR_FOVEATION_LEVEL_MEDIUM_FB);

    ASSERT_EQ(RuntimeFunction<PFN_xrDestroyFoveationProfileFB>(world.instance, "xrDestroyFoveationProfileFB")(profile),
              XR_SUCCESS);
    EXPECT_EQ(update(foveated, header), XR_ERROR_HANDLE_INVALID) << "a destroyed profile";
}

TEST_F(SimModules, AChainThatNeverEndsIsRefused)
{
    XrCompositionLayerAlphaBlendFB first{XR_TYPE_COMPOSITION_LAYER_ALPHA_BLEND_FB};
    XrCompositionLayerAlphaBlendFB second{XR_TYPE_COMPOSITION_LAYER_ALPHA_BLEND_FB, &first};
    first.next = &second;
    XrSwapchainCreateInfo info{XR_TYPE_SWAPCHAIN_CREATE_INFO, &first};
    XrSwapchain swapchain = XR_NULL_HANDLE;
    EXPECT_EQ(
        RuntimeFunction<PFN_xrCreateSwapchain>(world.instance, "xrCreateSwapchain")(world.session, &info, &swapchain),
        XR_ERROR_VALIDATION_FAILURE);
}

} // namespace
} // namespace quenra::simruntime

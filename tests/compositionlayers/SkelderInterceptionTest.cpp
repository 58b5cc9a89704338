// What the runtime receives through the plug-in's lookup and hooks, before the end of the frame.
#include <gtest/gtest.h>

#include <cstring>

#include "SkelderTestWorld.h"

namespace Skelder::test {
namespace {

const char* const kFusion = "XR_UNITY_android_present";

class SkelderInterception : public ::testing::Test {
protected:
    SkelderInterception()
    {
        world.Load();
        world.properties.SetRuntimeExtensions({"XR_KHR_vulkan_enable2", "XR_FB_foveation", kFusion});
    }

    // The two-call enumeration an application makes; the names it ends up with.
    Texts EnumerateExtensions(XrResult* secondResult = nullptr)
    {
        auto enumerate =
            world.Lookup<PFN_xrEnumerateInstanceExtensionProperties>("xrEnumerateInstanceExtensionProperties");
        uint32_t count = 0;
        EXPECT_EQ(enumerate(nullptr, 0, &count, nullptr), XR_SUCCESS);
        std::vector<XrExtensionProperties> properties(count, {XR_TYPE_EXTENSION_PROPERTIES});
        const XrResult result = enumerate(nullptr, count, &count, properties.data());
        if (secondResult != nullptr) {
            *secondResult = result;
        }
        Texts names;
        for (uint32_t i = 0; i < count && i < properties.size(); ++i) {
            names.push_back(properties[i].extensionName);
        }
        return names;
    }

    // Creates an instance through the hook; what the runtime was asked to enable.
    quenra::simruntime::InstanceCreateRecord CreateInstance(const std::vector<const char*>& layers,
                                                            const std::vector<const char*>& extensions)
    {
        XrInstanceCreateInfo info{XR_TYPE_INSTANCE_CREATE_INFO};
        std::strcpy(info.applicationInfo.applicationName, "app");
        info.applicationInfo.apiVersion = XR_CURRENT_API_VERSION;
        info.enabledApiLayerCount = static_cast<uint32_t>(layers.size());
        info.enabledApiLayerNames = layers.data();
        info.enabledExtensionCount = static_cast<uint32_t>(extensions.size());
        info.enabledExtensionNames = extensions.data();
        const XrInstanceCreateInfo before = info;
        XrInstance instance = XR_NULL_HANDLE;
        EXPECT_EQ(world.Lookup<PFN_xrCreateInstance>("xrCreateInstance")(&info, &instance), XR_SUCCESS);
        EXPECT_EQ(std::memcmp(&before, &info, sizeof(info)), 0);
        return world.properties.CreateRecords().back();
    }

    SkelderTestWorld world;
};

TEST_F(SkelderInterception, OtherNamesGetExactlyWhatTheApplicationsLookupAnswers)
{
    PFN_xrVoidFunction function = nullptr;
    EXPECT_EQ(Skelder::xrGetInstanceProcAddr(world.layers.instance, "xrCreateSession", &function), XR_SUCCESS);
    EXPECT_EQ(function, world.layers.runtime.Function("xrCreateSession"));
    EXPECT_EQ(Skelder::xrGetInstanceProcAddr(world.layers.instance, "xrNoSuchFunction", &function),
              XR_ERROR_FUNCTION_UNSUPPORTED);
    EXPECT_EQ(function, nullptr);
}

TEST_F(SkelderInterception, TheSevenNamesGetTheHooks)
{
    const std::pair<const char*, PFN_xrVoidFunction> hooks[] = {
        {"xrWaitFrame", reinterpret_cast<PFN_xrVoidFunction>(&Skelder::xrWaitFrame)},
        {"xrBeginFrame", reinterpret_cast<PFN_xrVoidFunction>(&Skelder::xrBeginFrame)},
        {"xrEndFrame", reinterpret_cast<PFN_xrVoidFunction>(&Skelder::xrEndFrame)},
        {"xrEnumerateEnvironmentBlendModes",
         reinterpret_cast<PFN_xrVoidFunction>(&Skelder::xrEnumerateEnvironmentBlendModes)},
        {"xrEnumerateInstanceExtensionProperties",
         reinterpret_cast<PFN_xrVoidFunction>(&Skelder::xrEnumerateInstanceExtensionProperties)},
        {"xrCreateInstance", reinterpret_cast<PFN_xrVoidFunction>(&Skelder::xrCreateInstance)},
        {"xrCreateSwapchain", reinterpret_cast<PFN_xrVoidFunction>(&Skelder::xrCreateSwapchain)},
    };
    for (const auto& [name, hook] : hooks) {
        PFN_xrVoidFunction function = nullptr;
        EXPECT_EQ(Skelder::xrGetInstanceProcAddr(world.layers.instance, name, &function), XR_SUCCESS);
        EXPECT_EQ(function, hook) << name;
    }
    EXPECT_EQ(Skelder::State().next.xrEndFrame.load(),
              reinterpret_cast<PFN_xrEndFrame>(world.layers.runtime.Function("xrEndFrame")));
}

TEST_F(SkelderInterception, AFailedLookupInstallsNothing)
{
    world.layers.runtime.FailNext("xrGetInstanceProcAddr", XR_ERROR_HANDLE_INVALID);
    PFN_xrVoidFunction function = nullptr;
    EXPECT_EQ(Skelder::xrGetInstanceProcAddr(world.layers.instance, "xrEndFrame", &function), XR_ERROR_HANDLE_INVALID);
    EXPECT_EQ(function, nullptr);
    EXPECT_EQ(Skelder::State().next.xrEndFrame.load(), nullptr);
}

XrFrameState* _callbackState = nullptr;
int _callbackCalls = 0;
void UNITY_INTERFACE_API RecordFrameState(XrFrameState* state)
{
    _callbackState = state;
    ++_callbackCalls;
}

TEST_F(SkelderInterception, TheFrameStateCallbackSeesEveryWaitEvenAFailedOne)
{
    _callbackCalls = 0;
    auto waitFrame = world.Lookup<PFN_xrWaitFrame>("xrWaitFrame");
    XrFrameState state{XR_TYPE_FRAME_STATE};
    EXPECT_EQ(waitFrame(world.layers.session, nullptr, &state), XR_SUCCESS);
    EXPECT_EQ(_callbackCalls, 0);

    SetFrameStateCallback(&RecordFrameState);
    EXPECT_EQ(waitFrame(world.layers.session, nullptr, &state), XR_SUCCESS);
    EXPECT_EQ(_callbackState, &state);
    EXPECT_EQ(_callbackState->predictedDisplayTime, world.layers.frameLoop.LastPredictedDisplayTime());
    world.layers.runtime.FailNext("xrWaitFrame", XR_ERROR_SESSION_LOST);
    EXPECT_EQ(waitFrame(world.layers.session, nullptr, &state), XR_ERROR_SESSION_LOST);
    EXPECT_EQ(_callbackCalls, 2);

    SetFrameStateCallback(nullptr);
    EXPECT_EQ(waitFrame(world.layers.session, nullptr, &state), XR_SUCCESS);
    EXPECT_EQ(_callbackCalls, 2);
}

TEST_F(SkelderInterception, AnAlphaBlendModeMeansPassthroughIsSupported)
{
    auto enumerate = world.Lookup<PFN_xrEnumerateEnvironmentBlendModes>("xrEnumerateEnvironmentBlendModes");
    std::vector<XrEnvironmentBlendMode> modes(4);
    uint32_t count = 0;
    world.properties.SetBlendModes({XR_ENVIRONMENT_BLEND_MODE_OPAQUE, XR_ENVIRONMENT_BLEND_MODE_ADDITIVE});
    EXPECT_EQ(enumerate(world.layers.instance, 1, XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO, 4, &count, modes.data()),
              XR_SUCCESS);
    EXPECT_EQ(IsPassthroughSupported(), 0);

    world.properties.SetBlendModes({XR_ENVIRONMENT_BLEND_MODE_OPAQUE, XR_ENVIRONMENT_BLEND_MODE_ALPHA_BLEND});
    EXPECT_EQ(enumerate(world.layers.instance, 1, XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO, 0, &count, nullptr),
              XR_SUCCESS);
    EXPECT_EQ(IsPassthroughSupported(), 0) << "a count query reads no modes";
    world.layers.runtime.FailNext("xrEnumerateEnvironmentBlendModes", XR_ERROR_RUNTIME_FAILURE);
    EXPECT_EQ(enumerate(world.layers.instance, 1, XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO, 4, &count, modes.data()),
              XR_ERROR_RUNTIME_FAILURE);
    EXPECT_EQ(IsPassthroughSupported(), 0);
    EXPECT_EQ(enumerate(world.layers.instance, 1, XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO, 4, &count, modes.data()),
              XR_SUCCESS);
    EXPECT_EQ(IsPassthroughSupported(), 1);

    world.properties.SetBlendModes({XR_ENVIRONMENT_BLEND_MODE_OPAQUE});
    EXPECT_EQ(enumerate(world.layers.instance, 1, XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO, 4, &count, modes.data()),
              XR_SUCCESS);
    EXPECT_EQ(IsPassthroughSupported(), 1) << "never set back";
}

TEST_F(SkelderInterception, PresentRequestedLayersAddTheirExtensionsAndAreEnabled)
{
    world.properties.AddApiLayer("XR_APILAYER_first", {"XR_EXT_first"});
    world.properties.AddApiLayer("XR_APILAYER_third", {"XR_EXT_third_a", "XR_EXT_third_b"});
    world.properties.AddApiLayer("XR_APILAYER_app", {});
    RequestLayers("XR_APILAYER_first XR_APILAYER_absent XR_APILAYER_third");

    EXPECT_EQ(EnumerateExtensions(), (Texts{"XR_KHR_vulkan_enable2", "XR_FB_foveation", kFusion, "XR_EXT_first",
                                            "XR_EXT_third_a", "XR_EXT_third_b"}));
    const quenra::simruntime::InstanceCreateRecord created =
        CreateInstance({"XR_APILAYER_third", "XR_APILAYER_app"}, {"XR_EXT_third_a"});
    EXPECT_EQ(created.apiLayers, (Texts{"XR_APILAYER_first", "XR_APILAYER_third", "XR_APILAYER_app"}))
        << "requested layers once, at the front, then the caller's own";
    EXPECT_EQ(created.extensions, Texts{"XR_EXT_third_a"});
}

TEST_F(SkelderInterception, AFailingProbeEndsTheEnumerationWithItsResult)
{
    world.properties.AddApiLayer("XR_APILAYER_first", {"XR_EXT_first"});
    world.properties.AddApiLayer("XR_APILAYER_broken", {"XR_EXT_broken"});
    world.properties.AddApiLayer("XR_APILAYER_last", {"XR_EXT_last"});
    world.properties.FailLayerQuery("XR_APILAYER_broken", XR_ERROR_RUNTIME_FAILURE);
    RequestLayers("XR_APILAYER_first XR_APILAYER_broken XR_APILAYER_last");

    uint32_t count = 0;
    EXPECT_EQ(world.Lookup<PFN_xrEnumerateInstanceExtensionProperties>("xrEnumerateInstanceExtensionProperties")(
                  nullptr, 0, &count, nullptr),
              XR_ERROR_RUNTIME_FAILURE);
    EXPECT_EQ(count, 4u) << "the runtime's three and the first layer's one";
    EXPECT_EQ(CreateInstance({}, {}).apiLayers, Texts{"XR_APILAYER_first"});
}

TEST_F(SkelderInterception, EnumeratingALayersExtensionsPassesStraightThrough)
{
    world.properties.AddApiLayer("XR_APILAYER_first", {"XR_EXT_first"});
    RequestLayers("XR_APILAYER_first");
    EnumerateExtensions();
    const size_t queries = world.properties.ExtensionQueries().size();

    uint32_t count = 0;
    EXPECT_EQ(world.Lookup<PFN_xrEnumerateInstanceExtensionProperties>("xrEnumerateInstanceExtensionProperties")(
                  "XR_APILAYER_first", 0, &count, nullptr),
              XR_SUCCESS);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(world.properties.ExtensionQueries().size(), queries + 1);
    EXPECT_EQ(CreateInstance({}, {}).apiLayers, Texts{"XR_APILAYER_first"}) << "the present layers are kept";
}

TEST_F(SkelderInterception, AnArrayWithoutRoomForTheLayersExtensionsIsNeverOverrun)
{
    world.properties.AddApiLayer("XR_APILAYER_first", {"XR_EXT_first"});
    RequestLayers("XR_APILAYER_first");
    std::vector<XrExtensionProperties> properties(4, {XR_TYPE_EXTENSION_PROPERTIES});
    std::strcpy(properties[3].extensionName, "sentinel");
    uint32_t count = 0;
    EXPECT_EQ(world.Lookup<PFN_xrEnumerateInstanceExtensionProperties>("xrEnumerateInstanceExtensionProperties")(
                  nullptr, 3, &count, properties.data()),
              XR_ERROR_SIZE_INSUFFICIENT);
    EXPECT_LE(count, 3u);
    EXPECT_STREQ(properties[3].extensionName, "sentinel");
}

TEST_F(SkelderInterception, WithoutRequestedLayersTheCallersLayersPassUnchanged)
{
    world.properties.AddApiLayer("XR_APILAYER_b", {});
    world.properties.AddApiLayer("XR_APILAYER_a", {});
    EnumerateExtensions();
    EXPECT_EQ(CreateInstance({"XR_APILAYER_a", "XR_APILAYER_b"}, {}).apiLayers,
              (Texts{"XR_APILAYER_a", "XR_APILAYER_b"}));
}

TEST_F(SkelderInterception, ARequestedLayerIsNotEnabledWithoutAnEnumerationFindingIt)
{
    world.properties.AddApiLayer("XR_APILAYER_first", {});
    RequestLayers("XR_APILAYER_first");
    EXPECT_TRUE(CreateInstance({"XR_APILAYER_first"}, {}).apiLayers.empty());
}

TEST_F(SkelderInterception, TheFusionExtensionFollowsTheSetting)
{
    SetFusionSupported(1);
    EXPECT_EQ(CreateInstance({}, {"XR_FB_foveation"}).extensions, (Texts{"XR_FB_foveation", kFusion}));
    EXPECT_EQ(CreateInstance({}, {kFusion, "XR_FB_foveation"}).extensions, (Texts{kFusion, "XR_FB_foveation"}))
        << "no duplicate";
    SetFusionSupported(0);
    EXPECT_EQ(CreateInstance({}, {kFusion, "XR_FB_foveation", kFusion}).extensions, Texts{"XR_FB_foveation"});
    EXPECT_EQ(CreateInstance({}, {"XR_FB_foveation"}).extensions, Texts{"XR_FB_foveation"});
}

// --- Swapchain creation ------------------------------------------------------------------------

class SwapchainCreation : public SkelderInterception {
protected:
    SwapchainCreation()
    {
        info.usageFlags = XR_SWAPCHAIN_USAGE_COLOR_ATTACHMENT_BIT;
        info.format = 43;
        info.sampleCount = 1;
        info.width = 32;
        info.height = 32;
        info.faceCount = 1;
        info.arraySize = 1;
        info.mipCount = 1;
    }
    // Creates through the hook; the chain the runtime read, and the caller's structure unchanged.
    std::vector<quenra::simruntime::ChainedStructure> Create(const XrSwapchainCreateInfo& createInfo)
    {
        const XrSwapchainCreateInfo before = createInfo;
        XrSwapchain swapchain = XR_NULL_HANDLE;
        EXPECT_EQ(
            world.Lookup<PFN_xrCreateSwapchain>("xrCreateSwapchain")(world.layers.session, &createInfo, &swapchain),
            XR_SUCCESS);
        EXPECT_EQ(std::memcmp(&before, &createInfo, sizeof(createInfo)), 0) << "the caller's structure was written";
        EXPECT_EQ(Skelder::State().lastCreatedSwapchain.load(), HandleValue(swapchain));
        return world.foveation.Creations().back().chain;
    }
    static std::vector<XrStructureType> Types(const std::vector<quenra::simruntime::ChainedStructure>& chain)
    {
        std::vector<XrStructureType> types;
        for (const quenra::simruntime::ChainedStructure& structure : chain) {
            types.push_back(structure.type);
        }
        return types;
    }

    XrSwapchainCreateInfo info{XR_TYPE_SWAPCHAIN_CREATE_INFO};
};

TEST_F(SwapchainCreation, AlphaBlendingAndFoveationLeadTheCallersChain)
{
    SetEnableFoveation(1);
    XrCompositionLayerColorScaleBiasKHR own{XR_TYPE_COMPOSITION_LAYER_COLOR_SCALE_BIAS_KHR};
    info.next = &own;

    const std::vector<quenra::simruntime::ChainedStructure> chain = Create(info);

    ASSERT_EQ(Types(chain), (std::vector<XrStructureType>{XR_TYPE_COMPOSITION_LAYER_ALPHA_BLEND_FB,
                                                          XR_TYPE_SWAPCHAIN_CREATE_INFO_FOVEATION_FB,
                                                          XR_TYPE_COMPOSITION_LAYER_COLOR_SCALE_BIAS_KHR}));
    EXPECT_EQ(chain[0].alphaBlend.srcFactorColor, XR_BLEND_FACTOR_ONE_FB);
    EXPECT_EQ(chain[0].alphaBlend.dstFactorColor, XR_BLEND_FACTOR_ONE_MINUS_SRC_ALPHA_FB);
    EXPECT_EQ(chain[0].alphaBlend.srcFactorAlpha, XR_BLEND_FACTOR_ONE_FB);
    EXPECT_EQ(chain[0].alphaBlend.dstFactorAlpha, XR_BLEND_FACTOR_ONE_MINUS_SRC_ALPHA_FB);
    EXPECT_EQ(chain[1].foveation.flags, XR_SWAPCHAIN_CREATE_FOVEATION_FRAGMENT_DENSITY_MAP_BIT_FB);
    EXPECT_EQ(chain[2].address, &own);
    EXPECT_EQ(world.layers.trace.Texts(kXRTraceLevelNotice),
              (Texts{"Skelder::UnityPluginLoad", "Skelder::xrCreateSwapchain - Adding foveation struct",
                     "Skelder::xrCreateSwapchain - Adding alpha blend struct"}));
}

TEST_F(SwapchainCreation, AReadOnlyStructureIsAcceptedAndTheSameChainArrivesEachTime)
{
    SetEnableFoveation(1);
    static const XrSwapchainCreateInfo readOnly{
        XR_TYPE_SWAPCHAIN_CREATE_INFO, nullptr, 0, XR_SWAPCHAIN_USAGE_COLOR_ATTACHMENT_BIT, 43, 1, 32, 32, 1, 1, 1};
    const std::vector<XrStructureType> expected{XR_TYPE_COMPOSITION_LAYER_ALPHA_BLEND_FB,
                                                XR_TYPE_SWAPCHAIN_CREATE_INFO_FOVEATION_FB};
    EXPECT_EQ(Types(Create(readOnly)), expected);
    EXPECT_EQ(Types(Create(readOnly)), expected);
    EXPECT_EQ(readOnly.next, nullptr);
}

TEST_F(SwapchainCreation, ExistingStructuresAreNotAddedAgain)
{
    SetEnableFoveation(1);
    XrCompositionLayerAlphaBlendFB firstBlend{XR_TYPE_COMPOSITION_LAYER_ALPHA_BLEND_FB};
    XrSwapchainCreateInfoFoveationFB foveation{XR_TYPE_SWAPCHAIN_CREATE_INFO_FOVEATION_FB};
    XrCompositionLayerAlphaBlendFB secondBlend{XR_TYPE_COMPOSITION_LAYER_ALPHA_BLEND_FB};
    firstBlend.next = &foveation;
    foveation.next = &secondBlend;
    info.next = &firstBlend;

    const std::vector<quenra::simruntime::ChainedStructure> chain = Create(info);

    ASSERT_EQ(chain.size(), 3u);
    EXPECT_EQ(chain[0].address, &firstBlend);
    EXPECT_EQ(chain[1].address, &foveation);
    EXPECT_EQ(chain[2].address, &secondBlend);
    EXPECT_EQ(world.layers.trace.Count("Skelder::xrCreateSwapchain - Alpha blend struct present"), 2u);
    EXPECT_EQ(world.layers.trace.Count("Skelder::xrCreateSwapchain - Adding alpha blend struct"), 0u);
}

TEST_F(SwapchainCreation, FoveationIsAddedOnlyWhileEnabled)
{
    EXPECT_EQ(Types(Create(info)), std::vector<XrStructureType>{XR_TYPE_COMPOSITION_LAYER_ALPHA_BLEND_FB});
    SetEnableFoveation(1);
    EXPECT_EQ(Types(Create(info)).size(), 2u);
}

TEST_F(SwapchainCreation, FoveationFlagsFollowTheRenderer)
{
    SetEnableFoveation(1);
    const std::pair<UnityGfxRenderer, XrSwapchainCreateFoveationFlagsFB> cases[] = {
        {kUnityGfxRendererVulkan, XR_SWAPCHAIN_CREATE_FOVEATION_FRAGMENT_DENSITY_MAP_BIT_FB},
        {kUnityGfxRendererOpenGLES20, XR_SWAPCHAIN_CREATE_FOVEATION_SCALED_BIN_BIT_FB},
        {kUnityGfxRendererOpenGLES30, XR_SWAPCHAIN_CREATE_FOVEATION_SCALED_BIN_BIT_FB},
        {kUnityGfxRendererOpenGLCore, XR_SWAPCHAIN_CREATE_FOVEATION_SCALED_BIN_BIT_FB},
        {kUnityGfxRendererD3D11, 0},
        {kUnityGfxRendererD3D12, 0},
    };
    for (const auto& [renderer, flags] : cases) {
        world.graphics.SetRenderer(renderer);
        const std::vector<quenra::simruntime::ChainedStructure> chain = Create(info);
        ASSERT_EQ(chain.size(), 2u);
        EXPECT_EQ(chain[1].foveation.flags, flags) << "renderer " << renderer;
    }
}

TEST_F(SwapchainCreation, ACreationRefusedAsInvalidIsAskedAgainWithoutTheAddedAlphaBlendStruct)
{
    // As a strict API layer refuses the structure the registry does not let extend a swapchain.
    SetEnableFoveation(1);
    world.layers.runtime.FailNext("xrCreateSwapchain", XR_ERROR_VALIDATION_FAILURE);
    EXPECT_EQ(Types(Create(info)), std::vector<XrStructureType>{XR_TYPE_SWAPCHAIN_CREATE_INFO_FOVEATION_FB});
    EXPECT_EQ(world.layers.runtime.CallCount("xrCreateSwapchain"), 2u);
    EXPECT_EQ(world.layers.trace.Count("Skelder::xrCreateSwapchain - Alpha blend struct refused, creating without it"),
              1u);

    // The caller's own chain is never changed: its refusal is the caller's result.
    XrCompositionLayerAlphaBlendFB own{XR_TYPE_COMPOSITION_LAYER_ALPHA_BLEND_FB};
    info.next = &own;
    world.layers.runtime.FailNext("xrCreateSwapchain", XR_ERROR_VALIDATION_FAILURE);
    XrSwapchain swapchain = XR_NULL_HANDLE;
    EXPECT_EQ(world.Lookup<PFN_xrCreateSwapchain>("xrCreateSwapchain")(world.layers.session, &info, &swapchain),
              XR_ERROR_VALIDATION_FAILURE);
    EXPECT_EQ(world.layers.runtime.CallCount("xrCreateSwapchain"), 3u);
}

uint64_t _createdSwapchain = 0;
void UNITY_INTERFACE_API RecordSwapchain(uint64_t swapchain)
{
    _createdSwapchain = swapchain;
}

TEST_F(SwapchainCreation, TheCallbackAndLastSwapchainFollowOnlySuccessfulCreations)
{
    SetCreateSwapchainCallback(&RecordSwapchain);
    XrSwapchain swapchain = XR_NULL_HANDLE;
    auto create = world.Lookup<PFN_xrCreateSwapchain>("xrCreateSwapchain");
    ASSERT_EQ(create(world.layers.session, &info, &swapchain), XR_SUCCESS);
    EXPECT_EQ(_createdSwapchain, HandleValue(swapchain));

    // What the output holds after a failure is undefined: here, whatever the caller left in it.
    // A refusal as invalid is asked again without the alpha-blend structure, and refused again.
    const std::pair<XrResult, int> failures[] = {{XR_ERROR_LIMIT_REACHED, 1}, {XR_ERROR_VALIDATION_FAILURE, 2}};
    for (const auto& [failure, calls] : failures) {
        world.layers.runtime.FailNext("xrCreateSwapchain", failure, calls);
        XrSwapchain failed = HandleFromValue<XrSwapchain>(0xdead);
        EXPECT_EQ(create(world.layers.session, &info, &failed), failure);
        EXPECT_EQ(_createdSwapchain, HandleValue(swapchain)) << "no callback for a failed creation";
        EXPECT_EQ(Skelder::State().lastCreatedSwapchain.load(), HandleValue(swapchain));
    }
    SetCreateSwapchainCallback(nullptr);
}

} // namespace
} // namespace Skelder::test

#include "LoaderApplication.h"

#include <cstring>
#include <stdexcept>

namespace quenra::test {

void CheckXr(XrResult result, const char* call)
{
    if (XR_FAILED(result)) {
        throw std::runtime_error(std::string(call) + " failed: " + std::to_string(result));
    }
}

LoaderApplication::~LoaderApplication()
{
    try {
        Teardown();
    } catch (const std::exception&) {
        // A test that failed half-way has already reported why.
    }
}

PFN_xrVoidFunction LoaderApplication::Find(const char* name)
{
    const auto known = functions.find(name);
    if (known != functions.end()) {
        return known->second;
    }
    PFN_xrVoidFunction function = nullptr;
    CheckXr(lookup(instance, name, &function), name);
    if (function == nullptr) {
        throw std::runtime_error(std::string("no function ") + name);
    }
    if (instance != XR_NULL_HANDLE) {
        functions[name] = function;
    }
    return function;
}

void LoaderApplication::LookUpInstanceFunctions()
{
    for (const char* name :
         {"xrGetSystem", "xrCreateSession", "xrDestroySession", "xrCreateReferenceSpace", "xrDestroySpace",
          "xrEnumerateEnvironmentBlendModes", "xrEnumerateSwapchainFormats", "xrCreateSwapchain", "xrDestroySwapchain",
          "xrAcquireSwapchainImage", "xrWaitSwapchainImage", "xrReleaseSwapchainImage", "xrWaitFrame", "xrBeginFrame",
          "xrEndFrame", "xrDestroyInstance"}) {
        Find(name);
    }
}

std::vector<std::string> LoaderApplication::EnumerateExtensions(const char* layerName)
{
    const auto enumerate =
        Function<PFN_xrEnumerateInstanceExtensionProperties>("xrEnumerateInstanceExtensionProperties");
    uint32_t count = 0;
    CheckXr(enumerate(layerName, 0, &count, nullptr), "xrEnumerateInstanceExtensionProperties");
    std::vector<XrExtensionProperties> properties(count, {XR_TYPE_EXTENSION_PROPERTIES});
    CheckXr(enumerate(layerName, count, &count, properties.data()), "xrEnumerateInstanceExtensionProperties");
    std::vector<std::string> names;
    for (uint32_t i = 0; i < count; ++i) {
        names.emplace_back(properties[i].extensionName);
    }
    return names;
}

std::vector<std::string> LoaderApplication::EnumerateApiLayers()
{
    const auto enumerate = Function<PFN_xrEnumerateApiLayerProperties>("xrEnumerateApiLayerProperties");
    uint32_t count = 0;
    CheckXr(enumerate(0, &count, nullptr), "xrEnumerateApiLayerProperties");
    std::vector<XrApiLayerProperties> properties(count, {XR_TYPE_API_LAYER_PROPERTIES});
    CheckXr(enumerate(count, &count, properties.data()), "xrEnumerateApiLayerProperties");
    std::vector<std::string> names;
    for (uint32_t i = 0; i < count; ++i) {
        names.emplace_back(properties[i].layerName);
    }
    return names;
}

void LoaderApplication::CreateInstance(const std::vector<std::string>& apiLayers,
                                       const std::vector<std::string>& extensions)
{
    std::vector<const char*> layerNames;
    for (const std::string& name : apiLayers) {
        layerNames.push_back(name.c_str());
    }
    // No graphics device here: the session is headless.
    std::vector<const char*> extensionNames{XR_MND_HEADLESS_EXTENSION_NAME};
    for (const std::string& name : extensions) {
        extensionNames.push_back(name.c_str());
    }
    XrInstanceCreateInfo info{XR_TYPE_INSTANCE_CREATE_INFO};
    std::strncpy(info.applicationInfo.applicationName, "Quenra loader test", XR_MAX_APPLICATION_NAME_SIZE - 1);
    std::strncpy(info.applicationInfo.engineName, "Quenra engine stand-in", XR_MAX_ENGINE_NAME_SIZE - 1);
    info.applicationInfo.apiVersion = XR_CURRENT_API_VERSION;
    info.enabledApiLayerCount = static_cast<uint32_t>(layerNames.size());
    info.enabledApiLayerNames = layerNames.data();
    info.enabledExtensionCount = static_cast<uint32_t>(extensionNames.size());
    info.enabledExtensionNames = extensionNames.data();
    CheckXr(Function<PFN_xrCreateInstance>("xrCreateInstance")(&info, &instance), "xrCreateInstance");
    LookUpInstanceFunctions();
}

void LoaderApplication::CreateSession()
{
    XrSystemGetInfo systemInfo{XR_TYPE_SYSTEM_GET_INFO};
    systemInfo.formFactor = XR_FORM_FACTOR_HEAD_MOUNTED_DISPLAY;
    CheckXr(Function<PFN_xrGetSystem>("xrGetSystem")(instance, &systemInfo, &system), "xrGetSystem");
    XrSessionCreateInfo sessionInfo{XR_TYPE_SESSION_CREATE_INFO};
    sessionInfo.systemId = system;
    CheckXr(Function<PFN_xrCreateSession>("xrCreateSession")(instance, &sessionInfo, &session), "xrCreateSession");
    XrReferenceSpaceCreateInfo spaceInfo{XR_TYPE_REFERENCE_SPACE_CREATE_INFO};
    spaceInfo.referenceSpaceType = XR_REFERENCE_SPACE_TYPE_LOCAL;
    spaceInfo.poseInReferenceSpace.orientation.w = 1.0f;
    CheckXr(Function<PFN_xrCreateReferenceSpace>("xrCreateReferenceSpace")(session, &spaceInfo, &space),
            "xrCreateReferenceSpace");
}

std::vector<XrEnvironmentBlendMode> LoaderApplication::EnumerateBlendModes()
{
    const auto enumerate = Function<PFN_xrEnumerateEnvironmentBlendModes>("xrEnumerateEnvironmentBlendModes");
    const XrViewConfigurationType view = XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO;
    uint32_t count = 0;
    CheckXr(enumerate(instance, system, view, 0, &count, nullptr), "xrEnumerateEnvironmentBlendModes");
    std::vector<XrEnvironmentBlendMode> modes(count);
    CheckXr(enumerate(instance, system, view, count, &count, modes.data()), "xrEnumerateEnvironmentBlendModes");
    return modes;
}

XrSwapchain LoaderApplication::CreateSwapchain(uint32_t width, uint32_t height)
{
    const auto enumerateFormats = Function<PFN_xrEnumerateSwapchainFormats>("xrEnumerateSwapchainFormats");
    uint32_t count = 0;
    CheckXr(enumerateFormats(session, 0, &count, nullptr), "xrEnumerateSwapchainFormats");
    std::vector<int64_t> formats(count);
    CheckXr(enumerateFormats(session, count, &count, formats.data()), "xrEnumerateSwapchainFormats");
    if (formats.empty()) {
        throw std::runtime_error("the runtime offers no swapchain format");
    }
    XrSwapchainCreateInfo info{XR_TYPE_SWAPCHAIN_CREATE_INFO};
    info.usageFlags = XR_SWAPCHAIN_USAGE_COLOR_ATTACHMENT_BIT | XR_SWAPCHAIN_USAGE_SAMPLED_BIT;
    info.format = formats.front();
    info.sampleCount = 1;
    info.width = width;
    info.height = height;
    info.faceCount = 1;
    info.arraySize = 2;
    info.mipCount = 1;
    XrSwapchain swapchain = XR_NULL_HANDLE;
    CheckXr(Function<PFN_xrCreateSwapchain>("xrCreateSwapchain")(session, &info, &swapchain), "xrCreateSwapchain");
    swapchains.push_back(swapchain);
    return swapchain;
}

void LoaderApplication::CycleImage(XrSwapchain swapchain)
{
    XrSwapchainImageAcquireInfo acquireInfo{XR_TYPE_SWAPCHAIN_IMAGE_ACQUIRE_INFO};
    uint32_t index = 0;
    CheckXr(Function<PFN_xrAcquireSwapchainImage>("xrAcquireSwapchainImage")(swapchain, &acquireInfo, &index),
            "xrAcquireSwapchainImage");
    XrSwapchainImageWaitInfo waitInfo{XR_TYPE_SWAPCHAIN_IMAGE_WAIT_INFO};
    waitInfo.timeout = XR_INFINITE_DURATION;
    CheckXr(Function<PFN_xrWaitSwapchainImage>("xrWaitSwapchainImage")(swapchain, &waitInfo), "xrWaitSwapchainImage");
    XrSwapchainImageReleaseInfo releaseInfo{XR_TYPE_SWAPCHAIN_IMAGE_RELEASE_INFO};
    CheckXr(Function<PFN_xrReleaseSwapchainImage>("xrReleaseSwapchainImage")(swapchain, &releaseInfo),
            "xrReleaseSwapchainImage");
}

XrFrameState LoaderApplication::BeginFrame()
{
    XrFrameWaitInfo waitInfo{XR_TYPE_FRAME_WAIT_INFO};
    XrFrameState state{XR_TYPE_FRAME_STATE};
    CheckXr(Function<PFN_xrWaitFrame>("xrWaitFrame")(session, &waitInfo, &state), "xrWaitFrame");
    XrFrameBeginInfo beginInfo{XR_TYPE_FRAME_BEGIN_INFO};
    CheckXr(Function<PFN_xrBeginFrame>("xrBeginFrame")(session, &beginInfo), "xrBeginFrame");
    return state;
}

void LoaderApplication::EndFrame(const XrFrameState& state, const std::vector<const XrCompositionLayerBaseHeader*>& layers)
{
    CheckXr(TryEndFrame(state, layers), "xrEndFrame");
}

XrResult LoaderApplication::TryEndFrame(const XrFrameState& state,
                                        const std::vector<const XrCompositionLayerBaseHeader*>& layers)
{
    XrFrameEndInfo endInfo{XR_TYPE_FRAME_END_INFO};
    endInfo.displayTime = state.predictedDisplayTime;
    endInfo.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
    endInfo.layerCount = static_cast<uint32_t>(layers.size());
    endInfo.layers = layers.empty() ? nullptr : layers.data();
    return Function<PFN_xrEndFrame>("xrEndFrame")(session, &endInfo);
}

void LoaderApplication::Teardown()
{
    if (instance == XR_NULL_HANDLE) {
        return;
    }
    for (auto it = swapchains.rbegin(); it != swapchains.rend(); ++it) {
        CheckXr(Function<PFN_xrDestroySwapchain>("xrDestroySwapchain")(*it), "xrDestroySwapchain");
    }
    swapchains.clear();
    if (space != XR_NULL_HANDLE) {
        CheckXr(Function<PFN_xrDestroySpace>("xrDestroySpace")(space), "xrDestroySpace");
        space = XR_NULL_HANDLE;
    }
    if (session != XR_NULL_HANDLE) {
        CheckXr(Function<PFN_xrDestroySession>("xrDestroySession")(session), "xrDestroySession");
        session = XR_NULL_HANDLE;
    }
    const auto destroyInstance = Function<PFN_xrDestroyInstance>("xrDestroyInstance");
    const XrInstance doomed = instance;
    instance = XR_NULL_HANDLE;
    functions.clear();
    CheckXr(destroyInstance(doomed), "xrDestroyInstance");
}

} // namespace quenra::test

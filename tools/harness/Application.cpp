#include "Application.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "Runtime.h"

namespace quenra::harness {

Application::~Application()
{
    try {
        Teardown();
    } catch (const std::exception&) {
        // A test that failed half-way has already reported why.
    }
}

PFN_xrVoidFunction Application::Find(const char* name)
{
    const auto known = found.find(name);
    if (known != found.end()) {
        return known->second;
    }
    PFN_xrVoidFunction function = nullptr;
    if (XR_FAILED(lookup(instance, name, &function)) || function == nullptr) {
        return nullptr;
    }
    found[name] = function;
    return function;
}

XrResult Application::Check(const char* name, XrResult result)
{
    if (XR_SUCCEEDED(result)) {
        return result;
    }
    ++failures;
    if (onFailure == OnFailure::Throw) {
        throw std::runtime_error(std::string(name) + " failed: " + std::to_string(result));
    }
    return result;
}

std::vector<std::string> Application::EnumerateExtensions(const char* layerName)
{
    const char* const name = "xrEnumerateInstanceExtensionProperties";
    uint32_t count = 0;
    Call<PFN_xrEnumerateInstanceExtensionProperties>(name, layerName, 0u, &count,
                                                     static_cast<XrExtensionProperties*>(nullptr));
    std::vector<XrExtensionProperties> properties(count, {XR_TYPE_EXTENSION_PROPERTIES});
    Call<PFN_xrEnumerateInstanceExtensionProperties>(name, layerName, count, &count, properties.data());
    std::vector<std::string> names;
    for (uint32_t i = 0; i < std::min<size_t>(count, properties.size()); ++i) {
        names.emplace_back(properties[i].extensionName);
    }
    return names;
}

std::vector<std::string> Application::EnumerateApiLayers()
{
    const char* const name = "xrEnumerateApiLayerProperties";
    uint32_t count = 0;
    Call<PFN_xrEnumerateApiLayerProperties>(name, 0u, &count, static_cast<XrApiLayerProperties*>(nullptr));
    std::vector<XrApiLayerProperties> properties(count, {XR_TYPE_API_LAYER_PROPERTIES});
    Call<PFN_xrEnumerateApiLayerProperties>(name, count, &count, properties.data());
    std::vector<std::string> names;
    for (uint32_t i = 0; i < std::min<size_t>(count, properties.size()); ++i) {
        names.emplace_back(properties[i].layerName);
    }
    return names;
}

void Application::CreateInstance(const std::vector<std::string>& apiLayers, const std::vector<std::string>& extensions)
{
    std::vector<const char*> layerNames;
    for (const std::string& name : apiLayers) {
        layerNames.push_back(name.c_str());
    }
    std::vector<const char*> extensionNames;
    for (const std::string& name : extensions) {
        extensionNames.push_back(name.c_str());
    }
    XrInstanceCreateInfo info{XR_TYPE_INSTANCE_CREATE_INFO};
    std::strncpy(info.applicationInfo.applicationName, "Quenra application", XR_MAX_APPLICATION_NAME_SIZE - 1);
    std::strncpy(info.applicationInfo.engineName, "Quenra engine stand-in", XR_MAX_ENGINE_NAME_SIZE - 1);
    info.applicationInfo.apiVersion = XR_CURRENT_API_VERSION;
    info.enabledApiLayerCount = static_cast<uint32_t>(layerNames.size());
    info.enabledApiLayerNames = layerNames.empty() ? nullptr : layerNames.data();
    info.enabledExtensionCount = static_cast<uint32_t>(extensionNames.size());
    info.enabledExtensionNames = extensionNames.empty() ? nullptr : extensionNames.data();
    Call<PFN_xrCreateInstance>("xrCreateInstance", static_cast<const XrInstanceCreateInfo*>(&info), &instance);
    XrSystemGetInfo systemInfo{XR_TYPE_SYSTEM_GET_INFO};
    systemInfo.formFactor = XR_FORM_FACTOR_HEAD_MOUNTED_DISPLAY;
    Call<PFN_xrGetSystem>("xrGetSystem", instance, static_cast<const XrSystemGetInfo*>(&systemInfo), &system);
}

void Application::CreateSession(std::optional<XrReferenceSpaceType> spaceType)
{
    XrSessionCreateInfo sessionInfo{XR_TYPE_SESSION_CREATE_INFO};
    sessionInfo.systemId = system;
    Call<PFN_xrCreateSession>("xrCreateSession", instance, static_cast<const XrSessionCreateInfo*>(&sessionInfo),
                              &session);
    if (spaceType) {
        CreateReferenceSpace(*spaceType);
    }
    for (const char* name : {"xrDestroySwapchain", "xrDestroySpace", "xrDestroySession", "xrDestroyInstance"}) {
        Find(name);
    }
}

void Application::CreateReferenceSpace(XrReferenceSpaceType spaceType)
{
    XrReferenceSpaceCreateInfo spaceInfo{XR_TYPE_REFERENCE_SPACE_CREATE_INFO};
    spaceInfo.referenceSpaceType = spaceType;
    spaceInfo.poseInReferenceSpace.orientation.w = 1.0f;
    Call<PFN_xrCreateReferenceSpace>("xrCreateReferenceSpace", session,
                                     static_cast<const XrReferenceSpaceCreateInfo*>(&spaceInfo), &space);
}

std::vector<XrEnvironmentBlendMode> Application::EnumerateBlendModes()
{
    const char* const name = "xrEnumerateEnvironmentBlendModes";
    const XrViewConfigurationType view = XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO;
    uint32_t count = 0;
    Call<PFN_xrEnumerateEnvironmentBlendModes>(name, instance, system, view, 0u, &count,
                                               static_cast<XrEnvironmentBlendMode*>(nullptr));
    std::vector<XrEnvironmentBlendMode> modes(std::min(count, 8u));
    Call<PFN_xrEnumerateEnvironmentBlendModes>(name, instance, system, view, static_cast<uint32_t>(modes.size()),
                                               &count, modes.data());
    modes.resize(std::min<size_t>(count, modes.size()));
    return modes;
}

int64_t Application::FirstSwapchainFormat()
{
    const char* const name = "xrEnumerateSwapchainFormats";
    uint32_t count = 0;
    Call<PFN_xrEnumerateSwapchainFormats>(name, session, 0u, &count, static_cast<int64_t*>(nullptr));
    std::vector<int64_t> formats(count);
    Call<PFN_xrEnumerateSwapchainFormats>(name, session, count, &count, formats.data());
    if (formats.empty()) {
        throw std::runtime_error("the runtime offers no swapchain format");
    }
    return formats.front();
}

XrSwapchain Application::CreateSwapchain(uint32_t width, uint32_t height, int64_t format, uint32_t arraySize)
{
    XrSwapchainCreateInfo info{XR_TYPE_SWAPCHAIN_CREATE_INFO};
    info.usageFlags = XR_SWAPCHAIN_USAGE_COLOR_ATTACHMENT_BIT | XR_SWAPCHAIN_USAGE_SAMPLED_BIT;
    info.format = format;
    info.sampleCount = 1;
    info.width = width;
    info.height = height;
    info.faceCount = 1;
    info.arraySize = arraySize;
    info.mipCount = 1;
    XrSwapchain swapchain = XR_NULL_HANDLE;
    Call<PFN_xrCreateSwapchain>("xrCreateSwapchain", session, static_cast<const XrSwapchainCreateInfo*>(&info),
                                &swapchain);
    if (swapchain != XR_NULL_HANDLE) {
        swapchains.push_back(swapchain);
    }
    return swapchain;
}

void Application::CycleImage(XrSwapchain swapchain, const std::function<void(uint32_t index)>& fill)
{
    XrSwapchainImageAcquireInfo acquireInfo{XR_TYPE_SWAPCHAIN_IMAGE_ACQUIRE_INFO};
    uint32_t index = 0;
    Call<PFN_xrAcquireSwapchainImage>("xrAcquireSwapchainImage", swapchain,
                                      static_cast<const XrSwapchainImageAcquireInfo*>(&acquireInfo), &index);
    XrSwapchainImageWaitInfo waitInfo{XR_TYPE_SWAPCHAIN_IMAGE_WAIT_INFO};
    waitInfo.timeout = XR_INFINITE_DURATION;
    Call<PFN_xrWaitSwapchainImage>("xrWaitSwapchainImage", swapchain,
                                   static_cast<const XrSwapchainImageWaitInfo*>(&waitInfo));
    if (fill) {
        fill(index);
    }
    XrSwapchainImageReleaseInfo releaseInfo{XR_TYPE_SWAPCHAIN_IMAGE_RELEASE_INFO};
    Call<PFN_xrReleaseSwapchainImage>("xrReleaseSwapchainImage", swapchain,
                                      static_cast<const XrSwapchainImageReleaseInfo*>(&releaseInfo));
}

XrFrameState Application::WaitFrame()
{
    XrFrameWaitInfo waitInfo{XR_TYPE_FRAME_WAIT_INFO};
    XrFrameState state{XR_TYPE_FRAME_STATE};
    Call<PFN_xrWaitFrame>("xrWaitFrame", session, static_cast<const XrFrameWaitInfo*>(&waitInfo), &state);
    return state;
}

XrFrameState Application::BeginFrame()
{
    const XrFrameState state = WaitFrame();
    XrFrameBeginInfo beginInfo{XR_TYPE_FRAME_BEGIN_INFO};
    Call<PFN_xrBeginFrame>("xrBeginFrame", session, static_cast<const XrFrameBeginInfo*>(&beginInfo));
    return state;
}

XrResult Application::EndFrame(const XrFrameState& state,
                               const std::vector<const XrCompositionLayerBaseHeader*>& layers)
{
    return Check("xrEndFrame", TryEndFrame(state, layers));
}

XrResult Application::TryEndFrame(const XrFrameState& state,
                                  const std::vector<const XrCompositionLayerBaseHeader*>& layers)
{
    XrFrameEndInfo endInfo{XR_TYPE_FRAME_END_INFO};
    endInfo.displayTime = state.predictedDisplayTime;
    endInfo.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
    endInfo.layerCount = static_cast<uint32_t>(layers.size());
    endInfo.layers = layers.empty() ? nullptr : layers.data();
    const PFN_xrVoidFunction function = Find("xrEndFrame");
    return function == nullptr ? XR_ERROR_FUNCTION_UNSUPPORTED
                               : reinterpret_cast<PFN_xrEndFrame>(function)(session, &endInfo);
}

XrResult Application::DestroySession()
{
    XrResult first = XR_SUCCESS;
    const auto keep = [&first](XrResult result) { first = XR_SUCCEEDED(first) ? result : first; };
    for (auto it = swapchains.rbegin(); it != swapchains.rend(); ++it) {
        keep(Call<PFN_xrDestroySwapchain>("xrDestroySwapchain", *it));
    }
    swapchains.clear();
    if (space != XR_NULL_HANDLE) {
        keep(Call<PFN_xrDestroySpace>("xrDestroySpace", space));
        space = XR_NULL_HANDLE;
    }
    if (session != XR_NULL_HANDLE) {
        keep(Call<PFN_xrDestroySession>("xrDestroySession", session));
        session = XR_NULL_HANDLE;
    }
    return first;
}

XrResult Application::Teardown()
{
    XrResult first = DestroySession();
    if (instance != XR_NULL_HANDLE) {
        const XrInstance doomed = instance;
        instance = XR_NULL_HANDLE;
        const XrResult destroyed = Call<PFN_xrDestroyInstance>("xrDestroyInstance", doomed);
        first = XR_SUCCEEDED(first) ? destroyed : first;
        found.clear();
    }
    return first;
}

std::set<uint64_t> Application::Handles() const
{
    std::set<uint64_t> handles{simruntime::HandleValue(instance), simruntime::HandleValue(session),
                               simruntime::HandleValue(space)};
    for (XrSwapchain swapchain : swapchains) {
        handles.insert(simruntime::HandleValue(swapchain));
    }
    return handles;
}

ProjectionLayer::ProjectionLayer(XrSwapchain swapchain, XrSpace space, XrExtent2Di size)
{
    for (uint32_t eye = 0; eye < 2; ++eye) {
        XrCompositionLayerProjectionView& view = views[eye];
        view.type = XR_TYPE_COMPOSITION_LAYER_PROJECTION_VIEW;
        view.pose.orientation.w = 1.0f;
        view.fov = {-0.8f, 0.8f, 0.8f, -0.8f};
        view.subImage.swapchain = swapchain;
        view.subImage.imageRect = {{0, 0}, size};
        view.subImage.imageArrayIndex = eye;
    }
    layer.space = space;
    layer.viewCount = 2;
    layer.views = views;
}

} // namespace quenra::harness

#include "SkelderSession.h"

#include <algorithm>
#include <set>

#include "EngineRegistry.h"
#include "FakeGraphics.h"
#include "Foveation.h"
#include "FrameLoop.h"
#include "InstanceProperties.h"
#include "Passthrough.h"
#include "ReferenceSpaces.h"
#include "SimRuntime.h"
#include "SkelderExports.h"
#include "Swapchains.h"
#include "TraceRecorder.h"

namespace quenra::test {
namespace {

using sim::HandleValue;

// The application's side: every function found through the plug-in's lookup when it is called,
// as an application that looks functions up lazily does. A function not found fails the call.
class Application {
public:
    explicit Application(PFN_xrGetInstanceProcAddr lookup) : lookup_(lookup) {}

    template <typename Pfn, typename... Args> XrResult Call(const char* name, Args... args)
    {
        PFN_xrVoidFunction function = nullptr;
        const XrResult found = lookup_(instance, name, &function);
        if (XR_FAILED(found) || function == nullptr) {
            failures_ += 1;
            return XR_FAILED(found) ? found : XR_ERROR_FUNCTION_UNSUPPORTED;
        }
        const XrResult result = reinterpret_cast<Pfn>(function)(args...);
        failures_ += result == XR_SUCCESS ? 0 : 1;
        return result;
    }
    bool AllSucceeded() const { return failures_ == 0; }

    XrInstance instance = XR_NULL_HANDLE;
    XrSession session = XR_NULL_HANDLE;
    XrSpace space = XR_NULL_HANDLE;
    XrSwapchain swapchain = XR_NULL_HANDLE;

private:
    PFN_xrGetInstanceProcAddr lookup_;
    int failures_ = 0;
};

void Connect(Application& app)
{
    XrInstanceCreateInfo instanceInfo{XR_TYPE_INSTANCE_CREATE_INFO};
    app.Call<PFN_xrCreateInstance>("xrCreateInstance", &instanceInfo, &app.instance);
    XrSystemGetInfo systemInfo{XR_TYPE_SYSTEM_GET_INFO};
    systemInfo.formFactor = XR_FORM_FACTOR_HEAD_MOUNTED_DISPLAY;
    XrSystemId system = XR_NULL_SYSTEM_ID;
    app.Call<PFN_xrGetSystem>("xrGetSystem", app.instance, &systemInfo, &system);
    uint32_t count = 0;
    app.Call<PFN_xrEnumerateEnvironmentBlendModes>("xrEnumerateEnvironmentBlendModes", app.instance, system,
                                                   XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO, 0u, &count,
                                                   static_cast<XrEnvironmentBlendMode*>(nullptr));
    std::vector<XrEnvironmentBlendMode> modes(std::min(count, 8u));
    app.Call<PFN_xrEnumerateEnvironmentBlendModes>("xrEnumerateEnvironmentBlendModes", app.instance, system,
                                                   XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO,
                                                   static_cast<uint32_t>(modes.size()), &count, modes.data());
    XrSessionCreateInfo sessionInfo{XR_TYPE_SESSION_CREATE_INFO};
    sessionInfo.systemId = system;
    app.Call<PFN_xrCreateSession>("xrCreateSession", app.instance, &sessionInfo, &app.session);
    XrReferenceSpaceCreateInfo spaceInfo{XR_TYPE_REFERENCE_SPACE_CREATE_INFO};
    spaceInfo.referenceSpaceType = XR_REFERENCE_SPACE_TYPE_LOCAL;
    spaceInfo.poseInReferenceSpace.orientation.w = 1.0f;
    app.Call<PFN_xrCreateReferenceSpace>("xrCreateReferenceSpace", app.session, &spaceInfo, &app.space);
    // The eye swapchain, made through the plug-in's hook: foveation applies to it.
    XrSwapchainCreateInfo swapchainInfo{XR_TYPE_SWAPCHAIN_CREATE_INFO};
    swapchainInfo.usageFlags = XR_SWAPCHAIN_USAGE_COLOR_ATTACHMENT_BIT;
    swapchainInfo.format = 43;
    swapchainInfo.sampleCount = 1;
    swapchainInfo.width = 64;
    swapchainInfo.height = 64;
    swapchainInfo.faceCount = 1;
    swapchainInfo.arraySize = 2;
    swapchainInfo.mipCount = 1;
    app.Call<PFN_xrCreateSwapchain>("xrCreateSwapchain", app.session, &swapchainInfo, &app.swapchain);
}

// Each frame must carry the plug-in's layers for the session to count as working.
bool RunFrames(Application& app, const sim::FrameLoop& frameLoop, size_t layers)
{
    bool carried = true;
    for (int frame = 0; frame < 3; ++frame) {
        XrFrameState state{XR_TYPE_FRAME_STATE};
        app.Call<PFN_xrWaitFrame>("xrWaitFrame", app.session, static_cast<const XrFrameWaitInfo*>(nullptr), &state);
        app.Call<PFN_xrBeginFrame>("xrBeginFrame", app.session, static_cast<const XrFrameBeginInfo*>(nullptr));
        XrFrameEndInfo endInfo{XR_TYPE_FRAME_END_INFO};
        endInfo.displayTime = state.predictedDisplayTime;
        endInfo.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
        const size_t before = frameLoop.SubmittedFrames().size();
        app.Call<PFN_xrEndFrame>("xrEndFrame", app.session, static_cast<const XrFrameEndInfo*>(&endInfo));
        carried = carried && frameLoop.SubmittedFrames().size() == before + 1 &&
                  frameLoop.SubmittedFrames().back().layers.size() == layers;
    }
    return carried;
}

void Disconnect(Application& app)
{
    app.Call<PFN_xrDestroySwapchain>("xrDestroySwapchain", app.swapchain);
    app.Call<PFN_xrDestroySpace>("xrDestroySpace", app.space);
    app.Call<PFN_xrDestroySession>("xrDestroySession", app.session);
    app.Call<PFN_xrDestroyInstance>("xrDestroyInstance", app.instance);
}

// Handles alive that the application did not make, except those whose destruction the
// runtime refused: the plug-in cannot do more than ask.
std::vector<std::string> LeftAlive(const sim::Runtime& runtime, const Application& app, size_t armedAt)
{
    std::set<uint64_t> excused = {HandleValue(app.instance), HandleValue(app.session), HandleValue(app.space),
                                  HandleValue(app.swapchain)};
    const std::vector<sim::RecordedCall> calls = runtime.Calls();
    for (size_t i = armedAt; i < calls.size(); ++i) {
        if (calls[i].function.rfind("xrDestroy", 0) == 0 && XR_FAILED(calls[i].result) && !calls[i].handles.empty()) {
            excused.insert(calls[i].handles[0]);
        }
    }
    std::vector<std::string> alive;
    for (const sim::LiveHandle& handle : runtime.LiveHandles()) {
        if (excused.count(handle.handle) == 0) {
            alive.push_back(std::string(sim::HandleKindName(handle.kind)) + " " + std::to_string(handle.handle));
        }
    }
    return alive;
}

} // namespace

SessionOutcome SkelderSession::Run(const std::function<void(sim::Runtime&)>& arm)
{
    sim::Runtime runtime;
    sim::FrameLoop frameLoop{runtime};
    sim::Swapchains swapchains{runtime, frameLoop};
    sim::Passthrough passthrough{runtime};
    sim::ReferenceSpaces spaces{runtime};
    sim::InstanceProperties properties{runtime};
    sim::Foveation foveation{runtime};
    properties.SetBlendModes({XR_ENVIRONMENT_BLEND_MODE_OPAQUE, XR_ENVIRONMENT_BLEND_MODE_ALPHA_BLEND});
    engine::TraceRecorder trace;
    engine::FakeGraphics graphics{kUnityGfxRendererVulkan};
    engine::EngineRegistry registry;
    registry.Provide(trace.Interface());
    registry.Provide(graphics.Interface());

    UnityPluginLoad(registry.Interfaces());
    SetCompositionLayerFeatureEnabled(1);
    SetEnableFoveation(1);
    SetMaxCompositionLayerCount(8);
    Application app(GetInterceptedInstanceProcAddr(&sim::Runtime::GetInstanceProcAddr));
    const size_t armedAt = runtime.Calls().size();
    arm(runtime);

    Connect(app);
    const uint64_t instance = HandleValue(app.instance);
    const uint64_t session = HandleValue(app.session);
    std::vector<int32_t> layers;
    for (uint32_t type : {1u, 3u, 4u, 5u}) {
        const int32_t id = CreateCompositionLayer(instance, session, 64, 64, static_cast<int32_t>(type), type, 0);
        if (type != 5u) {
            AcquireSwapchainImageForLayer(id);
            ReleaseSwapchainImageForLayer(id);
        }
        layers.push_back(id);
    }
    SetFoveationLevel(instance, session, 2);
    const bool framesCarriedLayers = RunFrames(app, frameLoop, layers.size());
    DestroyCompositionLayer(layers.front());

    SessionOutcome outcome;
    for (size_t i = armedAt; i < runtime.Calls().size(); ++i) {
        outcome.calls.push_back(runtime.Calls()[i].function);
    }
    runtime.InjectAtCall(0, XR_SUCCESS);
    UnityPluginUnload();
    outcome.leftAlive = LeftAlive(runtime, app, armedAt);
    Disconnect(app);
    outcome.ranToEnd = true;
    outcome.worked = framesCarriedLayers && app.AllSucceeded() && trace.CountAtLevel(kXRTraceLevelError) == 0 &&
                     std::find(layers.begin(), layers.end(), 0) == layers.end();
    return outcome;
}

} // namespace quenra::test

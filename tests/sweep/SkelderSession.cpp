#include "SkelderSession.h"

#include <algorithm>

#include "EngineRegistry.h"
#include "FakeGraphics.h"
#include "Foveation.h"
#include "FrameLoop.h"
#include "InstanceProperties.h"
#include "Passthrough.h"
#include "ReferenceSpaces.h"
#include "Runtime.h"
#include "SkelderExports.h"
#include "Swapchains.h"
#include "SweepApplication.h"
#include "TraceRecorder.h"

namespace quenra::test {
namespace {

using simruntime::HandleValue;

void Connect(SweepApplication& app)
{
    const XrSystemId system = app.CreateInstance();
    uint32_t count = 0;
    app.Call<PFN_xrEnumerateEnvironmentBlendModes>("xrEnumerateEnvironmentBlendModes", app.instance, system,
                                                   XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO, 0u, &count,
                                                   static_cast<XrEnvironmentBlendMode*>(nullptr));
    std::vector<XrEnvironmentBlendMode> modes(std::min(count, 8u));
    app.Call<PFN_xrEnumerateEnvironmentBlendModes>("xrEnumerateEnvironmentBlendModes", app.instance, system,
                                                   XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO,
                                                   static_cast<uint32_t>(modes.size()), &count, modes.data());
    app.CreateSession(system);
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
bool RunFrames(SweepApplication& app, const simruntime::FrameLoop& frameLoop, size_t layers)
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

} // namespace

SessionOutcome SkelderSession::Run(const std::function<void(simruntime::Runtime&)>& arm)
{
    simruntime::Runtime runtime;
    simruntime::FrameLoop frameLoop{runtime};
    simruntime::Swapchains swapchains{runtime, frameLoop};
    simruntime::Passthrough passthrough{runtime};
    simruntime::ReferenceSpaces spaces{runtime};
    simruntime::InstanceProperties properties{runtime};
    simruntime::Foveation foveation{runtime};
    properties.SetBlendModes({XR_ENVIRONMENT_BLEND_MODE_OPAQUE, XR_ENVIRONMENT_BLEND_MODE_ALPHA_BLEND});
    simengine::TraceRecorder trace;
    simengine::FakeGraphics graphics{kUnityGfxRendererVulkan};
    simengine::EngineRegistry registry;
    registry.Provide(trace.Interface());
    registry.Provide(graphics.Interface());

    UnityPluginLoad(registry.Interfaces());
    SetCompositionLayerFeatureEnabled(1);
    SetEnableFoveation(1);
    SetMaxCompositionLayerCount(8);
    SweepApplication app(GetInterceptedInstanceProcAddr(&simruntime::Runtime::GetInstanceProcAddr));
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
    outcome.leftAlive = LeftAlive(runtime, app.Handles(), armedAt);
    app.DestroyAll();
    outcome.ranToEnd = true;
    outcome.worked = framesCarriedLayers && app.AllSucceeded() && trace.CountAtLevel(kXRTraceLevelError) == 0 &&
                     std::find(layers.begin(), layers.end(), 0) == layers.end();
    return outcome;
}

} // namespace quenra::test

#include "ScriptedSkelderSession.h"

#include <algorithm>

#include "Application.h"
#include "Foveation.h"
#include "FrameLoop.h"
#include "InstanceProperties.h"
#include "Passthrough.h"
#include "ReferenceSpaces.h"
#include "Runtime.h"
#include "SkelderSession.h"
#include "Swapchains.h"

namespace quenra::test {
namespace {

using harness::SkelderLayer;

// Each frame must carry the plug-in's layers for the session to count as working.
bool RunFrames(harness::Application& app, const simruntime::FrameLoop& frameLoop, size_t layers)
{
    bool carried = true;
    for (int frame = 0; frame < 3; ++frame) {
        const XrFrameState state = app.BeginFrame();
        const size_t before = frameLoop.SubmittedFrames().size();
        app.EndFrame(state, {});
        carried = carried && frameLoop.SubmittedFrames().size() == before + 1 &&
                  frameLoop.SubmittedFrames().back().layers.size() == layers;
    }
    return carried;
}

} // namespace

SessionOutcome ScriptedSkelderSession::Run(const std::function<void(simruntime::Runtime&)>& arm)
{
    simruntime::Runtime runtime;
    simruntime::FrameLoop frameLoop{runtime};
    simruntime::Swapchains swapchains{runtime, frameLoop};
    simruntime::Passthrough passthrough{runtime};
    simruntime::ReferenceSpaces spaces{runtime};
    simruntime::InstanceProperties properties{runtime};
    simruntime::Foveation foveation{runtime};
    properties.SetBlendModes({XR_ENVIRONMENT_BLEND_MODE_OPAQUE, XR_ENVIRONMENT_BLEND_MODE_ALPHA_BLEND});
    harness::Engine engine;
    const harness::SkelderExportTable exports = harness::SkelderExportTable::Linked();
    harness::SkelderSession skelder(exports, engine, harness::OnFailure::Count);

    harness::Application app(skelder.LoadAndChain(&simruntime::Runtime::GetInstanceProcAddr, 8),
                             harness::OnFailure::Count);
    const size_t armedAt = runtime.Calls().size();
    arm(runtime);

    app.CreateInstance();
    app.EnumerateBlendModes();
    app.CreateSession();
    // The eye swapchain, made through the plug-in's hook: foveation applies to it.
    app.CreateSwapchain(64, 64, 43);
    std::vector<int32_t> layers;
    for (SkelderLayer type : {SkelderLayer::Quad, SkelderLayer::Cylinder, SkelderLayer::Equirect,
                              SkelderLayer::Passthrough}) {
        layers.push_back(skelder.CreateLayer(app.instance, app.session, type, static_cast<int32_t>(type), 64));
    }
    exports.SetFoveationLevel(simruntime::HandleValue(app.instance), simruntime::HandleValue(app.session), 2);
    const bool framesCarriedLayers = RunFrames(app, frameLoop, layers.size());
    exports.DestroyCompositionLayer(layers.front());

    SessionOutcome outcome = Outcome(runtime, armedAt);
    skelder.Unload();
    outcome.leftAlive = LeftAlive(runtime, app.Handles(), armedAt);
    app.Teardown();
    outcome.ranToEnd = true;
    outcome.worked = framesCarriedLayers && app.AllSucceeded() &&
                     engine.trace.CountAtLevel(kXRTraceLevelError) == 0 &&
                     std::find(layers.begin(), layers.end(), 0) == layers.end();
    return outcome;
}

} // namespace quenra::test

#include "KelbrinSession.h"

#include <vector>

#include "Runtime.h"

namespace quenra::harness {

KelbrinSession::~KelbrinSession()
{
    Unload();
}

void KelbrinSession::Load()
{
    exports.UnityPluginLoad(engine.registry.Interfaces());
    loaded = true;
}

PFN_xrGetInstanceProcAddr KelbrinSession::Chain(PFN_xrGetInstanceProcAddr next) const
{
    return exports.GetInterceptedInstanceProcAddr(next);
}

bool KelbrinSession::StartMeshing(XrInstance instance, XrSession session, XrSpace space)
{
    exports.SetInstanceHandle(simruntime::HandleValue(instance));
    exports.SetSessionHandle(simruntime::HandleValue(session));
    exports.SetSpaceHandle(simruntime::HandleValue(space));
    // Every step is taken, as an engine takes them, whatever the one before answered.
    const bool registered = exports.RegisterMeshingLifecycleProvider();
    const bool initialised = engine.meshes.Initialize() == kUnitySubsystemErrorCodeSuccess;
    const bool started = engine.meshes.Start() == kUnitySubsystemErrorCodeSuccess;
    return registered && initialised && started;
}

void KelbrinSession::RegisterScript() const
{
    exports.RegisterProviderWithSceneObserver(kScript, kScriptFeatures);
}

void KelbrinSession::StepScript() const
{
    exports.UpdateObservedScene(kScript);
}

void KelbrinSession::ReadPlanes(Tally& tally) const
{
    if (!exports.UpdatePlanes()) {
        return;
    }
    ++tally.planeReads;
    uint32_t count = 0;
    if (!exports.CountScenePlanes(&count)) {
        return;
    }
    tally.planesCounted = count;
    std::vector<ScenePlane> planes(count);
    if (count == 0 || !exports.FetchScenePlanes(count, planes.data())) {
        return;
    }
    for (const ScenePlane& plane : planes) {
        std::vector<XrVector3f> vertices(plane.vertexCount);
        std::vector<uint32_t> indices(plane.indexCount);
        if (exports.FetchPlaneVertices(&plane, vertices.data(), indices.data())) {
            ++tally.planeOutlinesRead;
            tally.planeVerticesRead += vertices.size();
        }
    }
}

void KelbrinSession::UnregisterScript() const
{
    exports.UnregisterProviderWithSceneObserver(kScript);
}

void KelbrinSession::StopMeshing()
{
    engine.meshes.Stop();
    engine.meshes.Shutdown();
}

void KelbrinSession::Unload()
{
    if (loaded) {
        exports.UnityPluginUnload();
        loaded = false;
    }
}

} // namespace quenra::harness

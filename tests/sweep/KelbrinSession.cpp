#include "KelbrinSession.h"

#include <stdexcept>

#include "EngineRegistry.h"
#include "FakeMeshSubsystem.h"
#include "FrameLoop.h"
#include "ReferenceSpaces.h"
#include "SceneUnderstanding.h"
#include "SimRuntime.h"
#include "SweepApplication.h"
#include "TraceRecorder.h"

namespace quenra::test {
namespace {

const char* const kScript = "Planes";

// A room of one mesh and one plane with a mesh of its own.
sim::SimWorld Room()
{
    sim::SimWorld world;
    world.buffers[1] = {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}, false};
    world.buffers[2] = {{{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}}, {0, 1, 2, 2, 3, 0}, false};
    sim::SimVisualMesh mesh;
    mesh.id.bytes[0] = 1;
    mesh.meshBufferId = 1;
    world.meshes.push_back(mesh);
    sim::SimPlane plane;
    plane.id.bytes[0] = 2;
    plane.meshBufferId = 2;
    world.planes.push_back(plane);
    return world;
}

} // namespace

KelbrinSession::KelbrinSession(const char* libraryPath) : library_(libraryPath)
{
    if (!library_.Loaded() || !simulator::ResolveKelbrinExports(library_, kelbrin_).empty()) {
        throw std::runtime_error("libKelbrin or one of its exports is missing: " + library_.Error());
    }
}

SessionOutcome KelbrinSession::Run(const std::function<void(sim::Runtime&)>& arm)
{
    sim::Runtime runtime;
    sim::FrameLoop frameLoop{runtime};
    sim::ReferenceSpaces spaces{runtime};
    sim::SceneUnderstanding scene{runtime};
    scene.SetWorld(Room());
    engine::TraceRecorder trace;
    engine::FakeMeshSubsystem meshes;
    engine::EngineRegistry registry;
    registry.Provide<IUnityXRTrace>(trace.Interface());
    registry.Provide<IUnityXRMeshInterface>(meshes.Interface());

    kelbrin_.UnityPluginLoad(registry.Interfaces());
    Application app(kelbrin_.GetInterceptedInstanceProcAddr(&sim::Runtime::GetInstanceProcAddr));
    const size_t armedAt = runtime.Calls().size();
    arm(runtime);

    app.CreateSession(app.CreateInstance());
    kelbrin_.SetInstanceHandle(sim::HandleValue(app.instance));
    kelbrin_.SetSessionHandle(sim::HandleValue(app.session));
    kelbrin_.SetSpaceHandle(sim::HandleValue(app.space));
    kelbrin_.RegisterMeshingLifecycleProvider();
    meshes.Initialize();
    meshes.Start();
    kelbrin_.RegisterProviderWithSceneObserver(kScript, 1 | 2);
    size_t meshesAcquired = 0;
    size_t planeVerticesRead = 0;
    for (int frame = 0; frame < 4; ++frame) {
        XrFrameState state{XR_TYPE_FRAME_STATE};
        app.Call<PFN_xrWaitFrame>("xrWaitFrame", app.session, static_cast<const XrFrameWaitInfo*>(nullptr), &state);
        const engine::MeshInfosResult list = meshes.GetMeshInfos();
        for (const UnityXRMeshInfo& info : list.infos) {
            meshesAcquired += meshes.AcquireAndReleaseMesh(info.meshId).result == kUnitySubsystemErrorCodeSuccess;
        }
        kelbrin_.UpdateObservedScene(kScript);
        uint32_t count = 0;
        if (kelbrin_.UpdatePlanes() && kelbrin_.CountScenePlanes(&count) && count > 0) {
            std::vector<ScenePlane> planes(count);
            kelbrin_.FetchScenePlanes(count, planes.data());
            for (const ScenePlane& plane : planes) {
                std::vector<XrVector3f> vertices(plane.vertexCount);
                std::vector<uint32_t> indices(plane.indexCount);
                planeVerticesRead += kelbrin_.FetchPlaneVertices(&plane, vertices.data(), indices.data()) ? 1 : 0;
            }
        }
    }
    meshes.Stop();
    meshes.Shutdown();

    SessionOutcome outcome;
    for (size_t i = armedAt; i < runtime.Calls().size(); ++i) {
        outcome.calls.push_back(runtime.Calls()[i].function);
    }
    runtime.InjectAtCall(0, XR_SUCCESS);
    kelbrin_.UnityPluginUnload();
    outcome.leftAlive = LeftAlive(runtime, app.Handles(), armedAt);
    app.DestroyAll();
    outcome.ranToEnd = true;
    outcome.worked = meshesAcquired > 0 && planeVerticesRead > 0 && app.AllSucceeded();
    return outcome;
}

} // namespace quenra::test

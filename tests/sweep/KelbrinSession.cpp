#include "KelbrinSession.h"

#include <stdexcept>

#include "EngineRegistry.h"
#include "FakeMeshSubsystem.h"
#include "FrameLoop.h"
#include "ReferenceSpaces.h"
#include "Runtime.h"
#include "SceneUnderstanding.h"
#include "SweepApplication.h"
#include "TraceRecorder.h"

namespace quenra::test {
namespace {

const char* const kScript = "Planes";

// A room of one mesh and one plane with a mesh of its own.
simruntime::SimWorld Room()
{
    simruntime::SimWorld world;
    world.buffers[1] = {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}, false};
    world.buffers[2] = {{{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}}, {0, 1, 2, 2, 3, 0}, false};
    simruntime::SimVisualMesh mesh;
    mesh.id.bytes[0] = 1;
    mesh.meshBufferId = 1;
    world.meshes.push_back(mesh);
    simruntime::SimPlane plane;
    plane.id.bytes[0] = 2;
    plane.meshBufferId = 2;
    world.planes.push_back(plane);
    return world;
}

} // namespace

KelbrinSession::KelbrinSession(const char* libraryPath) : library(libraryPath)
{
    if (!library.Loaded() || !sim::ResolveKelbrinExports(library, kelbrin).empty()) {
        throw std::runtime_error("libKelbrin or one of its exports is missing: " + library.Error());
    }
}

SessionOutcome KelbrinSession::Run(const std::function<void(simruntime::Runtime&)>& arm)
{
    simruntime::Runtime runtime;
    simruntime::FrameLoop frameLoop{runtime};
    simruntime::ReferenceSpaces spaces{runtime};
    simruntime::SceneUnderstanding scene{runtime};
    scene.SetWorld(Room());
    simengine::TraceRecorder trace;
    simengine::FakeMeshSubsystem meshes;
    simengine::EngineRegistry registry;
    registry.Provide<IUnityXRTrace>(trace.Interface());
    registry.Provide<IUnityXRMeshInterface>(meshes.Interface());

    kelbrin.UnityPluginLoad(registry.Interfaces());
    SweepApplication app(kelbrin.GetInterceptedInstanceProcAddr(&simruntime::Runtime::GetInstanceProcAddr));
    const size_t armedAt = runtime.Calls().size();
    arm(runtime);

    app.CreateSession(app.CreateInstance());
    kelbrin.SetInstanceHandle(simruntime::HandleValue(app.instance));
    kelbrin.SetSessionHandle(simruntime::HandleValue(app.session));
    kelbrin.SetSpaceHandle(simruntime::HandleValue(app.space));
    kelbrin.RegisterMeshingLifecycleProvider();
    meshes.Initialize();
    meshes.Start();
    kelbrin.RegisterProviderWithSceneObserver(kScript, 1 | 2);
    size_t meshesAcquired = 0;
    size_t planeVerticesRead = 0;
    for (int frame = 0; frame < 4; ++frame) {
        XrFrameState state{XR_TYPE_FRAME_STATE};
        app.Call<PFN_xrWaitFrame>("xrWaitFrame", app.session, static_cast<const XrFrameWaitInfo*>(nullptr), &state);
        const simengine::MeshInfosResult list = meshes.GetMeshInfos();
        for (const UnityXRMeshInfo& info : list.infos) {
            meshesAcquired += meshes.AcquireAndReleaseMesh(info.meshId).result == kUnitySubsystemErrorCodeSuccess;
        }
        kelbrin.UpdateObservedScene(kScript);
        uint32_t count = 0;
        if (kelbrin.UpdatePlanes() && kelbrin.CountScenePlanes(&count) && count > 0) {
            std::vector<ScenePlane> planes(count);
            kelbrin.FetchScenePlanes(count, planes.data());
            for (const ScenePlane& plane : planes) {
                std::vector<XrVector3f> vertices(plane.vertexCount);
                std::vector<uint32_t> indices(plane.indexCount);
                planeVerticesRead += kelbrin.FetchPlaneVertices(&plane, vertices.data(), indices.data()) ? 1 : 0;
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
    kelbrin.UnityPluginUnload();
    outcome.leftAlive = LeftAlive(runtime, app.Handles(), armedAt);
    app.DestroyAll();
    outcome.ranToEnd = true;
    outcome.worked = meshesAcquired > 0 && planeVerticesRead > 0 && app.AllSucceeded();
    return outcome;
}

} // namespace quenra::test

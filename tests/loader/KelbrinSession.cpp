#include "KelbrinSession.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "LoaderApplication.h"
#include "TestUuid.h"

namespace quenra::test {
namespace {
const char* const kScriptProvider = "Quenra-PlaneScript";
// Planes and their meshes.
constexpr int32_t kScriptFeatures = 1 | 2;

// The last byte set too, so an id passed through whole is told from one cut short.
XrUuidMSFT ComponentId(uint8_t first)
{
    XrUuidMSFT uuid = Uuid({first});
    uuid.bytes[15] = 0x5a;
    return uuid;
}

// A square of two triangles, `size` metres wide, around the origin of its component.
simruntime::SimMeshBuffer Square(float size)
{
    simruntime::SimMeshBuffer buffer;
    const float h = size / 2;
    buffer.vertices = {{-h, 0, -h}, {h, 0, -h}, {h, 0, h}, {-h, 0, h}};
    buffer.indices = {0, 1, 2, 0, 2, 3};
    return buffer;
}

simruntime::SimWorld Room()
{
    simruntime::SimWorld world;
    for (uint8_t i = 0; i < KelbrinSession::kMeshCount; ++i) {
        simruntime::SimVisualMesh mesh;
        mesh.id = ComponentId(static_cast<uint8_t>(0x10 + i));
        mesh.pose.position = {static_cast<float>(i), 0, -1};
        mesh.meshBufferId = 100 + i;
        world.meshes.push_back(mesh);
        world.buffers[mesh.meshBufferId] = Square(1.0f + i);
    }
    const XrScenePlaneAlignmentTypeMSFT alignments[KelbrinSession::kPlaneCount] = {
        XR_SCENE_PLANE_ALIGNMENT_TYPE_HORIZONTAL_MSFT, XR_SCENE_PLANE_ALIGNMENT_TYPE_VERTICAL_MSFT};
    for (uint8_t i = 0; i < KelbrinSession::kPlaneCount; ++i) {
        simruntime::SimPlane plane;
        plane.id = ComponentId(static_cast<uint8_t>(0x20 + i));
        plane.alignment = alignments[i];
        plane.size = {2, 3};
        plane.meshBufferId = 200 + i;
        world.planes.push_back(plane);
        world.buffers[plane.meshBufferId] = Square(2);
    }
    return world;
}
} // namespace

KelbrinSession::KelbrinSession(simruntime::SimulatedRuntime& runtime, EngineStandIns& engine)
    : runtime(runtime), library(KELBRIN_LIBRARY_PATH), engine(engine)
{
    if (!library.Loaded()) {
        throw std::runtime_error("libKelbrin did not open: " + library.Error());
    }
    if (!sim::ResolveKelbrinExports(library, exports).empty()) {
        throw std::runtime_error("libKelbrin lacks exports");
    }
    runtime.scene.SetWorld(Room());
    exports.UnityPluginLoad(engine.registry.Interfaces());
    loaded = true;
}

KelbrinSession::~KelbrinSession()
{
    if (loaded) {
        exports.UnityPluginUnload();
    }
}

PFN_xrGetInstanceProcAddr KelbrinSession::Chain(PFN_xrGetInstanceProcAddr next)
{
    return exports.GetInterceptedInstanceProcAddr(next);
}

void KelbrinSession::Connect(const LoaderApplication& app)
{
    exports.SetInstanceHandle(simruntime::HandleValue(app.instance));
    exports.SetSessionHandle(simruntime::HandleValue(app.session));
    exports.SetSpaceHandle(simruntime::HandleValue(app.space));
    if (!exports.RegisterMeshingLifecycleProvider() || engine.meshes.Initialize() != kUnitySubsystemErrorCodeSuccess ||
        engine.meshes.Start() != kUnitySubsystemErrorCodeSuccess) {
        throw std::runtime_error("the meshing subsystem did not start");
    }
    exports.RegisterProviderWithSceneObserver(kScriptProvider, kScriptFeatures);
}

KelbrinSession::Tally KelbrinSession::RunUntilScenes(LoaderApplication& app, size_t scenes, const FrameEnd& endFrame)
{
    Tally tally;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2 * scenes + 4);
    for (int frame = 1; tally.scenes < scenes && std::chrono::steady_clock::now() < deadline; ++frame) {
        const XrFrameState state = app.BeginFrame();
        Update(tally, frame % 10 == 0);
        if (endFrame) {
            endFrame(state);
        } else {
            app.EndFrame(state, {});
        }
        tally.scenes = runtime.runtime.CallCount("xrCreateSceneMSFT");
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // A last read of the planes of the last scene.
    Update(tally, true);
    return tally;
}

void KelbrinSession::Update(Tally& tally, bool readPlanes)
{
    const simengine::MeshInfosResult list = engine.meshes.GetMeshInfos();
    if (list.result == kUnitySubsystemErrorCodeSuccess) {
        tally.meshesListed = std::max(tally.meshesListed, list.infos.size());
        for (const UnityXRMeshInfo& info : list.infos) {
            if (!info.updated) {
                continue;
            }
            const simengine::AcquiredMesh mesh = engine.meshes.AcquireAndReleaseMesh(info.meshId);
            const bool whole = mesh.result == kUnitySubsystemErrorCodeSuccess && mesh.positions.size() == 4 &&
                               mesh.indices.size() == 6 && mesh.guardsIntact;
            ++(whole ? tally.meshesAcquired : tally.acquireFailures);
        }
    }
    engine.meshes.GetUpdatedTransforms();
    if (!readPlanes || !exports.UpdatePlanes()) {
        return;
    }
    ++tally.planeReads;
    uint32_t count = 0;
    if (!exports.CountScenePlanes(&count)) {
        return;
    }
    tally.planesCounted = count;
    std::vector<ScenePlane> planes(count);
    if (!exports.FetchScenePlanes(count, planes.data())) {
        return;
    }
    for (const ScenePlane& plane : planes) {
        std::vector<XrVector3f> vertices(plane.vertexCount);
        std::vector<uint32_t> indices(plane.indexCount);
        if (plane.vertexCount == 4 && exports.FetchPlaneVertices(&plane, vertices.data(), indices.data())) {
            ++tally.planeOutlinesRead;
        }
    }
}

void KelbrinSession::Disconnect()
{
    exports.UnregisterProviderWithSceneObserver(kScriptProvider);
    engine.meshes.Stop();
    engine.meshes.Shutdown();
    exports.UnityPluginUnload();
    loaded = false;
}

} // namespace quenra::test

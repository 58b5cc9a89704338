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
sim::SimMeshBuffer Square(float size)
{
    sim::SimMeshBuffer buffer;
    const float h = size / 2;
    buffer.vertices = {{-h, 0, -h}, {h, 0, -h}, {h, 0, h}, {-h, 0, h}};
    buffer.indices = {0, 1, 2, 0, 2, 3};
    return buffer;
}

sim::SimWorld Room()
{
    sim::SimWorld world;
    for (uint8_t i = 0; i < KelbrinSession::kMeshCount; ++i) {
        sim::SimVisualMesh mesh;
        mesh.id = ComponentId(static_cast<uint8_t>(0x10 + i));
        mesh.pose.position = {static_cast<float>(i), 0, -1};
        mesh.meshBufferId = 100 + i;
        world.meshes.push_back(mesh);
        world.buffers[mesh.meshBufferId] = Square(1.0f + i);
    }
    const XrScenePlaneAlignmentTypeMSFT alignments[KelbrinSession::kPlaneCount] = {
        XR_SCENE_PLANE_ALIGNMENT_TYPE_HORIZONTAL_MSFT, XR_SCENE_PLANE_ALIGNMENT_TYPE_VERTICAL_MSFT};
    for (uint8_t i = 0; i < KelbrinSession::kPlaneCount; ++i) {
        sim::SimPlane plane;
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

KelbrinSession::KelbrinSession(sim::SimulatedRuntime& runtime, EngineStandIns& engine)
    : runtime_(runtime), library_(KELBRIN_LIBRARY_PATH), engine_(engine)
{
    if (!library_.Loaded()) {
        throw std::runtime_error("libKelbrin did not open: " + library_.Error());
    }
    if (!simulator::ResolveKelbrinExports(library_, exports_).empty()) {
        throw std::runtime_error("libKelbrin lacks exports");
    }
    runtime_.scene.SetWorld(Room());
    exports_.UnityPluginLoad(engine_.registry.Interfaces());
    loaded_ = true;
}

KelbrinSession::~KelbrinSession()
{
    if (loaded_) {
        exports_.UnityPluginUnload();
    }
}

PFN_xrGetInstanceProcAddr KelbrinSession::Chain(PFN_xrGetInstanceProcAddr next)
{
    return exports_.GetInterceptedInstanceProcAddr(next);
}

void KelbrinSession::Connect(const LoaderApplication& app)
{
    exports_.SetInstanceHandle(sim::HandleValue(app.instance));
    exports_.SetSessionHandle(sim::HandleValue(app.session));
    exports_.SetSpaceHandle(sim::HandleValue(app.space));
    if (!exports_.RegisterMeshingLifecycleProvider() ||
        engine_.meshes.Initialize() != kUnitySubsystemErrorCodeSuccess ||
        engine_.meshes.Start() != kUnitySubsystemErrorCodeSuccess) {
        throw std::runtime_error("the meshing subsystem did not start");
    }
    exports_.RegisterProviderWithSceneObserver(kScriptProvider, kScriptFeatures);
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
        tally.scenes = runtime_.runtime.CallCount("xrCreateSceneMSFT");
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // A last read of the planes of the last scene.
    Update(tally, true);
    return tally;
}

void KelbrinSession::Update(Tally& tally, bool readPlanes)
{
    const engine::MeshInfosResult list = engine_.meshes.GetMeshInfos();
    if (list.result == kUnitySubsystemErrorCodeSuccess) {
        tally.meshesListed = std::max(tally.meshesListed, list.infos.size());
        for (const UnityXRMeshInfo& info : list.infos) {
            if (!info.updated) {
                continue;
            }
            const engine::AcquiredMesh mesh = engine_.meshes.AcquireAndReleaseMesh(info.meshId);
            const bool whole = mesh.result == kUnitySubsystemErrorCodeSuccess && mesh.positions.size() == 4 &&
                               mesh.indices.size() == 6 && mesh.guardsIntact;
            ++(whole ? tally.meshesAcquired : tally.acquireFailures);
        }
    }
    engine_.meshes.GetUpdatedTransforms();
    if (!readPlanes || !exports_.UpdatePlanes()) {
        return;
    }
    ++tally.planeReads;
    uint32_t count = 0;
    if (!exports_.CountScenePlanes(&count)) {
        return;
    }
    tally.planesCounted = count;
    std::vector<ScenePlane> planes(count);
    if (!exports_.FetchScenePlanes(count, planes.data())) {
        return;
    }
    for (const ScenePlane& plane : planes) {
        std::vector<XrVector3f> vertices(plane.vertexCount);
        std::vector<uint32_t> indices(plane.indexCount);
        if (plane.vertexCount == 4 && exports_.FetchPlaneVertices(&plane, vertices.data(), indices.data())) {
            ++tally.planeOutlinesRead;
        }
    }
}

void KelbrinSession::Disconnect()
{
    exports_.UnregisterProviderWithSceneObserver(kScriptProvider);
    engine_.meshes.Stop();
    engine_.meshes.Shutdown();
    exports_.UnityPluginUnload();
    loaded_ = false;
}

} // namespace quenra::test

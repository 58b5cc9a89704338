#include "KelbrinScripts.h"

#include <algorithm>
#include <stdexcept>
#include <utility>
#include <vector>

#include "EngineCoordinates.h"
#include "PoseMath.h"
#include "Simulation.h"
#include "SyntheticRoom.h"

namespace quenra::sim {
namespace {

// A plane's rectangle, from its pose and size in OpenXR's convention, in engine coordinates.
PlaneOutline Outline(const ScenePlane& plane)
{
    PlaneOutline outline{plane.alignment, {}};
    const float w = plane.size.width / 2;
    const float h = plane.size.height / 2;
    for (const XrVector3f corner :
         {XrVector3f{-w, -h, 0}, XrVector3f{w, -h, 0}, XrVector3f{w, h, 0}, XrVector3f{-w, h, 0}}) {
        outline.corners.push_back(simengine::ToEngine(simruntime::Transform(plane.pose, corner)));
    }
    return outline;
}

void CountAlignment(PlaneRead& read, XrScenePlaneAlignmentTypeMSFT alignment)
{
    switch (alignment) {
    case XR_SCENE_PLANE_ALIGNMENT_TYPE_HORIZONTAL_MSFT:
        ++read.horizontal;
        break;
    case XR_SCENE_PLANE_ALIGNMENT_TYPE_VERTICAL_MSFT:
        ++read.vertical;
        break;
    default:
        ++read.nonOrthogonal;
        break;
    }
}

} // namespace

KelbrinScripts::KelbrinScripts(const harness::KelbrinExportTable& kelbrin, harness::Engine& engine,
                               simruntime::Runtime& runtime, simruntime::SceneUnderstanding& scene,
                               const SimOptions& options, SimReport& report, std::ostream& out)
    : session(kelbrin, engine), engine(engine), scene(scene), sceneCounter(runtime), options(options), report(report),
      out(out)
{
}

void KelbrinScripts::Start(XrInstance instance, XrSession session, XrSpace space)
{
    const harness::KelbrinExportTable& kelbrin = this->session.Exports();
    kelbrin.SetInstanceHandle(simruntime::HandleValue(instance));
    kelbrin.SetSessionHandle(simruntime::HandleValue(session));
    kelbrin.SetSpaceHandle(simruntime::HandleValue(space));
    simengine::FakeMeshSubsystem& meshes = engine.meshes;
    if (!kelbrin.RegisterMeshingLifecycleProvider() || meshes.LifecycleRegistrations().empty()) {
        throw std::runtime_error("the plug-in registered no meshing lifecycle provider");
    }
    if (meshes.Initialize() != kUnitySubsystemErrorCodeSuccess) {
        throw std::runtime_error("the meshing subsystem did not initialise");
    }
    if (meshes.MeshProviderHandles().empty() || meshes.MeshProviderHandles().back() != meshes.Handle()) {
        throw std::runtime_error("the plug-in registered no mesh provider with the meshing subsystem");
    }
    meshes.Start();
    this->session.RegisterScript();
    kelbrin.SetPlanesFilterFlags(options.planeFilter);
}

void KelbrinScripts::Frame(uint32_t frame)
{
    UpdateMeshing(frame);
    // The script asks for updates too; while the meshing subsystem drives, this changes nothing.
    session.StepScript();
    TallyRuntime(frame);
    if (frame % options.planeInterval == 0) {
        ReadPlanes();
    }
}

void KelbrinScripts::Stop()
{
    session.UnregisterScript();
    session.StopMeshing();
    session.Unload();
}

// The engine's meshing subsystem update: list, take every updated mesh, then the poses.
void KelbrinScripts::UpdateMeshing(uint32_t frame)
{
    const simengine::MeshInfosResult list = engine.meshes.GetMeshInfos();
    TallyRuntime(frame);
    SceneStats& scene = report.scenes.back();
    if (list.result == kUnitySubsystemErrorCodeSuccess) {
        ++report.meshInfoFrames;
        scene.meshesListed = std::max(scene.meshesListed, list.infos.size());
        for (const UnityXRMeshInfo& info : list.infos) {
            if (info.updated) {
                ++scene.meshesUpdated;
                Acquire(scene, info.meshId);
            }
        }
    }
    const simengine::TransformsResult transforms = engine.meshes.GetUpdatedTransforms();
    if (transforms.result == kUnitySubsystemErrorCodeSuccess && transforms.set) {
        scene.transforms += transforms.transforms.size();
        room.Place(transforms.transforms);
    }
}

void KelbrinScripts::Acquire(SceneStats& scene, const UnityXRMeshId& id)
{
    const simengine::AcquiredMesh mesh = engine.meshes.AcquireAndReleaseMesh(id);
    // This engine keeps what a meshing plug-in delivers: 32-bit triangle lists.
    if (mesh.request && (mesh.request->indexFormat != kUnityXRIndexFormat32Bit ||
                         mesh.request->topology != kUnityXRMeshTopologyTriangles)) {
        out << "  [engine] mesh refused: only 32-bit triangle lists are kept\n";
        ++scene.acquireFailures;
        return;
    }
    if (mesh.result != kUnitySubsystemErrorCodeSuccess) {
        ++scene.acquireFailures;
        return;
    }
    ++scene.meshesAcquired;
    room.Keep(id, mesh);
    scene.vertices += mesh.positions.size();
    scene.triangles += mesh.indices.size() / 3;
}

// The script's sequence: update, count, fetch the records, then each plane's mesh.
void KelbrinScripts::ReadPlanes()
{
    if (!session.Exports().UpdatePlanes()) {
        return;
    }
    uint32_t count = 0;
    std::vector<ScenePlane> planes;
    if (session.Exports().CountScenePlanes(&count)) {
        planes.resize(count);
    }
    if (planes.size() != count || !session.Exports().FetchScenePlanes(count, planes.data())) {
        ++report.planeReadFailures;
        return;
    }
    PlaneRead read;
    std::vector<PlaneOutline> outlines;
    for (const ScenePlane& plane : planes) {
        // A record left empty stands for a plane whose mesh could not be read.
        if (plane.id.idPart[0] == 0 && plane.id.idPart[1] == 0) {
            ++read.meshFailures;
            continue;
        }
        CountAlignment(read, plane.alignment);
        outlines.push_back(Outline(plane));
        std::vector<XrVector3f> vertices(plane.vertexCount);
        std::vector<uint32_t> indices(plane.indexCount);
        if (session.Exports().FetchPlaneVertices(&plane, vertices.data(), indices.data())) {
            read.vertices += vertices.size();
            read.triangles += indices.size() / 3;
        } else {
            ++read.meshFailures;
        }
    }
    ++report.planeReads;
    room.KeepPlanes(std::move(outlines));
    report.scenes.back().planesRead = true;
    report.scenes.back().planes = read;
}

// Takes in the computes and scenes since the last tally, and moves the room on to its
// next scan once a compute has taken a snapshot of it.
void KelbrinScripts::TallyRuntime(uint32_t frame)
{
    const size_t startedBefore = report.computesStarted;
    report.computesStarted = sceneCounter.ComputesStarted();
    report.computesCompleted = sceneCounter.ComputesCompleted();
    while (report.scenesCreated < sceneCounter.ScenesCreated()) {
        ++report.scenesCreated;
        SceneStats scene;
        scene.number = static_cast<uint32_t>(report.scenesCreated);
        scene.firstFrame = frame;
        report.scenes.push_back(scene);
    }
    if (report.computesStarted != startedBefore) {
        scene.SetWorld(SyntheticRoom::Scan(static_cast<uint32_t>(report.computesStarted)));
        scene.QueueComputeOutcome({options.computePolls, XR_SCENE_COMPUTE_STATE_COMPLETED_MSFT});
    }
}

} // namespace quenra::sim

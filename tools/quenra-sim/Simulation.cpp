#include "Simulation.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <vector>

#include "EngineRegistry.h"
#include "FakeMeshSubsystem.h"
#include "FrameLoop.h"
#include "SceneCounter.h"
#include "SceneUnderstanding.h"
#include "SimRuntime.h"
#include "SyntheticRoom.h"
#include "TraceRecorder.h"

namespace quenra::simulator {
namespace {

using sim::HandleKind;
using sim::HandleValue;

// The script that reads planes registers as a provider of its own: planes and their meshes.
const char* const kScriptName = "Quenra-PlaneScript";
constexpr int32_t kScriptFeatures = 1 | 2;

void Check(XrResult result, const char* call)
{
    if (result != XR_SUCCESS) {
        throw std::runtime_error(std::string(call) + " failed: " + std::to_string(result));
    }
}

// The functions the application uses, found through the lookup it was handed.
struct AppFunctions {
    PFN_xrCreateInstance createInstance;
    PFN_xrGetSystem getSystem;
    PFN_xrCreateSession createSession;
    PFN_xrCreateReferenceSpace createReferenceSpace;
    PFN_xrWaitFrame waitFrame;
    PFN_xrBeginFrame beginFrame;
    PFN_xrEndFrame endFrame;
    PFN_xrDestroySpace destroySpace;
    PFN_xrDestroySession destroySession;
    PFN_xrDestroyInstance destroyInstance;
};

template <typename Function>
void Lookup(PFN_xrGetInstanceProcAddr lookup, XrInstance instance, const char* name, Function& function)
{
    PFN_xrVoidFunction found = nullptr;
    Check(lookup(instance, name, &found), name);
    function = reinterpret_cast<Function>(found);
}

class Simulation {
public:
    Simulation(const SimOptions& options, const KelbrinExports& plugin, std::ostream& out)
        : options_(options), plugin_(plugin), out_(out), connection_(options.connection)
    {
        // A run may be long: keep counts, not records.
        runtime_.SetRecording(false);
        trace_.SetKeeping(false);
        trace_.EchoTo(out, options.traceLevel);
        registry_.Provide<IUnityXRTrace>(trace_.Interface());
        registry_.Provide<IUnityXRMeshInterface>(meshes_.Interface());
        meshes_.SetClearedMeshInfos(true);
        report_.library = options.library;
        report_.frames = options.frames;
        report_.fps = options.fps;
        report_.planeFilter = options.planeFilter;
        report_.scenes.emplace_back();
        frameLoop_.SetFramePeriod(static_cast<XrDuration>(1e9 / options.fps));
        sceneUnderstanding_.SetWorld(SyntheticRoom::Scan(0));
        sceneUnderstanding_.QueueComputeOutcome({options.computePolls, XR_SCENE_COMPUTE_STATE_COMPLETED_MSFT});
    }

    ~Simulation()
    {
        if (loaded_) {
            plugin_.UnityPluginUnload();
        }
    }
    Simulation(const Simulation&) = delete;
    Simulation& operator=(const Simulation&) = delete;

    SimReport Run()
    {
        plugin_.UnityPluginLoad(registry_.Interfaces());
        loaded_ = true;
        Connect();
        StartSubsystem();
        plugin_.RegisterProviderWithSceneObserver(kScriptName, kScriptFeatures);
        plugin_.SetPlanesFilterFlags(options_.planeFilter);

        const auto start = std::chrono::steady_clock::now();
        const std::chrono::duration<double> period(1.0 / options_.fps);
        for (uint32_t frame = 1; frame <= options_.frames; ++frame) {
            std::this_thread::sleep_until(start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                      period * static_cast<double>(frame - 1)));
            Frame(frame);
        }
        report_.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

        Disconnect();
        report_.errors = trace_.CountAtLevel(kXRTraceLevelError);
        report_.warnings = trace_.CountAtLevel(kXRTraceLevelWarning);
        report_.notices = trace_.CountAtLevel(kXRTraceLevelNotice);
        report_.validation = connection_.Validation();
        return report_;
    }

private:
    // What a script does at start-up: chain the lookup before the instance exists, then
    // hand over instance, session and base space once they do.
    void Connect()
    {
        const PFN_xrGetInstanceProcAddr lookup =
            plugin_.GetInterceptedInstanceProcAddr(connection_.Lookup());
        if (lookup == nullptr) {
            throw std::runtime_error("GetInterceptedInstanceProcAddr gave no lookup function");
        }
        Lookup(lookup, XR_NULL_HANDLE, "xrCreateInstance", xr_.createInstance);
        XrInstanceCreateInfo instanceInfo{XR_TYPE_INSTANCE_CREATE_INFO};
        std::strncpy(instanceInfo.applicationInfo.applicationName, "quenra-sim", XR_MAX_APPLICATION_NAME_SIZE - 1);
        instanceInfo.applicationInfo.apiVersion = XR_CURRENT_API_VERSION;
        // Headless: the simulated application has no graphics device.
        const char* const extensions[] = {XR_MSFT_SCENE_UNDERSTANDING_EXTENSION_NAME, XR_MND_HEADLESS_EXTENSION_NAME};
        instanceInfo.enabledExtensionCount = 2;
        instanceInfo.enabledExtensionNames = extensions;
        std::vector<const char*> layers;
        for (const std::string& layer : connection_.ApiLayers()) {
            layers.push_back(layer.c_str());
        }
        instanceInfo.enabledApiLayerCount = static_cast<uint32_t>(layers.size());
        instanceInfo.enabledApiLayerNames = layers.data();
        Check(xr_.createInstance(&instanceInfo, &instance_), "xrCreateInstance");
        Lookup(lookup, instance_, "xrGetSystem", xr_.getSystem);
        Lookup(lookup, instance_, "xrCreateSession", xr_.createSession);
        Lookup(lookup, instance_, "xrCreateReferenceSpace", xr_.createReferenceSpace);
        Lookup(lookup, instance_, "xrWaitFrame", xr_.waitFrame);
        Lookup(lookup, instance_, "xrBeginFrame", xr_.beginFrame);
        Lookup(lookup, instance_, "xrEndFrame", xr_.endFrame);
        Lookup(lookup, instance_, "xrDestroySpace", xr_.destroySpace);
        Lookup(lookup, instance_, "xrDestroySession", xr_.destroySession);
        Lookup(lookup, instance_, "xrDestroyInstance", xr_.destroyInstance);

        XrSystemGetInfo systemInfo{XR_TYPE_SYSTEM_GET_INFO};
        systemInfo.formFactor = XR_FORM_FACTOR_HEAD_MOUNTED_DISPLAY;
        XrSystemId system = XR_NULL_SYSTEM_ID;
        Check(xr_.getSystem(instance_, &systemInfo, &system), "xrGetSystem");
        XrSessionCreateInfo sessionInfo{XR_TYPE_SESSION_CREATE_INFO};
        sessionInfo.systemId = system;
        Check(xr_.createSession(instance_, &sessionInfo, &session_), "xrCreateSession");
        XrReferenceSpaceCreateInfo spaceInfo{XR_TYPE_REFERENCE_SPACE_CREATE_INFO};
        spaceInfo.referenceSpaceType = XR_REFERENCE_SPACE_TYPE_STAGE;
        spaceInfo.poseInReferenceSpace = {{0, 0, 0, 1}, {0, 0, 0}};
        Check(xr_.createReferenceSpace(session_, &spaceInfo, &space_), "xrCreateReferenceSpace");

        plugin_.SetInstanceHandle(HandleValue(instance_));
        plugin_.SetSessionHandle(HandleValue(session_));
        plugin_.SetSpaceHandle(HandleValue(space_));
    }

    void StartSubsystem()
    {
        if (!plugin_.RegisterMeshingLifecycleProvider() || meshes_.LifecycleRegistrations().empty()) {
            throw std::runtime_error("the plug-in registered no meshing lifecycle provider");
        }
        if (meshes_.Initialize() != kUnitySubsystemErrorCodeSuccess) {
            throw std::runtime_error("the meshing subsystem did not initialise");
        }
        if (meshes_.MeshProviderHandles().empty() || meshes_.MeshProviderHandles().back() != meshes_.Handle()) {
            throw std::runtime_error("the plug-in registered no mesh provider with the meshing subsystem");
        }
        meshes_.Start();
    }

    void Frame(uint32_t frame)
    {
        XrFrameWaitInfo waitInfo{XR_TYPE_FRAME_WAIT_INFO};
        XrFrameState state{XR_TYPE_FRAME_STATE};
        Check(xr_.waitFrame(session_, &waitInfo, &state), "xrWaitFrame");
        XrFrameBeginInfo beginInfo{XR_TYPE_FRAME_BEGIN_INFO};
        Check(xr_.beginFrame(session_, &beginInfo), "xrBeginFrame");

        UpdateMeshing(frame);
        // The script asks for updates too; while the meshing subsystem drives, this changes nothing.
        plugin_.UpdateObservedScene(kScriptName);
        TallyRuntime(frame);
        if (frame % options_.planeInterval == 0) {
            ReadPlanes();
        }

        XrFrameEndInfo endInfo{XR_TYPE_FRAME_END_INFO};
        endInfo.displayTime = state.predictedDisplayTime;
        endInfo.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
        Check(xr_.endFrame(session_, &endInfo), "xrEndFrame");
    }

    // The engine's meshing subsystem update: list, take every updated mesh, then the poses.
    void UpdateMeshing(uint32_t frame)
    {
        const engine::MeshInfosResult list = meshes_.GetMeshInfos();
        TallyRuntime(frame);
        SceneStats& scene = report_.scenes.back();
        if (list.result == kUnitySubsystemErrorCodeSuccess) {
            ++report_.meshInfoFrames;
            scene.meshesListed = std::max(scene.meshesListed, list.infos.size());
            for (const UnityXRMeshInfo& info : list.infos) {
                if (info.updated) {
                    ++scene.meshesUpdated;
                    Acquire(scene, info.meshId);
                }
            }
        }
        const engine::TransformsResult transforms = meshes_.GetUpdatedTransforms();
        if (transforms.result == kUnitySubsystemErrorCodeSuccess && transforms.set) {
            scene.transforms += transforms.transforms.size();
        }
    }

    void Acquire(SceneStats& scene, const UnityXRMeshId& id)
    {
        const engine::AcquiredMesh mesh = meshes_.AcquireAndReleaseMesh(id);
        // This engine keeps what a meshing plug-in delivers: 32-bit triangle lists.
        if (mesh.request && (mesh.request->indexFormat != kUnityXRIndexFormat32Bit ||
                             mesh.request->topology != kUnityXRMeshTopologyTriangles)) {
            out_ << "  [engine] mesh refused: only 32-bit triangle lists are kept\n";
            ++scene.acquireFailures;
            return;
        }
        if (mesh.result != kUnitySubsystemErrorCodeSuccess) {
            ++scene.acquireFailures;
            return;
        }
        ++scene.meshesAcquired;
        scene.vertices += mesh.positions.size();
        scene.triangles += mesh.indices.size() / 3;
    }

    // The script's sequence: update, count, fetch the records, then each plane's mesh.
    void ReadPlanes()
    {
        if (!plugin_.UpdatePlanes()) {
            return;
        }
        uint32_t count = 0;
        std::vector<ScenePlane> planes;
        if (plugin_.CountScenePlanes(&count)) {
            planes.resize(count);
        }
        if (planes.size() != count || !plugin_.FetchScenePlanes(count, planes.data())) {
            ++report_.planeReadFailures;
            return;
        }
        PlaneRead read;
        for (const ScenePlane& plane : planes) {
            // A record left empty stands for a plane whose mesh could not be read.
            if (plane.id.idPart[0] == 0 && plane.id.idPart[1] == 0) {
                ++read.meshFailures;
                continue;
            }
            CountAlignment(read, plane.alignment);
            std::vector<XrVector3f> vertices(plane.vertexCount);
            std::vector<uint32_t> indices(plane.indexCount);
            if (plugin_.FetchPlaneVertices(&plane, vertices.data(), indices.data())) {
                read.vertices += vertices.size();
                read.triangles += indices.size() / 3;
            } else {
                ++read.meshFailures;
            }
        }
        ++report_.planeReads;
        report_.scenes.back().planesRead = true;
        report_.scenes.back().planes = read;
    }

    static void CountAlignment(PlaneRead& read, XrScenePlaneAlignmentTypeMSFT alignment)
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

    // Takes in the computes and scenes since the last tally, and moves the room on to its
    // next scan once a compute has taken a snapshot of it.
    void TallyRuntime(uint32_t frame)
    {
        const size_t startedBefore = report_.computesStarted;
        report_.computesStarted = sceneCounter_.ComputesStarted();
        report_.computesCompleted = sceneCounter_.ComputesCompleted();
        while (report_.scenesCreated < sceneCounter_.ScenesCreated()) {
            ++report_.scenesCreated;
            SceneStats scene;
            scene.number = static_cast<uint32_t>(report_.scenesCreated);
            scene.firstFrame = frame;
            report_.scenes.push_back(scene);
        }
        if (report_.computesStarted != startedBefore) {
            sceneUnderstanding_.SetWorld(SyntheticRoom::Scan(static_cast<uint32_t>(report_.computesStarted)));
            sceneUnderstanding_.QueueComputeOutcome({options_.computePolls, XR_SCENE_COMPUTE_STATE_COMPLETED_MSFT});
        }
    }

    void Disconnect()
    {
        // The script goes first; the subsystem's stop then removes the last provider, which
        // releases the runtime's scene objects, and its shut-down finds nothing left to remove.
        plugin_.UnregisterProviderWithSceneObserver(kScriptName);
        meshes_.Stop();
        meshes_.Shutdown();
        plugin_.UnityPluginUnload();
        loaded_ = false;
        report_.sceneObjectsLeft =
            runtime_.LiveHandles(HandleKind::SceneObserver).size() + runtime_.LiveHandles(HandleKind::Scene).size();
        // The application's own objects, through the runtime functions it was handed.
        Check(xr_.destroySpace(space_), "xrDestroySpace");
        Check(xr_.destroySession(session_), "xrDestroySession");
        Check(xr_.destroyInstance(instance_), "xrDestroyInstance");
    }

    const SimOptions& options_;
    const KelbrinExports& plugin_;
    std::ostream& out_;
    RuntimeConnection connection_;
    sim::Runtime& runtime_{connection_.Runtime().runtime};
    sim::FrameLoop& frameLoop_{connection_.Runtime().frameLoop};
    sim::SceneUnderstanding& sceneUnderstanding_{connection_.Runtime().scene};
    SceneCounter sceneCounter_{runtime_};
    engine::TraceRecorder trace_;
    engine::FakeMeshSubsystem meshes_;
    engine::EngineRegistry registry_;
    bool loaded_ = false;
    AppFunctions xr_{};
    XrInstance instance_ = XR_NULL_HANDLE;
    XrSession session_ = XR_NULL_HANDLE;
    XrSpace space_ = XR_NULL_HANDLE;
    SimReport report_;
};

} // namespace

SimReport RunSimulation(const SimOptions& options, const KelbrinExports& plugin, std::ostream& out)
{
    Simulation simulation(options, plugin, out);
    return simulation.Run();
}

} // namespace quenra::simulator

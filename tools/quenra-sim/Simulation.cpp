#include "Simulation.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <vector>

#include "Compositor.h"
#include "CpuSwapchainImages.h"
#include "DeliveredRoom.h"
#include "EngineCoordinates.h"
#include "EngineRegistry.h"
#include "FakeGraphics.h"
#include "FakeMeshSubsystem.h"
#include "FrameLoop.h"
#include "KelbrinExportTable.h"
#include "LayerScript.h"
#include "Png.h"
#include "PoseMath.h"
#include "Runtime.h"
#include "SceneCounter.h"
#include "SceneUnderstanding.h"
#include "SkelderExportTable.h"
#include "Swapchains.h"
#include "SyntheticRoom.h"
#include "TraceRecorder.h"
#if QUENRA_SIM_CAMERA
#include "CameraRig.h"
#endif

namespace quenra::sim {
namespace {

using simruntime::HandleKind;
using simruntime::HandleValue;

// The script that reads planes registers as a provider of its own: planes and their meshes.
const char* const kScriptName = "Quenra-PlaneScript";
constexpr int32_t kScriptFeatures = 1 | 2;

// The application's view: one picture size for its projection layer and the composed frames.
constexpr uint32_t kViewWidth = 480;
constexpr uint32_t kViewHeight = 360;
constexpr float kHalfWidthAngle = 0.87f;

// The engine camera: standing near the back wall, looking ahead at the table and the front wall,
// a little to the left and up, so that the open top of the room (no ceiling is scanned) shows.
EngineCamera ViewCamera()
{
    const float halfHeight = std::atan(std::tan(kHalfWidthAngle) * kViewHeight / kViewWidth);
    const XrQuaternionf yaw = simruntime::AxisAngle({0, 1, 0}, -0.15f);
    const XrQuaternionf pitch = simruntime::AxisAngle({1, 0, 0}, -0.2f);
    return {{0.3f, 1.55f, -1.4f},
            simruntime::operator*(yaw, pitch),
            {-kHalfWidthAngle, kHalfWidthAngle, halfHeight, -halfHeight}};
}

// Skelder's callbacks are plain functions: they count into these.
std::atomic<uint32_t> frameStateCallbacks{0};
std::atomic<uint32_t> swapchainCallbacks{0};
void CountFrameState(XrFrameState*)
{
    ++frameStateCallbacks;
}
void CountSwapchain(uint64_t)
{
    ++swapchainCallbacks;
}

enum class TraceSource { Kelbrin, Skelder, Wendrath };

// The engine has one trace; each plug-in's messages are told apart by their form: libWendrath
// prefixes "Wendrath: ", Skelder writes "Skelder::" or a layer class's name with "::", or one of
// its frame-loop sentences ("Attempt..."); libKelbrin writes the rest.
TraceSource SourceOf(const std::string& text)
{
    if (text.rfind("Wendrath: ", 0) == 0) {
        return TraceSource::Wendrath;
    }
    const size_t scope = text.find("::");
    if (text.rfind("Skelder::", 0) == 0 || text.rfind("Attempt", 0) == 0 ||
        (scope != std::string::npos && text.substr(0, scope).find("Composition") != std::string::npos)) {
        return TraceSource::Skelder;
    }
    return TraceSource::Kelbrin;
}

TraceCounts Count(const simengine::TraceRecorder& trace, TraceSource source)
{
    TraceCounts counts;
    for (const simengine::TraceMessage& message : trace.Messages()) {
        if (SourceOf(message.text) != source) {
            continue;
        }
        counts.errors += message.level == kXRTraceLevelError ? 1 : 0;
        counts.warnings += message.level == kXRTraceLevelWarning ? 1 : 0;
        counts.notices += message.level == kXRTraceLevelNotice ? 1 : 0;
    }
    return counts;
}

void Check(XrResult result, const char* call)
{
    if (result != XR_SUCCESS) {
        throw std::runtime_error(std::string(call) + " failed: " + std::to_string(result));
    }
}

// The functions the application uses, found through the lookup it was handed.
struct AppFunctions {
    PFN_xrCreateInstance createInstance;
    PFN_xrCreateSwapchain createSwapchain;
    PFN_xrEnumerateSwapchainImages enumerateSwapchainImages;
    PFN_xrAcquireSwapchainImage acquireSwapchainImage;
    PFN_xrWaitSwapchainImage waitSwapchainImage;
    PFN_xrReleaseSwapchainImage releaseSwapchainImage;
    PFN_xrDestroySwapchain destroySwapchain;
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
    Simulation(const SimOptions& options, std::ostream& out)
        : options(options), out(out), connection(options.connection)
    {
        // A run may be long: keep counts, not records. The trace keeps its messages (a few a second at
        // most), so that the report can count them per plug-in.
        runtime.SetRecording(false);
        // Skelder warns in every frame its limit cuts, which the run provokes on purpose: the report
        // counts those warnings rather than showing each.
        trace.EchoTo(out, options.skelder ? std::min(options.traceLevel, 0) : options.traceLevel);
        registry.Provide<IUnityXRTrace>(trace.Interface());
        registry.Provide<IUnityXRMeshInterface>(meshes.Interface());
        registry.Provide<IUnityGraphics>(graphics.Interface());
        meshes.SetClearedMeshInfos(true);
        if (options.kelbrin) {
            kelbrin.emplace("libKelbrin", options.kelbrinLibrary);
        }
        if (options.skelder) {
            skelder.emplace("Skelder", options.skelderLibrary);
            layers = std::make_unique<LayerScript>(skelder->Exports(), images);
        }
#if QUENRA_SIM_CAMERA
        if (options.wendrath) {
            wendrath.emplace("libWendrath", options.wendrathLibrary);
            camera = std::make_unique<CameraRig>(wendrath->Exports(), registry, graphics);
        }
#else
        if (options.wendrath) {
            throw std::runtime_error("this build has no camera plug-in (libWendrath) to simulate");
        }
#endif
        report.kelbrin = options.kelbrin;
        report.skelder = options.skelder;
        report.wendrath = options.wendrath;
        report.library = options.kelbrinLibrary;
        report.skelderStats.library = options.skelderLibrary;
        report.wendrathStats.library = options.wendrathLibrary;
        report.frames = options.frames;
        report.fps = options.fps;
        report.planeFilter = options.planeFilter;
        report.scenes.emplace_back();
        frameLoop.SetFramePeriod(static_cast<XrDuration>(1e9 / options.fps));
        frameLoop.SetFrameObserver([this](const XrFrameEndInfo& info) { ObserveFrame(info); });
        sceneUnderstanding.SetWorld(SyntheticRoom::Scan(0));
        sceneUnderstanding.QueueComputeOutcome({options.computePolls, XR_SCENE_COMPUTE_STATE_COMPLETED_MSFT});
        if (!options.pictureDirectory.empty()) {
            for (double at : {0.2, 0.45, 0.75}) {
                pictureFrames.push_back(std::max<uint32_t>(1, static_cast<uint32_t>(std::lround(at * options.frames))));
            }
        }
    }

    ~Simulation()
    {
        frameLoop.SetFrameObserver(nullptr);
#if QUENRA_SIM_CAMERA
        if (camera) {
            camera->Stop();
        }
#endif
        if (skelderLoaded) {
            skelder->Exports().UnityPluginUnload();
        }
        if (loaded) {
            kelbrin->Exports().UnityPluginUnload();
        }
    }
    Simulation(const Simulation&) = delete;
    Simulation& operator=(const Simulation&) = delete;

    SimReport Run()
    {
        if (kelbrin) {
            Kelbrin().UnityPluginLoad(registry.Interfaces());
            loaded = true;
        }
        if (skelder) {
            const harness::SkelderExportTable& exports = skelder->Exports();
            exports.UnityPluginLoad(registry.Interfaces());
            skelderLoaded = true;
            exports.SetFrameStateCallback(&CountFrameState);
            exports.SetCreateSwapchainCallback(&CountSwapchain);
        }
#if QUENRA_SIM_CAMERA
        if (camera) {
            camera->Start();
        }
#endif
        Connect();
        if (kelbrin) {
            StartSubsystem();
            Kelbrin().RegisterProviderWithSceneObserver(kScriptName, kScriptFeatures);
            Kelbrin().SetPlanesFilterFlags(options.planeFilter);
        }
        if (layers) {
            layers->Start(HandleValue(instance), HandleValue(session));
        }

        const auto start = std::chrono::steady_clock::now();
        const std::chrono::duration<double> period(1.0 / options.fps);
        for (uint32_t frame = 1; frame <= options.frames; ++frame) {
            std::this_thread::sleep_until(start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                      period * static_cast<double>(frame - 1)));
            Frame(frame);
            if (options.progress && (frame % 15 == 0 || frame == options.frames)) {
                ShowProgress(frame);
            }
        }
        if (options.progress) {
            out << "\r\033[K" << std::flush;
        }
        report.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

        Disconnect();
        const TraceCounts kelbrinCounts = Count(trace, TraceSource::Kelbrin);
        report.errors = kelbrinCounts.errors;
        report.warnings = kelbrinCounts.warnings;
        report.notices = kelbrinCounts.notices;
        WritePictures();
        report.validation = connection.Validation();
        return report;
    }

private:
    // What the scripts do at start-up: chain the lookup before the instance exists (the
    // application's calls then pass Skelder, then libKelbrin, then reach the runtime), and hand
    // over instance, session and base space once they do.
    void Connect()
    {
        PFN_xrGetInstanceProcAddr lookup = connection.Lookup();
        if (kelbrin) {
            lookup = Kelbrin().GetInterceptedInstanceProcAddr(lookup);
        }
        if (skelder && lookup != nullptr) {
            lookup = skelder->Exports().GetInterceptedInstanceProcAddr(lookup);
        }
        if (lookup == nullptr) {
            throw std::runtime_error("GetInterceptedInstanceProcAddr gave no lookup function");
        }
        Lookup(lookup, XR_NULL_HANDLE, "xrCreateInstance", xr.createInstance);
        XrInstanceCreateInfo instanceInfo{XR_TYPE_INSTANCE_CREATE_INFO};
        std::strncpy(instanceInfo.applicationInfo.applicationName, "quenra-sim", XR_MAX_APPLICATION_NAME_SIZE - 1);
        instanceInfo.applicationInfo.apiVersion = XR_CURRENT_API_VERSION;
        // Headless: the simulated application has no graphics device. Skelder's layer kinds beyond the
        // quad are extensions the application enables for it.
        std::vector<const char*> extensions{XR_MSFT_SCENE_UNDERSTANDING_EXTENSION_NAME, XR_MND_HEADLESS_EXTENSION_NAME};
        if (skelder) {
            extensions.insert(extensions.end(), {XR_KHR_COMPOSITION_LAYER_CYLINDER_EXTENSION_NAME,
                                                 XR_KHR_COMPOSITION_LAYER_EQUIRECT2_EXTENSION_NAME,
                                                 XR_FB_COMPOSITION_LAYER_ALPHA_BLEND_EXTENSION_NAME});
        }
        instanceInfo.enabledExtensionCount = static_cast<uint32_t>(extensions.size());
        instanceInfo.enabledExtensionNames = extensions.data();
        std::vector<const char*> layerNames;
        for (const std::string& layer : connection.ApiLayers()) {
            layerNames.push_back(layer.c_str());
        }
        instanceInfo.enabledApiLayerCount = static_cast<uint32_t>(layerNames.size());
        instanceInfo.enabledApiLayerNames = layerNames.data();
        Check(xr.createInstance(&instanceInfo, &instance), "xrCreateInstance");
        Lookup(lookup, instance, "xrGetSystem", xr.getSystem);
        Lookup(lookup, instance, "xrCreateSession", xr.createSession);
        Lookup(lookup, instance, "xrCreateReferenceSpace", xr.createReferenceSpace);
        Lookup(lookup, instance, "xrWaitFrame", xr.waitFrame);
        Lookup(lookup, instance, "xrBeginFrame", xr.beginFrame);
        Lookup(lookup, instance, "xrEndFrame", xr.endFrame);
        Lookup(lookup, instance, "xrDestroySpace", xr.destroySpace);
        Lookup(lookup, instance, "xrDestroySession", xr.destroySession);
        Lookup(lookup, instance, "xrDestroyInstance", xr.destroyInstance);
        Lookup(lookup, instance, "xrCreateSwapchain", xr.createSwapchain);
        Lookup(lookup, instance, "xrEnumerateSwapchainImages", xr.enumerateSwapchainImages);
        Lookup(lookup, instance, "xrAcquireSwapchainImage", xr.acquireSwapchainImage);
        Lookup(lookup, instance, "xrWaitSwapchainImage", xr.waitSwapchainImage);
        Lookup(lookup, instance, "xrReleaseSwapchainImage", xr.releaseSwapchainImage);
        Lookup(lookup, instance, "xrDestroySwapchain", xr.destroySwapchain);

        XrSystemGetInfo systemInfo{XR_TYPE_SYSTEM_GET_INFO};
        systemInfo.formFactor = XR_FORM_FACTOR_HEAD_MOUNTED_DISPLAY;
        XrSystemId system = XR_NULL_SYSTEM_ID;
        Check(xr.getSystem(instance, &systemInfo, &system), "xrGetSystem");
        XrSessionCreateInfo sessionInfo{XR_TYPE_SESSION_CREATE_INFO};
        sessionInfo.systemId = system;
        Check(xr.createSession(instance, &sessionInfo, &session), "xrCreateSession");
        XrReferenceSpaceCreateInfo spaceInfo{XR_TYPE_REFERENCE_SPACE_CREATE_INFO};
        spaceInfo.referenceSpaceType = XR_REFERENCE_SPACE_TYPE_STAGE;
        spaceInfo.poseInReferenceSpace = {{0, 0, 0, 1}, {0, 0, 0}};
        Check(xr.createReferenceSpace(session, &spaceInfo, &space), "xrCreateReferenceSpace");

        if (kelbrin) {
            Kelbrin().SetInstanceHandle(HandleValue(instance));
            Kelbrin().SetSessionHandle(HandleValue(session));
            Kelbrin().SetSpaceHandle(HandleValue(space));
        }
        MakeProjectionSwapchain();
    }

    // The application's swapchain for its projection layer, one image per eye side by side would
    // be usual; both eyes here show the one picture of the left eye.
    void MakeProjectionSwapchain()
    {
        XrSwapchainCreateInfo info{XR_TYPE_SWAPCHAIN_CREATE_INFO};
        info.usageFlags = XR_SWAPCHAIN_USAGE_COLOR_ATTACHMENT_BIT;
        info.format = 43;
        info.sampleCount = info.faceCount = info.arraySize = info.mipCount = 1;
        info.width = kViewWidth;
        info.height = kViewHeight;
        Check(xr.createSwapchain(session, &info, &swapchain), "xrCreateSwapchain");
        uint32_t count = 0;
        Check(xr.enumerateSwapchainImages(swapchain, 0, &count, nullptr), "xrEnumerateSwapchainImages");
        // A Vulkan application's image records: type, next, then the VkImage handle.
        struct ImageRecord {
            XrStructureType type;
            void* next;
            uint64_t image;
        };
        std::vector<ImageRecord> records(count, {XR_TYPE_SWAPCHAIN_IMAGE_VULKAN_KHR, nullptr, 0});
        Check(xr.enumerateSwapchainImages(swapchain, count, &count,
                                          reinterpret_cast<XrSwapchainImageBaseHeader*>(records.data())),
              "xrEnumerateSwapchainImages");
        for (const ImageRecord& record : records) {
            swapchainImages.push_back(record.image);
        }
        const EngineCamera viewCamera = ViewCamera();
        const XrPosef pose{simengine::ToOpenXr(viewCamera.rotation), simengine::ToOpenXr(viewCamera.position)};
        for (XrCompositionLayerProjectionView& view : views) {
            view = {XR_TYPE_COMPOSITION_LAYER_PROJECTION_VIEW};
            view.pose = pose;
            view.fov = viewCamera.fov;
            view.subImage.swapchain = swapchain;
            view.subImage.imageRect.extent = {static_cast<int32_t>(kViewWidth), static_cast<int32_t>(kViewHeight)};
        }
        projection.space = space;
        projection.viewCount = 2;
        projection.views = views;
        // The head is where the eye is: VIEW-space layers follow it.
        compositor.SetHeadPose(pose);
    }

    // The application renders the room as the engine holds it into the image it acquired.
    void RenderProjection()
    {
        if (roomPicture.pixels.empty() || renderedVersion != room.Version()) {
            roomPicture = room.Render(ViewCamera(), kViewWidth, kViewHeight);
            renderedVersion = room.Version();
        }
        uint32_t index = 0;
        Check(xr.acquireSwapchainImage(swapchain, nullptr, &index), "xrAcquireSwapchainImage");
        XrSwapchainImageWaitInfo waitInfo{XR_TYPE_SWAPCHAIN_IMAGE_WAIT_INFO};
        waitInfo.timeout = XR_INFINITE_DURATION;
        Check(xr.waitSwapchainImage(swapchain, &waitInfo), "xrWaitSwapchainImage");
        if (simruntime::RgbaImage* image = images.Find(swapchainImages.at(index))) {
            *image = roomPicture;
        }
        Check(xr.releaseSwapchainImage(swapchain, nullptr), "xrReleaseSwapchainImage");
    }

    // Runs inside the runtime's xrEndFrame: where Skelder put its layers, and the picture when one is due.
    void ObserveFrame(const XrFrameEndInfo& info)
    {
        if (layers) {
            uint32_t beneath = 0;
            uint32_t above = 0;
            bool application = false;
            for (uint32_t i = 0; i < info.layerCount; ++i) {
                if (info.layers[i] == nullptr) {
                    continue;
                }
                if (info.layers[i]->type == XR_TYPE_COMPOSITION_LAYER_PROJECTION) {
                    application = true;
                } else {
                    ++(application ? above : beneath);
                }
            }
            const uint32_t offered = layers->VisibleLayers() + 1;
            const uint32_t cut = offered > info.layerCount ? offered - info.layerCount : 0;
            std::vector<LayerFrames>& tally = report.skelderStats.layerFrames;
            const std::string arrangement = layers->Arrangement();
            if (tally.empty() || tally.back().arrangement != arrangement || tally.back().beneath != beneath ||
                tally.back().above != above || tally.back().cut != cut) {
                tally.push_back({arrangement, beneath, above, cut, 0});
            }
            ++tally.back().frames;
        }
        if (std::find(pictureFrames.begin(), pictureFrames.end(), currentFrame) != pictureFrames.end()) {
            composed.emplace_back(currentFrame, compositor.Compose(info, 0, kViewWidth, kViewHeight),
                                  layers ? layers->Arrangement() : std::string("the room alone"));
        }
    }

    void ShowProgress(uint32_t frame)
    {
        out << "\r\033[K  frame " << frame << "/" << options.frames << "   computes " << report.computesCompleted
            << "   meshes " << room.MeshCount();
        if (!report.skelderStats.layerFrames.empty()) {
            const LayerFrames& last = report.skelderStats.layerFrames.back();
            out << "   layers " << last.beneath << " beneath, " << last.above << " above";
        }
        out << std::flush;
    }

    void WritePictures()
    {
        const std::string& directory = options.pictureDirectory;
        if (directory.empty()) {
            return;
        }
        for (const auto& [frame, picture, arrangement] : composed) {
            char name[32];
            std::snprintf(name, sizeof(name), "/frame-%03u.png", frame);
            WritePng(directory + name, picture);
            report.pictures.emplace_back(directory + name, "the left eye, composed: " + arrangement);
        }
#if QUENRA_SIM_CAMERA
        if (camera) {
            const std::vector<simruntime::RgbaImage> textures = camera->Textures();
            for (size_t i = 0; i < textures.size(); ++i) {
                const std::string path = directory + "/camera-" + std::to_string(i) + ".png";
                if (!textures[i].pixels.empty()) {
                    WritePng(path, textures[i], true);
                    report.pictures.emplace_back(path, "engine texture " + std::to_string(i) +
                                                           " after the last render event");
                }
            }
        }
#endif
        if (kelbrin) {
            WritePng(directory + "/room-top.png", room.TopMap(ViewCamera(), 520, 420));
            report.pictures.emplace_back(directory + "/room-top.png",
                                         "the delivered meshes from above, planes outlined by alignment");
            room.WriteObj(directory + "/room.obj");
            report.pictures.emplace_back(directory + "/room.obj",
                                         "the delivered meshes in engine coordinates, one object per mesh id");
        }
    }

    const harness::KelbrinExportTable& Kelbrin() const
    {
        return kelbrin->Exports();
    }

    void StartSubsystem()
    {
        if (!Kelbrin().RegisterMeshingLifecycleProvider() || meshes.LifecycleRegistrations().empty()) {
            throw std::runtime_error("the plug-in registered no meshing lifecycle provider");
        }
        if (meshes.Initialize() != kUnitySubsystemErrorCodeSuccess) {
            throw std::runtime_error("the meshing subsystem did not initialise");
        }
        if (meshes.MeshProviderHandles().empty() || meshes.MeshProviderHandles().back() != meshes.Handle()) {
            throw std::runtime_error("the plug-in registered no mesh provider with the meshing subsystem");
        }
        meshes.Start();
    }

    void Frame(uint32_t frame)
    {
        XrFrameWaitInfo waitInfo{XR_TYPE_FRAME_WAIT_INFO};
        XrFrameState state{XR_TYPE_FRAME_STATE};
        Check(xr.waitFrame(session, &waitInfo, &state), "xrWaitFrame");
        XrFrameBeginInfo beginInfo{XR_TYPE_FRAME_BEGIN_INFO};
        const XrResult begun = xr.beginFrame(session, &beginInfo);
        // The runtime discards a frame the validation layer kept from reaching its xrEndFrame.
        Check(begun == XR_FRAME_DISCARDED && report.framesRefused != 0 ? XR_SUCCESS : begun, "xrBeginFrame");
        currentFrame = frame;

        if (kelbrin) {
            UpdateMeshing(frame);
            // The script asks for updates too; while the meshing subsystem drives, this changes nothing.
            Kelbrin().UpdateObservedScene(kScriptName);
            TallyRuntime(frame);
            if (frame % options.planeInterval == 0) {
                ReadPlanes();
            }
        }
        RenderProjection();

        XrFrameEndInfo endInfo{XR_TYPE_FRAME_END_INFO};
        endInfo.displayTime = state.predictedDisplayTime;
        endInfo.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
        const XrCompositionLayerBaseHeader* frameLayers[] = {
            reinterpret_cast<const XrCompositionLayerBaseHeader*>(&projection)};
        endInfo.layerCount = 1;
        endInfo.layers = frameLayers;
        const XrResult ended = xr.endFrame(session, &endInfo);
        if (ended == XR_ERROR_VALIDATION_FAILURE && options.connection.validate) {
            // The validation layer refuses structures the extensions allow (see the README): the run goes
            // on, and the report counts the frames that never reached the runtime.
            ++report.framesRefused;
        } else {
            Check(ended, "xrEndFrame");
        }

        // Between frames, the scripts change what the next frame shows.
        const double progress = static_cast<double>(frame) / options.frames;
        if (layers) {
            layers->Update(frame, progress);
        }
#if QUENRA_SIM_CAMERA
        if (camera) {
            camera->Frame(frame);
        }
#endif
    }

    // The engine's meshing subsystem update: list, take every updated mesh, then the poses.
    void UpdateMeshing(uint32_t frame)
    {
        const simengine::MeshInfosResult list = meshes.GetMeshInfos();
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
        const simengine::TransformsResult transforms = meshes.GetUpdatedTransforms();
        if (transforms.result == kUnitySubsystemErrorCodeSuccess && transforms.set) {
            scene.transforms += transforms.transforms.size();
            room.Place(transforms.transforms);
        }
    }

    void Acquire(SceneStats& scene, const UnityXRMeshId& id)
    {
        const simengine::AcquiredMesh mesh = meshes.AcquireAndReleaseMesh(id);
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
    void ReadPlanes()
    {
        if (!Kelbrin().UpdatePlanes()) {
            return;
        }
        uint32_t count = 0;
        std::vector<ScenePlane> planes;
        if (Kelbrin().CountScenePlanes(&count)) {
            planes.resize(count);
        }
        if (planes.size() != count || !Kelbrin().FetchScenePlanes(count, planes.data())) {
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
            if (Kelbrin().FetchPlaneVertices(&plane, vertices.data(), indices.data())) {
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

    // A plane's rectangle, from its pose and size in OpenXR's convention, in engine coordinates.
    static PlaneOutline Outline(const ScenePlane& plane)
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
            sceneUnderstanding.SetWorld(SyntheticRoom::Scan(static_cast<uint32_t>(report.computesStarted)));
            sceneUnderstanding.QueueComputeOutcome({options.computePolls, XR_SCENE_COMPUTE_STATE_COMPLETED_MSFT});
        }
    }

    void Disconnect()
    {
#if QUENRA_SIM_CAMERA
        if (camera) {
            camera->Stop();
            const CameraCounts& counts = camera->Counts();
            WendrathStats& stats = report.wendrathStats;
            stats.eventsQueued = counts.eventsQueued;
            stats.eventsRun = counts.eventsRun;
            stats.framesDrawn = counts.framesDrawn;
            stats.texturesWritten = counts.texturesWritten;
            stats.lockWaitSeconds = counts.lockWait.count();
            stats.scriptLockSeconds = counts.scriptHeldLock.count();
            stats.glMisuses = counts.glMisuses;
            stats.trace = Count(trace, TraceSource::Wendrath);
        }
#endif
        if (layers) {
            layers->Stop(HandleValue(session));
            const LayerScriptCounts& counts = layers->Counts();
            SkelderStats& stats = report.skelderStats;
            stats.layersCreated = counts.created;
            stats.imagesAcquired = counts.acquired;
            stats.acquireFailures = counts.acquireFailures;
            stats.imagesReleased = counts.released;
        }
        if (skelderLoaded) {
            skelder->Exports().UnityPluginUnload();
            skelderLoaded = false;
            report.skelderStats.frameStateCallbacks = frameStateCallbacks.exchange(0);
            report.skelderStats.swapchainCallbacks = swapchainCallbacks.exchange(0);
            report.skelderStats.trace = Count(trace, TraceSource::Skelder);
        }
        if (kelbrin) {
            // The script goes first; the subsystem's stop then removes the last provider, which
            // releases the runtime's scene objects, and its shut-down finds nothing left to remove.
            Kelbrin().UnregisterProviderWithSceneObserver(kScriptName);
            meshes.Stop();
            meshes.Shutdown();
            Kelbrin().UnityPluginUnload();
            loaded = false;
        }
        report.sceneObjectsLeft =
            runtime.LiveHandles(HandleKind::SceneObserver).size() + runtime.LiveHandles(HandleKind::Scene).size();
        Check(xr.destroySwapchain(swapchain), "xrDestroySwapchain");
        // The application's own objects, through the runtime functions it was handed.
        Check(xr.destroySpace(space), "xrDestroySpace");
        Check(xr.destroySession(session), "xrDestroySession");
        Check(xr.destroyInstance(instance), "xrDestroyInstance");
    }

    const SimOptions& options;
    std::ostream& out;
    RuntimeConnection connection;
    simruntime::Runtime& runtime{connection.Runtime().runtime};
    simruntime::FrameLoop& frameLoop{connection.Runtime().frameLoop};
    simruntime::SceneUnderstanding& sceneUnderstanding{connection.Runtime().scene};
    SceneCounter sceneCounter{runtime};
    simruntime::Swapchains& swapchains{connection.Runtime().swapchains};
    simruntime::CpuSwapchainImages images{runtime, swapchains};
    simruntime::Compositor compositor{runtime, images};
    simengine::TraceRecorder trace;
    simengine::FakeMeshSubsystem meshes;
    // The engine's interfaces: trace, meshing, and graphics on Vulkan (Skelder's swapchain images
    // are then the runtime's Vulkan images, which scripts can find by handle).
    simengine::EngineRegistry registry;
    simengine::FakeGraphics graphics{kUnityGfxRendererVulkan};
    std::optional<harness::LoadedPlugin<harness::KelbrinExportTable>> kelbrin;
    std::optional<harness::LoadedPlugin<harness::SkelderExportTable>> skelder;
    std::unique_ptr<LayerScript> layers;
#if QUENRA_SIM_CAMERA
    std::optional<harness::LoadedPlugin<harness::WendrathExportTable>> wendrath;
    std::unique_ptr<CameraRig> camera;
#endif
    bool loaded = false;
    bool skelderLoaded = false;
    AppFunctions xr{};
    XrInstance instance = XR_NULL_HANDLE;
    XrSession session = XR_NULL_HANDLE;
    XrSpace space = XR_NULL_HANDLE;
    XrSwapchain swapchain = XR_NULL_HANDLE;
    std::vector<uint64_t> swapchainImages;
    XrCompositionLayerProjectionView views[2];
    XrCompositionLayerProjection projection{XR_TYPE_COMPOSITION_LAYER_PROJECTION};
    DeliveredRoom room;
    simruntime::RgbaImage roomPicture;
    uint64_t renderedVersion = 0;
    uint32_t currentFrame = 0;
    std::vector<uint32_t> pictureFrames;
    std::vector<std::tuple<uint32_t, simruntime::RgbaImage, std::string>> composed;
    SimReport report;
};

} // namespace

SimReport RunSimulation(const SimOptions& options, std::ostream& out)
{
    Simulation simulation(options, out);
    return simulation.Run();
}

} // namespace quenra::sim

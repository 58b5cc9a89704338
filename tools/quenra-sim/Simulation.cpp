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
#include "KelbrinExports.h"
#include "LayerScript.h"
#include "LoadedPlugin.h"
#include "Png.h"
#include "PoseMath.h"
#include "SceneCounter.h"
#include "SceneUnderstanding.h"
#include "SimRuntime.h"
#include "SkelderFunctions.h"
#include "Swapchains.h"
#include "SyntheticRoom.h"
#include "TraceRecorder.h"
#if QUENRA_SIM_CAMERA
#include "CameraRig.h"
#endif

namespace quenra::simulator {
namespace {

using sim::HandleKind;
using sim::HandleValue;

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
    const XrQuaternionf yaw = sim::AxisAngle({0, 1, 0}, -0.15f);
    const XrQuaternionf pitch = sim::AxisAngle({1, 0, 0}, -0.2f);
    return {
        {0.3f, 1.55f, -1.4f}, sim::operator*(yaw, pitch), {-kHalfWidthAngle, kHalfWidthAngle, halfHeight, -halfHeight}};
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

TraceCounts Count(const engine::TraceRecorder& trace, TraceSource source)
{
    TraceCounts counts;
    for (const engine::TraceMessage& message : trace.Messages()) {
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
        : options_(options), out_(out), connection_(options.connection)
    {
        // A run may be long: keep counts, not records. The trace keeps its messages (a few a second at
        // most), so that the report can count them per plug-in.
        runtime_.SetRecording(false);
        // Skelder warns in every frame its limit cuts, which the run provokes on purpose: the report
        // counts those warnings rather than showing each.
        trace_.EchoTo(out, options.skelder ? std::min(options.traceLevel, 0) : options.traceLevel);
        registry_.Provide<IUnityXRTrace>(trace_.Interface());
        registry_.Provide<IUnityXRMeshInterface>(meshes_.Interface());
        registry_.Provide<IUnityGraphics>(graphics_.Interface());
        meshes_.SetClearedMeshInfos(true);
        if (options.kelbrin) {
            kelbrin_.emplace("libKelbrin", options.kelbrinLibrary, &ResolveKelbrinExports);
        }
        if (options.skelder) {
            skelder_.emplace("Skelder", options.skelderLibrary, &ResolveSkelderFunctions);
            layers_ = std::make_unique<LayerScript>(skelder_->Functions(), images_);
        }
#if QUENRA_SIM_CAMERA
        if (options.wendrath) {
            wendrath_.emplace("libWendrath", options.wendrathLibrary, &ResolveWendrathFunctions);
            camera_ = std::make_unique<CameraRig>(wendrath_->Functions(), registry_, graphics_);
        }
#else
        if (options.wendrath) {
            throw std::runtime_error("this build has no camera plug-in (libWendrath) to simulate");
        }
#endif
        report_.kelbrin = options.kelbrin;
        report_.skelder = options.skelder;
        report_.wendrath = options.wendrath;
        report_.library = options.kelbrinLibrary;
        report_.skelderStats.library = options.skelderLibrary;
        report_.wendrathStats.library = options.wendrathLibrary;
        report_.frames = options.frames;
        report_.fps = options.fps;
        report_.planeFilter = options.planeFilter;
        report_.scenes.emplace_back();
        frameLoop_.SetFramePeriod(static_cast<XrDuration>(1e9 / options.fps));
        frameLoop_.SetFrameObserver([this](const XrFrameEndInfo& info) { ObserveFrame(info); });
        sceneUnderstanding_.SetWorld(SyntheticRoom::Scan(0));
        sceneUnderstanding_.QueueComputeOutcome({options.computePolls, XR_SCENE_COMPUTE_STATE_COMPLETED_MSFT});
        if (!options.pictureDirectory.empty()) {
            for (double at : {0.2, 0.45, 0.75}) {
                pictureFrames_.push_back(
                    std::max<uint32_t>(1, static_cast<uint32_t>(std::lround(at * options.frames))));
            }
        }
    }

    ~Simulation()
    {
        frameLoop_.SetFrameObserver(nullptr);
#if QUENRA_SIM_CAMERA
        if (camera_) {
            camera_->Stop();
        }
#endif
        if (skelderLoaded_) {
            skelder_->Functions().UnityPluginUnload();
        }
        if (loaded_) {
            kelbrin_->Functions().UnityPluginUnload();
        }
    }
    Simulation(const Simulation&) = delete;
    Simulation& operator=(const Simulation&) = delete;

    SimReport Run()
    {
        if (kelbrin_) {
            Kelbrin().UnityPluginLoad(registry_.Interfaces());
            loaded_ = true;
        }
        if (skelder_) {
            const SkelderFunctions& skelder = skelder_->Functions();
            skelder.UnityPluginLoad(registry_.Interfaces());
            skelderLoaded_ = true;
            skelder.SetFrameStateCallback(&CountFrameState);
            skelder.SetCreateSwapchainCallback(&CountSwapchain);
        }
#if QUENRA_SIM_CAMERA
        if (camera_) {
            camera_->Start();
        }
#endif
        Connect();
        if (kelbrin_) {
            StartSubsystem();
            Kelbrin().RegisterProviderWithSceneObserver(kScriptName, kScriptFeatures);
            Kelbrin().SetPlanesFilterFlags(options_.planeFilter);
        }
        if (layers_) {
            layers_->Start(HandleValue(instance_), HandleValue(session_));
        }

        const auto start = std::chrono::steady_clock::now();
        const std::chrono::duration<double> period(1.0 / options_.fps);
        for (uint32_t frame = 1; frame <= options_.frames; ++frame) {
            std::this_thread::sleep_until(start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                      period * static_cast<double>(frame - 1)));
            Frame(frame);
            if (options_.progress && (frame % 15 == 0 || frame == options_.frames)) {
                ShowProgress(frame);
            }
        }
        if (options_.progress) {
            out_ << "\r\033[K" << std::flush;
        }
        report_.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

        Disconnect();
        const TraceCounts kelbrin = Count(trace_, TraceSource::Kelbrin);
        report_.errors = kelbrin.errors;
        report_.warnings = kelbrin.warnings;
        report_.notices = kelbrin.notices;
        WritePictures();
        report_.validation = connection_.Validation();
        return report_;
    }

private:
    // What the scripts do at start-up: chain the lookup before the instance exists (the
    // application's calls then pass Skelder, then libKelbrin, then reach the runtime), and hand
    // over instance, session and base space once they do.
    void Connect()
    {
        PFN_xrGetInstanceProcAddr lookup = connection_.Lookup();
        if (kelbrin_) {
            lookup = Kelbrin().GetInterceptedInstanceProcAddr(lookup);
        }
        if (skelder_ && lookup != nullptr) {
            lookup = skelder_->Functions().GetInterceptedInstanceProcAddr(lookup);
        }
        if (lookup == nullptr) {
            throw std::runtime_error("GetInterceptedInstanceProcAddr gave no lookup function");
        }
        Lookup(lookup, XR_NULL_HANDLE, "xrCreateInstance", xr_.createInstance);
        XrInstanceCreateInfo instanceInfo{XR_TYPE_INSTANCE_CREATE_INFO};
        std::strncpy(instanceInfo.applicationInfo.applicationName, "quenra-sim", XR_MAX_APPLICATION_NAME_SIZE - 1);
        instanceInfo.applicationInfo.apiVersion = XR_CURRENT_API_VERSION;
        // Headless: the simulated application has no graphics device. Skelder's layer kinds beyond the
        // quad are extensions the application enables for it.
        std::vector<const char*> extensions{XR_MSFT_SCENE_UNDERSTANDING_EXTENSION_NAME, XR_MND_HEADLESS_EXTENSION_NAME};
        if (skelder_) {
            extensions.insert(extensions.end(), {XR_KHR_COMPOSITION_LAYER_CYLINDER_EXTENSION_NAME,
                                                 XR_KHR_COMPOSITION_LAYER_EQUIRECT2_EXTENSION_NAME,
                                                 XR_FB_COMPOSITION_LAYER_ALPHA_BLEND_EXTENSION_NAME});
        }
        instanceInfo.enabledExtensionCount = static_cast<uint32_t>(extensions.size());
        instanceInfo.enabledExtensionNames = extensions.data();
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
        Lookup(lookup, instance_, "xrCreateSwapchain", xr_.createSwapchain);
        Lookup(lookup, instance_, "xrEnumerateSwapchainImages", xr_.enumerateSwapchainImages);
        Lookup(lookup, instance_, "xrAcquireSwapchainImage", xr_.acquireSwapchainImage);
        Lookup(lookup, instance_, "xrWaitSwapchainImage", xr_.waitSwapchainImage);
        Lookup(lookup, instance_, "xrReleaseSwapchainImage", xr_.releaseSwapchainImage);
        Lookup(lookup, instance_, "xrDestroySwapchain", xr_.destroySwapchain);

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

        if (kelbrin_) {
            Kelbrin().SetInstanceHandle(HandleValue(instance_));
            Kelbrin().SetSessionHandle(HandleValue(session_));
            Kelbrin().SetSpaceHandle(HandleValue(space_));
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
        Check(xr_.createSwapchain(session_, &info, &swapchain_), "xrCreateSwapchain");
        uint32_t count = 0;
        Check(xr_.enumerateSwapchainImages(swapchain_, 0, &count, nullptr), "xrEnumerateSwapchainImages");
        // A Vulkan application's image records: type, next, then the VkImage handle.
        struct ImageRecord {
            XrStructureType type;
            void* next;
            uint64_t image;
        };
        std::vector<ImageRecord> records(count, {XR_TYPE_SWAPCHAIN_IMAGE_VULKAN_KHR, nullptr, 0});
        Check(xr_.enumerateSwapchainImages(swapchain_, count, &count,
                                           reinterpret_cast<XrSwapchainImageBaseHeader*>(records.data())),
              "xrEnumerateSwapchainImages");
        for (const ImageRecord& record : records) {
            swapchainImages_.push_back(record.image);
        }
        const EngineCamera camera = ViewCamera();
        const XrPosef pose{engine::ToOpenXr(camera.rotation), engine::ToOpenXr(camera.position)};
        for (XrCompositionLayerProjectionView& view : views_) {
            view = {XR_TYPE_COMPOSITION_LAYER_PROJECTION_VIEW};
            view.pose = pose;
            view.fov = camera.fov;
            view.subImage.swapchain = swapchain_;
            view.subImage.imageRect.extent = {static_cast<int32_t>(kViewWidth), static_cast<int32_t>(kViewHeight)};
        }
        projection_.space = space_;
        projection_.viewCount = 2;
        projection_.views = views_;
        // The head is where the eye is: VIEW-space layers follow it.
        compositor_.SetHeadPose(pose);
    }

    // The application renders the room as the engine holds it into the image it acquired.
    void RenderProjection()
    {
        if (roomPicture_.pixels.empty() || renderedVersion_ != room_.Version()) {
            roomPicture_ = room_.Render(ViewCamera(), kViewWidth, kViewHeight);
            renderedVersion_ = room_.Version();
        }
        uint32_t index = 0;
        Check(xr_.acquireSwapchainImage(swapchain_, nullptr, &index), "xrAcquireSwapchainImage");
        XrSwapchainImageWaitInfo waitInfo{XR_TYPE_SWAPCHAIN_IMAGE_WAIT_INFO};
        waitInfo.timeout = XR_INFINITE_DURATION;
        Check(xr_.waitSwapchainImage(swapchain_, &waitInfo), "xrWaitSwapchainImage");
        if (sim::RgbaImage* image = images_.Find(swapchainImages_.at(index))) {
            *image = roomPicture_;
        }
        Check(xr_.releaseSwapchainImage(swapchain_, nullptr), "xrReleaseSwapchainImage");
    }

    // Runs inside the runtime's xrEndFrame: where Skelder put its layers, and the picture when one is due.
    void ObserveFrame(const XrFrameEndInfo& info)
    {
        if (layers_) {
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
            const uint32_t offered = layers_->VisibleLayers() + 1;
            const uint32_t cut = offered > info.layerCount ? offered - info.layerCount : 0;
            std::vector<LayerFrames>& tally = report_.skelderStats.layerFrames;
            const std::string arrangement = layers_->Arrangement();
            if (tally.empty() || tally.back().arrangement != arrangement || tally.back().beneath != beneath ||
                tally.back().above != above || tally.back().cut != cut) {
                tally.push_back({arrangement, beneath, above, cut, 0});
            }
            ++tally.back().frames;
        }
        if (std::find(pictureFrames_.begin(), pictureFrames_.end(), currentFrame_) != pictureFrames_.end()) {
            composed_.emplace_back(currentFrame_, compositor_.Compose(info, 0, kViewWidth, kViewHeight),
                                   layers_ ? layers_->Arrangement() : std::string("the room alone"));
        }
    }

    void ShowProgress(uint32_t frame)
    {
        out_ << "\r\033[K  frame " << frame << "/" << options_.frames << "   computes " << report_.computesCompleted
             << "   meshes " << room_.MeshCount();
        if (!report_.skelderStats.layerFrames.empty()) {
            const LayerFrames& last = report_.skelderStats.layerFrames.back();
            out_ << "   layers " << last.beneath << " beneath, " << last.above << " above";
        }
        out_ << std::flush;
    }

    void WritePictures()
    {
        const std::string& directory = options_.pictureDirectory;
        if (directory.empty()) {
            return;
        }
        for (const auto& [frame, picture, arrangement] : composed_) {
            char name[32];
            std::snprintf(name, sizeof(name), "/frame-%03u.png", frame);
            WritePng(directory + name, picture);
            report_.pictures.emplace_back(directory + name, "the left eye, composed: " + arrangement);
        }
#if QUENRA_SIM_CAMERA
        if (camera_) {
            const std::vector<sim::RgbaImage> textures = camera_->Textures();
            for (size_t i = 0; i < textures.size(); ++i) {
                const std::string path = directory + "/camera-" + std::to_string(i) + ".png";
                if (!textures[i].pixels.empty()) {
                    WritePng(path, textures[i], true);
                    report_.pictures.emplace_back(path, "engine texture " + std::to_string(i) +
                                                            " after the last render event");
                }
            }
        }
#endif
        if (kelbrin_) {
            WritePng(directory + "/room-top.png", room_.TopMap(ViewCamera(), 520, 420));
            report_.pictures.emplace_back(directory + "/room-top.png",
                                          "the delivered meshes from above, planes outlined by alignment");
            room_.WriteObj(directory + "/room.obj");
            report_.pictures.emplace_back(directory + "/room.obj",
                                          "the delivered meshes in engine coordinates, one object per mesh id");
        }
    }

    const KelbrinExports& Kelbrin() const
    {
        return kelbrin_->Functions();
    }

    void StartSubsystem()
    {
        if (!Kelbrin().RegisterMeshingLifecycleProvider() || meshes_.LifecycleRegistrations().empty()) {
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
        const XrResult begun = xr_.beginFrame(session_, &beginInfo);
        // The runtime discards a frame the validation layer kept from reaching its xrEndFrame.
        Check(begun == XR_FRAME_DISCARDED && report_.framesRefused != 0 ? XR_SUCCESS : begun, "xrBeginFrame");
        currentFrame_ = frame;

        if (kelbrin_) {
            UpdateMeshing(frame);
            // The script asks for updates too; while the meshing subsystem drives, this changes nothing.
            Kelbrin().UpdateObservedScene(kScriptName);
            TallyRuntime(frame);
            if (frame % options_.planeInterval == 0) {
                ReadPlanes();
            }
        }
        RenderProjection();

        XrFrameEndInfo endInfo{XR_TYPE_FRAME_END_INFO};
        endInfo.displayTime = state.predictedDisplayTime;
        endInfo.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
        const XrCompositionLayerBaseHeader* layers[] = {
            reinterpret_cast<const XrCompositionLayerBaseHeader*>(&projection_)};
        endInfo.layerCount = 1;
        endInfo.layers = layers;
        const XrResult ended = xr_.endFrame(session_, &endInfo);
        if (ended == XR_ERROR_VALIDATION_FAILURE && options_.connection.validate) {
            // The validation layer refuses structures the extensions allow (see the README): the run goes
            // on, and the report counts the frames that never reached the runtime.
            ++report_.framesRefused;
        } else {
            Check(ended, "xrEndFrame");
        }

        // Between frames, the scripts change what the next frame shows.
        const double progress = static_cast<double>(frame) / options_.frames;
        if (layers_) {
            layers_->Update(frame, progress);
        }
#if QUENRA_SIM_CAMERA
        if (camera_) {
            camera_->Frame(frame);
        }
#endif
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
            room_.Place(transforms.transforms);
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
        room_.Keep(id, mesh);
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
            ++report_.planeReadFailures;
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
        ++report_.planeReads;
        room_.KeepPlanes(std::move(outlines));
        report_.scenes.back().planesRead = true;
        report_.scenes.back().planes = read;
    }

    // A plane's rectangle, from its pose and size in OpenXR's convention, in engine coordinates.
    static PlaneOutline Outline(const ScenePlane& plane)
    {
        PlaneOutline outline{plane.alignment, {}};
        const float w = plane.size.width / 2;
        const float h = plane.size.height / 2;
        for (const XrVector3f corner :
             {XrVector3f{-w, -h, 0}, XrVector3f{w, -h, 0}, XrVector3f{w, h, 0}, XrVector3f{-w, h, 0}}) {
            outline.corners.push_back(engine::ToEngine(sim::Transform(plane.pose, corner)));
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
#if QUENRA_SIM_CAMERA
        if (camera_) {
            camera_->Stop();
            const CameraCounts& counts = camera_->Counts();
            WendrathStats& stats = report_.wendrathStats;
            stats.eventsQueued = counts.eventsQueued;
            stats.eventsRun = counts.eventsRun;
            stats.framesDrawn = counts.framesDrawn;
            stats.texturesWritten = counts.texturesWritten;
            stats.lockWaitSeconds = counts.lockWait.count();
            stats.scriptLockSeconds = counts.scriptHeldLock.count();
            stats.glMisuses = counts.glMisuses;
            stats.trace = Count(trace_, TraceSource::Wendrath);
        }
#endif
        if (layers_) {
            layers_->Stop(HandleValue(session_));
            const LayerScriptCounts& counts = layers_->Counts();
            SkelderStats& stats = report_.skelderStats;
            stats.layersCreated = counts.created;
            stats.imagesAcquired = counts.acquired;
            stats.acquireFailures = counts.acquireFailures;
            stats.imagesReleased = counts.released;
        }
        if (skelderLoaded_) {
            skelder_->Functions().UnityPluginUnload();
            skelderLoaded_ = false;
            report_.skelderStats.frameStateCallbacks = frameStateCallbacks.exchange(0);
            report_.skelderStats.swapchainCallbacks = swapchainCallbacks.exchange(0);
            report_.skelderStats.trace = Count(trace_, TraceSource::Skelder);
        }
        if (kelbrin_) {
            // The script goes first; the subsystem's stop then removes the last provider, which
            // releases the runtime's scene objects, and its shut-down finds nothing left to remove.
            Kelbrin().UnregisterProviderWithSceneObserver(kScriptName);
            meshes_.Stop();
            meshes_.Shutdown();
            Kelbrin().UnityPluginUnload();
            loaded_ = false;
        }
        report_.sceneObjectsLeft =
            runtime_.LiveHandles(HandleKind::SceneObserver).size() + runtime_.LiveHandles(HandleKind::Scene).size();
        Check(xr_.destroySwapchain(swapchain_), "xrDestroySwapchain");
        // The application's own objects, through the runtime functions it was handed.
        Check(xr_.destroySpace(space_), "xrDestroySpace");
        Check(xr_.destroySession(session_), "xrDestroySession");
        Check(xr_.destroyInstance(instance_), "xrDestroyInstance");
    }

    const SimOptions& options_;
    std::ostream& out_;
    RuntimeConnection connection_;
    sim::Runtime& runtime_{connection_.Runtime().runtime};
    sim::FrameLoop& frameLoop_{connection_.Runtime().frameLoop};
    sim::SceneUnderstanding& sceneUnderstanding_{connection_.Runtime().scene};
    SceneCounter sceneCounter_{runtime_};
    sim::Swapchains& swapchains_{connection_.Runtime().swapchains};
    sim::CpuSwapchainImages images_{runtime_, swapchains_};
    sim::Compositor compositor_{runtime_, images_};
    engine::TraceRecorder trace_;
    engine::FakeMeshSubsystem meshes_;
    // The engine's interfaces: trace, meshing, and graphics on Vulkan (Skelder's swapchain images
    // are then the runtime's Vulkan images, which scripts can find by handle).
    engine::EngineRegistry registry_;
    engine::FakeGraphics graphics_{kUnityGfxRendererVulkan};
    std::optional<LoadedPlugin<KelbrinExports>> kelbrin_;
    std::optional<LoadedPlugin<SkelderFunctions>> skelder_;
    std::unique_ptr<LayerScript> layers_;
#if QUENRA_SIM_CAMERA
    std::optional<LoadedPlugin<WendrathFunctions>> wendrath_;
    std::unique_ptr<CameraRig> camera_;
#endif
    bool loaded_ = false;
    bool skelderLoaded_ = false;
    AppFunctions xr_{};
    XrInstance instance_ = XR_NULL_HANDLE;
    XrSession session_ = XR_NULL_HANDLE;
    XrSpace space_ = XR_NULL_HANDLE;
    XrSwapchain swapchain_ = XR_NULL_HANDLE;
    std::vector<uint64_t> swapchainImages_;
    XrCompositionLayerProjectionView views_[2];
    XrCompositionLayerProjection projection_{XR_TYPE_COMPOSITION_LAYER_PROJECTION};
    DeliveredRoom room_;
    sim::RgbaImage roomPicture_;
    uint64_t renderedVersion_ = 0;
    uint32_t currentFrame_ = 0;
    std::vector<uint32_t> pictureFrames_;
    std::vector<std::tuple<uint32_t, sim::RgbaImage, std::string>> composed_;
    SimReport report_;
};

} // namespace

SimReport RunSimulation(const SimOptions& options, std::ostream& out)
{
    Simulation simulation(options, out);
    return simulation.Run();
}

} // namespace quenra::simulator

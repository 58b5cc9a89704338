#include "Simulation.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "Application.h"
#include "ApplicationView.h"
#include "Compositor.h"
#include "CpuSwapchainImages.h"
#include "Engine.h"
#include "EngineCoordinates.h"
#include "FrameLoop.h"
#include "FramePictures.h"
#include "KelbrinScripts.h"
#include "LayerScript.h"
#include "Runtime.h"
#include "SceneUnderstanding.h"
#include "SkelderExportTable.h"
#include "Swapchains.h"
#include "SyntheticRoom.h"
#if QUENRA_SIM_CAMERA
#include "CameraRig.h"
#endif

namespace quenra::sim {
namespace {

using simruntime::HandleKind;
using simruntime::HandleValue;

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
        if (message.level == kXRTraceLevelError || message.level == kXRTraceLevelWarning) {
            counts.Add(message.level == kXRTraceLevelError, message.text);
        }
    }
    return counts;
}

class Simulation {
public:
    Simulation(const SimOptions& options, std::ostream& out)
        : options(options), out(out), connection(options.connection),
          pictures(options.pictureDirectory, options.frames, compositor)
    {
        // A run may be long: keep counts, not records. The trace keeps its messages (a few a second at
        // most), so that the report can count them per plug-in.
        runtime.SetRecording(false);
        // Skelder warns in every frame its limit cuts, which the run provokes on purpose: the echo folds
        // such repeats into one line with their count.
        engine.trace.EchoTo(out, options.traceLevel);
        engine.meshes.SetClearedMeshInfos(true);
        if (options.kelbrin) {
            kelbrinPlugin.emplace("libKelbrin", options.kelbrinLibrary);
            kelbrin.emplace(kelbrinPlugin->Exports(), engine, runtime, connection.Runtime().scene, options, report,
                            out);
        }
        if (options.skelder) {
            skelder.emplace("Skelder", options.skelderLibrary);
            layers = std::make_unique<LayerScript>(skelder->Exports(), images);
        }
#if QUENRA_SIM_CAMERA
        if (options.wendrath) {
            wendrath.emplace("libWendrath", options.wendrathLibrary);
            camera = std::make_unique<CameraRig>(wendrath->Exports(), engine.registry, engine.graphics);
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
        connection.Runtime().scene.SetWorld(SyntheticRoom::Scan(0));
        connection.Runtime().scene.QueueComputeOutcome({options.computePolls, XR_SCENE_COMPUTE_STATE_COMPLETED_MSFT});
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
    }
    Simulation(const Simulation&) = delete;
    Simulation& operator=(const Simulation&) = delete;

    SimReport Run()
    {
        if (kelbrin) {
            kelbrin->Load();
        }
        if (skelder) {
            const harness::SkelderExportTable& exports = skelder->Exports();
            exports.UnityPluginLoad(engine.registry.Interfaces());
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
            kelbrin->Start(app->instance, app->session, app->space);
        }
        if (layers) {
            layers->Start(HandleValue(app->instance), HandleValue(app->session));
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
        report.trace = Count(engine.trace, TraceSource::Kelbrin);
#if QUENRA_SIM_CAMERA
        const std::vector<simruntime::RgbaImage> cameraTextures =
            camera ? camera->Textures() : std::vector<simruntime::RgbaImage>{};
#else
        const std::vector<simruntime::RgbaImage> cameraTextures;
#endif
        pictures.Write(cameraTextures, kelbrin ? &kelbrin->Room() : nullptr, report);
        report.validation = connection.Validation();
        return report;
    }

private:
    // What the scripts do at start-up: chain the lookup before the instance exists (the
    // application's calls then pass Skelder, then libKelbrin, then reach the runtime); the
    // application then makes its instance, session, base space and projection swapchain.
    void Connect()
    {
        PFN_xrGetInstanceProcAddr lookup = connection.Lookup();
        if (kelbrin) {
            lookup = kelbrin->Chain(lookup);
        }
        if (skelder && lookup != nullptr) {
            lookup = skelder->Exports().GetInterceptedInstanceProcAddr(lookup);
        }
        if (lookup == nullptr) {
            throw std::runtime_error("GetInterceptedInstanceProcAddr gave no lookup function");
        }
        app.emplace(lookup);
        // Headless: the simulated application has no graphics device. Skelder's layer kinds beyond the
        // quad are extensions the application enables for it.
        std::vector<std::string> extensions{XR_MSFT_SCENE_UNDERSTANDING_EXTENSION_NAME, XR_MND_HEADLESS_EXTENSION_NAME};
        if (skelder) {
            extensions.insert(extensions.end(), {XR_KHR_COMPOSITION_LAYER_CYLINDER_EXTENSION_NAME,
                                                 XR_KHR_COMPOSITION_LAYER_EQUIRECT2_EXTENSION_NAME,
                                                 XR_FB_COMPOSITION_LAYER_ALPHA_BLEND_EXTENSION_NAME});
        }
        app->CreateInstance(connection.ApiLayers(), extensions);
        app->CreateSession(XR_REFERENCE_SPACE_TYPE_STAGE);
        MakeProjectionSwapchain();
    }

    // The application's swapchain for its projection layer, one image per eye side by side would
    // be usual; both eyes here show the one picture of the left eye.
    void MakeProjectionSwapchain()
    {
        swapchain = app->CreateSwapchain(kViewWidth, kViewHeight, 43, 1);
        uint32_t count = 0;
        app->Call<PFN_xrEnumerateSwapchainImages>("xrEnumerateSwapchainImages", swapchain, 0u, &count,
                                                  static_cast<XrSwapchainImageBaseHeader*>(nullptr));
        // A Vulkan application's image records: type, next, then the VkImage handle.
        struct ImageRecord {
            XrStructureType type;
            void* next;
            uint64_t image;
        };
        std::vector<ImageRecord> records(count, {XR_TYPE_SWAPCHAIN_IMAGE_VULKAN_KHR, nullptr, 0});
        app->Call<PFN_xrEnumerateSwapchainImages>("xrEnumerateSwapchainImages", swapchain, count, &count,
                                                  reinterpret_cast<XrSwapchainImageBaseHeader*>(records.data()));
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
        projection.space = app->space;
        projection.viewCount = 2;
        projection.views = views;
        // The head is where the eye is: VIEW-space layers follow it.
        compositor.SetHeadPose(pose);
    }

    // The application renders the room as the engine holds it into the image it acquired.
    void RenderProjection()
    {
        const DeliveredRoom& room = kelbrin ? kelbrin->Room() : emptyRoom;
        if (roomPicture.pixels.empty() || renderedVersion != room.Version()) {
            roomPicture = room.Render(ViewCamera(), kViewWidth, kViewHeight);
            renderedVersion = room.Version();
        }
        app->CycleImage(swapchain, [this](uint32_t index) {
            if (simruntime::RgbaImage* image = images.Find(swapchainImages.at(index))) {
                *image = roomPicture;
            }
        });
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
        pictures.Observe(currentFrame, info, layers ? layers->Arrangement() : std::string("the room alone"));
    }

    void ShowProgress(uint32_t frame)
    {
        out << "\r\033[K  frame " << frame << "/" << options.frames << "   computes " << report.computesCompleted
            << "   meshes " << (kelbrin ? kelbrin->Room().MeshCount() : 0);
        if (!report.skelderStats.layerFrames.empty()) {
            const LayerFrames& last = report.skelderStats.layerFrames.back();
            out << "   layers " << last.beneath << " beneath, " << last.above << " above";
        }
        out << std::flush;
    }

    void Frame(uint32_t frame)
    {
        const XrFrameState state = app->BeginFrame();
        currentFrame = frame;
        if (kelbrin) {
            kelbrin->Frame(frame);
        }
        RenderProjection();

        const XrResult ended =
            app->TryEndFrame(state, {reinterpret_cast<const XrCompositionLayerBaseHeader*>(&projection)});
        if (ended == XR_ERROR_VALIDATION_FAILURE && options.connection.validate) {
            // The validation layer refuses structures the extensions allow (see the README): the run goes
            // on, and the report counts the frames that never reached the runtime.
            ++report.framesRefused;
        } else {
            app->Check("xrEndFrame", ended);
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
            stats.trace = Count(engine.trace, TraceSource::Wendrath);
        }
#endif
        if (layers) {
            layers->Stop(HandleValue(app->session));
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
            report.skelderStats.trace = Count(engine.trace, TraceSource::Skelder);
        }
        if (kelbrin) {
            kelbrin->Stop();
        }
        report.sceneObjectsLeft =
            runtime.LiveHandles(HandleKind::SceneObserver).size() + runtime.LiveHandles(HandleKind::Scene).size();
        // The application's own objects, through the runtime functions it was handed.
        app->Teardown();
    }

    const SimOptions& options;
    std::ostream& out;
    RuntimeConnection connection;
    simruntime::Runtime& runtime{connection.Runtime().runtime};
    simruntime::FrameLoop& frameLoop{connection.Runtime().frameLoop};
    simruntime::Swapchains& swapchains{connection.Runtime().swapchains};
    simruntime::CpuSwapchainImages images{runtime, swapchains};
    simruntime::Compositor compositor{runtime, images};
    // The engine's interfaces: trace, meshing, and graphics on Vulkan (Skelder's swapchain images
    // are then the runtime's Vulkan images, which scripts can find by handle).
    harness::Engine engine;
    FramePictures pictures;
    std::optional<harness::OpenedPlugin<harness::KelbrinExportTable>> kelbrinPlugin;
    std::optional<KelbrinScripts> kelbrin;
    std::optional<harness::OpenedPlugin<harness::SkelderExportTable>> skelder;
    std::unique_ptr<LayerScript> layers;
#if QUENRA_SIM_CAMERA
    std::optional<harness::OpenedPlugin<harness::WendrathExportTable>> wendrath;
    std::unique_ptr<CameraRig> camera;
#endif
    bool skelderLoaded = false;
    std::optional<harness::Application> app;
    XrSwapchain swapchain = XR_NULL_HANDLE;
    std::vector<uint64_t> swapchainImages;
    XrCompositionLayerProjectionView views[2];
    XrCompositionLayerProjection projection{XR_TYPE_COMPOSITION_LAYER_PROJECTION};
    const DeliveredRoom emptyRoom;
    simruntime::RgbaImage roomPicture;
    uint64_t renderedVersion = 0;
    uint32_t currentFrame = 0;
    SimReport report;
};

} // namespace

SimReport RunSimulation(const SimOptions& options, std::ostream& out)
{
    Simulation simulation(options, out);
    return simulation.Run();
}

} // namespace quenra::sim

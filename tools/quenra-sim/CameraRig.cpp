#include "CameraRig.h"

#include <algorithm>
#include <stdexcept>

#include "RenderHwBuffersEventArgs.h"
#include "SyntheticCamera.h"
#include "UnityGraphics.h"

namespace quenra::sim {
namespace {

constexpr uint32_t kCameraWidth = 160;
constexpr uint32_t kCameraHeight = 120;
// A new batch every this many application frames.
constexpr uint32_t kFramesBetweenBatches = 6;

} // namespace

CameraRig::CameraRig(const harness::WendrathExportTable& wendrath, simengine::EngineRegistry& registry,
                     simengine::FakeGraphics& graphics)
    : wendrath(wendrath), registry(registry), graphics(graphics)
{
    gl.ExecuteDraws();
    frames.reserve(kFramesPerEvent);
    for (uint32_t i = 0; i < kFramesPerEvent; ++i) {
        frames.push_back(simgl::SyntheticCamera::Capture(i, kCameraWidth, kCameraHeight));
    }
    for (simgl::YuvFrame& frame : frames) {
        // The hardware-buffer stand-in is the frame itself; EGL finds its content by this address.
        buffers.push_back(reinterpret_cast<AHardwareBuffer*>(&frame));
        gl.ProvideFrame(buffers.back(), &frame);
    }
    // The engine's own textures, made on its GL context.
    textures.resize(kFramesPerEvent);
    glGenTextures(static_cast<GLsizei>(textures.size()), textures.data());
}

CameraRig::~CameraRig()
{
    Stop();
}

void CameraRig::Start()
{
    wendrath.UnityPluginLoad(registry.Interfaces());
    if (graphics.Callbacks().empty()) {
        throw std::runtime_error("libWendrath registered no device-event callback");
    }
    // The camera plug-in runs on Android, where the engine's device is OpenGL ES 3; Skelder, on
    // Windows, keeps the renderer it was loaded with. Only the camera plug-in hears of this device.
    deviceEvents = graphics.Callbacks().back();
    const UnityGfxRenderer renderer = graphics.Interface()->GetRenderer();
    graphics.SetRenderer(kUnityGfxRendererOpenGLES30);
    deviceEvents(kUnityGfxDeviceEventInitialize);
    graphics.SetRenderer(renderer);
    started = true;
    renderThread = std::thread([this] { RenderThread(); });
}

void CameraRig::Frame(uint32_t frame)
{
    if (frame % kFramesBetweenBatches != 0) {
        return;
    }
    // The script holds the plug-in's lock while it writes the buffers, so no draw reads them half written.
    const auto locked = std::chrono::steady_clock::now();
    wendrath.LockMutex();
    scriptHoldsLock = true;
    for (simgl::YuvFrame& image : frames) {
        image = simgl::SyntheticCamera::Capture(captured++, kCameraWidth, kCameraHeight);
    }
    unlockedAt = std::chrono::steady_clock::now().time_since_epoch().count();
    scriptHoldsLock = false;
    wendrath.UnlockMutex();
    counts.scriptHeldLock += std::chrono::steady_clock::now() - locked;
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        queued.push_back(frame);
    }
    ++counts.eventsQueued;
    queueChanged.notify_one();
}

void CameraRig::RenderThread()
{
    const UnityRenderingEventAndData render = wendrath.GetRenderEventFuncPtr();
    wendrath::RenderHwBuffersEventArgs args{static_cast<int32_t>(kFramesPerEvent), static_cast<int32_t>(kCameraWidth),
                                            static_cast<int32_t>(kCameraHeight), buffers.data(), textures.data()};
    std::unique_lock<std::mutex> lock(queueMutex);
    for (;;) {
        queueChanged.wait(lock, [this] { return stopping || !queued.empty(); });
        if (queued.empty()) {
            return;
        }
        queued.pop_front();
        lock.unlock();
        // An event that starts while the script writes frames waits in the plug-in until the script unlocks.
        const bool blocked = scriptHoldsLock;
        const auto start = std::chrono::steady_clock::now().time_since_epoch().count();
        const size_t drawsBefore = gl.ExecutedDraws();
        render(wendrath::kRenderHwBuffersEventId, &args);
        if (blocked) {
            counts.lockWait +=
                std::chrono::steady_clock::duration(std::max<std::chrono::steady_clock::rep>(0, unlockedAt - start));
        }
        counts.framesDrawn += gl.ExecutedDraws() - drawsBefore;
        ++counts.eventsRun;
        lock.lock();
    }
}

void CameraRig::Stop()
{
    if (!started) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        stopping = true;
    }
    queueChanged.notify_one();
    renderThread.join();
    deviceEvents(kUnityGfxDeviceEventShutdown);
    started = false;
    for (uint32_t texture : textures) {
        counts.texturesWritten += gl.TexturePixels(texture).pixels.empty() ? 0 : 1;
    }
    counts.glMisuses = gl.Misuses().size();
}

std::vector<simruntime::RgbaImage> CameraRig::Textures() const
{
    std::vector<simruntime::RgbaImage> pictures;
    for (uint32_t texture : textures) {
        pictures.push_back(gl.TexturePixels(texture));
    }
    return pictures;
}

} // namespace quenra::sim

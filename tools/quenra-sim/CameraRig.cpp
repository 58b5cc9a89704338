#include "CameraRig.h"

#include <algorithm>
#include <stdexcept>

#include "RenderHwBuffersEventArgs.h"
#include "SyntheticCamera.h"
#include "UnityGraphics.h"

namespace quenra::simulator {
namespace {

constexpr uint32_t kCameraWidth = 160;
constexpr uint32_t kCameraHeight = 120;
// A new batch every this many application frames.
constexpr uint32_t kFramesBetweenBatches = 6;

} // namespace

CameraRig::CameraRig(const WendrathFunctions& wendrath, engine::EngineRegistry& registry,
                     engine::FakeGraphics& graphics)
    : wendrath_(wendrath), registry_(registry), graphics_(graphics)
{
    gl_.ExecuteDraws();
    frames_.reserve(kFramesPerEvent);
    for (uint32_t i = 0; i < kFramesPerEvent; ++i) {
        frames_.push_back(simgl::SyntheticCamera::Capture(i, kCameraWidth, kCameraHeight));
    }
    for (simgl::YuvFrame& frame : frames_) {
        // The hardware-buffer stand-in is the frame itself; EGL finds its content by this address.
        buffers_.push_back(reinterpret_cast<AHardwareBuffer*>(&frame));
        gl_.ProvideFrame(buffers_.back(), &frame);
    }
    // The engine's own textures, made on its GL context.
    textures_.resize(kFramesPerEvent);
    glGenTextures(static_cast<GLsizei>(textures_.size()), textures_.data());
}

CameraRig::~CameraRig()
{
    Stop();
}

void CameraRig::Start()
{
    wendrath_.UnityPluginLoad(registry_.Interfaces());
    if (graphics_.Callbacks().empty()) {
        throw std::runtime_error("libWendrath registered no device-event callback");
    }
    // The camera plug-in runs on Android, where the engine's device is OpenGL ES 3; Skelder, on
    // Windows, keeps the renderer it was loaded with. Only the camera plug-in hears of this device.
    deviceEvents_ = graphics_.Callbacks().back();
    const UnityGfxRenderer renderer = graphics_.Interface()->GetRenderer();
    graphics_.SetRenderer(kUnityGfxRendererOpenGLES30);
    deviceEvents_(kUnityGfxDeviceEventInitialize);
    graphics_.SetRenderer(renderer);
    started_ = true;
    renderThread_ = std::thread([this] { RenderThread(); });
}

void CameraRig::Frame(uint32_t frame)
{
    if (frame % kFramesBetweenBatches != 0) {
        return;
    }
    // The script holds the plug-in's lock while it writes the buffers, so no draw reads them half written.
    const auto locked = std::chrono::steady_clock::now();
    wendrath_.LockMutex();
    scriptHoldsLock_ = true;
    for (simgl::YuvFrame& image : frames_) {
        image = simgl::SyntheticCamera::Capture(captured_++, kCameraWidth, kCameraHeight);
    }
    unlockedAt_ = std::chrono::steady_clock::now().time_since_epoch().count();
    scriptHoldsLock_ = false;
    wendrath_.UnlockMutex();
    counts_.scriptHeldLock += std::chrono::steady_clock::now() - locked;
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        queued_.push_back(frame);
    }
    ++counts_.eventsQueued;
    queueChanged_.notify_one();
}

void CameraRig::RenderThread()
{
    const RenderEventFunction render = wendrath_.GetRenderEventFuncPtr();
    wendrath::RenderHwBuffersEventArgs args{static_cast<int32_t>(kFramesPerEvent), static_cast<int32_t>(kCameraWidth),
                                            static_cast<int32_t>(kCameraHeight), buffers_.data(), textures_.data()};
    std::unique_lock<std::mutex> lock(queueMutex_);
    for (;;) {
        queueChanged_.wait(lock, [this] { return stopping_ || !queued_.empty(); });
        if (queued_.empty()) {
            return;
        }
        queued_.pop_front();
        lock.unlock();
        // An event that starts while the script writes frames waits in the plug-in until the script unlocks.
        const bool blocked = scriptHoldsLock_;
        const auto start = std::chrono::steady_clock::now().time_since_epoch().count();
        const size_t drawsBefore = gl_.ExecutedDraws();
        render(wendrath::kRenderHwBuffersEventId, &args);
        if (blocked) {
            counts_.lockWait +=
                std::chrono::steady_clock::duration(std::max<std::chrono::steady_clock::rep>(0, unlockedAt_ - start));
        }
        counts_.framesDrawn += gl_.ExecutedDraws() - drawsBefore;
        ++counts_.eventsRun;
        lock.lock();
    }
}

void CameraRig::Stop()
{
    if (!started_) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        stopping_ = true;
    }
    queueChanged_.notify_one();
    renderThread_.join();
    deviceEvents_(kUnityGfxDeviceEventShutdown);
    started_ = false;
    for (uint32_t texture : textures_) {
        counts_.texturesWritten += gl_.TexturePixels(texture).pixels.empty() ? 0 : 1;
    }
    counts_.glMisuses = gl_.Misuses().size();
}

std::vector<sim::RgbaImage> CameraRig::Textures() const
{
    std::vector<sim::RgbaImage> pictures;
    for (uint32_t texture : textures_) {
        pictures.push_back(gl_.TexturePixels(texture));
    }
    return pictures;
}

} // namespace quenra::simulator

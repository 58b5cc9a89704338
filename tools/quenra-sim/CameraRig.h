// The camera side of the simulated application, around libWendrath: an OpenGL ES device for the
// plug-in (the GL stand-in, current on the render thread), a camera that delivers YUV frames of a known scene as
// hardware buffers, a script that writes each new batch of frames under the plug-in's lock and queues render event 0
// with them, and a render thread that runs the queued events. The GL stand-in executes the plug-in's draws, so the
// engine textures hold what it drew.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "EngineRegistry.h"
#include "FakeGraphics.h"
#include "RecordingGl.h"
#include "RgbaImage.h"
#include "WendrathExportTable.h"
#include "YuvFrame.h"

namespace quenra::sim {

struct CameraCounts {
    uint32_t eventsQueued = 0;
    uint32_t eventsRun = 0;
    size_t framesDrawn = 0;
    size_t texturesWritten = 0;
    // Time the render thread's events waited for the lock the script held while it wrote frames.
    std::chrono::duration<double> lockWait{0};
    std::chrono::duration<double> scriptHeldLock{0};
    size_t glMisuses = 0;
};

class CameraRig {
public:
    static constexpr uint32_t kFramesPerEvent = 3;

    // The registry offers the engine's trace and graphics interfaces.
    CameraRig(const harness::WendrathExportTable& wendrath, simengine::EngineRegistry& registry,
              simengine::FakeGraphics& graphics);
    ~CameraRig();
    CameraRig(const CameraRig&) = delete;
    CameraRig& operator=(const CameraRig&) = delete;

    // Loads the plug-in, brings the OpenGL ES device up and starts the render thread.
    void Start();
    // The script's part of one application frame: every few frames, a new batch of camera frames.
    void Frame(uint32_t frame);
    // Waits for the queued events, stops the render thread, shuts the device down.
    void Stop();

    const CameraCounts& Counts() const { return counts; }
    // The engine textures as drawn, rows from the bottom (GL's order).
    std::vector<simruntime::RgbaImage> Textures() const;

private:
    void RenderThread();

    const harness::WendrathExportTable& wendrath;
    simengine::EngineRegistry& registry;
    simengine::FakeGraphics& graphics;
    IUnityGraphicsDeviceEventCallback deviceEvents = nullptr;
    simgl::RecordingGl gl;
    std::vector<simgl::YuvFrame> frames;
    std::vector<AHardwareBuffer*> buffers;
    std::vector<uint32_t> textures;
    uint32_t captured = 0;

    std::mutex queueMutex;
    std::condition_variable queueChanged;
    std::deque<uint32_t> queued;
    bool stopping = false;
    std::thread renderThread;
    bool started = false;
    // Set by the script while it holds the plug-in's lock, with the time it let go, for the render thread.
    std::atomic<bool> scriptHoldsLock{false};
    std::atomic<std::chrono::steady_clock::rep> unlockedAt{0};
    CameraCounts counts;
};

} // namespace quenra::sim

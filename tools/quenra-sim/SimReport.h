// What one simulator run saw, and its printed form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "RuntimeConnection.h"

namespace quenra::sim {

// What a plane-reading script got from one complete read.
struct PlaneRead {
    size_t horizontal = 0;
    size_t vertical = 0;
    size_t nonOrthogonal = 0;
    size_t vertices = 0;
    size_t triangles = 0;
    // Planes whose mesh could not be fetched.
    size_t meshFailures = 0;

    size_t Planes() const { return horizontal + vertical + nonOrthogonal; }
};

// What the engine got while one scene was current.
struct SceneStats {
    uint32_t number = 0;
    uint32_t firstFrame = 0;
    // The longest mesh list of a frame, and the meshes flagged updated over all frames.
    size_t meshesListed = 0;
    size_t meshesUpdated = 0;
    size_t meshesAcquired = 0;
    size_t acquireFailures = 0;
    size_t vertices = 0;
    size_t triangles = 0;
    size_t transforms = 0;
    // The last plane read made while the scene was current, if any.
    bool planesRead = false;
    PlaneRead planes;
};

// One plug-in's trace messages by level, and each distinct error and warning with how often it came.
struct TraceCounts {
    struct Repeated {
        bool error = false;
        std::string text;
        size_t count = 0;
    };
    size_t errors = 0;
    size_t warnings = 0;
    size_t notices = 0;
    // In the order they first came.
    std::vector<Repeated> named;

    void Add(bool error, const std::string& text);
};

// Frames in which Skelder's layers stood the same way around the application's layer.
struct LayerFrames {
    std::string arrangement;
    uint32_t beneath = 0;
    uint32_t above = 0;
    uint32_t cut = 0;
    uint32_t frames = 0;
};

struct SkelderStats {
    std::string library;
    uint32_t layersCreated = 0;
    std::vector<LayerFrames> layerFrames;
    uint32_t imagesAcquired = 0;
    uint32_t acquireFailures = 0;
    uint32_t imagesReleased = 0;
    uint32_t frameStateCallbacks = 0;
    uint32_t swapchainCallbacks = 0;
    TraceCounts trace;
};

struct WendrathStats {
    std::string library;
    uint32_t eventsQueued = 0;
    uint32_t eventsRun = 0;
    size_t framesDrawn = 0;
    size_t texturesWritten = 0;
    double lockWaitSeconds = 0;
    double scriptLockSeconds = 0;
    size_t glMisuses = 0;
    TraceCounts trace;
};

struct SimReport {
    bool kelbrin = false;
    std::string library;
    uint32_t frames = 0;
    double fps = 0;
    double wallSeconds = 0;
    uint32_t planeFilter = 0;

    size_t computesStarted = 0;
    size_t computesCompleted = 0;
    size_t scenesCreated = 0;
    // Frames whose mesh-info call succeeded.
    uint32_t meshInfoFrames = 0;
    // Scene 0 gathers what arrived before the first scene was created.
    std::vector<SceneStats> scenes;
    uint32_t planeReads = 0;
    uint32_t planeReadFailures = 0;

    TraceCounts trace;
    // Scene observers and scenes the runtime still held after the plug-in was unloaded.
    size_t sceneObjectsLeft = 0;

    bool skelder = false;
    SkelderStats skelderStats;
    bool wendrath = false;
    WendrathStats wendrathStats;
    // The files written, with what each shows.
    std::vector<std::pair<std::string, std::string>> pictures;
    // What the core validation layer reported, when it watched the run (--validate).
    std::optional<ValidationCount> validation;
    // Frames whose xrEndFrame the validation layer refused before the runtime saw them.
    uint32_t framesRefused = 0;
};

void PrintReport(const SimReport& report, std::ostream& out);
// What in the report is a failure, one line each; none for a good run. Under --validate, what the
// validation layer's allowed refusals cause (failed mesh reads, the errors traced for them,
// refused frames) is not.
std::vector<std::string> Failures(const SimReport& report);

} // namespace quenra::sim

// One run of the simulator: an application with an OpenXR session and a projection layer that
// shows the room, the engine with its meshing subsystem, and the scripts of the three plug-ins
// (planes, layers, camera frames), around the simulated runtime's synthetic room and reference
// compositor. Each plug-in is loaded by file name, and only those asked for.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "RuntimeConnection.h"
#include "SimReport.h"

namespace quenra::sim {

struct SimOptions {
    std::string kelbrinLibrary;
    std::string skelderLibrary;
    std::string wendrathLibrary;
    bool kelbrin = true;
    bool skelder = true;
    bool wendrath = true;
    uint32_t frames = 300;
    double fps = 60;
    // Trace messages of this level or more severe are shown as they arrive.
    int traceLevel = 2;
    uint32_t planeFilter = 7;
    // The script reads the planes every this many frames.
    uint32_t planeInterval = 30;
    // Polls each compute reports "updating" before it completes.
    int computePolls = 6;
    // Where the pictures go; none are made when empty.
    std::string pictureDirectory;
    // A progress line, rewritten in place (for a terminal).
    bool progress = false;
    // Straight to the simulated runtime, or through the Khronos loader and its layers.
    ConnectionOptions connection;
};

// Runs the frames in real time: libKelbrin starts computes by the wall clock (at most one every
// 1.5 s), so a faster loop would only see fewer scenes per frame, not more scenes.
SimReport RunSimulation(const SimOptions& options, std::ostream& out);

} // namespace quenra::sim

// One run of the simulator: an application with an OpenXR session, the engine with its
// meshing subsystem, and a plane-reading script, around libKelbrin and the simulated
// runtime's synthetic room.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "KelbrinExports.h"
#include "RuntimeConnection.h"
#include "SimReport.h"

namespace quenra::simulator {

struct SimOptions {
    std::string library;
    uint32_t frames = 300;
    double fps = 60;
    // Trace messages of this level or more severe are shown as they arrive.
    int traceLevel = 2;
    uint32_t planeFilter = 7;
    // The script reads the planes every this many frames.
    uint32_t planeInterval = 30;
    // Polls each compute reports "updating" before it completes.
    int computePolls = 6;
    // Straight to the simulated runtime, or through the Khronos loader and its layers.
    ConnectionOptions connection;
};

// Runs the frames in real time: the plug-in starts computes by the wall clock (at most one
// every 1.5 s), so a faster loop would only see fewer scenes per frame, not more scenes.
SimReport RunSimulation(const SimOptions& options, const KelbrinExports& plugin, std::ostream& out);

} // namespace quenra::simulator

// libKelbrin loaded from its built file into the engine stand-ins, played as an
// engine and a plane-reading script do, whatever sits between it and the runtime.
#pragma once

#include <openxr/openxr.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "EngineStandIns.h"
#include "KelbrinExports.h"
#include "PluginLibrary.h"
#include "SimulatedRuntime.h"

namespace quenra::test {

class LoaderApplication;

class KelbrinSession {
public:
    static constexpr size_t kMeshCount = 3;
    static constexpr size_t kPlaneCount = 2;

    struct Tally {
        size_t scenes = 0;
        // The most meshes one engine update listed.
        size_t meshesListed = 0;
        size_t meshesAcquired = 0;
        size_t acquireFailures = 0;
        size_t planeReads = 0;
        size_t planesCounted = 0;
        size_t planeOutlinesRead = 0;
    };

    // Gives the runtime a small room to see, opens the library and loads it.
    KelbrinSession(simruntime::SimulatedRuntime& runtime, EngineStandIns& engine);
    ~KelbrinSession();
    KelbrinSession(const KelbrinSession&) = delete;
    KelbrinSession& operator=(const KelbrinSession&) = delete;

    // The plug-in's interceptor in front of `next`, as a script chains it.
    PFN_xrGetInstanceProcAddr Chain(PFN_xrGetInstanceProcAddr next);
    // Hands over the application's handles, starts the meshing subsystem and registers the script.
    void Connect(const LoaderApplication& app);
    // Frames in real time until the runtime made `scenes` scenes (computes start at most every
    // 1.5 s); `endFrame` ends each frame, by default with no layers.
    using FrameEnd = std::function<void(const XrFrameState&)>;
    Tally RunUntilScenes(LoaderApplication& app, size_t scenes, const FrameEnd& endFrame = {});
    // The engine's and the script's work of one frame.
    void Update(Tally& tally, bool readPlanes);
    // Removes the script's provider, stops the subsystem and unloads the plug-in.
    void Disconnect();

private:
    simruntime::SimulatedRuntime& runtime;
    simengine::PluginLibrary library;
    sim::KelbrinExports exports{};
    EngineStandIns& engine;
    bool loaded = false;
};

} // namespace quenra::test

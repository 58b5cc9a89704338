// The world of a test through the real OpenXR loader: the loader finds the simulated runtime
// library by its manifest, the core validation layer writes what it finds to a file of this
// test's own, and the test reaches the library's runtime through its control entry.
#pragma once

#include <openxr/openxr.h>

#include <cstddef>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "Application.h"
#include "KelbrinSession.h"
#include "RuntimeLibrary.h"
#include "ScopedEnvironment.h"
#include "SimulatedRuntime.h"
#include "ValidationReport.h"

namespace quenra::test {

using sim::ValidationReport;

inline constexpr const char* kValidationLayer = "XR_APILAYER_LUNARG_core_validation";
// The room libKelbrin's sessions see: squares as meshes and as planes.
inline constexpr size_t kRoomMeshes = 3;
inline constexpr size_t kRoomPlanes = 2;

class LoaderWorld {
public:
    LoaderWorld();
    LoaderWorld(const LoaderWorld&) = delete;
    LoaderWorld& operator=(const LoaderWorld&) = delete;

    // The application's lookup: the loader's own xrGetInstanceProcAddr.
    static PFN_xrGetInstanceProcAddr LoaderLookup();

    // Gives the runtime the room to see.
    void ShowRoom();
    // Frames in real time, the engine's and (every tenth frame) the script's work in each, until
    // the runtime made `scenes` scenes (computes start at most every 1.5 s); `endFrame` ends each
    // frame, by default with no layers. Ends with a last read of the planes.
    using FrameEnd = std::function<void(const XrFrameState&)>;
    size_t RunUntilScenes(harness::Application& app, harness::KelbrinSession& kelbrin,
                          harness::KelbrinSession::Tally& tally, size_t scenes, const FrameEnd& endFrame = {});

    // The engine, its mesh-info list handed out zeroed, so a flag the plug-in leaves alone reads false.
    harness::Engine engine;

    // The runtime the loader talks to, fresh for this world.
    simruntime::SimulatedRuntime& Runtime() { return library.Runtime(); }
    const std::string& ValidationFile() const { return validationFile; }
    // What the validation layer wrote so far, less the allowed findings.
    ValidationReport Validation() const;
    // The handles still alive in the runtime, by kind and value, for a failure message.
    std::vector<std::string> LiveHandles() const;
    // The same, less the application's own: a session's children go with it when it is destroyed,
    // so a plug-in's leftovers must be looked for before the application's teardown.
    std::vector<std::string> LiveHandlesBesides(const std::set<uint64_t>& applications) const;

private:
    ScopedEnvironment environment;
    std::string validationFile;
    harness::RuntimeLibrary library;
};

} // namespace quenra::test

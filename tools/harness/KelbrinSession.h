// libKelbrin played as the engine and a plane-reading script play it, through its exports: the
// engine loads it and runs its meshing subsystem (list the meshes, acquire them, take their
// poses), the script registers a provider of its own and reads planes and their vertices.
#pragma once

#include <openxr/openxr.h>

#include <cstddef>

#include "Engine.h"
#include "KelbrinExportTable.h"

namespace quenra::harness {

class KelbrinSession {
public:
    // The script's provider: planes and their meshes.
    static constexpr const char* kScript = "Quenra-PlaneScript";
    static constexpr int32_t kScriptFeatures = 1 | 2;

    struct Tally : Engine::MeshTally {
        size_t planeReads = 0;
        size_t planesCounted = 0;
        size_t planeOutlinesRead = 0;
        size_t planeVerticesRead = 0;
    };
    using Acquire = Engine::Acquire;

    KelbrinSession(const KelbrinExportTable& exports, Engine& engine) : exports(exports), engine(engine) {}
    ~KelbrinSession();
    KelbrinSession(const KelbrinSession&) = delete;
    KelbrinSession& operator=(const KelbrinSession&) = delete;

    const KelbrinExportTable& Exports() const { return exports; }
    void Load();
    // The plug-in's interceptor in front of `next`, as a script chains it.
    PFN_xrGetInstanceProcAddr Chain(PFN_xrGetInstanceProcAddr next) const;
    // Hands over the application's handles, registers the meshing lifecycle and initialises and
    // starts the subsystem; false when any step failed.
    bool StartMeshing(XrInstance instance, XrSession session, XrSpace space);
    void RegisterScript() const;
    // The engine's meshing update of one frame; `transforms`: then the poses too.
    void UpdateMeshes(Tally& tally, Acquire acquire, bool transforms = true)
    {
        engine.UpdateMeshes(tally, acquire, transforms);
    }
    // The script's step of the compute cycle.
    void StepScript() const;
    // The script's sequence: update, count, fetch the records, then each plane's vertices.
    void ReadPlanes(Tally& tally) const;
    void UnregisterScript() const;
    void StopMeshing();
    void Unload();

private:
    const KelbrinExportTable& exports;
    Engine& engine;
    bool loaded = false;
};

} // namespace quenra::harness

// libKelbrin's side of a run: the engine's meshing subsystem, which lists the meshes and acquires
// every updated one each frame and then takes their poses, and the script that reads the planes
// every so many frames. Both deliver into the room the application draws; the runtime's room moves
// on to its next scan whenever a compute has taken a snapshot of it.
#pragma once

#include <openxr/openxr.h>

#include <cstdint>
#include <ostream>

#include "DeliveredRoom.h"
#include "Engine.h"
#include "KelbrinSession.h"
#include "SceneCounter.h"
#include "SceneUnderstanding.h"
#include "SimReport.h"

namespace quenra::sim {

struct SimOptions;

class KelbrinScripts {
public:
    KelbrinScripts(const harness::KelbrinExportTable& kelbrin, harness::Engine& engine, simruntime::Runtime& runtime,
                   simruntime::SceneUnderstanding& scene, const SimOptions& options, SimReport& report,
                   std::ostream& out);

    void Load() { session.Load(); }
    PFN_xrGetInstanceProcAddr Chain(PFN_xrGetInstanceProcAddr next) const { return session.Chain(next); }
    // Hands over the application's handles, starts the meshing subsystem and registers the script.
    void Start(XrInstance instance, XrSession session, XrSpace space);
    void Frame(uint32_t frame);
    // The script goes first; the subsystem's stop then removes the last provider, which releases
    // the runtime's scene objects, and its shut-down finds nothing left to remove.
    void Stop();
    const DeliveredRoom& Room() const { return room; }

private:
    void UpdateMeshing(uint32_t frame);
    void Acquire(SceneStats& scene, const UnityXRMeshId& id);
    void ReadPlanes();
    void TallyRuntime(uint32_t frame);

    harness::KelbrinSession session;
    harness::Engine& engine;
    simruntime::SceneUnderstanding& scene;
    SceneCounter sceneCounter;
    const SimOptions& options;
    SimReport& report;
    std::ostream& out;
    DeliveredRoom room;
};

} // namespace quenra::sim

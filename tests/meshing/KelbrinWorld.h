// libKelbrin (its objects linked in) booted in front of the stand-ins, as the engine and a
// script boot it: the simulated runtime with its frame loop and scene understanding, an
// engine registry offering the trace and a mesh interface, OpenXR handles passed in. The
// one way the plug-in's tests and its benchmark start it; unloaded when the world ends.
#pragma once

#include <openxr/openxr.h>

#include "EngineRegistry.h"
#include "FrameLoop.h"
#include "Runtime.h"
#include "SceneUnderstanding.h"
#include "TraceRecorder.h"
#include "UnityXRMeshing.h"

namespace kelbrin::test {

// The simulated runtime's names every libKelbrin test uses.
using quenra::simruntime::ComputeOutcome;
using quenra::simruntime::HandleKind;
using quenra::simruntime::HandleValue;
using quenra::simruntime::Runtime;
using quenra::simruntime::SimMeshBuffer;
using quenra::simruntime::SimPlane;
using quenra::simruntime::SimWorld;

class KelbrinWorld {
public:
    KelbrinWorld();
    ~KelbrinWorld();
    KelbrinWorld(const KelbrinWorld&) = delete;
    KelbrinWorld& operator=(const KelbrinWorld&) = delete;

    // Loads the plug-in, offering the trace and this mesh interface.
    void Load(IUnityXRMeshInterface* meshInterface);
    void Unload();
    // What a script does once OpenXR objects exist: chain the lookup, pass instance, session
    // and space. Throws std::runtime_error when the plug-in gives no lookup.
    void ConnectOpenXr();
    // The runtime's xrWaitFrame as the application gets it through the plug-in's lookup.
    PFN_xrWaitFrame InterceptedWaitFrame() const;
    // A frame waited for through the plug-in's interception, so that locating has a predicted time.
    XrTime WaitFrame();

    quenra::simruntime::Runtime runtime;
    quenra::simruntime::FrameLoop frames{runtime};
    quenra::simruntime::SceneUnderstanding sceneUnderstanding{runtime};
    quenra::simengine::TraceRecorder trace;
    quenra::simengine::EngineRegistry registry;
    XrInstance instance = XR_NULL_HANDLE;
    XrSession session = XR_NULL_HANDLE;
    XrSpace space = XR_NULL_HANDLE;

private:
    bool loaded = false;
};

} // namespace kelbrin::test

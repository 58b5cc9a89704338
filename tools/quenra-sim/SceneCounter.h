// Sits in front of the runtime's scene-understanding functions and counts what the plug-in
// got done there, with the runtime's call recording off: computes started, computes seen
// finished (the plug-in stops polling a compute once it has seen it finish), scenes created.
#pragma once

#include <openxr/openxr.h>

#include <cstddef>

#include "Runtime.h"

namespace quenra::sim {

class SceneCounter {
public:
    explicit SceneCounter(simruntime::Runtime& runtime);
    ~SceneCounter();
    SceneCounter(const SceneCounter&) = delete;
    SceneCounter& operator=(const SceneCounter&) = delete;

    size_t ComputesStarted() const { return started; }
    size_t ComputesCompleted() const { return completed; }
    size_t ScenesCreated() const { return created; }

private:
    static XrResult XRAPI_CALL ComputeNewScene(XrSceneObserverMSFT observer, const XrNewSceneComputeInfoMSFT* info);
    static XrResult XRAPI_CALL GetSceneComputeState(XrSceneObserverMSFT observer, XrSceneComputeStateMSFT* state);
    static XrResult XRAPI_CALL CreateScene(XrSceneObserverMSFT observer, const XrSceneCreateInfoMSFT* info,
                                           XrSceneMSFT* scene);

    simruntime::Runtime& runtime;
    PFN_xrComputeNewSceneMSFT computeNewScene;
    PFN_xrGetSceneComputeStateMSFT getSceneComputeState;
    PFN_xrCreateSceneMSFT createScene;
    size_t started = 0;
    size_t completed = 0;
    size_t created = 0;
};

} // namespace quenra::sim

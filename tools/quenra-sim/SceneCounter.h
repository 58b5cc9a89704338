// Sits in front of the runtime's scene-understanding functions and counts what the plug-in
// got done there, with the runtime's call recording off: computes started, computes seen
// finished (the plug-in stops polling a compute once it has seen it finish), scenes created.
#pragma once

#include <openxr/openxr.h>

#include <cstddef>

#include "SimRuntime.h"

namespace quenra::simulator {

class SceneCounter {
public:
    explicit SceneCounter(sim::Runtime& runtime);
    ~SceneCounter();
    SceneCounter(const SceneCounter&) = delete;
    SceneCounter& operator=(const SceneCounter&) = delete;

    size_t ComputesStarted() const { return started_; }
    size_t ComputesCompleted() const { return completed_; }
    size_t ScenesCreated() const { return created_; }

private:
    static XrResult XRAPI_CALL ComputeNewScene(XrSceneObserverMSFT observer, const XrNewSceneComputeInfoMSFT* info);
    static XrResult XRAPI_CALL GetSceneComputeState(XrSceneObserverMSFT observer, XrSceneComputeStateMSFT* state);
    static XrResult XRAPI_CALL CreateScene(XrSceneObserverMSFT observer, const XrSceneCreateInfoMSFT* info,
                                           XrSceneMSFT* scene);

    sim::Runtime& runtime_;
    PFN_xrComputeNewSceneMSFT computeNewScene_;
    PFN_xrGetSceneComputeStateMSFT getSceneComputeState_;
    PFN_xrCreateSceneMSFT createScene_;
    size_t started_ = 0;
    size_t completed_ = 0;
    size_t created_ = 0;
};

} // namespace quenra::simulator

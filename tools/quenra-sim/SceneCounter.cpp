#include "SceneCounter.h"

#include <stdexcept>
#include <string>

namespace quenra::simulator {
namespace {
// The runtime's functions carry no user data of ours: they find the counter here.
SceneCounter* current = nullptr;

const char* const kComputeNewScene = "xrComputeNewSceneMSFT";
const char* const kGetSceneComputeState = "xrGetSceneComputeStateMSFT";
const char* const kCreateScene = "xrCreateSceneMSFT";

template <typename Function> Function Find(const sim::Runtime& runtime, const char* name)
{
    const PFN_xrVoidFunction function = runtime.Function(name);
    if (function == nullptr) {
        throw std::logic_error(std::string("the simulated runtime lacks ") + name);
    }
    return reinterpret_cast<Function>(function);
}
} // namespace

SceneCounter::SceneCounter(sim::Runtime& runtime)
    : runtime_(runtime), computeNewScene_(Find<PFN_xrComputeNewSceneMSFT>(runtime, kComputeNewScene)),
      getSceneComputeState_(Find<PFN_xrGetSceneComputeStateMSFT>(runtime, kGetSceneComputeState)),
      createScene_(Find<PFN_xrCreateSceneMSFT>(runtime, kCreateScene))
{
    if (current != nullptr) {
        throw std::logic_error("only one SceneCounter may exist at a time");
    }
    current = this;
    runtime_.AddFunction(kComputeNewScene, reinterpret_cast<PFN_xrVoidFunction>(&ComputeNewScene));
    runtime_.AddFunction(kGetSceneComputeState, reinterpret_cast<PFN_xrVoidFunction>(&GetSceneComputeState));
    runtime_.AddFunction(kCreateScene, reinterpret_cast<PFN_xrVoidFunction>(&CreateScene));
}

SceneCounter::~SceneCounter()
{
    runtime_.AddFunction(kComputeNewScene, reinterpret_cast<PFN_xrVoidFunction>(computeNewScene_));
    runtime_.AddFunction(kGetSceneComputeState, reinterpret_cast<PFN_xrVoidFunction>(getSceneComputeState_));
    runtime_.AddFunction(kCreateScene, reinterpret_cast<PFN_xrVoidFunction>(createScene_));
    current = nullptr;
}

XrResult XRAPI_CALL SceneCounter::ComputeNewScene(XrSceneObserverMSFT observer, const XrNewSceneComputeInfoMSFT* info)
{
    const XrResult result = current->computeNewScene_(observer, info);
    if (result == XR_SUCCESS) {
        ++current->started_;
    }
    return result;
}

XrResult XRAPI_CALL SceneCounter::GetSceneComputeState(XrSceneObserverMSFT observer, XrSceneComputeStateMSFT* state)
{
    const XrResult result = current->getSceneComputeState_(observer, state);
    if (result == XR_SUCCESS && *state == XR_SCENE_COMPUTE_STATE_COMPLETED_MSFT) {
        ++current->completed_;
    }
    return result;
}

XrResult XRAPI_CALL SceneCounter::CreateScene(XrSceneObserverMSFT observer, const XrSceneCreateInfoMSFT* info,
                                              XrSceneMSFT* scene)
{
    const XrResult result = current->createScene_(observer, info, scene);
    if (result == XR_SUCCESS) {
        ++current->created_;
    }
    return result;
}

} // namespace quenra::simulator

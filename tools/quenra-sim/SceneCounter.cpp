#include "SceneCounter.h"

#include <stdexcept>
#include <string>

namespace quenra::sim {
namespace {
// The runtime's functions carry no user data of ours: they find the counter here.
SceneCounter* current = nullptr;

const char* const kComputeNewScene = "xrComputeNewSceneMSFT";
const char* const kGetSceneComputeState = "xrGetSceneComputeStateMSFT";
const char* const kCreateScene = "xrCreateSceneMSFT";

template <typename Function> Function Find(const simruntime::Runtime& runtime, const char* name)
{
    const PFN_xrVoidFunction function = runtime.Function(name);
    if (function == nullptr) {
        throw std::logic_error(std::string("the simulated runtime lacks ") + name);
    }
    return reinterpret_cast<Function>(function);
}
} // namespace

SceneCounter::SceneCounter(simruntime::Runtime& runtime)
    : runtime(runtime), computeNewScene(Find<PFN_xrComputeNewSceneMSFT>(runtime, kComputeNewScene)),
      getSceneComputeState(Find<PFN_xrGetSceneComputeStateMSFT>(runtime, kGetSceneComputeState)),
      createScene(Find<PFN_xrCreateSceneMSFT>(runtime, kCreateScene))
{
    if (current != nullptr) {
        throw std::logic_error("only one SceneCounter may exist at a time");
    }
    current = this;
    runtime.AddFunction(kComputeNewScene, reinterpret_cast<PFN_xrVoidFunction>(&ComputeNewScene));
    runtime.AddFunction(kGetSceneComputeState, reinterpret_cast<PFN_xrVoidFunction>(&GetSceneComputeState));
    runtime.AddFunction(kCreateScene, reinterpret_cast<PFN_xrVoidFunction>(&CreateScene));
}

SceneCounter::~SceneCounter()
{
    runtime.AddFunction(kComputeNewScene, reinterpret_cast<PFN_xrVoidFunction>(computeNewScene));
    runtime.AddFunction(kGetSceneComputeState, reinterpret_cast<PFN_xrVoidFunction>(getSceneComputeState));
    runtime.AddFunction(kCreateScene, reinterpret_cast<PFN_xrVoidFunction>(createScene));
    current = nullptr;
}

XrResult XRAPI_CALL SceneCounter::ComputeNewScene(XrSceneObserverMSFT observer, const XrNewSceneComputeInfoMSFT* info)
{
    const XrResult result = current->computeNewScene(observer, info);
    if (result == XR_SUCCESS) {
        ++current->started;
    }
    return result;
}

XrResult XRAPI_CALL SceneCounter::GetSceneComputeState(XrSceneObserverMSFT observer, XrSceneComputeStateMSFT* state)
{
    const XrResult result = current->getSceneComputeState(observer, state);
    if (result == XR_SUCCESS && *state == XR_SCENE_COMPUTE_STATE_COMPLETED_MSFT) {
        ++current->completed;
    }
    return result;
}

XrResult XRAPI_CALL SceneCounter::CreateScene(XrSceneObserverMSFT observer, const XrSceneCreateInfoMSFT* info,
                                              XrSceneMSFT* scene)
{
    const XrResult result = current->createScene(observer, info, scene);
    if (result == XR_SUCCESS) {
        ++current->created;
    }
    return result;
}

} // namespace quenra::sim

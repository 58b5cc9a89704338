#include "FaultSweep.h"

#include <algorithm>
#include <map>
#include <set>

namespace quenra::test {
namespace {

// Functions that take no session or handle below one: they cannot lose a session.
bool InstanceLevel(const std::string& function)
{
    static const std::set<std::string> kFunctions = {
        "xrGetInstanceProcAddr",      "xrCreateInstance",     "xrDestroyInstance",
        "xrEnumerateApiLayerProperties", "xrEnumerateInstanceExtensionProperties", "xrGetInstanceProperties",
        "xrGetSystem",                "xrGetSystemProperties", "xrEnumerateEnvironmentBlendModes",
        "xrEnumerateViewConfigurations", "xrEnumerateViewConfigurationViews", "xrCreateSession",
        "xrPollEvent",                "xrStringToPath",       "xrPathToString"};
    return kFunctions.count(function) != 0;
}

// Functions that fill a caller's array of a capacity it gives.
bool TwoCall(const std::string& function)
{
    return function.rfind("xrEnumerate", 0) == 0 || function == "xrGetSceneComponentsMSFT" ||
           function == "xrGetSceneMeshBuffersMSFT";
}

std::string Describe(size_t number, const std::string& function, XrResult result, const std::string& fault)
{
    return "call " + std::to_string(number) + " " + function + " answering " + std::to_string(result) + ": " + fault;
}

} // namespace

const std::vector<XrResult>& SweptResults()
{
    static const std::vector<XrResult> kResults = {XR_ERROR_RUNTIME_FAILURE, XR_ERROR_SESSION_LOST,
                                                   XR_ERROR_HANDLE_INVALID, XR_ERROR_SIZE_INSUFFICIENT,
                                                   XR_SESSION_LOSS_PENDING};
    return kResults;
}

bool MayAnswer(const std::string& function, XrResult result)
{
    switch (result) {
    case XR_ERROR_SESSION_LOST:
    case XR_SESSION_LOSS_PENDING:
        return !InstanceLevel(function);
    case XR_ERROR_SIZE_INSUFFICIENT:
        return TwoCall(function);
    default:
        return true;
    }
}

SweepFigures Sweep(ScriptedSession& session)
{
    SweepFigures figures;
    const SessionOutcome baseline = session.Run([](simruntime::Runtime&) {});
    figures.calls = baseline.calls.size();
    if (!baseline.ranToEnd || !baseline.worked || !baseline.leftAlive.empty()) {
        figures.failed.push_back("the clean session itself does not work");
        figures.failures = 1;
        return figures;
    }
    for (size_t number = 1; number <= baseline.calls.size(); ++number) {
        const std::string& function = baseline.calls[number - 1];
        for (XrResult result : SweptResults()) {
            if (!MayAnswer(function, result)) {
                continue;
            }
            ++figures.cases;
            const SessionOutcome faulty = session.Run(
                [&](simruntime::Runtime& runtime) { runtime.InjectAtCall(runtime.CallsEntered() + number, result); });
            std::vector<std::string> faults;
            if (!faulty.ranToEnd) {
                faults.push_back("the session did not run to its end");
            }
            for (const std::string& handle : faulty.leftAlive) {
                faults.push_back("left alive: " + handle);
            }
            const SessionOutcome next = session.Run([](simruntime::Runtime&) {});
            if (!next.ranToEnd || !next.worked || !next.leftAlive.empty()) {
                faults.push_back("the next session did not work");
            }
            if (!faults.empty()) {
                ++figures.failures;
                for (const std::string& fault : faults) {
                    figures.failed.push_back(Describe(number, function, result, fault));
                }
            }
        }
    }
    return figures;
}

SessionOutcome Outcome(simruntime::Runtime& runtime, size_t armedAt)
{
    SessionOutcome outcome;
    const std::vector<simruntime::RecordedCall> calls = runtime.Calls();
    for (size_t i = armedAt; i < calls.size(); ++i) {
        outcome.calls.push_back(calls[i].function);
    }
    runtime.InjectAtCall(0, XR_SUCCESS);
    return outcome;
}

std::vector<std::string> LeftAlive(const simruntime::Runtime& runtime, std::set<uint64_t> application, size_t armedAt)
{
    const std::vector<simruntime::LiveHandle> live = runtime.LiveHandles();
    std::map<uint64_t, const simruntime::LiveHandle*> byHandle;
    for (const simruntime::LiveHandle& handle : live) {
        byHandle[handle.handle] = &handle;
    }
    // A handle the runtime said was invalid, or made under a session it said was lost, is gone
    // for the plug-in, which must not call on it again, whatever the simulated runtime still holds.
    std::set<uint64_t> gone;
    const std::vector<simruntime::RecordedCall> calls = runtime.Calls();
    for (size_t i = armedAt; i < calls.size(); ++i) {
        const simruntime::RecordedCall& call = calls[i];
        if (call.handles.empty()) {
            continue;
        }
        if (call.function.rfind("xrDestroy", 0) == 0 && XR_FAILED(call.result)) {
            application.insert(call.handles[0]);
        } else if (call.result == XR_ERROR_HANDLE_INVALID) {
            gone.insert(call.handles[0]);
        } else if (call.result == XR_ERROR_SESSION_LOST) {
            for (auto found = byHandle.find(call.handles[0]); found != byHandle.end();
                 found = byHandle.find(found->second->parent)) {
                if (found->second->kind == simruntime::HandleKind::Session) {
                    gone.insert(found->first);
                }
            }
        }
    }
    const auto madeUnderGone = [&](uint64_t handle) {
        for (auto found = byHandle.find(handle); found != byHandle.end(); found = byHandle.find(found->second->parent)) {
            if (gone.count(found->first) != 0) {
                return true;
            }
        }
        return false;
    };
    std::vector<std::string> alive;
    for (const simruntime::LiveHandle& handle : live) {
        if (application.count(handle.handle) == 0 && !madeUnderGone(handle.handle)) {
            alive.push_back(std::string(simruntime::HandleKindName(handle.kind)) + " " + std::to_string(handle.handle));
        }
    }
    return alive;
}

} // namespace quenra::test

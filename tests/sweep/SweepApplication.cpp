#include "SweepApplication.h"

namespace quenra::test {

std::set<uint64_t> SweepApplication::Handles() const
{
    return {simruntime::HandleValue(instance), simruntime::HandleValue(session), simruntime::HandleValue(space),
            simruntime::HandleValue(swapchain)};
}

PFN_xrVoidFunction SweepApplication::Find(const char* name)
{
    auto known = found.find(name);
    if (known != found.end()) {
        return known->second;
    }
    PFN_xrVoidFunction function = nullptr;
    if (XR_FAILED(lookup(instance, name, &function)) || function == nullptr) {
        return nullptr;
    }
    found[name] = function;
    return function;
}

XrSystemId SweepApplication::CreateInstance()
{
    XrInstanceCreateInfo instanceInfo{XR_TYPE_INSTANCE_CREATE_INFO};
    Call<PFN_xrCreateInstance>("xrCreateInstance", &instanceInfo, &instance);
    XrSystemGetInfo systemInfo{XR_TYPE_SYSTEM_GET_INFO};
    systemInfo.formFactor = XR_FORM_FACTOR_HEAD_MOUNTED_DISPLAY;
    XrSystemId system = XR_NULL_SYSTEM_ID;
    Call<PFN_xrGetSystem>("xrGetSystem", instance, &systemInfo, &system);
    return system;
}

void SweepApplication::CreateSession(XrSystemId system)
{
    XrSessionCreateInfo sessionInfo{XR_TYPE_SESSION_CREATE_INFO};
    sessionInfo.systemId = system;
    Call<PFN_xrCreateSession>("xrCreateSession", instance, &sessionInfo, &session);
    XrReferenceSpaceCreateInfo spaceInfo{XR_TYPE_REFERENCE_SPACE_CREATE_INFO};
    spaceInfo.referenceSpaceType = XR_REFERENCE_SPACE_TYPE_LOCAL;
    spaceInfo.poseInReferenceSpace.orientation.w = 1.0f;
    Call<PFN_xrCreateReferenceSpace>("xrCreateReferenceSpace", session, &spaceInfo, &space);
    for (const char* name : {"xrDestroySwapchain", "xrDestroySpace", "xrDestroySession", "xrDestroyInstance"}) {
        Find(name);
    }
}

void SweepApplication::DestroyAll()
{
    if (swapchain != XR_NULL_HANDLE) {
        Call<PFN_xrDestroySwapchain>("xrDestroySwapchain", swapchain);
    }
    Call<PFN_xrDestroySpace>("xrDestroySpace", space);
    Call<PFN_xrDestroySession>("xrDestroySession", session);
    Call<PFN_xrDestroyInstance>("xrDestroyInstance", instance);
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

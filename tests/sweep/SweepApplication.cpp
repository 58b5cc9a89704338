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
    const std::vector<simruntime::RecordedCall> calls = runtime.Calls();
    for (size_t i = armedAt; i < calls.size(); ++i) {
        if (calls[i].function.rfind("xrDestroy", 0) == 0 && XR_FAILED(calls[i].result) && !calls[i].handles.empty()) {
            application.insert(calls[i].handles[0]);
        }
    }
    std::vector<std::string> alive;
    for (const simruntime::LiveHandle& handle : runtime.LiveHandles()) {
        if (application.count(handle.handle) == 0) {
            alive.push_back(std::string(simruntime::HandleKindName(handle.kind)) + " " + std::to_string(handle.handle));
        }
    }
    return alive;
}

} // namespace quenra::test

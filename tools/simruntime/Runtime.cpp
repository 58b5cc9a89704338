#include "Runtime.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace quenra::simruntime {
namespace {
Runtime* current = nullptr;

XrResult XRAPI_CALL CreateInstance(const XrInstanceCreateInfo* info, XrInstance* instance)
{
    SIMRUNTIME_ENTER(call, "xrCreateInstance");
    SIMRUNTIME_INVALID_IF(call, info == nullptr || instance == nullptr);
    SIMRUNTIME_INVALID_IF(call, info->type != XR_TYPE_INSTANCE_CREATE_INFO);
    *instance = call.runtime().MakeInstance();
    return call.Return(XR_SUCCESS);
}

XrResult XRAPI_CALL DestroyInstance(XrInstance instance)
{
    SIMRUNTIME_ENTER(call, "xrDestroyInstance", HandleValue(instance));
    return call.Destroy(HandleKind::Instance, HandleValue(instance));
}

XrResult XRAPI_CALL GetSystem(XrInstance instance, const XrSystemGetInfo* info, XrSystemId* systemId)
{
    SIMRUNTIME_ENTER_ON(call, "xrGetSystem", HandleKind::Instance, instance);
    SIMRUNTIME_INVALID_IF(call, info == nullptr || info->type != XR_TYPE_SYSTEM_GET_INFO || systemId == nullptr);
    *systemId = 1;
    return call.Return(XR_SUCCESS);
}

XrResult XRAPI_CALL CreateSession(XrInstance instance, const XrSessionCreateInfo* info, XrSession* session)
{
    SIMRUNTIME_ENTER_ON(call, "xrCreateSession", HandleKind::Instance, instance);
    SIMRUNTIME_INVALID_IF(call, info == nullptr || info->type != XR_TYPE_SESSION_CREATE_INFO || session == nullptr);
    *session = call.runtime().MakeSession(instance);
    return call.Return(XR_SUCCESS);
}

XrResult XRAPI_CALL DestroySession(XrSession session)
{
    SIMRUNTIME_ENTER(call, "xrDestroySession", HandleValue(session));
    return call.Destroy(HandleKind::Session, HandleValue(session));
}

XrResult XRAPI_CALL CreateReferenceSpace(XrSession session, const XrReferenceSpaceCreateInfo* info, XrSpace* space)
{
    SIMRUNTIME_ENTER_ON(call, "xrCreateReferenceSpace", HandleKind::Session, session);
    SIMRUNTIME_INVALID_IF(call,
                          info == nullptr || info->type != XR_TYPE_REFERENCE_SPACE_CREATE_INFO || space == nullptr);
    *space = call.runtime().MakeSpace(session);
    return call.Return(XR_SUCCESS);
}

XrResult XRAPI_CALL DestroySpace(XrSpace space)
{
    SIMRUNTIME_ENTER(call, "xrDestroySpace", HandleValue(space));
    return call.Destroy(HandleKind::Space, HandleValue(space));
}
} // namespace

Runtime::Runtime()
{
    if (current != nullptr) {
        throw std::logic_error("only one simulated runtime may exist at a time");
    }
    current = this;
    AddFunction("xrGetInstanceProcAddr", reinterpret_cast<PFN_xrVoidFunction>(&Runtime::GetInstanceProcAddr));
    AddFunction("xrCreateInstance", reinterpret_cast<PFN_xrVoidFunction>(&CreateInstance));
    AddFunction("xrDestroyInstance", reinterpret_cast<PFN_xrVoidFunction>(&DestroyInstance));
    AddFunction("xrGetSystem", reinterpret_cast<PFN_xrVoidFunction>(&GetSystem));
    AddFunction("xrCreateSession", reinterpret_cast<PFN_xrVoidFunction>(&CreateSession));
    AddFunction("xrDestroySession", reinterpret_cast<PFN_xrVoidFunction>(&DestroySession));
    AddFunction("xrCreateReferenceSpace", reinterpret_cast<PFN_xrVoidFunction>(&CreateReferenceSpace));
    AddFunction("xrDestroySpace", reinterpret_cast<PFN_xrVoidFunction>(&DestroySpace));
}

Runtime::~Runtime()
{
    current = nullptr;
}

Runtime& Runtime::Current()
{
    if (current == nullptr) {
        throw std::logic_error("no simulated runtime exists");
    }
    return *current;
}

bool Runtime::Exists()
{
    return current != nullptr;
}

XrResult XRAPI_CALL Runtime::GetInstanceProcAddr(XrInstance instance, const char* name, PFN_xrVoidFunction* function)
{
    SIMRUNTIME_ENTER(call, "xrGetInstanceProcAddr", HandleValue(instance));
    SIMRUNTIME_INVALID_IF(call, name == nullptr || function == nullptr);
    *function = nullptr;
    // Like a conformant runtime: without an instance only the global functions are served.
    const bool global = std::strcmp(name, "xrCreateInstance") == 0 ||
                        std::strcmp(name, "xrEnumerateInstanceExtensionProperties") == 0 ||
                        std::strcmp(name, "xrEnumerateApiLayerProperties") == 0 ||
                        std::strcmp(name, "xrGetInstanceProcAddr") == 0;
    Runtime& runtime = call.runtime();
    if (instance == XR_NULL_HANDLE) {
        if (!global) {
            return call.Return(XR_ERROR_HANDLE_INVALID);
        }
    } else if (!runtime.IsLive(HandleKind::Instance, HandleValue(instance))) {
        return call.Return(XR_ERROR_HANDLE_INVALID);
    }
    auto found = runtime.functions.find(name);
    if (found == runtime.functions.end()) {
        return call.Return(XR_ERROR_FUNCTION_UNSUPPORTED);
    }
    *function = found->second;
    return call.Return(XR_SUCCESS);
}

void Runtime::AddFunction(const std::string& name, PFN_xrVoidFunction function)
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    functions[name] = function;
}

void Runtime::RemoveFunction(const std::string& name)
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    functions.erase(name);
}

bool Runtime::HasFunction(const std::string& name) const
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    return functions.count(name) != 0;
}

PFN_xrVoidFunction Runtime::Function(const std::string& name) const
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    auto found = functions.find(name);
    return found != functions.end() ? found->second : nullptr;
}

void Runtime::FailNext(const std::string& function, XrResult result, int times)
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    for (int i = 0; i < times; ++i) {
        failNext[function].push_back(result);
    }
}

void Runtime::FailAlways(const std::string& function, XrResult result)
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    failAlways[function] = result;
}

void Runtime::SucceedNextWith(const std::string& function, XrResult code)
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    successCodes[function] = code;
}

void Runtime::ClearFailures()
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    failNext.clear();
    failAlways.clear();
    successCodes.clear();
    injectAtCall = 0;
}

size_t Runtime::CallsEntered() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    return callsEntered;
}

void Runtime::InjectAtCall(size_t number, XrResult result)
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    injectAtCall = number;
    injectAtCallResult = result;
}

void Runtime::SetRecording(bool recording)
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    this->recording = recording;
}

bool Runtime::Recording() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    return recording;
}

std::vector<RecordedCall> Runtime::Calls() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    return calls;
}

std::vector<RecordedCall> Runtime::Calls(const std::string& function) const
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    std::vector<RecordedCall> matching;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(matching),
                 [&](const RecordedCall& call) { return call.function == function; });
    return matching;
}

size_t Runtime::CallCount(const std::string& function) const
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    return static_cast<size_t>(
        std::count_if(calls.begin(), calls.end(), [&](const RecordedCall& call) { return call.function == function; }));
}

std::vector<std::string> Runtime::CallSequence() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    std::vector<std::string> names;
    for (const RecordedCall& call : calls) {
        names.push_back(call.function);
    }
    return names;
}

void Runtime::ClearCalls()
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    calls.clear();
}

uint64_t Runtime::CreateHandle(HandleKind kind, uint64_t parent)
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    const uint64_t handle = nextHandle;
    // Spread handle values so that a handle of one kind is never mistaken for a small integer.
    nextHandle += 0x10;
    handles[handle] = {kind, parent};
    return handle;
}

bool Runtime::IsLive(HandleKind kind, uint64_t handle) const
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    auto found = handles.find(handle);
    return found != handles.end() && found->second.kind == kind;
}

bool Runtime::DestroyHandle(HandleKind kind, uint64_t handle)
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    if (!IsLive(kind, handle)) {
        return false;
    }
    // Destroying a parent destroys its children, as OpenXR requires.
    std::vector<uint64_t> doomed{handle};
    for (size_t i = 0; i < doomed.size(); ++i) {
        for (const auto& [child, record] : handles) {
            if (record.parent == doomed[i]) {
                doomed.push_back(child);
            }
        }
    }
    for (uint64_t h : doomed) {
        handles.erase(h);
    }
    return true;
}

std::vector<LiveHandle> Runtime::LiveHandles(HandleKind kind) const
{
    std::vector<LiveHandle> live = LiveHandles();
    live.erase(std::remove_if(live.begin(), live.end(), [&](const LiveHandle& h) { return h.kind != kind; }),
               live.end());
    return live;
}

XrInstance Runtime::MakeInstance()
{
    return reinterpret_cast<XrInstance>(CreateHandle(HandleKind::Instance));
}

XrSession Runtime::MakeSession(XrInstance instance)
{
    return reinterpret_cast<XrSession>(CreateHandle(HandleKind::Session, HandleValue(instance)));
}

XrSpace Runtime::MakeSpace(XrSession session)
{
    return reinterpret_cast<XrSpace>(CreateHandle(HandleKind::Space, HandleValue(session)));
}

std::optional<XrResult> Runtime::Enter(const char* function, std::initializer_list<uint64_t> handles, size_t* callIndex,
                                       size_t* number)
{
    std::optional<XrResult> injected;
    *number = ++callsEntered;
    auto always = failAlways.find(function);
    auto next = failNext.find(function);
    if (*number == injectAtCall && XR_FAILED(injectAtCallResult)) {
        // The call chosen by number fails; queued failures wait for the next call.
        injected = injectAtCallResult;
    } else if (next != failNext.end() && !next->second.empty()) {
        injected = next->second.front();
        next->second.pop_front();
    } else if (always != failAlways.end()) {
        injected = always->second;
    }
    // An index past the record stands for a call that was not recorded.
    *callIndex = SIZE_MAX;
    if (recording) {
        *callIndex = calls.size();
        calls.push_back({function, std::vector<uint64_t>(handles), injected.value_or(XR_SUCCESS)});
    }
    return injected;
}

XrResult Runtime::Finish(size_t callIndex, const char* function, XrResult result, size_t number)
{
    if (result == XR_SUCCESS && number == injectAtCall && XR_SUCCEEDED(injectAtCallResult)) {
        result = injectAtCallResult;
    } else if (result == XR_SUCCESS) {
        auto code = successCodes.find(function);
        if (code != successCodes.end()) {
            result = code->second;
            successCodes.erase(code);
        }
    }
    if (callIndex < calls.size()) {
        calls[callIndex].result = result;
    }
    return result;
}

RuntimeCall::RuntimeCall(const char* function, std::initializer_list<uint64_t> handles)
    : callRuntime(Runtime::Current()), function(function), lock(callRuntime.Mutex())
{
    injectedFailure = callRuntime.Enter(function, handles, &callIndex, &number);
}

} // namespace quenra::simruntime

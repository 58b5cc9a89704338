// A simulated OpenXR runtime, served through its own xrGetInstanceProcAddr.
//
// It is strict like a conformant runtime: it tracks every handle it made (an unknown
// or destroyed handle gives XR_ERROR_HANDLE_INVALID), checks the type of each input
// structure, and can list what is still alive. Every call is recorded (unless recording
// is off), and any call can be told to fail with a chosen XrResult. Feature modules (frame loop, scene
// understanding, swapchains, ...) add their functions to the table of one Runtime.
#pragma once

#include <openxr/openxr.h>

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quenra::simruntime {

enum class HandleKind {
    Instance,
    Session,
    Space,
    Swapchain,
    SceneObserver,
    Scene,
    Passthrough,
    PassthroughLayer,
    FoveationProfile,
};
// Inline, as the other members a program reaching the runtime library's runtime through its
// control entry needs without the runtime's code linked in (see SimulatedRuntime.h).
inline const char* HandleKindName(HandleKind kind)
{
    switch (kind) {
    case HandleKind::Instance:
        return "XrInstance";
    case HandleKind::Session:
        return "XrSession";
    case HandleKind::Space:
        return "XrSpace";
    case HandleKind::Swapchain:
        return "XrSwapchain";
    case HandleKind::SceneObserver:
        return "XrSceneObserverMSFT";
    case HandleKind::Scene:
        return "XrSceneMSFT";
    case HandleKind::Passthrough:
        return "XrPassthroughFB";
    case HandleKind::PassthroughLayer:
        return "XrPassthroughLayerFB";
    case HandleKind::FoveationProfile:
        return "XrFoveationProfileFB";
    }
    return "unknown";
}

struct LiveHandle {
    HandleKind kind;
    uint64_t handle;
    uint64_t parent;
};

struct RecordedCall {
    std::string function;
    // The handles the call was made with, in argument order.
    std::vector<uint64_t> handles;
    // The result the call returned.
    XrResult result;
};

template <typename Handle> uint64_t HandleValue(Handle handle)
{
    return (uint64_t)(handle);
}

class Runtime {
public:
    Runtime();
    ~Runtime();
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    // The live runtime; the functions in the table find their state through it.
    static Runtime& Current();
    static bool Exists();

    // The lookup an application (or the loader) hands out.
    static XrResult XRAPI_CALL GetInstanceProcAddr(XrInstance instance, const char* name, PFN_xrVoidFunction* function);

    // --- The function table -------------------------------------------------------------
    void AddFunction(const std::string& name, PFN_xrVoidFunction function);
    // A removed function is unknown to lookups, as in a runtime without the extension.
    void RemoveFunction(const std::string& name);
    bool HasFunction(const std::string& name) const;
    // The function in the table, or null; lets a module wrap another's function.
    PFN_xrVoidFunction Function(const std::string& name) const;

    // --- Results ------------------------------------------------------------------------
    // The next `times` calls of `function` return `result` and do nothing else.
    void FailNext(const std::string& function, XrResult result, int times = 1);
    // Every call of `function` from now on returns `result` and does nothing else.
    void FailAlways(const std::string& function, XrResult result);
    // The next call of `function` that succeeds does its work and then returns `code`, a success
    // code such as XR_SESSION_LOSS_PENDING (an injected failure, by contrast, does nothing).
    void SucceedNextWith(const std::string& function, XrResult code);
    void ClearFailures();
    // Every call entered so far, recorded or not, injected or not; the first call is number 1.
    size_t CallsEntered() const;
    // The call numbered `number` (as CallsEntered counts) answers `result`: a failure is returned
    // at once, a success code replaces XR_SUCCESS once the call has done its work.
    void InjectAtCall(size_t number, XrResult result);

    // --- Recording ----------------------------------------------------------------------
    // Off, neither the runtime nor its modules keep records of the calls, so a long run does
    // not grow without end; what was recorded before stays. On by default.
    void SetRecording(bool recording);
    bool Recording() const;
    // Adds to a module's own record of calls, unless recording is off.
    template <typename Record> void Keep(std::vector<Record>& records, Record record) const
    {
        if (Recording()) {
            records.push_back(std::move(record));
        }
    }
    std::vector<RecordedCall> Calls() const;
    std::vector<RecordedCall> Calls(const std::string& function) const;
    size_t CallCount(const std::string& function) const;
    // Function names in call order.
    std::vector<std::string> CallSequence() const;
    void ClearCalls();

    // --- Handles ------------------------------------------------------------------------
    uint64_t CreateHandle(HandleKind kind, uint64_t parent = 0);
    bool IsLive(HandleKind kind, uint64_t handle) const;
    // Forgets the handle and every handle made under it; false if it was not live.
    bool DestroyHandle(HandleKind kind, uint64_t handle);
    std::vector<LiveHandle> LiveHandles() const
    {
        std::lock_guard<std::recursive_mutex> lock(mutex);
        std::vector<LiveHandle> live;
        for (const auto& [handle, record] : handles) {
            live.push_back({record.kind, handle, record.parent});
        }
        return live;
    }
    std::vector<LiveHandle> LiveHandles(HandleKind kind) const;

    // Ready-made objects for tests that do not go through creation calls.
    XrInstance MakeInstance();
    XrSession MakeSession(XrInstance instance);
    XrSpace MakeSpace(XrSession session);

    // Shared by the module functions: one runtime call at a time.
    std::recursive_mutex& Mutex() const { return mutex; }

    // Entry of every function: records the call and tells whether an injected
    // failure must be returned at once. Call Finish with the result afterwards; it answers the
    // result to return, XR_SUCCESS replaced by a success code SucceedNextWith asked for.
    // `number` receives the call's number, which Finish takes back.
    std::optional<XrResult> Enter(const char* function, std::initializer_list<uint64_t> handles, size_t* callIndex,
                                  size_t* number);
    XrResult Finish(size_t callIndex, const char* function, XrResult result, size_t number);

private:
    struct HandleRecord {
        HandleKind kind;
        uint64_t parent;
    };

    mutable std::recursive_mutex mutex;
    std::map<std::string, PFN_xrVoidFunction> functions;
    std::map<std::string, std::deque<XrResult>> failNext;
    std::map<std::string, XrResult> failAlways;
    std::map<std::string, XrResult> successCodes;
    size_t callsEntered = 0;
    size_t injectAtCall = 0;
    XrResult injectAtCallResult = XR_SUCCESS;
    bool recording = true;
    std::vector<RecordedCall> calls;
    std::map<uint64_t, HandleRecord> handles;
    uint64_t nextHandle = 0x1000;
};

// Holds the runtime's lock for one call and records its result.
class RuntimeCall {
public:
    RuntimeCall(const char* function, std::initializer_list<uint64_t> handles);
    Runtime& runtime() { return callRuntime; }
    // An injected failure, when the call must return it at once.
    const std::optional<XrResult>& injected() const { return injectedFailure; }
    XrResult Return(XrResult result) { return callRuntime.Finish(callIndex, function, result, number); }
    // Forgets the handle and its children: XR_ERROR_HANDLE_INVALID when it was not live.
    XrResult Destroy(HandleKind kind, uint64_t handle)
    {
        return Return(callRuntime.DestroyHandle(kind, handle) ? XR_SUCCESS : XR_ERROR_HANDLE_INVALID);
    }

private:
    Runtime& callRuntime;
    const char* function;
    std::lock_guard<std::recursive_mutex> lock;
    size_t callIndex = 0;
    size_t number = 0;
    std::optional<XrResult> injectedFailure;
};

} // namespace quenra::simruntime

// The prologue of every runtime function, written once. SIMRUNTIME_ENTER records the call with its
// handles under the runtime's lock and returns an injected failure at once; SIMRUNTIME_ENTER_ON
// then answers XR_ERROR_HANDLE_INVALID unless `handle` is a live handle of `kind`;
// SIMRUNTIME_INVALID_IF answers XR_ERROR_VALIDATION_FAILURE when an argument check fails.
#define SIMRUNTIME_ENTER(call, function, ...)                                                                          \
    ::quenra::simruntime::RuntimeCall call(function, {__VA_ARGS__});                                                   \
    if (call.injected())                                                                                               \
    return *call.injected()
#define SIMRUNTIME_ENTER_ON(call, function, kind, handle)                                                              \
    SIMRUNTIME_ENTER(call, function, ::quenra::simruntime::HandleValue(handle));                                       \
    if (!call.runtime().IsLive(kind, ::quenra::simruntime::HandleValue(handle)))                                       \
    return call.Return(XR_ERROR_HANDLE_INVALID)
#define SIMRUNTIME_INVALID_IF(call, condition)                                                                         \
    if (condition)                                                                                                     \
    return call.Return(XR_ERROR_VALIDATION_FAILURE)

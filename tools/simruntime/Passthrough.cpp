#include "Passthrough.h"

#include <stdexcept>

namespace quenra::sim {
namespace {
Passthrough* current = nullptr;

const char* const kFunctions[] = {"xrCreatePassthroughFB", "xrDestroyPassthroughFB",     "xrPassthroughStartFB",
                                  "xrPassthroughPauseFB",  "xrCreatePassthroughLayerFB", "xrDestroyPassthroughLayerFB"};

bool IsRunningAtCreation(XrPassthroughFlagsFB flags)
{
    return (flags & XR_PASSTHROUGH_IS_RUNNING_AT_CREATION_BIT_FB) != 0;
}
} // namespace

Passthrough::Passthrough(Runtime& runtime) : runtime_(runtime)
{
    if (current != nullptr) {
        throw std::logic_error("only one Passthrough module may exist at a time");
    }
    current = this;
    runtime_.AddFunction(kFunctions[0], reinterpret_cast<PFN_xrVoidFunction>(&Passthrough::CreatePassthrough));
    runtime_.AddFunction(kFunctions[1], reinterpret_cast<PFN_xrVoidFunction>(&Passthrough::DestroyPassthrough));
    runtime_.AddFunction(kFunctions[2], reinterpret_cast<PFN_xrVoidFunction>(&Passthrough::StartPassthrough));
    runtime_.AddFunction(kFunctions[3], reinterpret_cast<PFN_xrVoidFunction>(&Passthrough::PausePassthrough));
    runtime_.AddFunction(kFunctions[4], reinterpret_cast<PFN_xrVoidFunction>(&Passthrough::CreatePassthroughLayer));
    runtime_.AddFunction(kFunctions[5], reinterpret_cast<PFN_xrVoidFunction>(&Passthrough::DestroyPassthroughLayer));
}

Passthrough::~Passthrough()
{
    for (const char* name : kFunctions) {
        runtime_.RemoveFunction(name);
    }
    current = nullptr;
}

Passthrough& Passthrough::Current()
{
    if (current == nullptr) {
        throw std::logic_error("no simulated passthrough module exists");
    }
    return *current;
}

std::vector<XrPassthroughCreateInfoFB> Passthrough::CreateInfos() const
{
    std::lock_guard<std::recursive_mutex> lock(runtime_.Mutex());
    return createInfos_;
}

std::vector<XrPassthroughLayerCreateInfoFB> Passthrough::LayerCreateInfos() const
{
    std::lock_guard<std::recursive_mutex> lock(runtime_.Mutex());
    return layerCreateInfos_;
}

bool Passthrough::IsRunning(XrPassthroughFB passthrough) const
{
    std::lock_guard<std::recursive_mutex> lock(runtime_.Mutex());
    auto found = running_.find(HandleValue(passthrough));
    return runtime_.IsLive(HandleKind::Passthrough, HandleValue(passthrough)) && found != running_.end() &&
           found->second;
}

bool Passthrough::IsLayerRunning(XrPassthroughLayerFB layer) const
{
    std::lock_guard<std::recursive_mutex> lock(runtime_.Mutex());
    auto found = running_.find(HandleValue(layer));
    return runtime_.IsLive(HandleKind::PassthroughLayer, HandleValue(layer)) && found != running_.end() &&
           found->second;
}

XrResult XRAPI_CALL Passthrough::CreatePassthrough(XrSession session, const XrPassthroughCreateInfoFB* info,
                                                   XrPassthroughFB* passthrough)
{
    RuntimeCall call("xrCreatePassthroughFB", {HandleValue(session)});
    if (call.injected()) {
        return *call.injected();
    }
    Passthrough& self = Current();
    if (!call.runtime().IsLive(HandleKind::Session, HandleValue(session))) {
        return call.Return(XR_ERROR_HANDLE_INVALID);
    }
    if (info == nullptr || info->type != XR_TYPE_PASSTHROUGH_CREATE_INFO_FB || passthrough == nullptr) {
        return call.Return(XR_ERROR_VALIDATION_FAILURE);
    }
    const uint64_t handle = call.runtime().CreateHandle(HandleKind::Passthrough, HandleValue(session));
    self.running_[handle] = IsRunningAtCreation(info->flags);
    self.createInfos_.push_back(*info);
    *passthrough = reinterpret_cast<XrPassthroughFB>(handle);
    return call.Return(XR_SUCCESS);
}

XrResult XRAPI_CALL Passthrough::DestroyPassthrough(XrPassthroughFB passthrough)
{
    RuntimeCall call("xrDestroyPassthroughFB", {HandleValue(passthrough)});
    if (call.injected()) {
        return *call.injected();
    }
    return call.Return(call.runtime().DestroyHandle(HandleKind::Passthrough, HandleValue(passthrough))
                           ? XR_SUCCESS
                           : XR_ERROR_HANDLE_INVALID);
}

XrResult Passthrough::SetRunning(const char* function, HandleKind kind, uint64_t handle, bool running)
{
    RuntimeCall call(function, {handle});
    if (call.injected()) {
        return *call.injected();
    }
    if (!call.runtime().IsLive(kind, handle)) {
        return call.Return(XR_ERROR_HANDLE_INVALID);
    }
    Current().running_[handle] = running;
    return call.Return(XR_SUCCESS);
}

XrResult XRAPI_CALL Passthrough::StartPassthrough(XrPassthroughFB passthrough)
{
    return SetRunning("xrPassthroughStartFB", HandleKind::Passthrough, HandleValue(passthrough), true);
}

XrResult XRAPI_CALL Passthrough::PausePassthrough(XrPassthroughFB passthrough)
{
    return SetRunning("xrPassthroughPauseFB", HandleKind::Passthrough, HandleValue(passthrough), false);
}

XrResult XRAPI_CALL Passthrough::CreatePassthroughLayer(XrSession session, const XrPassthroughLayerCreateInfoFB* info,
                                                        XrPassthroughLayerFB* layer)
{
    RuntimeCall call("xrCreatePassthroughLayerFB", {HandleValue(session)});
    if (call.injected()) {
        return *call.injected();
    }
    Passthrough& self = Current();
    Runtime& runtime = call.runtime();
    if (!runtime.IsLive(HandleKind::Session, HandleValue(session))) {
        return call.Return(XR_ERROR_HANDLE_INVALID);
    }
    if (info == nullptr || info->type != XR_TYPE_PASSTHROUGH_LAYER_CREATE_INFO_FB || layer == nullptr ||
        (info->purpose != XR_PASSTHROUGH_LAYER_PURPOSE_RECONSTRUCTION_FB &&
         info->purpose != XR_PASSTHROUGH_LAYER_PURPOSE_PROJECTED_FB)) {
        return call.Return(XR_ERROR_VALIDATION_FAILURE);
    }
    if (!runtime.IsLive(HandleKind::Passthrough, HandleValue(info->passthrough))) {
        return call.Return(XR_ERROR_HANDLE_INVALID);
    }
    const uint64_t handle = runtime.CreateHandle(HandleKind::PassthroughLayer, HandleValue(session));
    self.running_[handle] = IsRunningAtCreation(info->flags);
    self.layerCreateInfos_.push_back(*info);
    *layer = reinterpret_cast<XrPassthroughLayerFB>(handle);
    return call.Return(XR_SUCCESS);
}

XrResult XRAPI_CALL Passthrough::DestroyPassthroughLayer(XrPassthroughLayerFB layer)
{
    RuntimeCall call("xrDestroyPassthroughLayerFB", {HandleValue(layer)});
    if (call.injected()) {
        return *call.injected();
    }
    return call.Return(call.runtime().DestroyHandle(HandleKind::PassthroughLayer, HandleValue(layer))
                           ? XR_SUCCESS
                           : XR_ERROR_HANDLE_INVALID);
}

} // namespace quenra::sim

#include "Passthrough.h"

#include <stdexcept>

namespace quenra::simruntime {
namespace {
Passthrough* current = nullptr;

const char* const kFunctions[] = {"xrCreatePassthroughFB", "xrDestroyPassthroughFB",     "xrPassthroughStartFB",
                                  "xrPassthroughPauseFB",  "xrCreatePassthroughLayerFB", "xrDestroyPassthroughLayerFB"};

bool IsRunningAtCreation(XrPassthroughFlagsFB flags)
{
    return (flags & XR_PASSTHROUGH_IS_RUNNING_AT_CREATION_BIT_FB) != 0;
}
} // namespace

Passthrough::Passthrough(Runtime& runtime) : runtime(runtime)
{
    if (current != nullptr) {
        throw std::logic_error("only one Passthrough module may exist at a time");
    }
    current = this;
    runtime.AddFunction(kFunctions[0], reinterpret_cast<PFN_xrVoidFunction>(&Passthrough::CreatePassthrough));
    runtime.AddFunction(kFunctions[1], reinterpret_cast<PFN_xrVoidFunction>(&Passthrough::DestroyPassthrough));
    runtime.AddFunction(kFunctions[2], reinterpret_cast<PFN_xrVoidFunction>(&Passthrough::StartPassthrough));
    runtime.AddFunction(kFunctions[3], reinterpret_cast<PFN_xrVoidFunction>(&Passthrough::PausePassthrough));
    runtime.AddFunction(kFunctions[4], reinterpret_cast<PFN_xrVoidFunction>(&Passthrough::CreatePassthroughLayer));
    runtime.AddFunction(kFunctions[5], reinterpret_cast<PFN_xrVoidFunction>(&Passthrough::DestroyPassthroughLayer));
}

Passthrough::~Passthrough()
{
    for (const char* name : kFunctions) {
        runtime.RemoveFunction(name);
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
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    return createInfos;
}

std::vector<XrPassthroughLayerCreateInfoFB> Passthrough::LayerCreateInfos() const
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    return layerCreateInfos;
}

bool Passthrough::IsRunning(XrPassthroughFB passthrough) const
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    auto found = running.find(HandleValue(passthrough));
    return runtime.IsLive(HandleKind::Passthrough, HandleValue(passthrough)) && found != running.end() && found->second;
}

bool Passthrough::IsLayerRunning(XrPassthroughLayerFB layer) const
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    auto found = running.find(HandleValue(layer));
    return runtime.IsLive(HandleKind::PassthroughLayer, HandleValue(layer)) && found != running.end() && found->second;
}

XrResult XRAPI_CALL Passthrough::CreatePassthrough(XrSession session, const XrPassthroughCreateInfoFB* info,
                                                   XrPassthroughFB* passthrough)
{
    SIMRUNTIME_ENTER_ON(call, "xrCreatePassthroughFB", HandleKind::Session, session);
    Passthrough& self = Current();
    SIMRUNTIME_INVALID_IF(call, info == nullptr || info->type != XR_TYPE_PASSTHROUGH_CREATE_INFO_FB ||
                                    passthrough == nullptr);
    const uint64_t handle = call.runtime().CreateHandle(HandleKind::Passthrough, HandleValue(session));
    self.running[handle] = IsRunningAtCreation(info->flags);
    self.createInfos.push_back(*info);
    *passthrough = reinterpret_cast<XrPassthroughFB>(handle);
    return call.Return(XR_SUCCESS);
}

XrResult XRAPI_CALL Passthrough::DestroyPassthrough(XrPassthroughFB passthrough)
{
    SIMRUNTIME_ENTER(call, "xrDestroyPassthroughFB", HandleValue(passthrough));
    return call.Destroy(HandleKind::Passthrough, HandleValue(passthrough));
}

XrResult Passthrough::SetRunning(const char* function, HandleKind kind, uint64_t handle, bool running)
{
    SIMRUNTIME_ENTER(call, function, handle);
    if (!call.runtime().IsLive(kind, handle)) {
        return call.Return(XR_ERROR_HANDLE_INVALID);
    }
    Current().running[handle] = running;
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
    SIMRUNTIME_ENTER_ON(call, "xrCreatePassthroughLayerFB", HandleKind::Session, session);
    Passthrough& self = Current();
    Runtime& runtime = call.runtime();
    SIMRUNTIME_INVALID_IF(call, info == nullptr || info->type != XR_TYPE_PASSTHROUGH_LAYER_CREATE_INFO_FB ||
                                    layer == nullptr ||
                                    (info->purpose != XR_PASSTHROUGH_LAYER_PURPOSE_RECONSTRUCTION_FB &&
                                     info->purpose != XR_PASSTHROUGH_LAYER_PURPOSE_PROJECTED_FB));
    if (!runtime.IsLive(HandleKind::Passthrough, HandleValue(info->passthrough))) {
        return call.Return(XR_ERROR_HANDLE_INVALID);
    }
    const uint64_t handle = runtime.CreateHandle(HandleKind::PassthroughLayer, HandleValue(session));
    self.running[handle] = IsRunningAtCreation(info->flags);
    self.layerCreateInfos.push_back(*info);
    *layer = reinterpret_cast<XrPassthroughLayerFB>(handle);
    return call.Return(XR_SUCCESS);
}

XrResult XRAPI_CALL Passthrough::DestroyPassthroughLayer(XrPassthroughLayerFB layer)
{
    SIMRUNTIME_ENTER(call, "xrDestroyPassthroughLayerFB", HandleValue(layer));
    return call.Destroy(HandleKind::PassthroughLayer, HandleValue(layer));
}

} // namespace quenra::simruntime

#include "Foveation.h"

#include <stdexcept>

namespace quenra::simruntime {
namespace {
Foveation* current = nullptr;

const char* const kFunctions[] = {"xrCreateFoveationProfileFB", "xrDestroyFoveationProfileFB", "xrUpdateSwapchainFB"};

// A longer chain is taken for a loop.
constexpr size_t kMaxChainLength = 32;

// The structures of a chain, copied; false for a chain that does not end.
bool CopyChain(const void* next, std::vector<ChainedStructure>& chain)
{
    for (auto* structure = static_cast<const XrBaseInStructure*>(next); structure != nullptr;
         structure = structure->next) {
        if (chain.size() == kMaxChainLength) {
            return false;
        }
        ChainedStructure copy{structure->type, structure, {}, {}};
        if (structure->type == XR_TYPE_SWAPCHAIN_CREATE_INFO_FOVEATION_FB) {
            copy.foveation = *reinterpret_cast<const XrSwapchainCreateInfoFoveationFB*>(structure);
        } else if (structure->type == XR_TYPE_COMPOSITION_LAYER_ALPHA_BLEND_FB) {
            copy.alphaBlend = *reinterpret_cast<const XrCompositionLayerAlphaBlendFB*>(structure);
        }
        chain.push_back(copy);
    }
    return true;
}
} // namespace

Foveation::Foveation(Runtime& runtime) : runtime(runtime)
{
    if (current != nullptr) {
        throw std::logic_error("only one Foveation module may exist at a time");
    }
    PFN_xrVoidFunction create = runtime.Function("xrCreateSwapchain");
    if (create == nullptr) {
        throw std::logic_error("the runtime has no xrCreateSwapchain to record");
    }
    next = reinterpret_cast<PFN_xrCreateSwapchain>(create);
    current = this;
    runtime.AddFunction("xrCreateSwapchain", reinterpret_cast<PFN_xrVoidFunction>(&Foveation::CreateSwapchain));
    runtime.AddFunction(kFunctions[0], reinterpret_cast<PFN_xrVoidFunction>(&Foveation::CreateFoveationProfile));
    runtime.AddFunction(kFunctions[1], reinterpret_cast<PFN_xrVoidFunction>(&Foveation::DestroyFoveationProfile));
    runtime.AddFunction(kFunctions[2], reinterpret_cast<PFN_xrVoidFunction>(&Foveation::UpdateSwapchain));
}

Foveation::~Foveation()
{
    for (const char* name : kFunctions) {
        runtime.RemoveFunction(name);
    }
    runtime.AddFunction("xrCreateSwapchain", reinterpret_cast<PFN_xrVoidFunction>(next));
    current = nullptr;
}

Foveation& Foveation::Current()
{
    if (current == nullptr) {
        throw std::logic_error("no simulated foveation module exists");
    }
    return *current;
}

std::vector<SwapchainCreation> Foveation::Creations() const
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    return creations;
}

std::vector<XrFoveationLevelProfileCreateInfoFB> Foveation::ProfileLevels() const
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    return profileLevels;
}

std::vector<AppliedFoveation> Foveation::Applied() const
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    return applied;
}

std::optional<XrFoveationLevelFB> Foveation::LevelOf(XrSwapchain swapchain) const
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    std::optional<XrFoveationLevelFB> level;
    for (const AppliedFoveation& entry : applied) {
        if (entry.swapchain == HandleValue(swapchain)) {
            level = entry.level.level;
        }
    }
    return level;
}

XrResult XRAPI_CALL Foveation::CreateSwapchain(XrSession session, const XrSwapchainCreateInfo* info,
                                               XrSwapchain* swapchain)
{
    Foveation& self = Current();
    std::lock_guard<std::recursive_mutex> lock(self.runtime.Mutex());
    if (info == nullptr) {
        return self.next(session, info, swapchain);
    }
    SwapchainCreation creation{*info, {}, XR_SUCCESS};
    if (!CopyChain(info->next, creation.chain)) {
        RuntimeCall call("xrCreateSwapchain", {HandleValue(session)});
        return call.Return(XR_ERROR_VALIDATION_FAILURE);
    }
    creation.result = self.next(session, info, swapchain);
    if (creation.result == XR_SUCCESS) {
        for (const ChainedStructure& structure : creation.chain) {
            if (structure.type == XR_TYPE_SWAPCHAIN_CREATE_INFO_FOVEATION_FB) {
                self.capable[HandleValue(*swapchain)] = structure.foveation.flags;
            }
        }
    }
    self.creations.push_back(std::move(creation));
    return self.creations.back().result;
}

XrResult XRAPI_CALL Foveation::CreateFoveationProfile(XrSession session, const XrFoveationProfileCreateInfoFB* info,
                                                      XrFoveationProfileFB* profile)
{
    SIMRUNTIME_ENTER_ON(call, "xrCreateFoveationProfileFB", HandleKind::Session, session);
    Foveation& self = Current();
    SIMRUNTIME_INVALID_IF(call, info == nullptr || info->type != XR_TYPE_FOVEATION_PROFILE_CREATE_INFO_FB ||
                                    profile == nullptr);
    XrFoveationLevelProfileCreateInfoFB level{XR_TYPE_FOVEATION_LEVEL_PROFILE_CREATE_INFO_FB};
    level.level = XR_FOVEATION_LEVEL_NONE_FB;
    std::vector<ChainedStructure> chain;
    SIMRUNTIME_INVALID_IF(call, !CopyChain(info->next, chain));
    for (const ChainedStructure& structure : chain) {
        if (structure.type == XR_TYPE_FOVEATION_LEVEL_PROFILE_CREATE_INFO_FB) {
            level = *static_cast<const XrFoveationLevelProfileCreateInfoFB*>(structure.address);
            level.next = nullptr;
        }
    }
    SIMRUNTIME_INVALID_IF(call, level.level < XR_FOVEATION_LEVEL_NONE_FB || level.level > XR_FOVEATION_LEVEL_HIGH_FB ||
                                    (level.dynamic != XR_FOVEATION_DYNAMIC_DISABLED_FB &&
                                     level.dynamic != XR_FOVEATION_DYNAMIC_LEVEL_ENABLED_FB));
    const uint64_t handle = call.runtime().CreateHandle(HandleKind::FoveationProfile, HandleValue(session));
    self.profiles[handle] = level;
    self.profileLevels.push_back(level);
    *profile = reinterpret_cast<XrFoveationProfileFB>(handle);
    return call.Return(XR_SUCCESS);
}

XrResult XRAPI_CALL Foveation::DestroyFoveationProfile(XrFoveationProfileFB profile)
{
    SIMRUNTIME_ENTER(call, "xrDestroyFoveationProfileFB", HandleValue(profile));
    if (!call.runtime().DestroyHandle(HandleKind::FoveationProfile, HandleValue(profile))) {
        return call.Return(XR_ERROR_HANDLE_INVALID);
    }
    Current().profiles.erase(HandleValue(profile));
    return call.Return(XR_SUCCESS);
}

XrResult XRAPI_CALL Foveation::UpdateSwapchain(XrSwapchain swapchain, const XrSwapchainStateBaseHeaderFB* state)
{
    SIMRUNTIME_ENTER_ON(call, "xrUpdateSwapchainFB", HandleKind::Swapchain, swapchain);
    Foveation& self = Current();
    Runtime& runtime = call.runtime();
    SIMRUNTIME_INVALID_IF(call, state == nullptr || state->type != XR_TYPE_SWAPCHAIN_STATE_FOVEATION_FB);
    const auto* foveation = reinterpret_cast<const XrSwapchainStateFoveationFB*>(state);
    const uint64_t profile = HandleValue(foveation->profile);
    if (!runtime.IsLive(HandleKind::FoveationProfile, profile)) {
        return call.Return(XR_ERROR_HANDLE_INVALID);
    }
    SIMRUNTIME_INVALID_IF(call, self.capable.count(HandleValue(swapchain)) == 0);
    self.applied.push_back({HandleValue(swapchain), profile, self.profiles.at(profile)});
    return call.Return(XR_SUCCESS);
}

} // namespace quenra::simruntime

// Fixed foveation of the application's last swapchain.
#include "Skelder.h"
#include "SkelderModule.h"

namespace Skelder {
namespace {
// Forgets functions resolved for another instance: they belong to that instance, which may be
// gone, or had the extension where this one has not.
void ForgetFoveationFunctionsOfOtherInstances(ModuleState& state, XrInstance instance)
{
    const uint64_t value = ValueFromHandle(instance);
    if (state.foveationInstance.exchange(value) == value) {
        return;
    }
#define SKELDER_FORGET(name, member) state.member = nullptr;
    SKELDER_FOVEATION_FUNCTIONS(SKELDER_FORGET)
#undef SKELDER_FORGET
}

// Resolves the instance's foveation functions still missing, in order; on a failed lookup logs its
// status and answers false, leaving the later ones unresolved.
bool ResolveFoveationFunctions(ModuleState& state, XrInstance instance)
{
#define SKELDER_RESOLVE(name, member)                                                                                  \
    if (state.member.load() == nullptr) {                                                                              \
        PFN_xrVoidFunction function = nullptr;                                                                         \
        XrResult result = lookUp(instance, #name, &function);                                                          \
        if (XR_SUCCEEDED(result) && function == nullptr) {                                                             \
            result = XR_ERROR_FUNCTION_UNSUPPORTED;                                                                    \
        }                                                                                                              \
        if (XR_FAILED(result)) {                                                                                       \
            Log(kXRTraceLevelError, "Status of " #name " retrieval: %d\n", static_cast<int>(result));                  \
            return false;                                                                                              \
        }                                                                                                              \
        state.member = reinterpret_cast<PFN_##name>(function);                                                         \
    }
    ForgetFoveationFunctionsOfOtherInstances(state, instance);
    const PFN_xrGetInstanceProcAddr lookUp = state.nextGetInstanceProcAddr.load();
    if (lookUp == nullptr &&
        (state.updateSwapchainFn.load() == nullptr || state.createFoveationProfileFn.load() == nullptr ||
         state.destroyFoveationProfileFn.load() == nullptr)) {
        Log(kXRTraceLevelError, "Skelder::SetFoveationLevel - no OpenXR lookup function: call "
                                "GetInterceptedInstanceProcAddr before setting the foveation level");
        return false;
    }
    SKELDER_FOVEATION_FUNCTIONS(SKELDER_RESOLVE)
#undef SKELDER_RESOLVE
    return true;
}
} // namespace

void SetFoveationLevel(XrInstance instance, XrSession session, int32_t level) noexcept
{
    Guarded("SetFoveationLevel", [&] {
        // Only the levels OpenXR defines convert to XrFoveationLevelFB; anything else from a script
        // would be an invalid enum value.
        if (level < XR_FOVEATION_LEVEL_NONE_FB || level > XR_FOVEATION_LEVEL_HIGH_FB) {
            Log(kXRTraceLevelError,
                "Skelder::SetFoveationLevel - invalid foveation level %d: expected 0 (none) to 3 (high)",
                static_cast<int>(level));
            return;
        }
        ModuleState& state = State();
        if (!state.foveationEnabled) {
            Log(kXRTraceLevelError,
                "Skelder::SetFoveationLevel cannot set foveation level to %d because foveation is not enabled.",
                static_cast<int>(level));
            return;
        }
        if (!ResolveFoveationFunctions(state, instance)) {
            return;
        }
        XrFoveationLevelProfileCreateInfoFB levelProfile{XR_TYPE_FOVEATION_LEVEL_PROFILE_CREATE_INFO_FB};
        levelProfile.level = static_cast<XrFoveationLevelFB>(level);
        levelProfile.verticalOffset = 0.0f;
        levelProfile.dynamic = XR_FOVEATION_DYNAMIC_DISABLED_FB;
        XrFoveationProfileCreateInfoFB profileInfo{XR_TYPE_FOVEATION_PROFILE_CREATE_INFO_FB};
        profileInfo.next = &levelProfile;
        XrFoveationProfileFB profile = XR_NULL_HANDLE;
        XrResult result = state.createFoveationProfileFn.load()(session, &profileInfo, &profile);
        if (XR_FAILED(result)) {
            Log(kXRTraceLevelError, "Status of foveation profile creation: %d\n", static_cast<int>(result));
            return;
        }
        XrSwapchainStateFoveationFB swapchainState{XR_TYPE_SWAPCHAIN_STATE_FOVEATION_FB};
        swapchainState.flags = 0;
        swapchainState.profile = profile;
        result = state.updateSwapchainFn.load()(HandleFromValue<XrSwapchain>(state.lastCreatedSwapchain.load()),
                                                reinterpret_cast<XrSwapchainStateBaseHeaderFB*>(&swapchainState));
        if (XR_FAILED(result)) {
            Log(kXRTraceLevelError, "Status of foveation swapchain update: %d\n", static_cast<int>(result));
        }
        // The runtime keeps the foveation it applied; the profile is not needed beyond this call.
        result = state.destroyFoveationProfileFn.load()(profile);
        if (XR_FAILED(result)) {
            Log(kXRTraceLevelError, "Status of foveation profile destruction: %d\n", static_cast<int>(result));
        }
    });
}

} // namespace Skelder

// The simulated runtime's XR_FB_foveation and XR_FB_swapchain_update_state: foveation profiles,
// the profile applied to each swapchain, and what the chain of next structures of every
// xrCreateSwapchain carried (a swapchain is foveation-capable only when its chain holds an
// XrSwapchainCreateInfoFoveationFB, and only such a swapchain accepts a foveation update).
#pragma once

#include <map>
#include <optional>
#include <vector>

#include "Runtime.h"

namespace quenra::simruntime {

// A copy of one structure of a creation chain, as the runtime read it.
struct ChainedStructure {
    XrStructureType type;
    // Where the structure lived, so a test can tell its own structures from inserted ones.
    const void* address;
    // Filled for its type only.
    XrSwapchainCreateInfoFoveationFB foveation;
    XrCompositionLayerAlphaBlendFB alphaBlend;
};

struct SwapchainCreation {
    XrSwapchainCreateInfo info;
    // In chain order, from info.next.
    std::vector<ChainedStructure> chain;
    XrResult result;
};

// What xrUpdateSwapchainFB applied: the profile's level profile.
struct AppliedFoveation {
    uint64_t swapchain;
    uint64_t profile;
    XrFoveationLevelProfileCreateInfoFB level;
};

class Foveation {
public:
    // Adds the foveation functions and records xrCreateSwapchain, which must already be in the
    // table (make the Swapchains module first).
    explicit Foveation(Runtime& runtime);
    ~Foveation();
    Foveation(const Foveation&) = delete;
    Foveation& operator=(const Foveation&) = delete;

    static Foveation& Current();

    std::vector<SwapchainCreation> Creations() const;
    // The level profile of every accepted xrCreateFoveationProfileFB, in order.
    std::vector<XrFoveationLevelProfileCreateInfoFB> ProfileLevels() const;
    std::vector<AppliedFoveation> Applied() const;
    // The level last applied to the swapchain, if any.
    std::optional<XrFoveationLevelFB> LevelOf(XrSwapchain swapchain) const;

private:
    static XrResult XRAPI_CALL CreateSwapchain(XrSession session, const XrSwapchainCreateInfo* info,
                                               XrSwapchain* swapchain);
    static XrResult XRAPI_CALL CreateFoveationProfile(XrSession session, const XrFoveationProfileCreateInfoFB* info,
                                                      XrFoveationProfileFB* profile);
    static XrResult XRAPI_CALL DestroyFoveationProfile(XrFoveationProfileFB profile);
    static XrResult XRAPI_CALL UpdateSwapchain(XrSwapchain swapchain, const XrSwapchainStateBaseHeaderFB* state);

    Runtime& runtime;
    PFN_xrCreateSwapchain next = nullptr;
    std::vector<SwapchainCreation> creations;
    // Foveation-capable swapchains.
    std::map<uint64_t, XrSwapchainCreateFoveationFlagsFB> capable;
    std::map<uint64_t, XrFoveationLevelProfileCreateInfoFB> profiles;
    std::vector<XrFoveationLevelProfileCreateInfoFB> profileLevels;
    std::vector<AppliedFoveation> applied;
};

} // namespace quenra::simruntime

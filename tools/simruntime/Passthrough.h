// The simulated runtime's XR_FB_passthrough objects: a passthrough feature per session
// and the passthrough layers made from it, each running or paused.
#pragma once

#include <map>
#include <vector>

#include "Runtime.h"

namespace quenra::simruntime {

class Passthrough {
public:
    explicit Passthrough(Runtime& runtime);
    ~Passthrough();
    Passthrough(const Passthrough&) = delete;
    Passthrough& operator=(const Passthrough&) = delete;

    static Passthrough& Current();

    // Copies of every accepted create info, in creation order (next pointers are not followed).
    std::vector<XrPassthroughCreateInfoFB> CreateInfos() const;
    std::vector<XrPassthroughLayerCreateInfoFB> LayerCreateInfos() const;
    // Whether a live passthrough or passthrough layer is running; false for any other handle.
    bool IsRunning(XrPassthroughFB passthrough) const;
    bool IsLayerRunning(XrPassthroughLayerFB layer) const;

private:
    static XrResult XRAPI_CALL CreatePassthrough(XrSession session, const XrPassthroughCreateInfoFB* info,
                                                 XrPassthroughFB* passthrough);
    static XrResult XRAPI_CALL DestroyPassthrough(XrPassthroughFB passthrough);
    static XrResult XRAPI_CALL StartPassthrough(XrPassthroughFB passthrough);
    static XrResult XRAPI_CALL PausePassthrough(XrPassthroughFB passthrough);
    static XrResult XRAPI_CALL CreatePassthroughLayer(XrSession session, const XrPassthroughLayerCreateInfoFB* info,
                                                      XrPassthroughLayerFB* layer);
    static XrResult XRAPI_CALL DestroyPassthroughLayer(XrPassthroughLayerFB layer);
    static XrResult SetRunning(const char* function, HandleKind kind, uint64_t handle, bool running);

    Runtime& runtime;
    // Running state by handle, for passthroughs and layers alike (handles never repeat).
    std::map<uint64_t, bool> running;
    std::vector<XrPassthroughCreateInfoFB> createInfos;
    std::vector<XrPassthroughLayerCreateInfoFB> layerCreateInfos;
};

} // namespace quenra::simruntime

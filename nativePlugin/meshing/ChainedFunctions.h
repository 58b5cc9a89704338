// The two functions of the application's OpenXR chain that the library's hooks call through: the
// loader's lookup and the runtime's xrWaitFrame. They belong to the library, not to one load: the
// application keeps calling the hooks it was given across an unload and the next load, and those
// must pass through meanwhile. Reached from any thread, hence atomic.
#pragma once

#include <openxr/openxr.h>

#include <atomic>

#include "XrFunctions.h"

namespace kelbrin {

struct ChainedFunctions {
    // A failed lookup, or none to make, leaves null in the output, as the loader's does.
    XrResult GetInstanceProcAddr(XrInstance instance, const char* name, PFN_xrVoidFunction* function) const
    {
        const PFN_xrGetInstanceProcAddr lookup = getInstanceProcAddr.load(std::memory_order_acquire);
        if (lookup == nullptr && function != nullptr) {
            *function = nullptr;
        }
        return CallXrFunction(lookup, instance, name, function);
    }
    XrResult WaitFrame(XrSession session, const XrFrameWaitInfo* info, XrFrameState* state) const
    {
        return CallXrFunction(waitFrame.load(std::memory_order_acquire), session, info, state);
    }

    std::atomic<PFN_xrGetInstanceProcAddr> getInstanceProcAddr{nullptr};
    std::atomic<PFN_xrWaitFrame> waitFrame{nullptr};
};

} // namespace kelbrin

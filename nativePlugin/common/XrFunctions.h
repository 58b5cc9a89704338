// The plug-ins' side of the OpenXR boundary: handles that scripts pass as 64-bit integers, and
// runtime functions reached through the application's xrGetInstanceProcAddr chain. A function
// the runtime lacks stays null, and calling it answers XR_ERROR_FUNCTION_UNSUPPORTED, so every
// caller's own failure path (and message) covers a missing function too.
#pragma once

#include <openxr/openxr.h>

#include <cstdint>
#include <utility>

// OpenXR declares handles as pointers on 64-bit targets and as integers elsewhere.
template <typename Handle> Handle HandleFromValue(uint64_t value)
{
    return (Handle)(value);
}

template <typename Handle> uint64_t ValueFromHandle(Handle handle)
{
    return (uint64_t)(handle);
}

// A failed lookup, or none to make, leaves null whatever the lookup function wrote.
template <typename Pfn>
Pfn LookUpXrFunction(PFN_xrGetInstanceProcAddr getInstanceProcAddr, XrInstance instance, const char* name)
{
    PFN_xrVoidFunction function = nullptr;
    if (getInstanceProcAddr == nullptr || getInstanceProcAddr(instance, name, &function) != XR_SUCCESS) {
        return nullptr;
    }
    return reinterpret_cast<Pfn>(function);
}

template <typename Pfn, typename... Args> XrResult CallXrFunction(Pfn function, Args&&... args)
{
    return function != nullptr ? function(std::forward<Args>(args)...) : XR_ERROR_FUNCTION_UNSUPPORTED;
}

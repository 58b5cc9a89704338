// The application's side of a scripted session, shared by the sessions of every plug-in.
#pragma once

#include <openxr/openxr.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "Runtime.h"

namespace quenra::test {

// Every function is found through the plug-in's lookup when it is first called and kept, as an
// application does. A function not found fails the call.
class SweepApplication {
public:
    explicit SweepApplication(PFN_xrGetInstanceProcAddr lookup) : lookup(lookup) {}

    template <typename Pfn, typename... Args> XrResult Call(const char* name, Args... args)
    {
        const PFN_xrVoidFunction function = Find(name);
        if (function == nullptr) {
            failures += 1;
            return XR_ERROR_FUNCTION_UNSUPPORTED;
        }
        const XrResult result = reinterpret_cast<Pfn>(function)(args...);
        failures += result == XR_SUCCESS ? 0 : 1;
        return result;
    }
    bool AllSucceeded() const { return failures == 0; }
    // What the application made (null where it made nothing).
    std::set<uint64_t> Handles() const;

    // The instance and its head-mounted system.
    XrSystemId CreateInstance();
    // A session of the system and a local space in it; the functions that destroy them are found
    // now, while the instance is new.
    void CreateSession(XrSystemId system);
    // Whatever was made, children first.
    void DestroyAll();

    XrInstance instance = XR_NULL_HANDLE;
    XrSession session = XR_NULL_HANDLE;
    XrSpace space = XR_NULL_HANDLE;
    XrSwapchain swapchain = XR_NULL_HANDLE;

private:
    PFN_xrVoidFunction Find(const char* name);

    PFN_xrGetInstanceProcAddr lookup;
    std::map<std::string, PFN_xrVoidFunction> found;
    int failures = 0;
};

// Handles alive that are not in `application`, except those whose destruction the runtime
// refused after `armedAt` (the plug-in cannot do more than ask) and those it reported gone
// (invalid, or made under a session it reported lost), described.
std::vector<std::string> LeftAlive(const simruntime::Runtime& runtime, std::set<uint64_t> application, size_t armedAt);

} // namespace quenra::test

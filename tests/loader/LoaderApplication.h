// An OpenXR application as an engine runs one on the real loader: every function is found
// through the lookup it was handed (the loader's, or a plug-in's interceptor chained to it),
// and every call is checked.
#pragma once

#include <openxr/openxr.h>

#include <map>
#include <string>
#include <vector>

namespace quenra::test {

class LoaderApplication {
public:
    explicit LoaderApplication(PFN_xrGetInstanceProcAddr lookup) : lookup(lookup) {}
    ~LoaderApplication();
    LoaderApplication(const LoaderApplication&) = delete;
    LoaderApplication& operator=(const LoaderApplication&) = delete;

    // The runtime's extensions and those of the given API layer (null: the runtime's own), by the
    // two-call idiom.
    std::vector<std::string> EnumerateExtensions(const char* layerName = nullptr);
    std::vector<std::string> EnumerateApiLayers();
    // Also enables XR_MND_headless: the application has no graphics device.
    void CreateInstance(const std::vector<std::string>& apiLayers, const std::vector<std::string>& extensions);
    // System, session and a local reference space.
    void CreateSession();
    std::vector<XrEnvironmentBlendMode> EnumerateBlendModes();
    XrSwapchain CreateSwapchain(uint32_t width, uint32_t height);
    // Acquires, waits for and releases one image.
    void CycleImage(XrSwapchain swapchain);
    XrFrameState BeginFrame();
    void EndFrame(const XrFrameState& state, const std::vector<const XrCompositionLayerBaseHeader*>& layers);
    // The same, for a frame that may be refused: its result.
    XrResult TryEndFrame(const XrFrameState& state, const std::vector<const XrCompositionLayerBaseHeader*>& layers);
    // Destroys what the application made, newest first.
    void Teardown();

    template <typename Pfn> Pfn Function(const char* name) { return reinterpret_cast<Pfn>(Find(name)); }

    XrInstance instance = XR_NULL_HANDLE;
    XrSystemId system = XR_NULL_SYSTEM_ID;
    XrSession session = XR_NULL_HANDLE;
    XrSpace space = XR_NULL_HANDLE;

private:
    PFN_xrVoidFunction Find(const char* name);
    // Looks up every instance function the application uses, once, as an engine does when the
    // instance exists: the plug-ins may be unloaded before the application ends its session.
    void LookUpInstanceFunctions();

    PFN_xrGetInstanceProcAddr lookup;
    std::vector<XrSwapchain> swapchains;
    std::map<std::string, PFN_xrVoidFunction> functions;
};

// Throws when an OpenXR call failed, naming it.
void CheckXr(XrResult result, const char* call);

} // namespace quenra::test

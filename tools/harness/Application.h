// An OpenXR application as an engine runs one: every function is found through the lookup it was
// handed (the runtime's, the loader's, or a plug-in's interceptor chained in front of either)
// when first called, and kept; every call is checked.
#pragma once

#include <openxr/openxr.h>

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace quenra::harness {

// What a failure of the application or of a script does: throw, naming the call and its result (a
// test's or the simulator's application), or count and go on (a session whose runtime is told to fail).
enum class OnFailure { Throw, Count };

class Application {
public:
    explicit Application(PFN_xrGetInstanceProcAddr lookup, OnFailure onFailure = OnFailure::Throw)
        : lookup(lookup), onFailure(onFailure)
    {
    }
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // A function not found fails the call with XR_ERROR_FUNCTION_UNSUPPORTED.
    template <typename Pfn, typename... Args> XrResult Call(const char* name, Args... args)
    {
        const PFN_xrVoidFunction function = Find(name);
        return Check(name,
                     function == nullptr ? XR_ERROR_FUNCTION_UNSUPPORTED : reinterpret_cast<Pfn>(function)(args...));
    }
    // A result of a call the application made itself, checked as Call checks its own.
    XrResult Check(const char* name, XrResult result);
    bool AllSucceeded() const { return failures == 0; }

    // The extensions of the runtime and those of the given API layer (null: the runtime's own).
    std::vector<std::string> EnumerateExtensions(const char* layerName = nullptr);
    std::vector<std::string> EnumerateApiLayers();
    // The instance with exactly these layers and extensions, and its head-mounted system.
    void CreateInstance(const std::vector<std::string>& apiLayers = {},
                        const std::vector<std::string>& extensions = {});
    // A session of the system and a reference space in it (none for an empty `spaceType`: an
    // engine that makes it later); the functions that destroy what the application made are
    // found now, while the instance is new: the plug-ins may be unloaded before the application
    // ends its session.
    void CreateSession(std::optional<XrReferenceSpaceType> spaceType = XR_REFERENCE_SPACE_TYPE_LOCAL);
    void CreateReferenceSpace(XrReferenceSpaceType spaceType = XR_REFERENCE_SPACE_TYPE_LOCAL);
    // At most eight.
    std::vector<XrEnvironmentBlendMode> EnumerateBlendModes();
    int64_t FirstSwapchainFormat();
    XrSwapchain CreateSwapchain(uint32_t width, uint32_t height, int64_t format, uint32_t arraySize = 2);
    // Acquires, waits for and releases one image; `fill` draws into the acquired one.
    void CycleImage(XrSwapchain swapchain, const std::function<void(uint32_t index)>& fill = {});
    XrFrameState WaitFrame();
    // Waits for and begins a frame.
    XrFrameState BeginFrame();
    XrResult EndFrame(const XrFrameState& state, const std::vector<const XrCompositionLayerBaseHeader*>& layers);
    // The same for a frame that may be refused: its result, neither thrown nor counted.
    XrResult TryEndFrame(const XrFrameState& state, const std::vector<const XrCompositionLayerBaseHeader*>& layers);
    // Destroys the session's swapchains, its space and the session, newest first; the first
    // failed result, or success.
    XrResult DestroySession();
    // Destroys what the application made, newest first; the first failed result, or success.
    XrResult Teardown();
    // What the application made (null where it made nothing).
    std::set<uint64_t> Handles() const;

    XrInstance instance = XR_NULL_HANDLE;
    XrSystemId system = XR_NULL_SYSTEM_ID;
    XrSession session = XR_NULL_HANDLE;
    XrSpace space = XR_NULL_HANDLE;

private:
    PFN_xrVoidFunction Find(const char* name);

    PFN_xrGetInstanceProcAddr lookup;
    OnFailure onFailure;
    int failures = 0;
    std::vector<XrSwapchain> swapchains;
    std::map<std::string, PFN_xrVoidFunction> found;
};

// The application's projection layer of two views, both showing `swapchain`, in `space`.
class ProjectionLayer {
public:
    ProjectionLayer(XrSwapchain swapchain, XrSpace space, XrExtent2Di size = {128, 128});
    ProjectionLayer(const ProjectionLayer&) = delete;
    ProjectionLayer& operator=(const ProjectionLayer&) = delete;
    const XrCompositionLayerBaseHeader* Header() const
    {
        return reinterpret_cast<const XrCompositionLayerBaseHeader*>(&layer);
    }

private:
    XrCompositionLayerProjectionView views[2]{};
    XrCompositionLayerProjection layer{XR_TYPE_COMPOSITION_LAYER_PROJECTION};
};

} // namespace quenra::harness

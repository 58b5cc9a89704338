// Skelder loaded from its built file into the engine stand-ins (a Vulkan renderer),
// played as engine scripts do: layers created, filled, placed, shown and hidden, destroyed.
#pragma once

#include <openxr/openxr.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "EngineStandIns.h"
#include "PluginLibrary.h"
#include "SkelderExportTable.h"

namespace quenra::test {

class LoaderApplication;

// Layer type codes of CreateCompositionLayer.
enum class SkelderLayer : uint32_t { Quad = 1, Cylinder = 3, Equirect = 4, Passthrough = 5 };

class SkelderSession {
public:
    explicit SkelderSession(EngineStandIns& engine);
    ~SkelderSession();
    SkelderSession(const SkelderSession&) = delete;
    SkelderSession& operator=(const SkelderSession&) = delete;

    const SkelderExportTable& Exports() const { return exports; }
    // Loads the plug-in, enables layers (at most `maxLayers` a frame) and foveation, and chains
    // its interceptor in front of `next`.
    PFN_xrGetInstanceProcAddr LoadAndChain(PFN_xrGetInstanceProcAddr next, uint32_t maxLayers = 16);
    // Creates a layer for the application's session and cycles one image of it, so the runtime
    // accepts it; passthrough layers have no swapchain.
    int32_t CreateLayer(const LoaderApplication& app, SkelderLayer type, int32_t sortingOrder);
    void Unload();

private:
    simengine::PluginLibrary library;
    SkelderExportTable exports;
    EngineStandIns& engine;
    bool loaded = false;
};

// The application's projection layer of two views, both showing `swapchain`, in `space`.
class ProjectionLayer {
public:
    ProjectionLayer(XrSwapchain swapchain, XrSpace space);
    ProjectionLayer(const ProjectionLayer&) = delete;
    ProjectionLayer& operator=(const ProjectionLayer&) = delete;
    const XrCompositionLayerBaseHeader* Header() const
    {
        return reinterpret_cast<const XrCompositionLayerBaseHeader*>(&layer);
    }

private:
    std::array<XrCompositionLayerProjectionView, 2> views{};
    XrCompositionLayerProjection layer{XR_TYPE_COMPOSITION_LAYER_PROJECTION};
};

} // namespace quenra::test

// The world the plug-in's tests (and its benchmark) run in: the layer world's runtime with the
// instance-property and foveation modules added, an engine registry offering trace and graphics
// (Vulkan unless changed), and the plug-in's module state fresh for each world. The plug-in is
// unloaded when the world ends.
#pragma once

#include <array>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "EngineRegistry.h"
#include "FakeGraphics.h"
#include "Foveation.h"
#include "InstanceProperties.h"
#include "LayerTestWorld.h"
#include "Skelder.h"
#include "SkelderExports.h"

namespace Skelder::test {

using quenra::simengine::EngineRegistry;
using quenra::simengine::FakeGraphics;

// One layer as the runtime read it during xrEndFrame.
struct SubmittedLayer {
    const XrCompositionLayerBaseHeader* address;
    XrStructureType type;
    XrCompositionLayerFlags flags;
};

class SkelderTestWorld {
public:
    SkelderTestWorld();
    ~SkelderTestWorld();
    SkelderTestWorld(const SkelderTestWorld&) = delete;
    SkelderTestWorld& operator=(const SkelderTestWorld&) = delete;

    // Loads the plug-in with the registry and chains it to the runtime's lookup.
    void Load();
    // A function as the application gets it through the plug-in's lookup.
    template <typename Pfn> Pfn Lookup(const char* name)
    {
        PFN_xrVoidFunction function = nullptr;
        Skelder::xrGetInstanceProcAddr(layers.instance, name, &function);
        return reinterpret_cast<Pfn>(function);
    }

    // An application swapchain made at the runtime, one image already released, so the runtime
    // accepts layers that show it.
    XrSwapchain ApplicationSwapchain();
    // An application projection layer of two views showing `swapchain`.
    XrCompositionLayerProjection ApplicationProjection(XrSwapchain swapchain, XrCompositionLayerFlags flags = 0);
    // A layer made through the exports, with one image cycled so that the runtime accepts it.
    int32_t CreateLayer(LayerType type, int32_t sortingOrder);
    // The runtime's next xrWaitSwapchainImage first runs `hook`, on the waiting thread (a script's
    // thread is then parked in its compositor wait); null runs none.
    void DuringNextImageWait(std::function<void()> hook);
    // Waits, begins and ends one frame through the plug-in's hooks.
    XrResult RunFrame(const std::vector<const XrCompositionLayerBaseHeader*>& applicationLayers);

    // Every ended frame's layers, as the runtime read them; the latest last.
    const std::vector<std::vector<SubmittedLayer>>& Submitted() const { return submitted; }
    // The layer structure of a provider layer.
    const XrCompositionLayerBaseHeader* StructureOf(int32_t layerId);
    std::vector<std::string> Warnings() const { return layers.trace.Texts(kXRTraceLevelWarning); }

    LayerTestWorld layers;
    quenra::simruntime::InstanceProperties properties{layers.runtime};
    quenra::simruntime::Foveation foveation{layers.runtime};
    FakeGraphics graphics{kUnityGfxRendererVulkan};
    EngineRegistry registry;
    XrSpace applicationSpace;

private:
    std::vector<std::vector<SubmittedLayer>> submitted;
    // The views of every projection made; a deque keeps them in place.
    std::deque<std::array<XrCompositionLayerProjectionView, 2>> projectionViews;
};

} // namespace Skelder::test

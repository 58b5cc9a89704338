// Owner of every composition layer the engine scripts create: builds each layer with a graphics
// interface for the engine's graphics API, hands out ids, keeps the layers ordered by sorting
// order and lists the visible ones for submission at the end of each frame.
#pragma once

#include <openxr/openxr.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "CompositionLayerBase.h"
#include "GraphicsAPI.h"
#include "UnityInterfaces.h"

namespace Skelder {

// As the engine scripts pass it.
enum class LayerType : uint32_t {
    Quad = 1,
    Cube = 2,
    Cylinder = 3,
    Equirect = 4,
    Passthrough = 5,
};

class CompositionLayerProvider {
public:
    // Looks up the trace interface through the registry (either may be null).
    explicit CompositionLayerProvider(IUnityInterfaces* interfaces);
    // Destroys every layer left.
    ~CompositionLayerProvider();
    CompositionLayerProvider(const CompositionLayerProvider&) = delete;
    CompositionLayerProvider& operator=(const CompositionLayerProvider&) = delete;

    // Builds, configures and initialises a layer and appends it (unsorted); answers its id, or 0
    // with the reason logged and nothing left behind. A failed attempt may use up an id.
    int32_t CreateLayer(XrInstance instance, PFN_xrGetInstanceProcAddr getInstanceProcAddr, XrSession session,
                        uint32_t width, uint32_t height, int32_t sortingOrder, LayerType type);
    bool DestroyLayer(int32_t id);
    void DestroyLayersInSession(XrSession session);
    // Front to back, each removed from the list before it is destroyed.
    void DestroyAllLayers();
    CompositionLayerBase* FindLayer(int32_t id) const;
    // Ascending by sorting order; layers of equal order keep their relative order.
    void SortLayers();

    // The layer structures to submit, in list order: visible layers that hold no acquired image.
    // Into `visibleLayers` (emptied first, its storage kept), so the end-frame hook can reuse one
    // array from frame to frame; growing it may throw std::bad_alloc.
    void GetVisibleXrLayers(std::vector<XrCompositionLayerBaseHeader*>& visibleLayers) const;
    // Visible layers, those holding an acquired image included.
    uint32_t VisibleLayerCount() const;
    // How many leading entries of a GetVisibleXrLayers result belong to layers of negative order.
    uint32_t UnderlayCount(const std::vector<XrCompositionLayerBaseHeader*>& visibleLayers) const;

    void SetGraphicsAPI(GraphicsAPI api) { graphicsAPI = api; }
    GraphicsAPI GetGraphicsAPI() const { return graphicsAPI; }
    size_t LayerCount() const { return layers.size(); }

    // The most layers per frame, set by the scripts; 0 until then.
    uint32_t maxLayerCount = 0;

private:
    std::unique_ptr<CompositionLayerGraphicsInterface> CreateGraphicsInterface();
    // The layer of a known kind, or null (cube, or no memory); the layer takes the interface.
    std::unique_ptr<CompositionLayerBase> ConstructLayer(LayerType type, XrInstance instance,
                                                         PFN_xrGetInstanceProcAddr getInstanceProcAddr, int32_t id,
                                                         std::unique_ptr<CompositionLayerGraphicsInterface> graphics);

    std::vector<std::unique_ptr<CompositionLayerBase>> layers;
    IUnityXRTrace* trace = nullptr;
    // The last id handed out.
    int32_t nextLayerId = 0;
    GraphicsAPI graphicsAPI = GraphicsAPI::None;
    // Read only where Direct3D 11 is built in.
    [[maybe_unused]] IUnityInterfaces* interfaces;
};

} // namespace Skelder

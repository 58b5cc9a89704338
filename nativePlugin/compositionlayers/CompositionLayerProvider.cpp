#include "CompositionLayerProvider.h"

#include <algorithm>
#include <new>

#include "CompositionLayerGraphicsInterface_D3D11.h"
#include "CompositionLayerGraphicsInterface_D3D12.h"
#include "CompositionLayerGraphicsInterface_Vulkan.h"
#include "CylinderCompositionLayer.h"
#include "EquirectCompositionLayer.h"
#include "PassthroughCompositionLayer.h"
#include "QuadCompositionLayer.h"
#include "UnityGraphicsD3D11.h"

namespace Skelder {

namespace {
// A layer that could not be built or kept.
const char* const kCreateFailed =
    "CompositionLayerProvider::CreateLayer -- failed to create composition layer of type %u";

bool IsKnownLayerType(LayerType type)
{
    switch (type) {
    case LayerType::Quad:
    case LayerType::Cube:
    case LayerType::Cylinder:
    case LayerType::Equirect:
    case LayerType::Passthrough:
        return true;
    }
    return false;
}
} // namespace

CompositionLayerProvider::CompositionLayerProvider(IUnityInterfaces* interfaces) : interfaces(interfaces)
{
    if (interfaces != nullptr) {
        trace = interfaces->Get<IUnityXRTrace>();
    }
}

CompositionLayerProvider::~CompositionLayerProvider()
{
    DestroyAllLayers();
}

int32_t CompositionLayerProvider::CreateLayer(XrInstance instance, PFN_xrGetInstanceProcAddr getInstanceProcAddr,
                                              XrSession session, uint32_t width, uint32_t height, int32_t sortingOrder,
                                              LayerType type)
{
    const unsigned typeValue = static_cast<unsigned>(type);
    std::unique_ptr<CompositionLayerGraphicsInterface> graphics = CreateGraphicsInterface();
    if (!graphics) {
        TraceLog(
            trace, kXRTraceLevelError,
            "CompositionLayerProvider::CreateLayer -- failed to create composition layer of type %u -- no graphics "
            "interface could be created for api %u",
            typeValue, static_cast<unsigned>(graphicsAPI));
        return 0;
    }
    if (!IsKnownLayerType(type)) {
        TraceLog(trace, kXRTraceLevelError, "CompositionLayerProvider::CreateLayer -- unknown layer type %u",
                 typeValue);
        return 0;
    }
    std::unique_ptr<CompositionLayerBase> layer =
        ConstructLayer(type, instance, getInstanceProcAddr, nextLayerId + 1, std::move(graphics));
    if (!layer) {
        TraceLog(trace, kXRTraceLevelError, kCreateFailed, typeValue);
        return 0;
    }
    // The id is used up once the layer exists, whatever happens to it next.
    nextLayerId = layer->LayerId();
    if (!layer->ConfigureSwapchain(session, width, height, sortingOrder)) {
        TraceLog(trace, kXRTraceLevelError,
                 "CompositionLayerProvider::CreateLayer -- failed to configure composition layer of type %u",
                 typeValue);
        return 0;
    }
    layer->Initialize(session, width, height);
    try {
        layers.push_back(std::move(layer));
    } catch (const std::bad_alloc&) {
        TraceLog(trace, kXRTraceLevelError, kCreateFailed, typeValue);
        return 0;
    }
    return nextLayerId;
}

std::unique_ptr<CompositionLayerGraphicsInterface> CompositionLayerProvider::CreateGraphicsInterface()
{
    try {
        switch (graphicsAPI) {
        case GraphicsAPI::Vulkan:
            return std::make_unique<CompositionLayerGraphicsInterface_Vulkan>(trace);
        case GraphicsAPI::D3D12:
            return std::make_unique<CompositionLayerGraphicsInterface_D3D12>(trace);
#ifdef XR_USE_GRAPHICS_API_D3D11
        case GraphicsAPI::D3D11: {
            IUnityGraphicsD3D11* d3d11 = interfaces != nullptr ? interfaces->Get<IUnityGraphicsD3D11>() : nullptr;
            ID3D11Device* device = d3d11 != nullptr ? d3d11->GetDevice() : nullptr;
            if (device == nullptr) {
                return nullptr;
            }
            return std::make_unique<CompositionLayerGraphicsInterface_D3D11>(trace, device);
        }
#endif
        default:
            TraceLog(trace, kXRTraceLevelError,
                     "CompositionLayerProvider::CreateLayer -- cannot create composition layer graphics interface with "
                     "invalid graphics API %u",
                     static_cast<unsigned>(graphicsAPI));
            return nullptr;
        }
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

std::unique_ptr<CompositionLayerBase>
CompositionLayerProvider::ConstructLayer(LayerType type, XrInstance instance,
                                         PFN_xrGetInstanceProcAddr getInstanceProcAddr, int32_t id,
                                         std::unique_ptr<CompositionLayerGraphicsInterface> graphics)
{
    try {
        switch (type) {
        case LayerType::Quad:
            return std::make_unique<QuadCompositionLayer>(instance, getInstanceProcAddr, trace, id,
                                                          std::move(graphics));
        case LayerType::Cylinder:
            return std::make_unique<CylinderCompositionLayer>(instance, getInstanceProcAddr, trace, id,
                                                              std::move(graphics));
        case LayerType::Equirect:
            return std::make_unique<EquirectCompositionLayer>(instance, getInstanceProcAddr, trace, id,
                                                              std::move(graphics));
        case LayerType::Passthrough:
            return std::make_unique<PassthroughCompositionLayer>(instance, getInstanceProcAddr, trace, id,
                                                                 std::move(graphics));
        case LayerType::Cube:
            TraceLog(trace, kXRTraceLevelError,
                     "CompositionLayerProvider::CreateLayer -- cube layer not yet implemented");
            return nullptr;
        }
    } catch (const std::bad_alloc&) {
    }
    return nullptr;
}

bool CompositionLayerProvider::DestroyLayer(int32_t id)
{
    auto found = std::find_if(layers.begin(), layers.end(), [id](const std::unique_ptr<CompositionLayerBase>& layer) {
        return layer->LayerId() == id;
    });
    if (found == layers.end()) {
        return false;
    }
    std::unique_ptr<CompositionLayerBase> layer = std::move(*found);
    layers.erase(found);
    return true;
}

void CompositionLayerProvider::DestroyLayersInSession(XrSession session)
{
    for (auto it = layers.begin(); it != layers.end();) {
        if ((*it)->Session() != session) {
            ++it;
            continue;
        }
        // Out of the list before it is torn down, so no listed layer is ever half destroyed.
        std::unique_ptr<CompositionLayerBase> layer = std::move(*it);
        it = layers.erase(it);
    }
}

void CompositionLayerProvider::DestroyAllLayers()
{
    while (!layers.empty()) {
        std::unique_ptr<CompositionLayerBase> layer = std::move(layers.front());
        layers.erase(layers.begin());
    }
    layers.shrink_to_fit();
}

CompositionLayerBase* CompositionLayerProvider::FindLayer(int32_t id) const
{
    for (const std::unique_ptr<CompositionLayerBase>& layer : layers) {
        if (layer->LayerId() == id) {
            return layer.get();
        }
    }
    return nullptr;
}

void CompositionLayerProvider::SortLayers()
{
    std::stable_sort(layers.begin(), layers.end(),
                     [](const std::unique_ptr<CompositionLayerBase>& a,
                        const std::unique_ptr<CompositionLayerBase>& b) { return a->sortingOrder < b->sortingOrder; });
}

void CompositionLayerProvider::GetVisibleXrLayers(std::vector<XrCompositionLayerBaseHeader*>& visibleLayers) const
{
    visibleLayers.clear();
    for (const std::unique_ptr<CompositionLayerBase>& layer : layers) {
        if (!layer->visible) {
            continue;
        }
        if (layer->IsImageAcquired()) {
            TraceLog(trace, kXRTraceLevelNotice,
                     "CompositionLayerProvider::GetVisibleXrLayers -- Want to show layer %u, but it is currently "
                     "acquired. Should be released before submitting to xrEndFrame. Skipping layer for now.",
                     static_cast<unsigned>(layer->LayerId()));
            continue;
        }
        visibleLayers.push_back(layer->GetXrLayer());
    }
}

uint32_t CompositionLayerProvider::VisibleLayerCount() const
{
    return static_cast<uint32_t>(
        std::count_if(layers.begin(), layers.end(),
                      [](const std::unique_ptr<CompositionLayerBase>& layer) { return layer->visible; }));
}

uint32_t CompositionLayerProvider::UnderlayCount(const std::vector<XrCompositionLayerBaseHeader*>& visibleLayers) const
{
    // The visible list follows the layer list's order, so one walk along both pairs them up.
    uint32_t count = 0;
    for (const std::unique_ptr<CompositionLayerBase>& layer : layers) {
        if (count == visibleLayers.size()) {
            break;
        }
        if (layer->GetXrLayer() != visibleLayers[count]) {
            continue;
        }
        if (layer->sortingOrder >= 0) {
            break;
        }
        ++count;
    }
    return count;
}

} // namespace Skelder

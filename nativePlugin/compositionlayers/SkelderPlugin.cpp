// Load, unload, graphics-device events and the exported functions.
#include <algorithm>
#include <optional>
#include <type_traits>
#include <utility>

#include "CylinderCompositionLayer.h"
#include "EquirectCompositionLayer.h"
#include "QuadCompositionLayer.h"
#include "Skelder.h"
#include "SkelderExports.h"

using namespace Skelder;

namespace {
// The provider's code for an engine renderer; none for a renderer that leaves it as it was.
std::optional<GraphicsAPI> GraphicsAPIOf(UnityGfxRenderer renderer)
{
    switch (renderer) {
    case kUnityGfxRendererVulkan:
        return GraphicsAPI::Vulkan;
    case kUnityGfxRendererOpenGLES30:
        return GraphicsAPI::OpenGLES;
    case kUnityGfxRendererD3D11:
        return GraphicsAPI::D3D11;
    case kUnityGfxRendererD3D12:
        return GraphicsAPI::D3D12;
    default:
        return std::nullopt;
    }
}

void ApplyRenderer(CompositionLayerProvider& provider, IUnityGraphics* graphics)
{
    if (graphics == nullptr) {
        return;
    }
    const UnityGfxRenderer renderer = graphics->GetRenderer();
    if (renderer == kUnityGfxRendererNull) {
        return;
    }
    if (const std::optional<GraphicsAPI> api = GraphicsAPIOf(renderer)) {
        provider.SetGraphicsAPI(*api);
    }
}

// Runs `body` on the provider under the lock of kind HoldType; without a provider (not loaded)
// answers the body's zero value.
template <typename HoldType, typename Body> auto OnProvider(const char* function, Body&& body) noexcept
{
    using Result = decltype(body(std::declval<CompositionLayerProvider&>()));
    return Guarded(function, [&]() -> Result {
        ModuleState& state = State();
        HoldType hold(state.providerLock);
        if (!state.provider) {
            return Result();
        }
        return body(*state.provider);
    });
}

// Runs `body` on the layer with the id, when it is of kind Kind; otherwise answers the zero value.
template <typename Kind, typename HoldType, typename Body>
auto OnLayer(const char* function, int32_t layerId, Body&& body) noexcept
{
    using Result = decltype(body(std::declval<Kind&>()));
    return OnProvider<HoldType>(function, [&](CompositionLayerProvider& provider) -> Result {
        Kind* layer = dynamic_cast<Kind*>(provider.FindLayer(layerId));
        if (layer == nullptr) {
            return Result();
        }
        return body(*layer);
    });
}

template <typename Kind, typename Body> void SetOnLayer(const char* function, int32_t layerId, Body&& body) noexcept
{
    OnLayer<Kind, ProviderLock::Hold>(function, layerId, std::forward<Body>(body));
}
} // namespace

namespace Skelder {

void UNITY_INTERFACE_API OnGraphicsDeviceEvent(UnityGfxDeviceEventType eventType) noexcept
{
    Guarded("OnGraphicsDeviceEvent", [&] {
        ModuleState& state = State();
        ProviderLock::Hold hold(state.providerLock);
        if (!state.provider) {
            return;
        }
        if (eventType == kUnityGfxDeviceEventInitialize) {
            ApplyRenderer(*state.provider, state.graphics.load());
        } else if (eventType == kUnityGfxDeviceEventShutdown) {
            state.provider->SetGraphicsAPI(GraphicsAPI::None);
        }
    });
}

std::vector<std::string> SplitLayerNames(const char* names)
{
    std::vector<std::string> fields;
    std::string field;
    for (const char* c = names; *c != '\0'; ++c) {
        if (*c == ' ') {
            fields.push_back(std::move(field));
            field.clear();
        } else {
            field.push_back(*c);
        }
    }
    if (!field.empty()) {
        fields.push_back(std::move(field));
    }
    return fields;
}

} // namespace Skelder

// --- Engine entry points -------------------------------------------------------------------

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API UnityPluginLoad(IUnityInterfaces* interfaces) noexcept
{
    Guarded("UnityPluginLoad", [&] {
        ModuleState& state = State();
        if (interfaces == nullptr) {
            return;
        }
        {
            ProviderLock::Hold hold(state.providerLock);
            // A second load while loaded keeps the first one's provider and registration.
            if (state.provider) {
                return;
            }
        }
        state.trace = interfaces->Get<IUnityXRTrace>();
        Log(kXRTraceLevelNotice, "Skelder::UnityPluginLoad");
        auto provider = std::make_unique<CompositionLayerProvider>(interfaces);
        IUnityGraphics* graphics = interfaces->Get<IUnityGraphics>();
        state.graphics = graphics;
        // Registered without the lock: an engine may deliver the first event at once.
        if (graphics != nullptr) {
            graphics->RegisterDeviceEventCallback(&OnGraphicsDeviceEvent);
        } else {
            Log(kXRTraceLevelError, "Skelder::UnityPluginLoad - the engine offers no graphics interface");
        }
        ApplyRenderer(*provider, graphics);
        ProviderLock::TableHold hold(state.providerLock);
        state.provider = std::move(provider);
    });
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API UnityPluginUnload() noexcept
{
    Guarded("UnityPluginUnload", [&] {
        ModuleState& state = State();
        {
            ProviderLock::Hold hold(state.providerLock);
            if (!state.provider) {
                return;
            }
        }
        Log(kXRTraceLevelNotice, "Skelder::UnityPluginUnload");
        if (IUnityGraphics* graphics = state.graphics.load()) {
            graphics->UnregisterDeviceEventCallback(&OnGraphicsDeviceEvent);
        }
        ProviderLock::TableHold hold(state.providerLock);
        // Out of the module first, so the end-frame hook passes frames through from now on.
        std::unique_ptr<CompositionLayerProvider> provider = std::move(state.provider);
        provider.reset();
    });
}

// --- OpenXR chain and API layers -------------------------------------------------------------

extern "C" UNITY_INTERFACE_EXPORT PFN_xrGetInstanceProcAddr UNITY_INTERFACE_API
GetInterceptedInstanceProcAddr(PFN_xrGetInstanceProcAddr next) noexcept
{
    // Chaining the hook into itself would make every lookup recurse without end.
    if (next != &Skelder::xrGetInstanceProcAddr) {
        State().nextGetInstanceProcAddr = next;
    }
    return &Skelder::xrGetInstanceProcAddr;
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API RequestLayers(const char* names) noexcept
{
    if (names == nullptr) {
        return;
    }
    Guarded("RequestLayers", [&] {
        const std::vector<std::string> fields = SplitLayerNames(names);
        ModuleState& state = State();
        std::lock_guard<std::mutex> lock(state.apiLayerMutex);
        for (const std::string& field : fields) {
            std::deque<std::string>& requested = state.requestedApiLayers;
            if (std::find(requested.begin(), requested.end(), field) == requested.end()) {
                requested.push_back(field);
            }
        }
    });
}

// --- Layers -----------------------------------------------------------------------------------

extern "C" UNITY_INTERFACE_EXPORT int32_t UNITY_INTERFACE_API
CreateCompositionLayer(uint64_t instance, uint64_t session, uint32_t width, uint32_t height, int32_t sortingOrder,
                       uint32_t layerType, uint8_t) noexcept
{
    return OnProvider<ProviderLock::TableHold>("CreateCompositionLayer", [&](CompositionLayerProvider& provider) {
        if (State().nextGetInstanceProcAddr.load() == nullptr) {
            Log(kXRTraceLevelError, "Skelder::CreateCompositionLayer - no OpenXR lookup function: call "
                                    "GetInterceptedInstanceProcAddr before creating layers");
            return int32_t{0};
        }
        const int32_t id = provider.CreateLayer(HandleFromValue<XrInstance>(instance), &LayerGetInstanceProcAddr,
                                                HandleFromValue<XrSession>(session), width, height, sortingOrder,
                                                static_cast<LayerType>(layerType));
        provider.SortLayers();
        return id;
    });
}

extern "C" UNITY_INTERFACE_EXPORT uint8_t UNITY_INTERFACE_API DestroyCompositionLayer(int32_t layerId) noexcept
{
    return OnProvider<ProviderLock::TableHold>("DestroyCompositionLayer", [&](CompositionLayerProvider& provider) {
        return static_cast<uint8_t>(provider.DestroyLayer(layerId));
    });
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API DestroyCompositionLayersInSession(uint64_t session) noexcept
{
    OnProvider<ProviderLock::TableHold>("DestroyCompositionLayersInSession", [&](CompositionLayerProvider& provider) {
        provider.DestroyLayersInSession(HandleFromValue<XrSession>(session));
    });
}

extern "C" UNITY_INTERFACE_EXPORT void* UNITY_INTERFACE_API AcquireSwapchainImageForLayer(int32_t layerId) noexcept
{
    return OnLayer<CompositionLayerBase, ProviderLock::TableHold>(
        "AcquireSwapchainImageForLayer", layerId,
        [](CompositionLayerBase& layer) { return layer.AcquireImage(XR_INFINITE_DURATION); });
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API ReleaseSwapchainImageForLayer(int32_t layerId) noexcept
{
    OnLayer<CompositionLayerBase, ProviderLock::TableHold>("ReleaseSwapchainImageForLayer", layerId,
                                                           [](CompositionLayerBase& layer) { layer.ReleaseImage(); });
}

// The two values are passed on by the engine scripts and used by no graphics API.
extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SendToSwapchain(int32_t layerId, void* texture, uint32_t,
                                                                           uint32_t) noexcept
{
    OnLayer<CompositionLayerBase, ProviderLock::TableHold>(
        "SendToSwapchain", layerId, [&](CompositionLayerBase& layer) { layer.SendToSwapchain(texture); });
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetLayerVisible(int32_t layerId, uint8_t visible) noexcept
{
    SetOnLayer<CompositionLayerBase>("SetLayerVisible", layerId,
                                     [&](CompositionLayerBase& layer) { layer.visible = visible != 0; });
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetSortingOrderForLayer(int32_t layerId,
                                                                                   int32_t sortingOrder) noexcept
{
    OnProvider<ProviderLock::TableHold>("SetSortingOrderForLayer", [&](CompositionLayerProvider& provider) {
        if (CompositionLayerBase* layer = provider.FindLayer(layerId)) {
            layer->sortingOrder = sortingOrder;
            provider.SortLayers();
        }
    });
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetPositionForLayer(int32_t layerId, float x, float y,
                                                                               float z) noexcept
{
    SetOnLayer<CompositionLayerBase>("SetPositionForLayer", layerId,
                                     [&](CompositionLayerBase& layer) { layer.SetPosition(x, y, z); });
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetOrientationForLayer(int32_t layerId, float x, float y,
                                                                                  float z, float w) noexcept
{
    SetOnLayer<CompositionLayerBase>("SetOrientationForLayer", layerId,
                                     [&](CompositionLayerBase& layer) { layer.SetOrientation(x, y, z, w); });
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetSizeForQuadLayer(int32_t layerId, float width,
                                                                               float height) noexcept
{
    SetOnLayer<QuadCompositionLayer>("SetSizeForQuadLayer", layerId,
                                     [&](QuadCompositionLayer& layer) { layer.SetSize(width, height); });
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetRadiusForCylinderLayer(int32_t layerId,
                                                                                     float radius) noexcept
{
    SetOnLayer<CylinderCompositionLayer>("SetRadiusForCylinderLayer", layerId,
                                         [&](CylinderCompositionLayer& layer) { layer.SetRadius(radius); });
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetCentralAngleForCylinderLayer(int32_t layerId,
                                                                                           float angle) noexcept
{
    SetOnLayer<CylinderCompositionLayer>("SetCentralAngleForCylinderLayer", layerId,
                                         [&](CylinderCompositionLayer& layer) { layer.SetCentralAngle(angle); });
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetRadiusForEquirectLayer(int32_t layerId,
                                                                                     float radius) noexcept
{
    SetOnLayer<EquirectCompositionLayer>("SetRadiusForEquirectLayer", layerId,
                                         [&](EquirectCompositionLayer& layer) { layer.SetRadius(radius); });
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API
SetCentralHorizontalAngleForEquirectLayer(int32_t layerId, float angle) noexcept
{
    SetOnLayer<EquirectCompositionLayer>(
        "SetCentralHorizontalAngleForEquirectLayer", layerId,
        [&](EquirectCompositionLayer& layer) { layer.SetCentralHorizontalAngle(angle); });
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetUpperVerticalAngleForEquirectLayer(int32_t layerId,
                                                                                                 float angle) noexcept
{
    SetOnLayer<EquirectCompositionLayer>("SetUpperVerticalAngleForEquirectLayer", layerId,
                                         [&](EquirectCompositionLayer& layer) { layer.SetUpperVerticalAngle(angle); });
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetLowerVerticalAngleForEquirectLayer(int32_t layerId,
                                                                                                 float angle) noexcept
{
    SetOnLayer<EquirectCompositionLayer>("SetLowerVerticalAngleForEquirectLayer", layerId,
                                         [&](EquirectCompositionLayer& layer) { layer.SetLowerVerticalAngle(angle); });
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetMaxCompositionLayerCount(uint32_t count) noexcept
{
    OnProvider<ProviderLock::Hold>("SetMaxCompositionLayerCount",
                                   [&](CompositionLayerProvider& provider) { provider.maxLayerCount = count; });
}

// --- Flags and callbacks ---------------------------------------------------------------------

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetCompositionLayerFeatureEnabled(uint8_t enabled) noexcept
{
    State().compositionLayersEnabled = enabled != 0;
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetEnableFoveation(uint8_t enabled) noexcept
{
    State().foveationEnabled = enabled != 0;
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetFoveationLevel(uint64_t instance, uint64_t session,
                                                                             int32_t level) noexcept
{
    Skelder::SetFoveationLevel(HandleFromValue<XrInstance>(instance), HandleFromValue<XrSession>(session), level);
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetFusionSupported(uint8_t supported) noexcept
{
    State().fusionSupported = supported != 0;
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API SetFrameStateCallback(FrameStateCallback callback) noexcept
{
    State().frameStateCallback = callback;
}

extern "C" UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API
SetCreateSwapchainCallback(CreateSwapchainCallback callback) noexcept
{
    State().createSwapchainCallback = callback;
}

extern "C" UNITY_INTERFACE_EXPORT int32_t UNITY_INTERFACE_API ReserveEventIndices(int32_t count) noexcept
{
    return OnProvider<ProviderLock::Hold>("ReserveEventIndices", [&](CompositionLayerProvider&) {
        IUnityGraphics* graphics = State().graphics.load();
        return graphics != nullptr ? static_cast<int32_t>(graphics->ReserveEventIDRange(count)) : 0;
    });
}

extern "C" UNITY_INTERFACE_EXPORT uint8_t UNITY_INTERFACE_API IsXrFrameInProgress() noexcept
{
    return State().frameInProgress.load() ? 1 : 0;
}

extern "C" UNITY_INTERFACE_EXPORT uint8_t UNITY_INTERFACE_API IsPassthroughSupported() noexcept
{
    return State().passthroughSupported.load() ? 1 : 0;
}

extern "C" UNITY_INTERFACE_EXPORT uint8_t UNITY_INTERFACE_API UseNativeTexture() noexcept
{
    return 1;
}

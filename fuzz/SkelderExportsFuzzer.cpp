// Skelder driven by export programs: each input decodes into a sequence of the calls a script and
// an application make (layer creation and destruction, setters with any value, image cycles,
// frames whose application layer lists vary, enumerations with any capacity, API-layer requests)
// against the simulated runtime. After the plug-in is unloaded, nothing it made may be alive.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "SkelderTestWorld.h"

namespace {

using quenra::simruntime::HandleKind;
using quenra::simruntime::HandleValue;
using quenra::simruntime::LiveHandle;
using Skelder::test::SkelderTestWorld;

enum class Op : uint8_t {
    Create,
    Destroy,
    DestroyInSession,
    Acquire,
    Release,
    Send,
    Visible,
    SortingOrder,
    Position,
    Orientation,
    QuadSize,
    Cylinder,
    Equirect,
    MaxLayerCount,
    Flags,
    FoveationLevel,
    ReserveEvents,
    RequestLayers,
    Frame,
    BlendModes,
    Extensions,
    kCount
};

class Program {
public:
    Program(const uint8_t* data, size_t size) : input(data, size) {}

    void Run()
    {
        world.properties.SetRuntimeExtensions({"XR_FB_passthrough", "XR_FB_foveation", "XR_KHR_composition_layer_cylinder"});
        world.properties.AddApiLayer("XR_APILAYER_test", {"XR_EXT_test"});
        world.properties.SetBlendModes({XR_ENVIRONMENT_BLEND_MODE_OPAQUE, XR_ENVIRONMENT_BLEND_MODE_ALPHA_BLEND});
        before = Live();
        world.Load();
        for (int step = 0; step < 64 && input.remaining_bytes() > 0; ++step) {
            Step(static_cast<Op>(input.ConsumeIntegralInRange<uint8_t>(0, static_cast<uint8_t>(Op::kCount) - 1)));
        }
        UnityPluginUnload();
        for (const LiveHandle& handle : world.layers.runtime.LiveHandles()) {
            if (before.count(handle.handle) == 0 && applicationSwapchains.count(handle.handle) == 0) {
                std::fprintf(stderr, "left alive after unload: %s %#llx\n",
                             quenra::simruntime::HandleKindName(handle.kind),
                             static_cast<unsigned long long>(handle.handle));
                std::abort();
            }
        }
    }

private:
    std::set<uint64_t> Live() const
    {
        std::set<uint64_t> handles;
        for (const LiveHandle& handle : world.layers.runtime.LiveHandles()) {
            handles.insert(handle.handle);
        }
        return handles;
    }

    // Mostly a layer made so far, sometimes any number.
    int32_t LayerId()
    {
        if (!layers.empty() && input.ConsumeBool()) {
            return layers[input.ConsumeIntegralInRange<size_t>(0, layers.size() - 1)];
        }
        return input.ConsumeIntegralInRange<int32_t>(-2, 40);
    }
    // Mostly the live handle, sometimes none or a stale or made-up one.
    uint64_t Handle(uint64_t live)
    {
        switch (input.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            return 0;
        case 1:
            return input.ConsumeIntegral<uint64_t>();
        default:
            return live;
        }
    }
    float Float() { return input.ConsumeFloatingPoint<float>(); }

    void Step(Op op)
    {
        const uint64_t instance = HandleValue(world.layers.instance);
        const uint64_t session = HandleValue(world.layers.session);
        switch (op) {
        case Op::Create: {
            const uint64_t layerInstance = Handle(instance);
            const uint64_t layerSession = Handle(session);
            const uint32_t width = input.ConsumeIntegralInRange<uint32_t>(0, 4096);
            const uint32_t height = input.ConsumeIntegralInRange<uint32_t>(0, 4096);
            const int32_t sortingOrder = input.ConsumeIntegral<int32_t>();
            const uint32_t type = input.ConsumeIntegralInRange<uint32_t>(0, 6);
            const int32_t id = CreateCompositionLayer(layerInstance, layerSession, width, height, sortingOrder, type,
                                                      input.ConsumeIntegral<uint8_t>());
            if (id != 0) {
                layers.push_back(id);
            }
            break;
        }
        case Op::Destroy:
            DestroyCompositionLayer(LayerId());
            break;
        case Op::DestroyInSession:
            DestroyCompositionLayersInSession(Handle(session));
            break;
        case Op::Acquire:
            AcquireSwapchainImageForLayer(LayerId());
            break;
        case Op::Release:
            ReleaseSwapchainImageForLayer(LayerId());
            break;
        case Op::Send:
            SendToSwapchain(LayerId(), input.ConsumeBool() ? &texture : nullptr, input.ConsumeIntegral<uint32_t>(),
                            input.ConsumeIntegral<uint32_t>());
            break;
        case Op::Visible:
            SetLayerVisible(LayerId(), input.ConsumeIntegral<uint8_t>());
            break;
        case Op::SortingOrder:
            SetSortingOrderForLayer(LayerId(), input.ConsumeIntegral<int32_t>());
            break;
        case Op::Position: {
            const int32_t id = LayerId();
            SetPositionForLayer(id, Float(), Float(), Float());
            break;
        }
        case Op::Orientation: {
            const int32_t id = LayerId();
            SetOrientationForLayer(id, Float(), Float(), Float(), Float());
            break;
        }
        case Op::QuadSize: {
            const int32_t id = LayerId();
            SetSizeForQuadLayer(id, Float(), Float());
            break;
        }
        case Op::Cylinder: {
            const int32_t id = LayerId();
            SetRadiusForCylinderLayer(id, Float());
            SetCentralAngleForCylinderLayer(id, Float());
            break;
        }
        case Op::Equirect: {
            const int32_t id = LayerId();
            SetRadiusForEquirectLayer(id, Float());
            SetCentralHorizontalAngleForEquirectLayer(id, Float());
            SetUpperVerticalAngleForEquirectLayer(id, Float());
            SetLowerVerticalAngleForEquirectLayer(id, Float());
            break;
        }
        case Op::MaxLayerCount:
            SetMaxCompositionLayerCount(input.ConsumeIntegralInRange<uint32_t>(0, 70));
            break;
        case Op::Flags:
            SetCompositionLayerFeatureEnabled(input.ConsumeIntegral<uint8_t>());
            SetEnableFoveation(input.ConsumeIntegral<uint8_t>());
            SetFusionSupported(input.ConsumeIntegral<uint8_t>());
            break;
        case Op::FoveationLevel: {
            const uint64_t levelInstance = Handle(instance);
            const uint64_t levelSession = Handle(session);
            SetFoveationLevel(levelInstance, levelSession, input.ConsumeIntegral<int32_t>());
            break;
        }
        case Op::ReserveEvents:
            ReserveEventIndices(input.ConsumeIntegral<int32_t>());
            break;
        case Op::RequestLayers: {
            const std::string names = input.ConsumeRandomLengthString(256);
            RequestLayers(input.ConsumeBool() ? names.c_str() : nullptr);
            break;
        }
        case Op::Frame:
            Frame();
            break;
        case Op::BlendModes:
            BlendModes();
            break;
        case Op::Extensions:
            Extensions();
            break;
        case Op::kCount:
            break;
        }
    }

    // One frame whose application layers are any mix of projections and quads, in any number.
    void Frame()
    {
        std::vector<XrCompositionLayerProjection> projections;
        std::vector<XrCompositionLayerQuad> quads;
        const size_t count = input.ConsumeIntegralInRange<size_t>(0, 20);
        projections.reserve(count);
        quads.reserve(count);
        std::vector<const XrCompositionLayerBaseHeader*> applicationLayers;
        for (size_t i = 0; i < count; ++i) {
            const XrCompositionLayerFlags flags = input.ConsumeIntegralInRange<XrCompositionLayerFlags>(0, 15);
            if (applicationSwapchain == XR_NULL_HANDLE) {
                applicationSwapchain = world.ApplicationSwapchain();
                applicationSwapchains.insert(HandleValue(applicationSwapchain));
            }
            if (input.ConsumeBool()) {
                projections.push_back(world.ApplicationProjection(applicationSwapchain, flags));
                applicationLayers.push_back(reinterpret_cast<const XrCompositionLayerBaseHeader*>(&projections.back()));
            } else {
                XrCompositionLayerQuad quad{XR_TYPE_COMPOSITION_LAYER_QUAD};
                quad.layerFlags = flags;
                quad.space = world.applicationSpace;
                quad.subImage.swapchain = applicationSwapchain;
                quad.subImage.imageRect.extent = {64, 64};
                quad.pose.orientation.w = 1.0f;
                quad.size = {Float(), Float()};
                quads.push_back(quad);
                applicationLayers.push_back(reinterpret_cast<const XrCompositionLayerBaseHeader*>(&quads.back()));
            }
        }
        XrFrameState frameState{XR_TYPE_FRAME_STATE};
        world.Lookup<PFN_xrWaitFrame>("xrWaitFrame")(world.layers.session, nullptr, &frameState);
        world.Lookup<PFN_xrBeginFrame>("xrBeginFrame")(world.layers.session, nullptr);
        XrFrameEndInfo endInfo{XR_TYPE_FRAME_END_INFO};
        endInfo.displayTime = frameState.predictedDisplayTime;
        endInfo.environmentBlendMode = static_cast<XrEnvironmentBlendMode>(input.ConsumeIntegralInRange<int>(0, 4));
        endInfo.layerCount = static_cast<uint32_t>(applicationLayers.size());
        endInfo.layers = applicationLayers.empty() && input.ConsumeBool() ? nullptr : applicationLayers.data();
        world.Lookup<PFN_xrEndFrame>("xrEndFrame")(world.layers.session, &endInfo);
    }

    // Buffers are exactly the capacity asked for, so a write past it is caught.
    void BlendModes()
    {
        const uint32_t capacity = input.ConsumeIntegralInRange<uint32_t>(0, 4);
        std::vector<XrEnvironmentBlendMode> modes(capacity);
        uint32_t count = 0;
        world.Lookup<PFN_xrEnumerateEnvironmentBlendModes>("xrEnumerateEnvironmentBlendModes")(
            world.layers.instance, input.ConsumeIntegralInRange<XrSystemId>(0, 2), XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO,
            capacity, input.ConsumeBool() ? &count : nullptr, capacity == 0 ? nullptr : modes.data());
    }

    void Extensions()
    {
        const uint32_t capacity = input.ConsumeIntegralInRange<uint32_t>(0, 8);
        std::vector<XrExtensionProperties> properties(capacity, XrExtensionProperties{XR_TYPE_EXTENSION_PROPERTIES});
        uint32_t count = 0;
        const std::string layerName = input.ConsumeRandomLengthString(32);
        world.Lookup<PFN_xrEnumerateInstanceExtensionProperties>("xrEnumerateInstanceExtensionProperties")(
            input.ConsumeBool() ? layerName.c_str() : nullptr, capacity, input.ConsumeBool() ? &count : nullptr,
            capacity == 0 ? nullptr : properties.data());
    }

    FuzzedDataProvider input;
    SkelderTestWorld world;
    std::set<uint64_t> before;
    std::set<uint64_t> applicationSwapchains;
    XrSwapchain applicationSwapchain = XR_NULL_HANDLE;
    std::vector<int32_t> layers;
    uint64_t texture = 0x7e57;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Program program(data, size);
    program.Run();
    return 0;
}

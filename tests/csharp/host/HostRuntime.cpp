#include "HostRuntime.h"

#include <dlfcn.h>

#include <cstring>
#include <mutex>
#include <stdexcept>

#include "LoaderNegotiation.h"
#include "SimulatedRuntime.h"

namespace quenra::test {

namespace {

ReceivedLayer Read(const XrCompositionLayerBaseHeader* layer)
{
    ReceivedLayer received{layer->type, {}};
    auto pose = [&](const XrPosef& p) {
        received.values = {p.orientation.x, p.orientation.y, p.orientation.z, p.orientation.w,
                           p.position.x,    p.position.y,    p.position.z};
    };
    switch (layer->type) {
    case XR_TYPE_COMPOSITION_LAYER_QUAD: {
        const auto* quad = reinterpret_cast<const XrCompositionLayerQuad*>(layer);
        pose(quad->pose);
        received.values.insert(received.values.end(), {quad->size.width, quad->size.height});
        break;
    }
    case XR_TYPE_COMPOSITION_LAYER_CYLINDER_KHR: {
        const auto* cylinder = reinterpret_cast<const XrCompositionLayerCylinderKHR*>(layer);
        pose(cylinder->pose);
        received.values.insert(received.values.end(), {cylinder->radius, cylinder->centralAngle});
        break;
    }
    case XR_TYPE_COMPOSITION_LAYER_EQUIRECT2_KHR: {
        const auto* equirect = reinterpret_cast<const XrCompositionLayerEquirect2KHR*>(layer);
        pose(equirect->pose);
        received.values.insert(received.values.end(), {equirect->radius, equirect->centralHorizontalAngle,
                                                       equirect->upperVerticalAngle, equirect->lowerVerticalAngle});
        break;
    }
    default:
        break;
    }
    return received;
}

// The runtime library, opened once and kept with the process, and the lookup it negotiated.
struct RuntimeLibrary {
    simruntime::PFN_quenraSimRuntimeControl control = nullptr;
    PFN_xrGetInstanceProcAddr lookup = nullptr;
};

const RuntimeLibrary& OpenRuntimeLibrary()
{
    static const RuntimeLibrary library = [] {
        void* handle = dlopen(QUENRA_SIMRUNTIME_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            throw std::runtime_error(std::string("the runtime library did not open: ") + dlerror());
        }
        RuntimeLibrary opened;
        opened.control =
            reinterpret_cast<simruntime::PFN_quenraSimRuntimeControl>(dlsym(handle, simruntime::kRuntimeControlName));
        auto negotiate = reinterpret_cast<simruntime::PFN_xrNegotiateLoaderRuntimeInterface>(
            dlsym(handle, "xrNegotiateLoaderRuntimeInterface"));
        if (opened.control == nullptr || negotiate == nullptr) {
            throw std::runtime_error("the runtime library lacks its entries");
        }
        // What the loader asks for: interface version 1, this API version.
        const simruntime::XrNegotiateLoaderInfo info{simruntime::XR_LOADER_INTERFACE_STRUCT_LOADER_INFO,
                                                     simruntime::XR_LOADER_INFO_STRUCT_VERSION,
                                                     sizeof(simruntime::XrNegotiateLoaderInfo),
                                                     simruntime::XR_CURRENT_LOADER_RUNTIME_VERSION,
                                                     simruntime::XR_CURRENT_LOADER_RUNTIME_VERSION,
                                                     XR_CURRENT_API_VERSION,
                                                     XR_CURRENT_API_VERSION};
        simruntime::XrNegotiateRuntimeRequest request{simruntime::XR_LOADER_INTERFACE_STRUCT_RUNTIME_REQUEST,
                                                      simruntime::XR_RUNTIME_INFO_STRUCT_VERSION,
                                                      sizeof(simruntime::XrNegotiateRuntimeRequest)};
        if (negotiate(&info, &request) != XR_SUCCESS || request.getInstanceProcAddr == nullptr) {
            throw std::runtime_error("the runtime library refused the negotiation");
        }
        opened.lookup = request.getInstanceProcAddr;
        return opened;
    }();
    return library;
}

} // namespace

struct HostRuntime::World {
    const RuntimeLibrary& library = OpenRuntimeLibrary();
    simruntime::SimulatedRuntime* runtime = nullptr;
    simruntime::SimWorld scene;
    // The instance of the last session made, whose functions make its spaces.
    uint64_t instance = 0;
    // Written by the frame thread, read by the test's.
    mutable std::mutex layersMutex;
    std::vector<ReceivedLayer> lastFrameLayers;
};

HostRuntime::HostRuntime() : world(std::make_unique<World>())
{
    World& made = *world;
    made.runtime = made.library.control(simruntime::RuntimeControlRequest::Reset);
    if (made.runtime == nullptr) {
        throw std::runtime_error("the runtime library made no runtime");
    }
    made.runtime->frameLoop.SetFrameObserver([&made](const XrFrameEndInfo& info) {
        std::vector<ReceivedLayer> layers;
        for (uint32_t i = 0; i < info.layerCount; ++i) {
            layers.push_back(Read(info.layers[i]));
        }
        std::lock_guard<std::mutex> lock(made.layersMutex);
        made.lastFrameLayers = std::move(layers);
    });
}

HostRuntime::~HostRuntime()
{
    world->library.control(simruntime::RuntimeControlRequest::Release);
}

PFN_xrGetInstanceProcAddr HostRuntime::Lookup() const
{
    return world->library.lookup;
}

uint64_t HostRuntime::MakeInstance()
{
    auto create = LookUp<PFN_xrCreateInstance>(Lookup(), 0, "xrCreateInstance");
    XrInstanceCreateInfo info{XR_TYPE_INSTANCE_CREATE_INFO};
    std::strncpy(info.applicationInfo.applicationName, "Binding tests", XR_MAX_APPLICATION_NAME_SIZE - 1);
    info.applicationInfo.apiVersion = XR_CURRENT_API_VERSION;
    XrInstance instance = XR_NULL_HANDLE;
    return create != nullptr && create(&info, &instance) == XR_SUCCESS ? simruntime::HandleValue(instance) : 0;
}

uint64_t HostRuntime::MakeSession(uint64_t instance)
{
    const auto xrInstance = reinterpret_cast<XrInstance>(instance);
    auto getSystem = LookUp<PFN_xrGetSystem>(Lookup(), instance, "xrGetSystem");
    auto create = LookUp<PFN_xrCreateSession>(Lookup(), instance, "xrCreateSession");
    const XrSystemGetInfo systemInfo{XR_TYPE_SYSTEM_GET_INFO, nullptr, XR_FORM_FACTOR_HEAD_MOUNTED_DISPLAY};
    XrSessionCreateInfo info{XR_TYPE_SESSION_CREATE_INFO};
    XrSession session = XR_NULL_HANDLE;
    if (getSystem == nullptr || create == nullptr || getSystem(xrInstance, &systemInfo, &info.systemId) != XR_SUCCESS ||
        create(xrInstance, &info, &session) != XR_SUCCESS) {
        return 0;
    }
    world->instance = instance;
    return simruntime::HandleValue(session);
}

uint64_t HostRuntime::MakeSpace(uint64_t session)
{
    auto create = LookUp<PFN_xrCreateReferenceSpace>(Lookup(), world->instance, "xrCreateReferenceSpace");
    const XrReferenceSpaceCreateInfo info{XR_TYPE_REFERENCE_SPACE_CREATE_INFO, nullptr, XR_REFERENCE_SPACE_TYPE_LOCAL,
                                          XrPosef{{0, 0, 0, 1}, {0, 0, 0}}};
    XrSpace space = XR_NULL_HANDLE;
    return create != nullptr && create(reinterpret_cast<XrSession>(session), &info, &space) == XR_SUCCESS
               ? simruntime::HandleValue(space)
               : 0;
}

size_t HostRuntime::LiveCount(const std::string& kind) const
{
    size_t count = 0;
    for (const simruntime::LiveHandle& handle : world->runtime->runtime.LiveHandles()) {
        count += kind == simruntime::HandleKindName(handle.kind) ? 1 : 0;
    }
    return count;
}

XrTime HostRuntime::LastPredictedDisplayTime() const
{
    return world->runtime->frameLoop.LastPredictedDisplayTime();
}

void HostRuntime::AddPlane(const XrUuidMSFT& id, XrScenePlaneAlignmentTypeMSFT alignment, const XrPosef& pose,
                           XrExtent2Df size, XrSpaceLocationFlags locationFlags, std::vector<XrVector3f> vertices,
                           std::vector<uint32_t> indices)
{
    simruntime::SimWorld& scene = world->scene;
    simruntime::SimPlane plane;
    plane.id = id;
    plane.alignment = alignment;
    plane.pose = pose;
    plane.size = size;
    plane.locationFlags = locationFlags;
    plane.meshBufferId = 1000 + scene.planes.size();
    scene.buffers[plane.meshBufferId] = {std::move(vertices), std::move(indices)};
    scene.planes.push_back(plane);
    world->runtime->scene.SetWorld(scene);
}

std::vector<ReceivedLayer> HostRuntime::LastFrameLayers() const
{
    std::lock_guard<std::mutex> lock(world->layersMutex);
    return world->lastFrameLayers;
}

} // namespace quenra::test

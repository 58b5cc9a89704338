#include "HostRuntime.h"

#include <cstdlib>
#include <mutex>
#include <stdexcept>

#include "RuntimeLibrary.h"
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

} // namespace

struct HostRuntime::World {
    harness::RuntimeLibrary library{QUENRA_SIMRUNTIME_LIBRARY};
    simruntime::SimulatedRuntime* runtime = &library.Runtime();
    simruntime::SimWorld scene;
    // Written by the frame thread, read by the test's.
    mutable std::mutex layersMutex;
    std::vector<ReceivedLayer> lastFrameLayers;
};

HostRuntime::HostRuntime()
{
    // The loader finds the runtime library through the manifest beside it.
    if (setenv("XR_RUNTIME_JSON", QUENRA_SIMRUNTIME_MANIFEST, 1) != 0) {
        throw std::runtime_error("XR_RUNTIME_JSON could not be set");
    }
    world = std::make_unique<World>();
    World& made = *world;
    made.runtime->frameLoop.SetFrameObserver([&made](const XrFrameEndInfo& info) {
        std::vector<ReceivedLayer> layers;
        for (uint32_t i = 0; i < info.layerCount; ++i) {
            layers.push_back(Read(info.layers[i]));
        }
        std::lock_guard<std::mutex> lock(made.layersMutex);
        made.lastFrameLayers = std::move(layers);
    });
}

HostRuntime::~HostRuntime() = default;

PFN_xrGetInstanceProcAddr HostRuntime::Lookup() const
{
    return &xrGetInstanceProcAddr;
}

size_t HostRuntime::LiveCount(const std::string& kind) const
{
    size_t count = 0;
    for (const simruntime::LiveHandle& handle : world->runtime->runtime.LiveHandles()) {
        count += kind.empty() || kind == simruntime::HandleKindName(handle.kind) ? 1 : 0;
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

void HostRuntime::AddMesh(const XrUuidMSFT& id, const XrVector3f& position, float size)
{
    simruntime::SimWorld& scene = world->scene;
    simruntime::SimVisualMesh mesh;
    mesh.id = id;
    mesh.pose.position = position;
    mesh.meshBufferId = 2000 + scene.meshes.size();
    const float h = size / 2;
    scene.buffers[mesh.meshBufferId] = {{{-h, 0, -h}, {h, 0, -h}, {h, 0, h}, {-h, 0, h}}, {0, 1, 2, 0, 2, 3}};
    scene.meshes.push_back(mesh);
    world->runtime->scene.SetWorld(scene);
}

std::vector<ReceivedLayer> HostRuntime::LastFrameLayers() const
{
    std::lock_guard<std::mutex> lock(world->layersMutex);
    return world->lastFrameLayers;
}

} // namespace quenra::test

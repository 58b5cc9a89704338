#include "HostRuntime.h"

#include <mutex>

#include "FrameLoop.h"
#include "Passthrough.h"
#include "ReferenceSpaces.h"
#include "SceneUnderstanding.h"
#include "SimRuntime.h"
#include "Swapchains.h"

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
    sim::Runtime runtime;
    sim::FrameLoop frameLoop{runtime};
    sim::Swapchains swapchains{runtime, frameLoop};
    sim::Passthrough passthrough{runtime};
    sim::ReferenceSpaces spaces{runtime};
    sim::SceneUnderstanding sceneUnderstanding{runtime};
    sim::SimWorld scene;
    // Written by the frame thread, read by the test's.
    mutable std::mutex layersMutex;
    std::vector<ReceivedLayer> lastFrameLayers;
};

HostRuntime::HostRuntime() : world_(std::make_unique<World>())
{
    World& world = *world_;
    world.frameLoop.SetFrameObserver([&world](const XrFrameEndInfo& info) {
        std::vector<ReceivedLayer> layers;
        for (uint32_t i = 0; i < info.layerCount; ++i) {
            layers.push_back(Read(info.layers[i]));
        }
        std::lock_guard<std::mutex> lock(world.layersMutex);
        world.lastFrameLayers = std::move(layers);
    });
}

HostRuntime::~HostRuntime()
{
    world_->frameLoop.SetFrameObserver(nullptr);
}

PFN_xrGetInstanceProcAddr HostRuntime::Lookup() const
{
    return &sim::Runtime::GetInstanceProcAddr;
}

uint64_t HostRuntime::MakeInstance()
{
    return sim::HandleValue(world_->runtime.MakeInstance());
}

uint64_t HostRuntime::MakeSession(uint64_t instance)
{
    return sim::HandleValue(world_->runtime.MakeSession(reinterpret_cast<XrInstance>(instance)));
}

uint64_t HostRuntime::MakeSpace(uint64_t session)
{
    return sim::HandleValue(world_->runtime.MakeSpace(reinterpret_cast<XrSession>(session)));
}

size_t HostRuntime::LiveCount(const std::string& kind) const
{
    size_t count = 0;
    for (const sim::LiveHandle& handle : world_->runtime.LiveHandles()) {
        count += kind == sim::HandleKindName(handle.kind) ? 1 : 0;
    }
    return count;
}

size_t HostRuntime::CallCount(const std::string& function) const
{
    return world_->runtime.CallCount(function);
}

XrTime HostRuntime::LastPredictedDisplayTime() const
{
    return world_->frameLoop.LastPredictedDisplayTime();
}

void HostRuntime::AddPlane(const XrUuidMSFT& id, XrScenePlaneAlignmentTypeMSFT alignment, const XrPosef& pose,
                           XrExtent2Df size, XrSpaceLocationFlags locationFlags, std::vector<XrVector3f> vertices,
                           std::vector<uint32_t> indices)
{
    sim::SimWorld& scene = world_->scene;
    sim::SimPlane plane;
    plane.id = id;
    plane.alignment = alignment;
    plane.pose = pose;
    plane.size = size;
    plane.locationFlags = locationFlags;
    plane.meshBufferId = 1000 + scene.planes.size();
    scene.buffers[plane.meshBufferId] = {std::move(vertices), std::move(indices)};
    scene.planes.push_back(plane);
    world_->sceneUnderstanding.SetWorld(scene);
}

std::vector<ReceivedLayer> HostRuntime::LastFrameLayers() const
{
    std::lock_guard<std::mutex> lock(world_->layersMutex);
    return world_->lastFrameLayers;
}

} // namespace quenra::test

#include "SkelderSession.h"

#include <stdexcept>

#include "LoaderApplication.h"
#include "SimRuntime.h"

namespace quenra::test {

SkelderSession::SkelderSession(EngineStandIns& engine) : library_(SKELDER_LIBRARY_PATH), engine_(engine)
{
    if (!library_.Loaded()) {
        throw std::runtime_error("Skelder did not open: " + library_.Error());
    }
#define SKELDER_RESOLVE(name, ...)                                                                                     \
    if (!library_.Resolve(#name, exports_.name)) {                                                                     \
        throw std::runtime_error("Skelder lacks " #name);                                                              \
    }
    SKELDER_EXPORTS(SKELDER_RESOLVE)
#undef SKELDER_RESOLVE
}

SkelderSession::~SkelderSession() { Unload(); }

PFN_xrGetInstanceProcAddr SkelderSession::LoadAndChain(PFN_xrGetInstanceProcAddr next, uint32_t maxLayers)
{
    exports_.UnityPluginLoad(engine_.registry.Interfaces());
    loaded_ = true;
    exports_.SetCompositionLayerFeatureEnabled(1);
    exports_.SetMaxCompositionLayerCount(maxLayers);
    exports_.SetEnableFoveation(1);
    return exports_.GetInterceptedInstanceProcAddr(next);
}

int32_t SkelderSession::CreateLayer(const LoaderApplication& app, SkelderLayer type, int32_t sortingOrder)
{
    const int32_t id = exports_.CreateCompositionLayer(sim::HandleValue(app.instance), sim::HandleValue(app.session),
                                                       128, 128, sortingOrder, static_cast<uint32_t>(type), 0);
    if (id == 0) {
        throw std::runtime_error("Skelder made no layer of type " + std::to_string(static_cast<uint32_t>(type)));
    }
    exports_.SetPositionForLayer(id, 0.0f, 1.5f, -2.0f);
    exports_.SetOrientationForLayer(id, 0.0f, 0.0f, 0.0f, 1.0f);
    if (type != SkelderLayer::Passthrough) {
        if (exports_.AcquireSwapchainImageForLayer(id) == nullptr) {
            throw std::runtime_error("no image for layer " + std::to_string(id));
        }
        exports_.ReleaseSwapchainImageForLayer(id);
    }
    return id;
}

void SkelderSession::Unload()
{
    if (loaded_) {
        exports_.UnityPluginUnload();
        loaded_ = false;
    }
}

ProjectionLayer::ProjectionLayer(XrSwapchain swapchain, XrSpace space)
{
    for (uint32_t eye = 0; eye < views_.size(); ++eye) {
        XrCompositionLayerProjectionView& view = views_[eye];
        view.type = XR_TYPE_COMPOSITION_LAYER_PROJECTION_VIEW;
        view.pose.orientation.w = 1.0f;
        view.fov = {-0.8f, 0.8f, 0.8f, -0.8f};
        view.subImage.swapchain = swapchain;
        view.subImage.imageRect = {{0, 0}, {128, 128}};
        view.subImage.imageArrayIndex = eye;
    }
    layer_.space = space;
    layer_.viewCount = static_cast<uint32_t>(views_.size());
    layer_.views = views_.data();
}

} // namespace quenra::test

#include "SkelderSession.h"

#include <stdexcept>

#include "LoaderApplication.h"
#include "Runtime.h"

namespace quenra::test {

SkelderSession::SkelderSession(EngineStandIns& engine) : library(SKELDER_LIBRARY_PATH), engine(engine)
{
    if (!library.Loaded()) {
        throw std::runtime_error("Skelder did not open: " + library.Error());
    }
#define SKELDER_RESOLVE(name, ...)                                                                                     \
    if (!library.Resolve(#name, exports.name)) {                                                                       \
        throw std::runtime_error("Skelder lacks " #name);                                                              \
    }
    SKELDER_EXPORTS(SKELDER_RESOLVE)
#undef SKELDER_RESOLVE
}

SkelderSession::~SkelderSession() { Unload(); }

PFN_xrGetInstanceProcAddr SkelderSession::LoadAndChain(PFN_xrGetInstanceProcAddr next, uint32_t maxLayers)
{
    exports.UnityPluginLoad(engine.registry.Interfaces());
    loaded = true;
    exports.SetCompositionLayerFeatureEnabled(1);
    exports.SetMaxCompositionLayerCount(maxLayers);
    exports.SetEnableFoveation(1);
    return exports.GetInterceptedInstanceProcAddr(next);
}

int32_t SkelderSession::CreateLayer(const LoaderApplication& app, SkelderLayer type, int32_t sortingOrder)
{
    const int32_t id =
        exports.CreateCompositionLayer(simruntime::HandleValue(app.instance), simruntime::HandleValue(app.session), 128,
                                       128, sortingOrder, static_cast<uint32_t>(type), 0);
    if (id == 0) {
        throw std::runtime_error("Skelder made no layer of type " + std::to_string(static_cast<uint32_t>(type)));
    }
    exports.SetPositionForLayer(id, 0.0f, 1.5f, -2.0f);
    exports.SetOrientationForLayer(id, 0.0f, 0.0f, 0.0f, 1.0f);
    if (type != SkelderLayer::Passthrough) {
        if (exports.AcquireSwapchainImageForLayer(id) == nullptr) {
            throw std::runtime_error("no image for layer " + std::to_string(id));
        }
        exports.ReleaseSwapchainImageForLayer(id);
    }
    return id;
}

void SkelderSession::Unload()
{
    if (loaded) {
        exports.UnityPluginUnload();
        loaded = false;
    }
}

ProjectionLayer::ProjectionLayer(XrSwapchain swapchain, XrSpace space)
{
    for (uint32_t eye = 0; eye < views.size(); ++eye) {
        XrCompositionLayerProjectionView& view = views[eye];
        view.type = XR_TYPE_COMPOSITION_LAYER_PROJECTION_VIEW;
        view.pose.orientation.w = 1.0f;
        view.fov = {-0.8f, 0.8f, 0.8f, -0.8f};
        view.subImage.swapchain = swapchain;
        view.subImage.imageRect = {{0, 0}, {128, 128}};
        view.subImage.imageArrayIndex = eye;
    }
    layer.space = space;
    layer.viewCount = static_cast<uint32_t>(views.size());
    layer.views = views.data();
}

} // namespace quenra::test

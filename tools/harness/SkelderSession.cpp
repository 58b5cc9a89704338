#include "SkelderSession.h"

#include <stdexcept>
#include <string>

#include "Runtime.h"

namespace quenra::harness {

SkelderSession::~SkelderSession()
{
    Unload();
}

PFN_xrGetInstanceProcAddr SkelderSession::LoadAndChain(PFN_xrGetInstanceProcAddr next, uint32_t maxLayers)
{
    exports.UnityPluginLoad(engine.registry.Interfaces());
    loaded = true;
    exports.SetCompositionLayerFeatureEnabled(1);
    exports.SetMaxCompositionLayerCount(maxLayers);
    exports.SetEnableFoveation(1);
    return exports.GetInterceptedInstanceProcAddr(next);
}

int32_t SkelderSession::CreateLayer(XrInstance instance, XrSession session, SkelderLayer type, int32_t sortingOrder,
                                    uint32_t size)
{
    const int32_t id =
        exports.CreateCompositionLayer(simruntime::HandleValue(instance), simruntime::HandleValue(session), size, size,
                                       sortingOrder, static_cast<uint32_t>(type), 0);
    if (id == 0) {
        return Failed("Skelder made no layer of type " + std::to_string(static_cast<uint32_t>(type)));
    }
    exports.SetPositionForLayer(id, 0.0f, 1.5f, -2.0f);
    exports.SetOrientationForLayer(id, 0.0f, 0.0f, 0.0f, 1.0f);
    if (type != SkelderLayer::Passthrough) {
        const bool acquired = exports.AcquireSwapchainImageForLayer(id) != nullptr;
        exports.ReleaseSwapchainImageForLayer(id);
        if (!acquired) {
            Failed("no image for layer " + std::to_string(id));
        }
    }
    return id;
}

int32_t SkelderSession::Failed(const std::string& what) const
{
    if (onFailure == OnFailure::Throw) {
        throw std::runtime_error(what);
    }
    return 0;
}

void SkelderSession::Unload()
{
    if (loaded) {
        exports.UnityPluginUnload();
        loaded = false;
    }
}

} // namespace quenra::harness

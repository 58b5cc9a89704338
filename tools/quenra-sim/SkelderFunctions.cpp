#include "SkelderFunctions.h"

#include "LoadedPlugin.h"

namespace quenra::sim {

std::vector<std::string> ResolveSkelderFunctions(const simengine::PluginLibrary& library, SkelderFunctions& functions)
{
    ExportLookup resolve(library);
#define QUENRA_RESOLVE(name) resolve(#name, functions.name)
    QUENRA_RESOLVE(UnityPluginLoad);
    QUENRA_RESOLVE(UnityPluginUnload);
    QUENRA_RESOLVE(GetInterceptedInstanceProcAddr);
    QUENRA_RESOLVE(CreateCompositionLayer);
    QUENRA_RESOLVE(DestroyCompositionLayersInSession);
    QUENRA_RESOLVE(AcquireSwapchainImageForLayer);
    QUENRA_RESOLVE(ReleaseSwapchainImageForLayer);
    QUENRA_RESOLVE(SetLayerVisible);
    QUENRA_RESOLVE(SetSortingOrderForLayer);
    QUENRA_RESOLVE(SetPositionForLayer);
    QUENRA_RESOLVE(SetOrientationForLayer);
    QUENRA_RESOLVE(SetSizeForQuadLayer);
    QUENRA_RESOLVE(SetRadiusForCylinderLayer);
    QUENRA_RESOLVE(SetCentralAngleForCylinderLayer);
    QUENRA_RESOLVE(SetRadiusForEquirectLayer);
    QUENRA_RESOLVE(SetCentralHorizontalAngleForEquirectLayer);
    QUENRA_RESOLVE(SetUpperVerticalAngleForEquirectLayer);
    QUENRA_RESOLVE(SetLowerVerticalAngleForEquirectLayer);
    QUENRA_RESOLVE(SetMaxCompositionLayerCount);
    QUENRA_RESOLVE(SetCompositionLayerFeatureEnabled);
    QUENRA_RESOLVE(SetFrameStateCallback);
    QUENRA_RESOLVE(SetCreateSwapchainCallback);
    QUENRA_RESOLVE(IsXrFrameInProgress);
#undef QUENRA_RESOLVE
    return resolve.Missing();
}

} // namespace quenra::sim

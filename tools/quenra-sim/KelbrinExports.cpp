#include "KelbrinExports.h"

#include "LoadedPlugin.h"

namespace quenra::sim {

std::vector<std::string> ResolveKelbrinExports(const simengine::PluginLibrary& library, KelbrinExports& exports)
{
    ExportLookup resolve(library);
    resolve("UnityPluginLoad", exports.UnityPluginLoad);
    resolve("UnityPluginUnload", exports.UnityPluginUnload);
    resolve("RegisterMeshingLifecycleProvider", exports.RegisterMeshingLifecycleProvider);
    resolve("RegisterProviderWithSceneObserver", exports.RegisterProviderWithSceneObserver);
    resolve("UnregisterProviderWithSceneObserver", exports.UnregisterProviderWithSceneObserver);
    resolve("SetInstanceHandle", exports.SetInstanceHandle);
    resolve("SetSessionHandle", exports.SetSessionHandle);
    resolve("SetSpaceHandle", exports.SetSpaceHandle);
    resolve("GetInterceptedInstanceProcAddr", exports.GetInterceptedInstanceProcAddr);
    resolve("UpdateObservedScene", exports.UpdateObservedScene);
    resolve("UpdatePlanes", exports.UpdatePlanes);
    resolve("CountScenePlanes", exports.CountScenePlanes);
    resolve("FetchScenePlanes", exports.FetchScenePlanes);
    resolve("FetchPlaneVertices", exports.FetchPlaneVertices);
    resolve("SetPlanesFilterFlags", exports.SetPlanesFilterFlags);
    return resolve.Missing();
}

} // namespace quenra::sim

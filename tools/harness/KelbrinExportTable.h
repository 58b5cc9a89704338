// Every function libKelbrin exports, as the engine and engine scripts reach them by name.
#pragma once

#include "ExportTable.h"
#include "KelbrinPlugin.h"

#define QUENRA_KELBRIN_EXPORTS(X)                                                                                      \
    X(UnityPluginLoad)                                                                                                 \
    X(UnityPluginUnload)                                                                                               \
    X(RegisterMeshingLifecycleProvider)                                                                                \
    X(RegisterProviderWithSceneObserver)                                                                               \
    X(UnregisterProviderWithSceneObserver)                                                                             \
    X(SetInstanceHandle)                                                                                               \
    X(SetSessionHandle)                                                                                                \
    X(SetSpaceHandle)                                                                                                  \
    X(GetInterceptedInstanceProcAddr)                                                                                  \
    X(UpdateObservedScene)                                                                                             \
    X(UpdatePlanes)                                                                                                    \
    X(CountScenePlanes)                                                                                                \
    X(FetchScenePlanes)                                                                                                \
    X(FetchPlaneVertices)                                                                                              \
    X(SetPlanesFilterFlags)

namespace quenra::harness {

struct KelbrinExportTable {
    QUENRA_KELBRIN_EXPORTS(QUENRA_EXPORT_MEMBER)

    template <typename Visit> void ForEach(Visit&& visit) { QUENRA_KELBRIN_EXPORTS(QUENRA_EXPORT_VISIT) }
};

} // namespace quenra::harness

// Skelder's 32 exports, as the engine and engine scripts reach them by name; or, where Skelder's
// objects are linked in, the linked functions themselves.
#pragma once

#include "ExportTable.h"
#include "SkelderExports.h"

#define QUENRA_SKELDER_EXPORTS(X)                                                                                      \
    X(UnityPluginLoad)                                                                                                 \
    X(UnityPluginUnload)                                                                                               \
    X(GetInterceptedInstanceProcAddr)                                                                                  \
    X(RequestLayers)                                                                                                   \
    X(CreateCompositionLayer)                                                                                          \
    X(DestroyCompositionLayer)                                                                                         \
    X(DestroyCompositionLayersInSession)                                                                               \
    X(AcquireSwapchainImageForLayer)                                                                                   \
    X(ReleaseSwapchainImageForLayer)                                                                                   \
    X(SendToSwapchain)                                                                                                 \
    X(SetLayerVisible)                                                                                                 \
    X(SetSortingOrderForLayer)                                                                                         \
    X(SetPositionForLayer)                                                                                             \
    X(SetOrientationForLayer)                                                                                          \
    X(SetSizeForQuadLayer)                                                                                             \
    X(SetRadiusForCylinderLayer)                                                                                       \
    X(SetCentralAngleForCylinderLayer)                                                                                 \
    X(SetRadiusForEquirectLayer)                                                                                       \
    X(SetCentralHorizontalAngleForEquirectLayer)                                                                       \
    X(SetUpperVerticalAngleForEquirectLayer)                                                                           \
    X(SetLowerVerticalAngleForEquirectLayer)                                                                           \
    X(SetMaxCompositionLayerCount)                                                                                     \
    X(SetCompositionLayerFeatureEnabled)                                                                               \
    X(SetEnableFoveation)                                                                                              \
    X(SetFoveationLevel)                                                                                               \
    X(SetFusionSupported)                                                                                              \
    X(SetFrameStateCallback)                                                                                           \
    X(SetCreateSwapchainCallback)                                                                                      \
    X(ReserveEventIndices)                                                                                             \
    X(IsXrFrameInProgress)                                                                                             \
    X(IsPassthroughSupported)                                                                                          \
    X(UseNativeTexture)

namespace quenra::harness {

struct SkelderExportTable {
    QUENRA_SKELDER_EXPORTS(QUENRA_EXPORT_MEMBER)

    template <typename Visit> void ForEach(Visit&& visit) { QUENRA_SKELDER_EXPORTS(QUENRA_EXPORT_VISIT) }
    // Only a program with Skelder's objects linked in may call this.
    static SkelderExportTable Linked()
    {
        SkelderExportTable table;
        QUENRA_SKELDER_EXPORTS(QUENRA_EXPORT_LINK)
        return table;
    }
};

// Layer type codes of CreateCompositionLayer.
enum class SkelderLayer : uint32_t { Quad = 1, Cylinder = 3, Equirect = 4, Passthrough = 5 };

} // namespace quenra::harness

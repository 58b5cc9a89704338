// Skelder's 32 exports with their signatures, found by name in a loaded library as the engine
// finds them.
#pragma once

#include <gtest/gtest.h>
#include <openxr/openxr.h>

#include <cstdint>

#include "PluginLibrary.h"
#include "UnityInterfaces.h"

namespace quenra::test {

// Every export with its signature, resolved by name.
#define SKELDER_EXPORTS(X)                                                                                             \
    X(UnityPluginLoad, void, IUnityInterfaces*)                                                                        \
    X(UnityPluginUnload, void)                                                                                         \
    X(GetInterceptedInstanceProcAddr, PFN_xrGetInstanceProcAddr, PFN_xrGetInstanceProcAddr)                            \
    X(RequestLayers, void, const char*)                                                                                \
    X(CreateCompositionLayer, int32_t, uint64_t, uint64_t, uint32_t, uint32_t, int32_t, uint32_t, uint8_t)             \
    X(DestroyCompositionLayer, uint8_t, int32_t)                                                                       \
    X(DestroyCompositionLayersInSession, void, uint64_t)                                                               \
    X(AcquireSwapchainImageForLayer, void*, int32_t)                                                                   \
    X(ReleaseSwapchainImageForLayer, void, int32_t)                                                                    \
    X(SendToSwapchain, void, int32_t, void*, uint32_t, uint32_t)                                                       \
    X(SetLayerVisible, void, int32_t, uint8_t)                                                                         \
    X(SetSortingOrderForLayer, void, int32_t, int32_t)                                                                 \
    X(SetPositionForLayer, void, int32_t, float, float, float)                                                         \
    X(SetOrientationForLayer, void, int32_t, float, float, float, float)                                               \
    X(SetSizeForQuadLayer, void, int32_t, float, float)                                                                \
    X(SetRadiusForCylinderLayer, void, int32_t, float)                                                                 \
    X(SetCentralAngleForCylinderLayer, void, int32_t, float)                                                           \
    X(SetRadiusForEquirectLayer, void, int32_t, float)                                                                 \
    X(SetCentralHorizontalAngleForEquirectLayer, void, int32_t, float)                                                 \
    X(SetUpperVerticalAngleForEquirectLayer, void, int32_t, float)                                                     \
    X(SetLowerVerticalAngleForEquirectLayer, void, int32_t, float)                                                     \
    X(SetMaxCompositionLayerCount, void, uint32_t)                                                                     \
    X(SetCompositionLayerFeatureEnabled, void, uint8_t)                                                                \
    X(SetEnableFoveation, void, uint8_t)                                                                               \
    X(SetFoveationLevel, void, uint64_t, uint64_t, int32_t)                                                            \
    X(SetFusionSupported, void, uint8_t)                                                                               \
    X(SetFrameStateCallback, void, void (*)(XrFrameState*))                                                            \
    X(SetCreateSwapchainCallback, void, void (*)(uint64_t))                                                            \
    X(ReserveEventIndices, int32_t, int32_t)                                                                           \
    X(IsXrFrameInProgress, uint8_t)                                                                                    \
    X(IsPassthroughSupported, uint8_t)                                                                                 \
    X(UseNativeTexture, uint8_t)

struct SkelderExportTable {
#define SKELDER_EXPORT_MEMBER(name, result, ...) result (*name)(__VA_ARGS__) = nullptr;
    SKELDER_EXPORTS(SKELDER_EXPORT_MEMBER)
#undef SKELDER_EXPORT_MEMBER
};

inline SkelderExportTable ResolveAll(const quenra::simengine::PluginLibrary& library, int* found)
{
    SkelderExportTable exports;
    *found = 0;
#define SKELDER_RESOLVE(name, ...)                                                                                     \
    EXPECT_TRUE(library.Resolve(#name, exports.name)) << #name;                                                        \
    *found += exports.name != nullptr ? 1 : 0;
    SKELDER_EXPORTS(SKELDER_RESOLVE)
#undef SKELDER_RESOLVE
    return exports;
}

// The exported names, in the order of the list above.
inline constexpr const char* kSkelderExportNames[] = {
#define SKELDER_EXPORT_NAME(name, ...) #name,
    SKELDER_EXPORTS(SKELDER_EXPORT_NAME)
#undef SKELDER_EXPORT_NAME
};

} // namespace quenra::test

// The functions of Skelder that the simulated engine and its scripts call, found by name.
#pragma once

#include <openxr/openxr.h>

#include <cstdint>
#include <string>
#include <vector>

#include "PluginLibrary.h"
#include "UnityInterfaces.h"

namespace quenra::sim {

struct SkelderFunctions {
    void (*UnityPluginLoad)(IUnityInterfaces*);
    void (*UnityPluginUnload)();
    PFN_xrGetInstanceProcAddr (*GetInterceptedInstanceProcAddr)(PFN_xrGetInstanceProcAddr);
    int32_t (*CreateCompositionLayer)(uint64_t, uint64_t, uint32_t, uint32_t, int32_t, uint32_t, uint8_t);
    void (*DestroyCompositionLayersInSession)(uint64_t);
    void* (*AcquireSwapchainImageForLayer)(int32_t);
    void (*ReleaseSwapchainImageForLayer)(int32_t);
    void (*SetLayerVisible)(int32_t, uint8_t);
    void (*SetSortingOrderForLayer)(int32_t, int32_t);
    void (*SetPositionForLayer)(int32_t, float, float, float);
    void (*SetOrientationForLayer)(int32_t, float, float, float, float);
    void (*SetSizeForQuadLayer)(int32_t, float, float);
    void (*SetRadiusForCylinderLayer)(int32_t, float);
    void (*SetCentralAngleForCylinderLayer)(int32_t, float);
    void (*SetRadiusForEquirectLayer)(int32_t, float);
    void (*SetCentralHorizontalAngleForEquirectLayer)(int32_t, float);
    void (*SetUpperVerticalAngleForEquirectLayer)(int32_t, float);
    void (*SetLowerVerticalAngleForEquirectLayer)(int32_t, float);
    void (*SetMaxCompositionLayerCount)(uint32_t);
    void (*SetCompositionLayerFeatureEnabled)(uint8_t);
    void (*SetFrameStateCallback)(void (*)(XrFrameState*));
    void (*SetCreateSwapchainCallback)(void (*)(uint64_t));
    uint8_t (*IsXrFrameInProgress)();
};

std::vector<std::string> ResolveSkelderFunctions(const simengine::PluginLibrary& library, SkelderFunctions& functions);

} // namespace quenra::sim

// Every function libKelbrin exports, as the engine and engine scripts reach them by name.
#pragma once

#include <openxr/openxr.h>

#include <cstdint>
#include <string>
#include <vector>

#include "PluginLibrary.h"
#include "ScenePlane.h"
#include "UnityInterfaces.h"

namespace quenra::sim {

struct KelbrinExports {
    void (*UnityPluginLoad)(IUnityInterfaces*);
    void (*UnityPluginUnload)();
    bool (*RegisterMeshingLifecycleProvider)();
    void (*RegisterProviderWithSceneObserver)(const char*, int32_t);
    void (*UnregisterProviderWithSceneObserver)(const char*);
    void (*SetInstanceHandle)(uint64_t);
    void (*SetSessionHandle)(uint64_t);
    void (*SetSpaceHandle)(uint64_t);
    PFN_xrGetInstanceProcAddr (*GetInterceptedInstanceProcAddr)(PFN_xrGetInstanceProcAddr);
    bool (*UpdateObservedScene)(const char*);
    bool (*UpdatePlanes)();
    bool (*CountScenePlanes)(uint32_t*);
    bool (*FetchScenePlanes)(uint32_t, ScenePlane*);
    bool (*FetchPlaneVertices)(const ScenePlane*, XrVector3f*, uint32_t*);
    void (*SetPlanesFilterFlags)(uint32_t);
};

// Looks every export up by name; returns the names the library lacks, in the order above.
std::vector<std::string> ResolveKelbrinExports(const simengine::PluginLibrary& library, KelbrinExports& exports);

} // namespace quenra::sim

// libKelbrin opened by file name and its exports found by name, as the engine and
// engine scripts reach them.
#pragma once

#include <openxr/openxr.h>

#include <cstdint>
#include <string>

#include "ScenePlane.h"
#include "UnityInterfaces.h"

namespace quenra::simulator {

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

class KelbrinLibrary {
public:
    // Throws std::runtime_error naming the library or the missing export.
    explicit KelbrinLibrary(const std::string& path);
    ~KelbrinLibrary();
    KelbrinLibrary(const KelbrinLibrary&) = delete;
    KelbrinLibrary& operator=(const KelbrinLibrary&) = delete;

    const KelbrinExports& Exports() const { return exports_; }

private:
    template <typename Function> void Resolve(const char* name, Function& function);

    void* handle_ = nullptr;
    KelbrinExports exports_{};
};

} // namespace quenra::simulator

// The one place the simulator touches the host's dynamic loader (POSIX dlopen).
#include "KelbrinLibrary.h"

#include <dlfcn.h>

#include <stdexcept>

namespace quenra::simulator {

KelbrinLibrary::KelbrinLibrary(const std::string& path) : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL))
{
    if (handle_ == nullptr) {
        const char* reason = dlerror();
        throw std::runtime_error("cannot load " + path + ": " + (reason != nullptr ? reason : "unknown reason"));
    }
    try {
        Resolve("UnityPluginLoad", exports_.UnityPluginLoad);
        Resolve("UnityPluginUnload", exports_.UnityPluginUnload);
        Resolve("RegisterMeshingLifecycleProvider", exports_.RegisterMeshingLifecycleProvider);
        Resolve("RegisterProviderWithSceneObserver", exports_.RegisterProviderWithSceneObserver);
        Resolve("UnregisterProviderWithSceneObserver", exports_.UnregisterProviderWithSceneObserver);
        Resolve("SetInstanceHandle", exports_.SetInstanceHandle);
        Resolve("SetSessionHandle", exports_.SetSessionHandle);
        Resolve("SetSpaceHandle", exports_.SetSpaceHandle);
        Resolve("GetInterceptedInstanceProcAddr", exports_.GetInterceptedInstanceProcAddr);
        Resolve("UpdateObservedScene", exports_.UpdateObservedScene);
        Resolve("UpdatePlanes", exports_.UpdatePlanes);
        Resolve("CountScenePlanes", exports_.CountScenePlanes);
        Resolve("FetchScenePlanes", exports_.FetchScenePlanes);
        Resolve("FetchPlaneVertices", exports_.FetchPlaneVertices);
        Resolve("SetPlanesFilterFlags", exports_.SetPlanesFilterFlags);
    } catch (...) {
        dlclose(handle_);
        throw;
    }
}

KelbrinLibrary::~KelbrinLibrary()
{
    dlclose(handle_);
}

template <typename Function> void KelbrinLibrary::Resolve(const char* name, Function& function)
{
    function = reinterpret_cast<Function>(dlsym(handle_, name));
    if (function == nullptr) {
        throw std::runtime_error(std::string("libKelbrin exports no ") + name);
    }
}

} // namespace quenra::simulator

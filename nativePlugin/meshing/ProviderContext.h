// The one object per loaded library that ties the engine's interfaces to the
// scene observer and the OpenXR bindings.
#pragma once

#include <memory>

#include "UnityXRMeshing.h"
#include "UnityXRTrace.h"

class SceneObserver;
class XrBindings;

class ProviderContext {
public:
    // Creates the observer, then the bindings.
    ProviderContext();
    // Destroys the observer first: its teardown releases the OpenXR scene objects through the bindings.
    ~ProviderContext();
    ProviderContext(const ProviderContext&) = delete;
    ProviderContext& operator=(const ProviderContext&) = delete;

    // Every message of the library goes through here; without a trace interface nothing is logged.
    template <typename... Args> void Log(UnityXRTraceLevel level, const char* format, Args... args) const
    {
        if (trace != nullptr) {
            trace->Trace(level, format, args...);
        }
    }

    // Engine interfaces, not owned; either may be null.
    IUnityXRTrace* trace = nullptr;
    IUnityXRMeshInterface* meshInterface = nullptr;
    std::unique_ptr<SceneObserver> sceneObserver;
    std::unique_ptr<XrBindings> xrBindings;
};

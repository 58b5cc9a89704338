// The one object per loaded library that ties the engine's interfaces to the OpenXR
// bindings and the scene observer. Members are declared in the order they depend on one
// another, so they are destroyed observer first: its teardown releases the OpenXR scene
// objects through the bindings.
#pragma once

#include <memory>

#include "SceneObserver.h"
#include "TraceLog.h"
#include "UnityXRMeshing.h"
#include "UnityXRTrace.h"
#include "XrBindings.h"

namespace kelbrin {

class ProviderContext {
public:
    // Either interface may be null; the chain is the library's and outlives the context.
    ProviderContext(IUnityXRTrace* trace, IUnityXRMeshInterface* meshInterface, ChainedFunctions& chain);
    ProviderContext(const ProviderContext&) = delete;
    ProviderContext& operator=(const ProviderContext&) = delete;

    // Every message of the library goes through the trace; without a trace interface nothing is logged.
    template <typename... Args> void Log(UnityXRTraceLevel level, const char* format, Args... args) const
    {
        TraceLog(trace, level, format, args...);
    }

    // Engine interfaces, not owned.
    IUnityXRTrace* const trace;
    IUnityXRMeshInterface* const meshInterface;
    const std::unique_ptr<XrBindings> xrBindings;
    // Present from construction to destruction: no entry needs to test for it.
    const std::unique_ptr<SceneObserver> sceneObserver;
};

} // namespace kelbrin

// libKelbrin, reached through its exports, connected as a script connects it: loaded with the
// engine's interfaces, the lookup chained, instance, session and a base space handed over, the
// meshing lifecycle registered and the meshing subsystem initialised and started.
#pragma once

#include <openxr/openxr.h>

#include "EngineRegistry.h"
#include "FakeMeshSubsystem.h"
#include "KelbrinExports.h"
#include "Runtime.h"

namespace quenra::test {

// Answers the lookup the plug-in handed back.
inline PFN_xrGetInstanceProcAddr ConnectKelbrin(const sim::KelbrinExports& kelbrin, simengine::EngineRegistry& registry,
                                                simengine::FakeMeshSubsystem& meshes, simruntime::Runtime& runtime,
                                                XrInstance instance, XrSession session)
{
    kelbrin.UnityPluginLoad(registry.Interfaces());
    const PFN_xrGetInstanceProcAddr lookup =
        kelbrin.GetInterceptedInstanceProcAddr(&simruntime::Runtime::GetInstanceProcAddr);
    kelbrin.SetInstanceHandle(simruntime::HandleValue(instance));
    kelbrin.SetSessionHandle(simruntime::HandleValue(session));
    kelbrin.SetSpaceHandle(simruntime::HandleValue(runtime.MakeSpace(session)));
    kelbrin.RegisterMeshingLifecycleProvider();
    meshes.Initialize();
    meshes.Start();
    return lookup;
}

} // namespace quenra::test

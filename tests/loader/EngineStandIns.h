// The engine around the plug-ins of one test: one trace, one meshing subsystem, one graphics
// device (Vulkan), all offered through one interface registry, as one engine offers them to every
// plug-in it loads.
#pragma once

#include <string>
#include <vector>

#include "EngineRegistry.h"
#include "FakeGraphics.h"
#include "FakeMeshSubsystem.h"
#include "TraceRecorder.h"

namespace quenra::test {

struct EngineStandIns {
    EngineStandIns()
    {
        registry.Provide<IUnityXRTrace>(trace.Interface());
        registry.Provide<IUnityXRMeshInterface>(meshes.Interface());
        registry.Provide(graphics.Interface());
        // The engine hands out its mesh-info list zeroed, so a flag the plug-in leaves alone reads false.
        meshes.SetClearedMeshInfos(true);
    }

    // What the plug-ins logged as failures and warnings, in order of level.
    std::vector<std::string> ErrorsAndWarnings() const
    {
        std::vector<std::string> texts = trace.Texts(kXRTraceLevelError);
        for (const std::string& warning : trace.Texts(kXRTraceLevelWarning)) {
            texts.push_back(warning);
        }
        return texts;
    }

    simengine::TraceRecorder trace;
    simengine::FakeMeshSubsystem meshes;
    simengine::FakeGraphics graphics{kUnityGfxRendererVulkan};
    simengine::EngineRegistry registry;
};

} // namespace quenra::test

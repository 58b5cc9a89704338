// The engine around the plug-ins of one application: one trace, one meshing subsystem, one
// graphics device (Vulkan unless told), all offered through one interface registry, as one engine offers
// them to every plug-in it loads.
#pragma once

#include <string>
#include <vector>

#include "EngineRegistry.h"
#include "FakeGraphics.h"
#include "FakeMeshSubsystem.h"
#include "TraceRecorder.h"

namespace quenra::harness {

struct Engine {
    explicit Engine(UnityGfxRenderer renderer = kUnityGfxRendererVulkan) : graphics(renderer)
    {
        registry.Provide<IUnityXRTrace>(trace.Interface());
        registry.Provide<IUnityXRMeshInterface>(meshes.Interface());
        registry.Provide<IUnityGraphics>(graphics.Interface());
    }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

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
    simengine::FakeGraphics graphics;
    simengine::EngineRegistry registry;
};

} // namespace quenra::harness

// The engine around the plug-ins of one application: one trace, one meshing subsystem, one
// graphics device (Vulkan unless told), all offered through one interface registry, as one engine offers
// them to every plug-in it loads.
#pragma once

#include <algorithm>
#include <cstddef>
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

    // What the engine's meshing updates took.
    struct MeshTally {
        // The most meshes one update listed.
        size_t meshesListed = 0;
        // Acquired whole, inside the engine's buffers.
        size_t meshesAcquired = 0;
        size_t acquireFailures = 0;
        size_t verticesAcquired = 0;
        size_t indicesAcquired = 0;
    };
    // Which listed meshes an update acquires: the updated ones, as an engine does, or every one.
    enum class Acquire { Updated, Listed };

    // The meshing update of one frame: list the meshes, acquire them, then (`transforms`) take
    // their poses.
    void UpdateMeshes(MeshTally& tally, Acquire acquire, bool transforms = true)
    {
        const simengine::MeshInfosResult list = meshes.GetMeshInfos();
        if (list.result == kUnitySubsystemErrorCodeSuccess) {
            tally.meshesListed = std::max(tally.meshesListed, list.infos.size());
            for (const UnityXRMeshInfo& info : list.infos) {
                if (acquire == Acquire::Updated && !info.updated) {
                    continue;
                }
                const simengine::AcquiredMesh mesh = meshes.AcquireAndReleaseMesh(info.meshId);
                if (mesh.result != kUnitySubsystemErrorCodeSuccess || !mesh.guardsIntact) {
                    ++tally.acquireFailures;
                    continue;
                }
                ++tally.meshesAcquired;
                tally.verticesAcquired += mesh.positions.size();
                tally.indicesAcquired += mesh.indices.size();
            }
        }
        if (transforms) {
            meshes.GetUpdatedTransforms();
        }
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
    simengine::FakeGraphics graphics;
    simengine::EngineRegistry registry;
};

} // namespace quenra::harness

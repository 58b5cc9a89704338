// A plug-in connected to the simulated runtime's scene understanding, with a wall clock
// the test moves and the engine's meshing lifecycle running.
#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>

#include "LoadedPlugin.h"
#include "TestUuid.h"

namespace kelbrin::test {

using namespace std::chrono_literals;

// A uuid whose leading bytes are given, the rest zero.
using quenra::test::Uuid;
UnityXRMeshId MeshIdOf(const XrUuidMSFT& uuid);
quenra::simruntime::SimVisualMesh VisualMesh(const XrUuidMSFT& id, uint64_t meshBufferId,
                                             XrPosef pose = {{0, 0, 0, 1}, {}});
// A strip of triangles over `vertexCount` vertices in the plane z = 0.
quenra::simruntime::SimMeshBuffer Strip(size_t vertexCount);
// The updated flag as the engine finds it: 1 written, 0xCD (the allocator's fill) untouched.
uint8_t UpdatedByte(const UnityXRMeshInfo& info);

class SceneCycle : public LoadedPlugin {
protected:
    SceneCycle();

    static ComputeCycle::SystemTime ReadTestClock() { return clockNow; }
    void Advance(std::chrono::microseconds step) { clockNow += step; }
    // Registers the lifecycle and runs initialise and start: the meshing subsystem becomes a provider.
    void StartMeshingSubsystem();
    // Whether the compute cycle has a scene ready to read: the planes are read only then. A
    // read while one is ready replaces the planes read before.
    bool SceneReadable() { return Observer().UpdatePlanes(); }
    // One engine update of the meshing subsystem.
    quenra::simengine::MeshInfosResult EngineUpdate() { return meshes.GetMeshInfos(); }

    static inline ComputeCycle::SystemTime clockNow{};
};

} // namespace kelbrin::test

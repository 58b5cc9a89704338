#include "SceneCycle.h"

#include <cstring>

namespace kelbrin::test {

UnityXRMeshId MeshIdOf(const XrUuidMSFT& uuid)
{
    UnityXRMeshId id;
    std::memcpy(&id, uuid.bytes, sizeof(id));
    return id;
}

quenra::simruntime::SimVisualMesh VisualMesh(const XrUuidMSFT& id, uint64_t meshBufferId, XrPosef pose)
{
    quenra::simruntime::SimVisualMesh mesh;
    mesh.id = id;
    mesh.meshBufferId = meshBufferId;
    mesh.pose = pose;
    return mesh;
}

quenra::simruntime::SimMeshBuffer Strip(size_t vertexCount)
{
    quenra::simruntime::SimMeshBuffer buffer;
    for (size_t i = 0; i < vertexCount; ++i) {
        buffer.vertices.push_back({static_cast<float>(i / 2), static_cast<float>(i % 2), 0});
    }
    for (uint32_t i = 0; i + 2 < vertexCount; ++i) {
        buffer.indices.insert(buffer.indices.end(), {i, i + 1, i + 2});
    }
    return buffer;
}

uint8_t UpdatedByte(const UnityXRMeshInfo& info)
{
    uint8_t byte;
    std::memcpy(&byte, &info.updated, 1);
    return byte;
}

SceneCycle::SceneCycle()
{
    // Well past the clock's epoch, where the first compute is due at once.
    clockNow = ComputeCycle::SystemTime{1'700'000'000s};
    Observer().SetWallClock(&SceneCycle::ReadTestClock);
    ConnectOpenXr();
    WaitFrame();
    trace.Clear();
}

void SceneCycle::StartMeshingSubsystem()
{
    ASSERT_TRUE(RegisterMeshingLifecycleProvider());
    ASSERT_EQ(meshes.Initialize(), kUnitySubsystemErrorCodeSuccess);
    ASSERT_EQ(meshes.Start(), kUnitySubsystemErrorCodeSuccess);
}

} // namespace kelbrin::test

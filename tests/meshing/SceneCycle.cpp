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

uint8_t UpdatedByte(const UnityXRMeshInfo& info)
{
    uint8_t byte;
    std::memcpy(&byte, &info.updated, 1);
    return byte;
}

SceneCycle::SceneCycle()
{
    // Well past the clock's epoch, where the first compute is due at once.
    clockNow = SceneObserver::SystemTime{1'700'000'000s};
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

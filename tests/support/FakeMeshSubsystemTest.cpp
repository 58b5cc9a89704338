#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "FakeMeshSubsystem.h"

namespace quenra::simengine {
namespace {

// A mesh provider of its own: lists two meshes, the first flagged updated, and acquires a
// one-triangle mesh through the allocator, or fails; it remembers what it was released with.
struct ScriptedProvider {
    IUnityXRMeshInterface* mesh = nullptr;
    bool failAcquire = false;
    UnityXRMeshDescriptor written{};
    std::vector<UnityXRMeshDescriptor> released;

    static ScriptedProvider& Of(void* userData) { return *static_cast<ScriptedProvider*>(userData); }

    static UnitySubsystemErrorCode UNITY_INTERFACE_API GetMeshInfos(UnitySubsystemHandle, void* userData,
                                                                    UnityXRMeshInfoAllocator* allocator)
    {
        UnityXRMeshInfo* infos = Of(userData).mesh->MeshInfoAllocator_Allocate(allocator, 2);
        infos[0].meshId = {{1, 0}};
        infos[0].updated = true;
        infos[1].meshId = {{2, 0}};
        return kUnitySubsystemErrorCodeSuccess;
    }

    static UnitySubsystemErrorCode UNITY_INTERFACE_API AcquireMesh(UnitySubsystemHandle, void* userData,
                                                                   const UnityXRMeshId*,
                                                                   UnityXRMeshDataAllocator* allocator)
    {
        ScriptedProvider& self = Of(userData);
        UnityXRMeshDescriptor* descriptor = self.mesh->MeshDataAllocator_AllocateMesh(
            allocator, 3, 3, kUnityXRIndexFormat32Bit, kUnityXRMeshVertexAttributeFlagsNormals,
            kUnityXRMeshTopologyTriangles);
        for (uint32_t i = 0; i < 3; ++i) {
            descriptor->positions[i] = {static_cast<float>(i), 0, 0};
            descriptor->normals[i] = {0, 0, 1};
            descriptor->indices32[i] = i;
        }
        self.written = *descriptor;
        return self.failAcquire ? kUnitySubsystemErrorCodeFailure : kUnitySubsystemErrorCodeSuccess;
    }

    static UnitySubsystemErrorCode UNITY_INTERFACE_API ReleaseMesh(UnitySubsystemHandle, void* userData,
                                                                   const UnityXRMeshId*,
                                                                   const UnityXRMeshDescriptor* descriptor, void*)
    {
        Of(userData).released.push_back(*descriptor);
        return kUnitySubsystemErrorCodeSuccess;
    }

    void RegisterWith(FakeMeshSubsystem& meshes)
    {
        mesh = meshes.Interface();
        UnityXRMeshProvider provider{};
        provider.userData = this;
        provider.GetMeshInfos = &GetMeshInfos;
        provider.AcquireMesh = &AcquireMesh;
        provider.ReleaseMesh = &ReleaseMesh;
        ASSERT_EQ(mesh->RegisterMeshProvider(meshes.Handle(), &provider), kUnitySubsystemErrorCodeSuccess);
    }
};

TEST(FakeMeshSubsystem, AcquireAndReleaseHandsBackTheDescriptorThePluginWrote)
{
    FakeMeshSubsystem meshes;
    ScriptedProvider provider;
    provider.RegisterWith(meshes);

    const AcquiredMesh mesh = meshes.AcquireAndReleaseMesh({{1, 0}});
    ASSERT_EQ(mesh.result, kUnitySubsystemErrorCodeSuccess);
    EXPECT_EQ(mesh.indices, (std::vector<uint32_t>{0, 1, 2}));
    ASSERT_EQ(mesh.positions.size(), 3u);
    EXPECT_EQ(mesh.positions[2].x, 2.0f);
    EXPECT_TRUE(mesh.guardsIntact);
    ASSERT_EQ(provider.released.size(), 1u);
    EXPECT_EQ(provider.released[0].positions, provider.written.positions);
    EXPECT_EQ(provider.released[0].normals, provider.written.normals);
    EXPECT_EQ(provider.released[0].indices32, provider.written.indices32);

    // A failed acquisition is not released.
    provider.failAcquire = true;
    EXPECT_EQ(meshes.AcquireAndReleaseMesh({{1, 0}}).result, kUnitySubsystemErrorCodeFailure);
    EXPECT_EQ(provider.released.size(), 1u);
    // Plain acquisition leaves the release to the caller.
    provider.failAcquire = false;
    EXPECT_EQ(meshes.AcquireMesh({{1, 0}}).result, kUnitySubsystemErrorCodeSuccess);
    EXPECT_EQ(provider.released.size(), 1u);
}

TEST(FakeMeshSubsystem, MeshInfosShowUntouchedFieldsUnlessClearedAsTheEngineDoes)
{
    FakeMeshSubsystem meshes;
    ScriptedProvider provider;
    provider.RegisterWith(meshes);

    auto updatedByte = [](const UnityXRMeshInfo& info) {
        uint8_t byte = 0;
        std::memcpy(&byte, &info.updated, 1);
        return byte;
    };
    const MeshInfosResult patterned = meshes.GetMeshInfos();
    ASSERT_EQ(patterned.infos.size(), 2u);
    EXPECT_EQ(updatedByte(patterned.infos[0]), 1);
    EXPECT_EQ(updatedByte(patterned.infos[1]), 0xCD);

    meshes.SetClearedMeshInfos(true);
    const MeshInfosResult cleared = meshes.GetMeshInfos();
    ASSERT_EQ(cleared.infos.size(), 2u);
    EXPECT_EQ(updatedByte(cleared.infos[0]), 1);
    EXPECT_EQ(updatedByte(cleared.infos[1]), 0);
    EXPECT_EQ(cleared.infos[1].priorityHint, 0);
    EXPECT_EQ(cleared.infos[1].meshId.idPart[0], 2u);
    EXPECT_TRUE(cleared.guardsIntact);
}

} // namespace
} // namespace quenra::simengine

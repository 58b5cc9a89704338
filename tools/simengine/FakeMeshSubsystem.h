// Stand-in for the engine's XR meshing subsystem: the mesh interface a plug-in
// registers with, the lifecycle it runs, and the allocators it hands out.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "GuardedBuffer.h"
#include "UnityXRMeshing.h"

namespace quenra::simengine {

struct LifecycleRegistration {
    std::string pluginName;
    std::string id;
    UnityLifecycleProvider provider;
};

struct MeshAllocationRequest {
    size_t vertexCount;
    size_t indexCount;
    int indexFormat;
    int attributes;
    int topology;
};

// What one acquisition handed back, read out of the engine-side buffers.
struct AcquiredMesh {
    UnitySubsystemErrorCode result = kUnitySubsystemErrorCodeFailure;
    std::optional<MeshAllocationRequest> request;
    std::vector<UnityXRVector3> positions;
    std::vector<UnityXRVector3> normals;
    std::vector<uint32_t> indices;
    bool guardsIntact = true;
    // Whether the optional buffers the plug-in never asked for were left untouched.
    bool optionalBuffersUntouched = true;
};

struct MeshInfosResult {
    UnitySubsystemErrorCode result = kUnitySubsystemErrorCodeFailure;
    bool allocated = false;
    std::vector<UnityXRMeshInfo> infos;
    bool guardsIntact = true;
};

struct TransformsResult {
    UnitySubsystemErrorCode result = kUnitySubsystemErrorCodeFailure;
    bool set = false;
    std::vector<UnityXRMeshTransform> transforms;
};

class FakeMeshSubsystem {
public:
    FakeMeshSubsystem();
    ~FakeMeshSubsystem();
    FakeMeshSubsystem(const FakeMeshSubsystem&) = delete;
    FakeMeshSubsystem& operator=(const FakeMeshSubsystem&) = delete;

    IUnityXRMeshInterface* Interface() { return &table; }
    UnitySubsystemHandle Handle() const;

    // Refusals: the registering operation returns this code when non-zero.
    void RefuseLifecycleRegistration(UnitySubsystemErrorCode code) { lifecycleRefusal = code; }
    void RefuseMeshProviderRegistration(UnitySubsystemErrorCode code) { meshProviderRefusal = code; }
    // Give out descriptors whose tangent, uv and colour buffers exist too.
    void SetOptionalBuffers(bool present) { optionalBuffers = present; }
    // Give out mesh-info entries cleared, as the engine does, instead of filled with the
    // pattern that shows which fields the plug-in left untouched.
    void SetClearedMeshInfos(bool cleared) { clearedMeshInfos = cleared; }
    // Make the next mesh allocation return null.
    void FailNextMeshAllocation() { failNextMeshAllocation = true; }

    const std::vector<LifecycleRegistration>& LifecycleRegistrations() const { return lifecycleRegistrations; }
    const std::vector<UnityXRMeshProvider>& MeshProviderRegistrations() const { return meshProviders; }
    const std::vector<UnitySubsystemHandle>& MeshProviderHandles() const { return meshProviderHandles; }

    // The lifecycle, run as the engine runs it with the last registered lifecycle record.
    UnitySubsystemErrorCode Initialize();
    UnitySubsystemErrorCode Start();
    void Stop();
    void Shutdown();

    // The mesh provider callbacks, called as the engine calls them with the last registered record.
    MeshInfosResult GetMeshInfos();
    AcquiredMesh AcquireMesh(const UnityXRMeshId& id);
    // Releases with an empty descriptor.
    UnitySubsystemErrorCode ReleaseMesh(const UnityXRMeshId& id);
    // What the engine does with a mesh it takes: acquires it, reads it out, and when the
    // plug-in filled an allocation, releases it with the descriptor the plug-in wrote.
    AcquiredMesh AcquireAndReleaseMesh(const UnityXRMeshId& id);
    UnitySubsystemErrorCode SetMeshDensity(float density);
    UnitySubsystemErrorCode SetBoundingVolume(const UnityXRBoundingVolume* volume);
    TransformsResult GetUpdatedTransforms();

    // The same with `provide` in the registered provider's place, called with the allocator the
    // engine hands out: for a plug-in's part that lists or delivers meshes on its own.
    using ListInfos = std::function<UnitySubsystemErrorCode(UnityXRMeshInfoAllocator*)>;
    using ProvideMesh = std::function<UnitySubsystemErrorCode(UnityXRMeshDataAllocator*)>;
    MeshInfosResult GetMeshInfos(const ListInfos& provide);
    AcquiredMesh AcquireMesh(const ProvideMesh& provide);

private:
    struct MeshInfoAllocation;
    struct MeshDataAllocation;
    struct TransformList;

    static UnityXRMeshInfo* UNITY_INTERFACE_API AllocateMeshInfos(UnityXRMeshInfoAllocator* allocator,
                                                                  size_t numMeshes);
    static void UNITY_INTERFACE_API SetTransforms(UnityXRMeshTransformList* list,
                                                  const UnityXRMeshTransform* transforms, size_t count);
    static UnityXRMeshDescriptor* UNITY_INTERFACE_API AllocateMesh(UnityXRMeshDataAllocator* allocator,
                                                                   size_t vertexCount, size_t indexCount,
                                                                   UnityXRIndexFormat indexFormat,
                                                                   UnityXRMeshVertexAttributeFlags attributes,
                                                                   UnityXRMeshTopology topology);
    static UnitySubsystemErrorCode UNITY_INTERFACE_API RegisterMeshProvider(UnitySubsystemHandle handle,
                                                                            const UnityXRMeshProvider* provider);
    static UnitySubsystemErrorCode UNITY_INTERFACE_API
    RegisterLifecycleProvider(const char* pluginName, const char* id, const UnityLifecycleProvider* provider);

    ProvideMesh RegisteredProviderAcquiring(const UnityXRMeshId& id) const;
    // Releases through the registered provider when `release` names the mesh and it was filled.
    AcquiredMesh Acquire(const ProvideMesh& provide, const UnityXRMeshId* release);
    const UnityLifecycleProvider& Lifecycle() const;
    const UnityXRMeshProvider& MeshProvider() const;

    IUnityXRMeshInterface table{};
    int subsystemToken = 0;
    UnitySubsystemErrorCode lifecycleRefusal = 0;
    UnitySubsystemErrorCode meshProviderRefusal = 0;
    bool optionalBuffers = false;
    bool clearedMeshInfos = false;
    // Acquisitions may run on several threads at once, as the engine's do.
    std::atomic<bool> failNextMeshAllocation{false};
    std::vector<LifecycleRegistration> lifecycleRegistrations;
    std::vector<UnityXRMeshProvider> meshProviders;
    std::vector<UnitySubsystemHandle> meshProviderHandles;
};

} // namespace quenra::simengine

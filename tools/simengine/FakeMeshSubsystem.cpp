#include "FakeMeshSubsystem.h"

#include <cstring>
#include <stdexcept>

namespace quenra::simengine {
namespace {
FakeMeshSubsystem* current = nullptr;

bool BufferUntouched(const GuardedBuffer* buffer)
{
    if (buffer == nullptr) {
        return true;
    }
    const auto* bytes = static_cast<const uint8_t*>(buffer->Data());
    for (size_t i = 0; i < buffer->Size(); ++i) {
        if (bytes[i] != 0xCD) {
            return false;
        }
    }
    return buffer->GuardsIntact();
}
} // namespace

struct FakeMeshSubsystem::MeshInfoAllocation {
    bool cleared = false;
    std::unique_ptr<GuardedBuffer> buffer;
    size_t count = 0;
};

struct FakeMeshSubsystem::MeshDataAllocation {
    bool failNext = false;
    bool optionalBuffers = false;
    std::optional<MeshAllocationRequest> request;
    std::unique_ptr<GuardedBuffer> positions, normals, indices, tangents, uvs, colors;
    UnityXRMeshDescriptor descriptor{};
};

struct FakeMeshSubsystem::TransformList {
    bool set = false;
    std::vector<UnityXRMeshTransform> transforms;
};

FakeMeshSubsystem::FakeMeshSubsystem()
{
    if (current != nullptr) {
        throw std::logic_error("only one FakeMeshSubsystem may exist at a time");
    }
    current = this;
    table.MeshInfoAllocator_Allocate = &FakeMeshSubsystem::AllocateMeshInfos;
    table.MeshTransformList_SetTransforms = &FakeMeshSubsystem::SetTransforms;
    table.MeshDataAllocator_AllocateMesh = &FakeMeshSubsystem::AllocateMesh;
    table.RegisterMeshProvider = &FakeMeshSubsystem::RegisterMeshProvider;
    table.RegisterLifecycleProvider = &FakeMeshSubsystem::RegisterLifecycleProvider;
}

FakeMeshSubsystem::~FakeMeshSubsystem()
{
    current = nullptr;
}

UnitySubsystemHandle FakeMeshSubsystem::Handle() const
{
    return reinterpret_cast<UnitySubsystemHandle>(const_cast<int*>(&subsystemToken));
}

UnityXRMeshInfo* UNITY_INTERFACE_API FakeMeshSubsystem::AllocateMeshInfos(UnityXRMeshInfoAllocator* allocator,
                                                                          size_t numMeshes)
{
    auto* allocation = reinterpret_cast<MeshInfoAllocation*>(allocator);
    allocation->buffer = std::make_unique<GuardedBuffer>(numMeshes * sizeof(UnityXRMeshInfo));
    allocation->count = numMeshes;
    if (allocation->cleared) {
        std::memset(allocation->buffer->Data(), 0, allocation->buffer->Size());
    }
    return static_cast<UnityXRMeshInfo*>(allocation->buffer->Data());
}

void UNITY_INTERFACE_API FakeMeshSubsystem::SetTransforms(UnityXRMeshTransformList* list,
                                                          const UnityXRMeshTransform* transforms, size_t count)
{
    auto* transformList = reinterpret_cast<TransformList*>(list);
    transformList->set = true;
    transformList->transforms.assign(transforms, transforms + count);
}

UnityXRMeshDescriptor* UNITY_INTERFACE_API FakeMeshSubsystem::AllocateMesh(UnityXRMeshDataAllocator* allocator,
                                                                           size_t vertexCount, size_t indexCount,
                                                                           UnityXRIndexFormat indexFormat,
                                                                           UnityXRMeshVertexAttributeFlags attributes,
                                                                           UnityXRMeshTopology topology)
{
    auto* allocation = reinterpret_cast<MeshDataAllocation*>(allocator);
    allocation->request = MeshAllocationRequest{vertexCount, indexCount, indexFormat, attributes, topology};
    if (allocation->failNext) {
        return nullptr;
    }
    const size_t indexSize = indexFormat == kUnityXRIndexFormat16Bit ? sizeof(uint16_t) : sizeof(uint32_t);
    allocation->positions = std::make_unique<GuardedBuffer>(vertexCount * sizeof(UnityXRVector3));
    allocation->indices = std::make_unique<GuardedBuffer>(indexCount * indexSize);
    allocation->descriptor.positions = static_cast<UnityXRVector3*>(allocation->positions->Data());
    allocation->descriptor.indices32 = static_cast<uint32_t*>(allocation->indices->Data());
    if ((attributes & kUnityXRMeshVertexAttributeFlagsNormals) != 0) {
        allocation->normals = std::make_unique<GuardedBuffer>(vertexCount * sizeof(UnityXRVector3));
        allocation->descriptor.normals = static_cast<UnityXRVector3*>(allocation->normals->Data());
    }
    if (allocation->optionalBuffers) {
        allocation->tangents = std::make_unique<GuardedBuffer>(vertexCount * sizeof(UnityXRVector4));
        allocation->uvs = std::make_unique<GuardedBuffer>(vertexCount * sizeof(UnityXRVector2));
        allocation->colors = std::make_unique<GuardedBuffer>(vertexCount * sizeof(UnityXRColorRGBA32));
        allocation->descriptor.tangents = static_cast<UnityXRVector4*>(allocation->tangents->Data());
        allocation->descriptor.uvs = static_cast<UnityXRVector2*>(allocation->uvs->Data());
        allocation->descriptor.colors = static_cast<UnityXRColorRGBA32*>(allocation->colors->Data());
    }
    return &allocation->descriptor;
}

UnitySubsystemErrorCode UNITY_INTERFACE_API FakeMeshSubsystem::RegisterMeshProvider(UnitySubsystemHandle handle,
                                                                                    const UnityXRMeshProvider* provider)
{
    if (current->meshProviderRefusal != 0) {
        return current->meshProviderRefusal;
    }
    current->meshProviders.push_back(*provider);
    current->meshProviderHandles.push_back(handle);
    return kUnitySubsystemErrorCodeSuccess;
}

UnitySubsystemErrorCode UNITY_INTERFACE_API FakeMeshSubsystem::RegisterLifecycleProvider(
    const char* pluginName, const char* id, const UnityLifecycleProvider* provider)
{
    if (current->lifecycleRefusal != 0) {
        return current->lifecycleRefusal;
    }
    // The plug-in builds the record in a local: keep a copy, as the engine does.
    current->lifecycleRegistrations.push_back({pluginName, id, *provider});
    return kUnitySubsystemErrorCodeSuccess;
}

const UnityLifecycleProvider& FakeMeshSubsystem::Lifecycle() const
{
    if (lifecycleRegistrations.empty()) {
        throw std::logic_error("no lifecycle provider registered");
    }
    return lifecycleRegistrations.back().provider;
}

const UnityXRMeshProvider& FakeMeshSubsystem::MeshProvider() const
{
    if (meshProviders.empty()) {
        throw std::logic_error("no mesh provider registered");
    }
    return meshProviders.back();
}

UnitySubsystemErrorCode FakeMeshSubsystem::Initialize()
{
    return Lifecycle().Initialize(Handle(), Lifecycle().userData);
}

UnitySubsystemErrorCode FakeMeshSubsystem::Start()
{
    return Lifecycle().Start(Handle(), Lifecycle().userData);
}

void FakeMeshSubsystem::Stop()
{
    Lifecycle().Stop(Handle(), Lifecycle().userData);
}

void FakeMeshSubsystem::Shutdown()
{
    Lifecycle().Shutdown(Handle(), Lifecycle().userData);
}

MeshInfosResult FakeMeshSubsystem::GetMeshInfos()
{
    return GetMeshInfos([this](UnityXRMeshInfoAllocator* allocator) {
        return MeshProvider().GetMeshInfos(Handle(), MeshProvider().userData, allocator);
    });
}

MeshInfosResult FakeMeshSubsystem::GetMeshInfos(const ListInfos& provide)
{
    MeshInfoAllocation allocation;
    allocation.cleared = clearedMeshInfos;
    MeshInfosResult out;
    out.result = provide(reinterpret_cast<UnityXRMeshInfoAllocator*>(&allocation));
    if (allocation.buffer) {
        out.allocated = true;
        const auto* infos = static_cast<const UnityXRMeshInfo*>(allocation.buffer->Data());
        out.infos.assign(infos, infos + allocation.count);
        out.guardsIntact = allocation.buffer->GuardsIntact();
    }
    return out;
}

FakeMeshSubsystem::ProvideMesh FakeMeshSubsystem::RegisteredProviderAcquiring(const UnityXRMeshId& id) const
{
    return [this, &id](UnityXRMeshDataAllocator* allocator) {
        return MeshProvider().AcquireMesh(Handle(), MeshProvider().userData, &id, allocator);
    };
}

AcquiredMesh FakeMeshSubsystem::AcquireMesh(const UnityXRMeshId& id)
{
    return Acquire(RegisteredProviderAcquiring(id), nullptr);
}

AcquiredMesh FakeMeshSubsystem::AcquireAndReleaseMesh(const UnityXRMeshId& id)
{
    return Acquire(RegisteredProviderAcquiring(id), &id);
}

AcquiredMesh FakeMeshSubsystem::AcquireMesh(const ProvideMesh& provide)
{
    return Acquire(provide, nullptr);
}

AcquiredMesh FakeMeshSubsystem::Acquire(const ProvideMesh& provide, const UnityXRMeshId* release)
{
    MeshDataAllocation allocation;
    allocation.failNext = failNextMeshAllocation.exchange(false);
    allocation.optionalBuffers = optionalBuffers;
    AcquiredMesh out;
    out.result = provide(reinterpret_cast<UnityXRMeshDataAllocator*>(&allocation));
    out.request = allocation.request;
    if (allocation.positions) {
        const size_t vertexCount = allocation.request->vertexCount;
        const auto* positions = static_cast<const UnityXRVector3*>(allocation.positions->Data());
        out.positions.assign(positions, positions + vertexCount);
        out.guardsIntact = allocation.positions->GuardsIntact() && allocation.indices->GuardsIntact();
        if (allocation.normals) {
            const auto* normals = static_cast<const UnityXRVector3*>(allocation.normals->Data());
            out.normals.assign(normals, normals + vertexCount);
            out.guardsIntact = out.guardsIntact && allocation.normals->GuardsIntact();
        }
        if (allocation.request->indexFormat == kUnityXRIndexFormat32Bit) {
            const auto* indices = static_cast<const uint32_t*>(allocation.indices->Data());
            out.indices.assign(indices, indices + allocation.request->indexCount);
        }
        out.optionalBuffersUntouched = BufferUntouched(allocation.tangents.get()) &&
                                       BufferUntouched(allocation.uvs.get()) &&
                                       BufferUntouched(allocation.colors.get());
        if (release != nullptr && out.result == kUnitySubsystemErrorCodeSuccess) {
            MeshProvider().ReleaseMesh(Handle(), MeshProvider().userData, release, &allocation.descriptor, nullptr);
        }
    }
    return out;
}

UnitySubsystemErrorCode FakeMeshSubsystem::ReleaseMesh(const UnityXRMeshId& id)
{
    UnityXRMeshDescriptor descriptor{};
    return MeshProvider().ReleaseMesh(Handle(), MeshProvider().userData, &id, &descriptor, nullptr);
}

UnitySubsystemErrorCode FakeMeshSubsystem::SetMeshDensity(float density)
{
    return MeshProvider().SetMeshDensity(Handle(), MeshProvider().userData, density);
}

UnitySubsystemErrorCode FakeMeshSubsystem::SetBoundingVolume(const UnityXRBoundingVolume* volume)
{
    return MeshProvider().SetBoundingVolume(Handle(), MeshProvider().userData, volume);
}

TransformsResult FakeMeshSubsystem::GetUpdatedTransforms()
{
    TransformList list;
    TransformsResult out;
    out.result = MeshProvider().GetUpdatedTransforms(Handle(), MeshProvider().userData,
                                                     reinterpret_cast<UnityXRMeshTransformList*>(&list));
    out.set = list.set;
    out.transforms = std::move(list.transforms);
    return out;
}

} // namespace quenra::simengine

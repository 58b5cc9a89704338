#include "SimEngine.h"

#include <cstdarg>
#include <cstdio>
#include <stdexcept>

namespace quenra::simulator {
namespace {
// The engine's C callbacks carry no user data of ours: they find the engine here.
SimEngine* current = nullptr;

// What the engine keeps behind each allocator handle it passes to the plug-in.
struct MeshInfoAllocation {
    std::vector<UnityXRMeshInfo> infos;
};

struct MeshDataAllocation {
    std::vector<UnityXRVector3> positions;
    std::vector<UnityXRVector3> normals;
    std::vector<uint32_t> indices;
    UnityXRMeshDescriptor descriptor{};
    bool allocated = false;
};

struct TransformList {
    std::optional<std::vector<UnityXRMeshTransform>> transforms;
};

const char* LevelName(int level)
{
    switch (level) {
    case kXRTraceLevelError:
        return "error";
    case kXRTraceLevelWarning:
        return "warning";
    case kXRTraceLevelNotice:
        return "notice";
    default:
        return "other";
    }
}
} // namespace

SimEngine::SimEngine(int shownTraceLevel, std::ostream& out) : shownTraceLevel_(shownTraceLevel), out_(out)
{
    if (current != nullptr) {
        throw std::logic_error("only one simulated engine may exist at a time");
    }
    current = this;
    interfaces_.GetInterface = &GetInterface;
    interfaces_.RegisterInterface = &RegisterInterface;
    interfaces_.GetInterfaceSplit = &GetInterfaceSplit;
    interfaces_.RegisterInterfaceSplit = &RegisterInterfaceSplit;
    trace_.Trace = &Trace;
    meshInterface_.MeshInfoAllocator_Allocate = &AllocateMeshInfos;
    meshInterface_.MeshTransformList_SetTransforms = &SetTransforms;
    meshInterface_.MeshDataAllocator_AllocateMesh = &AllocateMesh;
    meshInterface_.RegisterMeshProvider = &RegisterMeshProvider;
    meshInterface_.RegisterLifecycleProvider = &RegisterLifecycleProvider;
}

SimEngine::~SimEngine()
{
    current = nullptr;
}

int SimEngine::MessageCount(UnityXRTraceLevel level) const
{
    const auto found = messageCounts_.find(level);
    return found != messageCounts_.end() ? found->second : 0;
}

IUnityInterface* UNITY_INTERFACE_API SimEngine::GetInterface(const UnityInterfaceIdentifier* identifier)
{
    return identifier != nullptr ? GetInterfaceSplit(identifier->high, identifier->low) : nullptr;
}

IUnityInterface* UNITY_INTERFACE_API SimEngine::GetInterfaceSplit(uint64_t high, uint64_t low)
{
    if (high == IUnityXRTrace::kIdentifierHigh && low == IUnityXRTrace::kIdentifierLow) {
        return &current->trace_;
    }
    if (high == IUnityXRMeshInterface::kIdentifierHigh && low == IUnityXRMeshInterface::kIdentifierLow) {
        return &current->meshInterface_;
    }
    return nullptr;
}

void UNITY_INTERFACE_API SimEngine::Trace(UnityXRTraceLevel level, const char* format, ...)
{
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof(text), format, arguments);
    va_end(arguments);
    ++current->messageCounts_[level];
    if (level <= current->shownTraceLevel_) {
        current->out_ << "  [trace " << LevelName(level) << "] " << text << '\n';
    }
}

UnitySubsystemHandle SimEngine::Handle()
{
    return reinterpret_cast<UnitySubsystemHandle>(&subsystem_);
}

// --- Lifecycle ---------------------------------------------------------------------------

UnitySubsystemErrorCode UNITY_INTERFACE_API SimEngine::RegisterLifecycleProvider(const char*, const char*,
                                                                                 const UnityLifecycleProvider* provider)
{
    if (provider == nullptr) {
        return kUnitySubsystemErrorCodeFailure;
    }
    current->lifecycle_ = *provider;
    return kUnitySubsystemErrorCodeSuccess;
}

UnitySubsystemErrorCode UNITY_INTERFACE_API SimEngine::RegisterMeshProvider(UnitySubsystemHandle handle,
                                                                            const UnityXRMeshProvider* provider)
{
    if (provider == nullptr || handle != current->Handle()) {
        return kUnitySubsystemErrorCodeFailure;
    }
    current->meshProvider_ = *provider;
    return kUnitySubsystemErrorCodeSuccess;
}

UnitySubsystemErrorCode SimEngine::Initialize()
{
    return lifecycle_ ? lifecycle_->Initialize(Handle(), lifecycle_->userData) : kUnitySubsystemErrorCodeFailure;
}

UnitySubsystemErrorCode SimEngine::Start()
{
    return lifecycle_ ? lifecycle_->Start(Handle(), lifecycle_->userData) : kUnitySubsystemErrorCodeFailure;
}

void SimEngine::Stop()
{
    if (lifecycle_) {
        lifecycle_->Stop(Handle(), lifecycle_->userData);
    }
}

void SimEngine::Shutdown()
{
    if (lifecycle_) {
        lifecycle_->Shutdown(Handle(), lifecycle_->userData);
    }
    meshProvider_.reset();
}

// --- Mesh provider -----------------------------------------------------------------------

UnityXRMeshInfo* UNITY_INTERFACE_API SimEngine::AllocateMeshInfos(UnityXRMeshInfoAllocator* allocator, size_t numMeshes)
{
    auto& allocation = *reinterpret_cast<MeshInfoAllocation*>(allocator);
    allocation.infos.assign(numMeshes, UnityXRMeshInfo{});
    return allocation.infos.data();
}

void UNITY_INTERFACE_API SimEngine::SetTransforms(UnityXRMeshTransformList* list,
                                                  const UnityXRMeshTransform* transforms, uint32_t count)
{
    reinterpret_cast<TransformList*>(list)->transforms.emplace(transforms, transforms + count);
}

UnityXRMeshDescriptor* UNITY_INTERFACE_API SimEngine::AllocateMesh(UnityXRMeshDataAllocator* allocator,
                                                                   size_t vertexCount, size_t indexCount,
                                                                   UnityXRIndexFormat indexFormat,
                                                                   UnityXRMeshVertexAttributeFlags attributes,
                                                                   UnityXRMeshTopology topology)
{
    auto& allocation = *reinterpret_cast<MeshDataAllocation*>(allocator);
    // This engine keeps what a meshing plug-in delivers: 32-bit triangle lists.
    if (indexFormat != kUnityXRIndexFormat32Bit || topology != kUnityXRMeshTopologyTriangles) {
        current->out_ << "  [engine] mesh refused: only 32-bit triangle lists are kept\n";
        return nullptr;
    }
    allocation.positions.resize(vertexCount);
    allocation.indices.resize(indexCount);
    allocation.descriptor.positions = allocation.positions.data();
    if ((attributes & kUnityXRMeshVertexAttributeFlagsNormals) != 0) {
        allocation.normals.resize(vertexCount);
        allocation.descriptor.normals = allocation.normals.data();
    }
    allocation.descriptor.indices32 = allocation.indices.data();
    allocation.allocated = true;
    return &allocation.descriptor;
}

MeshInfos SimEngine::GetMeshInfos()
{
    MeshInfoAllocation allocation;
    MeshInfos result;
    if (!meshProvider_) {
        return result;
    }
    result.result = meshProvider_->GetMeshInfos(Handle(), meshProvider_->userData,
                                                reinterpret_cast<UnityXRMeshInfoAllocator*>(&allocation));
    result.infos = std::move(allocation.infos);
    return result;
}

MeshData SimEngine::AcquireAndRelease(const UnityXRMeshId& id)
{
    MeshDataAllocation allocation;
    MeshData mesh;
    if (!meshProvider_) {
        return mesh;
    }
    mesh.result = meshProvider_->AcquireMesh(Handle(), meshProvider_->userData, &id,
                                             reinterpret_cast<UnityXRMeshDataAllocator*>(&allocation));
    if (mesh.result == kUnitySubsystemErrorCodeSuccess && allocation.allocated) {
        meshProvider_->ReleaseMesh(Handle(), meshProvider_->userData, &id, &allocation.descriptor, nullptr);
        mesh.positions = std::move(allocation.positions);
        mesh.normals = std::move(allocation.normals);
        mesh.indices = std::move(allocation.indices);
    }
    return mesh;
}

std::optional<std::vector<UnityXRMeshTransform>> SimEngine::GetUpdatedTransforms()
{
    TransformList list;
    if (meshProvider_ && meshProvider_->GetUpdatedTransforms(Handle(), meshProvider_->userData,
                                                             reinterpret_cast<UnityXRMeshTransformList*>(&list)) ==
                             kUnitySubsystemErrorCodeSuccess) {
        return list.transforms;
    }
    return std::nullopt;
}

} // namespace quenra::simulator

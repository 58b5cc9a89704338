#include "SceneObserver.h"

#include <algorithm>
#include <cinttypes>
#include <limits>
#include <new>

#include "MeshIdentifier.h"
#include "ProviderContext.h"
#include "SceneComponents.h"
#include "XrBindings.h"

namespace {

// The engine's convention mirrors z.
UnityXRVector3 ToUnitySpace(const XrVector3f& v)
{
    return {v.x, v.y, -v.z};
}

void ConvertXrVectorsToUnitySpace(const std::vector<XrVector3f>& vectors, UnityXRVector3* converted)
{
    std::transform(vectors.begin(), vectors.end(), converted, ToUnitySpace);
}

// Position mirrored in z; the rotation becomes (x, y, −z, −w); scale is always one.
void ConvertToUnityTransform(const XrPosef& pose, UnityXRMeshTransform& transform)
{
    transform.position = ToUnitySpace(pose.position);
    transform.rotation = {pose.orientation.x, pose.orientation.y, -pose.orientation.z, -pose.orientation.w};
    transform.scale = {1.0f, 1.0f, 1.0f};
}

XrSceneMeshBuffersGetInfoMSFT MeshBuffersGetInfo(uint64_t meshBufferId)
{
    XrSceneMeshBuffersGetInfoMSFT getInfo{XR_TYPE_SCENE_MESH_BUFFERS_GET_INFO_MSFT};
    getInfo.meshBufferId = meshBufferId;
    return getInfo;
}

// The chain of a mesh buffer read: vertices, then 32-bit indices. Chained by address, so it stays in place.
struct MeshBuffersChain {
    MeshBuffersChain()
    {
        buffers.next = &vertexBuffer;
        vertexBuffer.next = &indexBuffer;
    }
    MeshBuffersChain(const MeshBuffersChain&) = delete;
    MeshBuffersChain& operator=(const MeshBuffersChain&) = delete;

    XrSceneMeshBuffersMSFT buffers{XR_TYPE_SCENE_MESH_BUFFERS_MSFT};
    XrSceneMeshVertexBufferMSFT vertexBuffer{XR_TYPE_SCENE_MESH_VERTEX_BUFFER_MSFT};
    XrSceneMeshIndicesUint32MSFT indexBuffer{XR_TYPE_SCENE_MESH_INDICES_UINT32_MSFT};
};

} // namespace

// --- Mesh-info list ------------------------------------------------------------------------

bool SceneObserver::UpdateMeshes(UnityXRMeshInfoAllocator* allocator)
{
    std::lock_guard<std::recursive_mutex> lock(stateMutex);
    if (!IsReadyWithProviders() || computeState != SceneReady) {
        return false;
    }
    sceneMeshes.clear();

    XrSceneComponentsGetInfoMSFT getInfo{XR_TYPE_SCENE_COMPONENTS_GET_INFO_MSFT};
    getInfo.componentType = XR_SCENE_COMPONENT_TYPE_VISUAL_MESH_MSFT;
    std::vector<XrUuidMSFT> ids;
    std::vector<XrSceneMeshMSFT> meshList;
    std::vector<XrSceneComponentLocationMSFT> locationList;
    if (!ReadSceneComponents(getInfo, ids, meshList, locationList)) {
        return false;
    }
    for (size_t i = 0; i < ids.size(); ++i) {
        const UnityXRMeshId id = XrUuidMSFTToUnityXRMeshId(ids[i]);
        sceneMeshes[id] = meshList[i];
        meshLocations[id] = locationList[i];
    }
    if (sceneMeshes.empty()) {
        context->Log(kXRTraceLevelError, "Meshes map is empty!");
        computeState = Idle;
        return false;
    }

    UnityXRMeshInfo* infos = context->meshInterface->MeshInfoAllocator_Allocate(allocator, sceneMeshes.size());
    if (infos == nullptr) {
        context->Log(kXRTraceLevelError, "Failed to allocate mesh infos");
        return false;
    }
    // The engine's entries keep what it put there, except what changed.
    UnityXRMeshInfo* info = infos;
    for (const auto& [id, mesh] : sceneMeshes) {
        info->meshId = id;
        UpdateVertexCountForBuffer(mesh.meshBufferId, info->updated);
        ++info;
    }
    return true;
}

void SceneObserver::UpdateVertexCountForBuffer(uint64_t meshBufferId, bool& updated)
{
    if (!bindings->HasCurrentScene()) {
        context->Log(kXRTraceLevelError, "No Current Scene!");
        return;
    }
    // Only the sizes: change detection reads no vertex data.
    const XrSceneMeshBuffersGetInfoMSFT getInfo = MeshBuffersGetInfo(meshBufferId);
    MeshBuffersChain chain;
    const XrResult result = bindings->GetSceneMeshBuffers(&getInfo, &chain.buffers);
    if (result != XR_SUCCESS) {
        context->Log(kXRTraceLevelError, "Failed to get vertex count output: %d", static_cast<int>(result));
        return;
    }
    const uint32_t vertexCount = chain.vertexBuffer.vertexCountOutput;
    const auto known = vertexCounts.find(meshBufferId);
    if (known == vertexCounts.end() || known->second != vertexCount) {
        vertexCounts[meshBufferId] = vertexCount;
        updated = true;
    }
}

// --- Mesh data -----------------------------------------------------------------------------

bool SceneObserver::ReadMeshBuffers(uint64_t meshBufferId, std::vector<XrVector3f>& vertices,
                                    std::vector<uint32_t>& indices) const
{
    if (!bindings->HasCurrentScene()) {
        return false;
    }
    const XrSceneMeshBuffersGetInfoMSFT getInfo = MeshBuffersGetInfo(meshBufferId);
    MeshBuffersChain chain;
    XrResult result = bindings->GetSceneMeshBuffers(&getInfo, &chain.buffers);
    if (result != XR_SUCCESS) {
        context->Log(kXRTraceLevelError, "Failed to get vertex count output: %d", static_cast<int>(result));
        return false;
    }
    const uint32_t vertexCount = chain.vertexBuffer.vertexCountOutput;
    const uint32_t indexCount = chain.indexBuffer.indexCountOutput;
    if (!kelbrin::TryResizeAll(vertexCount, vertices) || !kelbrin::TryResizeAll(indexCount, indices)) {
        context->Log(kXRTraceLevelError, "Failed to allocate mesh buffer %" PRIu64 ": %u vertices, %u indices",
                     meshBufferId, vertexCount, indexCount);
        return false;
    }
    // The capacities are the storage given, whatever the runtime announced.
    chain.vertexBuffer.vertexCapacityInput = static_cast<uint32_t>(vertices.size());
    chain.vertexBuffer.vertices = vertices.data();
    chain.indexBuffer.indexCapacityInput = static_cast<uint32_t>(indices.size());
    chain.indexBuffer.indices = indices.data();
    result = bindings->GetSceneMeshBuffers(&getInfo, &chain.buffers);
    if (result != XR_SUCCESS) {
        context->Log(kXRTraceLevelError, "Failed to get scene mesh buffers: %d", static_cast<int>(result));
        return false;
    }
    // A runtime that wrote fewer than asked for leaves no unwritten entries behind.
    vertices.resize(std::min<size_t>(vertices.size(), chain.vertexBuffer.vertexCountOutput));
    indices.resize(std::min<size_t>(indices.size(), chain.indexBuffer.indexCountOutput));
    return true;
}

uint32_t SceneObserver::TryFindMeshBufferId(const UnityXRMeshId* id, uint64_t& meshBufferId) const
{
    std::lock_guard<std::recursive_mutex> lock(stateMutex);
    const auto mesh = sceneMeshes.find(*id);
    if (mesh != sceneMeshes.end()) {
        meshBufferId = mesh->second.meshBufferId;
        return SceneMeshBuffer;
    }
    const auto plane = scenePlanes.find(*id);
    if (plane != scenePlanes.end()) {
        meshBufferId = plane->second.meshBufferId;
        return PlaneMeshBuffer;
    }
    return MeshBufferNotFound;
}

class SceneObserver::PooledScratch {
public:
    explicit PooledScratch(SceneObserver& observer) : observer(observer)
    {
        std::lock_guard<std::mutex> lock(observer.scratchMutex);
        if (observer.spareScratch.empty()) {
            scratch = std::make_unique<AcquisitionScratch>();
        } else {
            scratch = std::move(observer.spareScratch.back());
            observer.spareScratch.pop_back();
        }
    }
    ~PooledScratch()
    {
        std::lock_guard<std::mutex> lock(observer.scratchMutex);
        try {
            observer.spareScratch.push_back(std::move(scratch));
        } catch (const std::bad_alloc&) {
            // Dropped: the next acquisition makes a new one.
        }
    }
    PooledScratch(const PooledScratch&) = delete;
    PooledScratch& operator=(const PooledScratch&) = delete;

    AcquisitionScratch& operator*() { return *scratch; }

private:
    SceneObserver& observer;
    std::unique_ptr<AcquisitionScratch> scratch;
};

UnitySubsystemErrorCode SceneObserver::AcquireByMeshId(const UnityXRMeshId* id, UnityXRMeshDataAllocator* allocator)
{
    PooledScratch pooled(*this);
    AcquisitionScratch& scratch = *pooled;
    uint64_t meshBufferId = 0;
    uint32_t kind = MeshBufferNotFound;
    uint64_t generation = 0;
    // The lock only to find the mesh; the scene it is in stays current while this reads it.
    std::shared_lock<std::shared_mutex> reading;
    {
        std::lock_guard<std::recursive_mutex> lock(stateMutex);
        if (!IsReadyWithProviders()) {
            return kUnitySubsystemErrorCodeFailure;
        }
        kind = TryFindMeshBufferId(id, meshBufferId);
        if (kind == MeshBufferNotFound) {
            // No mesh buffer id exists on this path: the number is the identifier's first four
            // bytes (the start of the component's uuid) as a little-endian 32-bit value.
            context->Log(kXRTraceLevelError, "Failed to find mesh buffer with id %u",
                         static_cast<unsigned>(id->idPart[0] & 0xFFFFFFFFu));
            return kUnitySubsystemErrorCodeFailure;
        }
        reading = std::shared_lock<std::shared_mutex>(sceneReaders);
        generation = sceneGeneration;
    }
    if (!ReadMeshBuffers(meshBufferId, scratch.vertices, scratch.indices)) {
        context->Log(kXRTraceLevelError, "Failed to read mesh buffer with id %" PRIu64, meshBufferId);
        return kUnitySubsystemErrorCodeFailure;
    }
    // Released before the state lock is taken again: a scene replacement holds that lock while it waits for readers.
    reading.unlock();
    {
        std::lock_guard<std::recursive_mutex> lock(stateMutex);
        // A count read from a scene replaced meanwhile says nothing about the current one.
        if (generation == sceneGeneration) {
            vertexCounts[meshBufferId] = static_cast<uint32_t>(scratch.vertices.size());
        }
    }
    return DeliverMesh(kind, meshBufferId, scratch, allocator);
}

UnitySubsystemErrorCode SceneObserver::DeliverMesh(uint32_t kind, uint64_t meshBufferId, AcquisitionScratch& scratch,
                                                   UnityXRMeshDataAllocator* allocator) const
{
    const std::vector<XrVector3f>& vertices = scratch.vertices;
    const std::vector<uint32_t>& indices = scratch.indices;
    // Before the engine allocates: a failed acquisition hands it nothing.
    if (kind == SceneMeshBuffer && !scratch.normals.Prepare(vertices.size())) {
        context->Log(kXRTraceLevelError, "Failed to allocate normals for mesh buffer %" PRIu64 ": %zu vertices",
                     meshBufferId, vertices.size());
        return kUnitySubsystemErrorCodeFailure;
    }

    UnityXRMeshDescriptor* mesh = context->meshInterface->MeshDataAllocator_AllocateMesh(
        allocator, vertices.size(), indices.size(), kUnityXRIndexFormat32Bit, kUnityXRMeshVertexAttributeFlagsNormals,
        kUnityXRMeshTopologyTriangles);
    if (mesh == nullptr) {
        context->Log(kXRTraceLevelError, "Failed to allocate mesh for mesh buffer with id %" PRIu64, meshBufferId);
        return kUnitySubsystemErrorCodeFailure;
    }
    // A plane's mesh is delivered bare: flat, with no attributes of its own.
    if (kind == SceneMeshBuffer) {
        if (mesh->normals != nullptr) {
            static_assert(sizeof(UnityXRVector3) == 3 * sizeof(float), "normals are written as packed triples");
            // Computed in the runtime's convention and winding; only the unit normals are mirrored.
            scratch.normals.Compute(vertices, indices, &mesh->normals->x, true, LogInvalidTriangle());
        }
        if (mesh->colors != nullptr) {
            context->Log(kXRTraceLevelWarning, "Allocated buffer for colors but the Tolvane Quenra Meshing provider "
                                               "does not support them at this time.");
        }
        if (mesh->tangents != nullptr) {
            context->Log(kXRTraceLevelWarning, "Allocated buffer for tangents but the Tolvane Quenra Meshing "
                                               "provider does not support them at this time.");
        }
        if (mesh->uvs != nullptr) {
            context->Log(kXRTraceLevelWarning, "Allocated buffer for texture coordinates but the Tolvane Quenra "
                                               "Meshing provider does not support them at this time.");
        }
    }
    ConvertXrVectorsToUnitySpace(vertices, mesh->positions);
    // Reversing the whole list turns each triangle's winding round, as the mirrored z requires.
    std::reverse_copy(indices.begin(), indices.end(), mesh->indices32);
    return kUnitySubsystemErrorCodeSuccess;
}

UnitySubsystemErrorCode SceneObserver::ReleaseMesh(const UnityXRMeshId*, const UnityXRMeshDescriptor*, void*)
{
    return IsReadyWithProviders() ? kUnitySubsystemErrorCodeSuccess : kUnitySubsystemErrorCodeFailure;
}

// --- Normals -------------------------------------------------------------------------------

MeshNormals::InvalidTriangle SceneObserver::LogInvalidTriangle() const
{
    return [this](uint32_t firstCorner) {
        context->Log(kXRTraceLevelError, "Index Not valid in Vertices: %d", static_cast<int>(firstCorner));
    };
}

void SceneObserver::CalculateMeshNormals(const std::vector<XrVector3f>& vertices, const std::vector<uint32_t>& indices,
                                         std::vector<XrVector3f>& normals)
{
    PooledScratch pooled(*this);
    normals.resize(vertices.size());
    if (!(*pooled).normals.Prepare(vertices.size())) {
        throw std::bad_alloc();
    }
    (*pooled).normals.Compute(vertices, indices, &normals.data()->x, false, LogInvalidTriangle());
}

// --- Poses ---------------------------------------------------------------------------------

UnitySubsystemErrorCode SceneObserver::GetUpdatedTransforms(UnityXRMeshTransformList* list)
{
    std::lock_guard<std::recursive_mutex> lock(stateMutex);
    if (!transformsPending) {
        return kUnitySubsystemErrorCodeSuccess;
    }
    // Every pose known, including those of meshes that have left the scene; validity is not consulted.
    std::vector<UnityXRMeshTransform> transforms(meshLocations.size());
    auto transform = transforms.begin();
    for (const auto& [id, location] : meshLocations) {
        transform->meshId = id;
        transform->timestamp = static_cast<uint64_t>(bindings->GetPredictedDisplayTime());
        ConvertToUnityTransform(location.pose, *transform);
        ++transform;
    }
    context->meshInterface->MeshTransformList_SetTransforms(list, transforms.data(),
                                                            static_cast<uint32_t>(transforms.size()));
    transformsPending = false;
    return kUnitySubsystemErrorCodeSuccess;
}

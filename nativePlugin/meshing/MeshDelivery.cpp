#include "MeshDelivery.h"

#include <algorithm>
#include <cinttypes>
#include <new>

#include "MeshIdentifier.h"
#include "TraceLog.h"

namespace kelbrin {

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

} // namespace

MeshDelivery::PooledScratch::PooledScratch(MeshDelivery& delivery) : delivery(delivery)
{
    std::lock_guard<std::mutex> lock(delivery.spareMutex);
    if (delivery.spare.empty()) {
        scratch = std::make_unique<Scratch>();
    } else {
        scratch = std::move(delivery.spare.back());
        delivery.spare.pop_back();
    }
}

MeshDelivery::PooledScratch::~PooledScratch()
{
    std::lock_guard<std::mutex> lock(delivery.spareMutex);
    try {
        delivery.spare.push_back(std::move(scratch));
    } catch (const std::bad_alloc&) {
        // Dropped: the next acquisition makes a new one.
    }
}

// --- Mesh-info list ------------------------------------------------------------------------

MeshDelivery::Listing MeshDelivery::List(UnityXRMeshInfoAllocator* allocator)
{
    XrSceneComponentsGetInfoMSFT getInfo{XR_TYPE_SCENE_COMPONENTS_GET_INFO_MSFT};
    getInfo.componentType = XR_SCENE_COMPONENT_TYPE_VISUAL_MESH_MSFT;
    if (!reader.ReadComponents(getInfo, componentScratch, componentIds, componentMeshes, componentLocations)) {
        meshes.clear();
        listedComponents = 0;
        return Listing::Failed;
    }
    if (SameComponentsAsListed()) {
        for (ListedMesh& mesh : meshes) {
            mesh.location->second = componentLocations[mesh.source];
            // A remeshed component keeps its identifier and gets a new mesh buffer.
            const uint64_t meshBufferId = componentMeshes[mesh.source].meshBufferId;
            if (meshBufferId != mesh.meshBufferId) {
                mesh.meshBufferId = meshBufferId;
                mesh.vertexCount = KnownVertexCount(meshBufferId);
            }
        }
    } else {
        ListComponents();
    }
    if (meshes.empty()) {
        TraceLog(trace, kXRTraceLevelError, "Meshes map is empty!");
        return Listing::NoMeshes;
    }

    UnityXRMeshInfo* infos = meshInterface->MeshInfoAllocator_Allocate(allocator, meshes.size());
    if (infos == nullptr) {
        TraceLog(trace, kXRTraceLevelError, "Failed to allocate mesh infos");
        return Listing::Failed;
    }
    // The engine's entries keep what it put there, except what changed.
    UnityXRMeshInfo* info = infos;
    for (ListedMesh& mesh : meshes) {
        info->meshId = mesh.id;
        UpdateVertexCount(mesh, info->updated);
        ++info;
    }
    return Listing::Listed;
}

bool MeshDelivery::SameComponentsAsListed() const
{
    // With no identifier repeated, every component of the read is one listed mesh.
    if (componentIds.size() != listedComponents || meshes.size() != listedComponents) {
        return false;
    }
    return std::all_of(meshes.begin(), meshes.end(), [this](const ListedMesh& mesh) {
        const UnityXRMeshId id = XrUuidMSFTToUnityXRMeshId(componentIds[mesh.source]);
        return id.idPart[0] == mesh.id.idPart[0] && id.idPart[1] == mesh.id.idPart[1];
    });
}

std::optional<uint32_t>* MeshDelivery::KnownVertexCount(uint64_t meshBufferId)
{
    const auto known = vertexCounts.find(meshBufferId);
    return known != vertexCounts.end() ? &known->second : nullptr;
}

void MeshDelivery::ListComponents()
{
    const uint32_t count = static_cast<uint32_t>(componentIds.size());
    meshes.clear();
    meshes.reserve(count);
    for (uint32_t source = 0; source < count; ++source) {
        meshes.push_back({XrUuidMSFTToUnityXRMeshId(componentIds[source]), componentMeshes[source].meshBufferId, source,
                          locations.end(), nullptr});
    }
    // Identifier order; of a repeated identifier, the one read last stands.
    const UnityXRMeshIdComparer idOrder;
    std::sort(meshes.begin(), meshes.end(), [&idOrder](const ListedMesh& a, const ListedMesh& b) {
        return idOrder(a.id, b.id) || (!idOrder(b.id, a.id) && a.source > b.source);
    });
    const auto sameId = [&idOrder](const ListedMesh& a, const ListedMesh& b) {
        return !idOrder(a.id, b.id) && !idOrder(b.id, a.id);
    };
    meshes.erase(std::unique(meshes.begin(), meshes.end(), sameId), meshes.end());
    for (ListedMesh& mesh : meshes) {
        mesh.location = locations.insert_or_assign(mesh.id, componentLocations[mesh.source]).first;
        mesh.vertexCount = KnownVertexCount(mesh.meshBufferId);
    }
    listedComponents = count;
}

void MeshDelivery::UpdateVertexCount(ListedMesh& mesh, bool& updated)
{
    if (!bindings.HasCurrentScene()) {
        TraceLog(trace, kXRTraceLevelError, "No Current Scene!");
        return;
    }
    uint32_t vertexCount = 0;
    if (!reader.ReadVertexCount(mesh.meshBufferId, vertexCount)) {
        return;
    }
    // An acquisition may have recorded the first count since the list was built.
    if (mesh.vertexCount == nullptr) {
        mesh.vertexCount = KnownVertexCount(mesh.meshBufferId);
    }
    if (mesh.vertexCount == nullptr) {
        mesh.vertexCount = &vertexCounts.emplace(mesh.meshBufferId, vertexCount).first->second;
        updated = true;
    } else if (*mesh.vertexCount != vertexCount) {
        *mesh.vertexCount = vertexCount;
        updated = true;
    }
}

void MeshDelivery::ForgetVertexCount(uint64_t meshBufferId)
{
    // Emptied, not erased: listed meshes keep their place in the map.
    const auto known = vertexCounts.find(meshBufferId);
    if (known != vertexCounts.end()) {
        known->second.reset();
    }
}

bool MeshDelivery::FindMeshBuffer(const UnityXRMeshId& id, uint64_t& meshBufferId) const
{
    const UnityXRMeshIdComparer idOrder;
    const auto mesh = std::lower_bound(meshes.begin(), meshes.end(), id,
                                       [&idOrder](const ListedMesh& listed, const UnityXRMeshId& wanted) {
                                           return idOrder(listed.id, wanted);
                                       });
    if (mesh == meshes.end() || idOrder(id, mesh->id)) {
        return false;
    }
    meshBufferId = mesh->meshBufferId;
    return true;
}

// --- Mesh data -----------------------------------------------------------------------------

bool MeshDelivery::Read(uint64_t meshBufferId, Scratch& scratch) const
{
    if (!reader.ReadMeshBuffers(meshBufferId, scratch.vertices, scratch.indices)) {
        TraceLog(trace, kXRTraceLevelError, "Failed to read mesh buffer with id %" PRIu64, meshBufferId);
        return false;
    }
    return true;
}

UnitySubsystemErrorCode MeshDelivery::Deliver(bool sceneMesh, uint64_t meshBufferId, Scratch& scratch,
                                              UnityXRMeshDataAllocator* allocator) const
{
    const std::vector<XrVector3f>& vertices = scratch.vertices;
    const std::vector<uint32_t>& indices = scratch.indices;
    // Before the engine allocates: a failed acquisition hands it nothing.
    if (!scratch.normals.Prepare(vertices.size())) {
        TraceLog(trace, kXRTraceLevelError, "Failed to allocate normals for mesh buffer %" PRIu64 ": %zu vertices",
                 meshBufferId, vertices.size());
        return kUnitySubsystemErrorCodeFailure;
    }

    UnityXRMeshDescriptor* mesh = meshInterface->MeshDataAllocator_AllocateMesh(
        allocator, vertices.size(), indices.size(), kUnityXRIndexFormat32Bit, kUnityXRMeshVertexAttributeFlagsNormals,
        kUnityXRMeshTopologyTriangles);
    if (mesh == nullptr) {
        TraceLog(trace, kXRTraceLevelError, "Failed to allocate mesh for mesh buffer with id %" PRIu64, meshBufferId);
        return kUnitySubsystemErrorCodeFailure;
    }
    // Every mesh is allocated with normals, a plane's too, so none reaches the engine unwritten.
    if (mesh->normals != nullptr) {
        static_assert(sizeof(UnityXRVector3) == 3 * sizeof(float), "normals are written as packed triples");
        // Computed in the runtime's convention and winding; only the unit normals are mirrored.
        scratch.normals.Compute(vertices, indices, &mesh->normals->x, true, LogInvalidTriangle());
    }
    if (sceneMesh) {
        if (mesh->colors != nullptr) {
            TraceLog(trace, kXRTraceLevelWarning,
                     "Allocated buffer for colors but the Tolvane Quenra Meshing provider "
                     "does not support them at this time.");
        }
        if (mesh->tangents != nullptr) {
            TraceLog(trace, kXRTraceLevelWarning,
                     "Allocated buffer for tangents but the Tolvane Quenra Meshing "
                     "provider does not support them at this time.");
        }
        if (mesh->uvs != nullptr) {
            TraceLog(trace, kXRTraceLevelWarning,
                     "Allocated buffer for texture coordinates but the Tolvane Quenra "
                     "Meshing provider does not support them at this time.");
        }
    }
    ConvertXrVectorsToUnitySpace(vertices, mesh->positions);
    // Reversing the whole list turns each triangle's winding round, as the mirrored z requires.
    std::reverse_copy(indices.begin(), indices.end(), mesh->indices32);
    return kUnitySubsystemErrorCodeSuccess;
}

// --- Normals -------------------------------------------------------------------------------

MeshNormals::InvalidTriangle MeshDelivery::LogInvalidTriangle() const
{
    return [this](uint32_t firstCorner) {
        TraceLog(trace, kXRTraceLevelError, "Index Not valid in Vertices: %d", static_cast<int>(firstCorner));
    };
}

void MeshDelivery::CalculateNormals(const std::vector<XrVector3f>& vertices, const std::vector<uint32_t>& indices,
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

void MeshDelivery::SetTransforms(UnityXRMeshTransformList* list)
{
    if (!transformsPending) {
        return;
    }
    // Every pose known, including those of meshes that have left the scene; validity is not consulted.
    std::vector<UnityXRMeshTransform> transforms(locations.size());
    auto transform = transforms.begin();
    for (const auto& [id, location] : locations) {
        transform->meshId = id;
        transform->timestamp = static_cast<uint64_t>(bindings.GetPredictedDisplayTime());
        ConvertToUnityTransform(location.pose, *transform);
        ++transform;
    }
    meshInterface->MeshTransformList_SetTransforms(list, transforms.data(), transforms.size());
    transformsPending = false;
}

} // namespace kelbrin

#include "SceneObserver.h"

#include <algorithm>
#include <cinttypes>
#include <limits>
#include <new>

#include "FloatLanes.h"
#include "MeshIdentifier.h"
#include "ProviderContext.h"
#include "SceneComponents.h"
#include "XrBindings.h"

namespace {

using kelbrin::FloatLanes;
using kelbrin::LaneQuad;

// (a.y·b.z − a.z·b.y, −(a.x·b.z − a.z·b.x), a.x·b.y − a.y·b.x), each lane the scalar
// expression. Not normalised: its length is twice the triangle's area, so larger faces weigh more.
FloatLanes CrossProduct(const FloatLanes& a, const FloatLanes& b)
{
    return kelbrin::NegateY(kelbrin::YXX(a) * kelbrin::ZZY(b) - kelbrin::ZZY(a) * kelbrin::YXX(b));
}

// The running mean after its n-th face: m·(n−1)/n + f/n per component. The six divisions
// run in two sets of lanes; every lane is the scalar operation, so the result is the
// formula's to the bit. Dividing by 2 or 4 is multiplying by 0.5 or 0.25, which rounds the
// same (the reciprocal is exact) and keeps the divider off the common small counts; at
// n = 1 the mean is 0·0/1 + f/1, that is 0 + f. Lane w of a mean stays zero.
void SumNormals(LaneQuad& mean, uint32_t n, const FloatLanes& faceNormal)
{
    FloatLanes sum;
    switch (n) {
    case 1:
        sum = kelbrin::Splat(0.0f) + faceNormal;
        break;
    case 2: {
        const FloatLanes half = kelbrin::Splat(0.5f);
        sum = kelbrin::Load(mean) * half + faceNormal * half;
        break;
    }
    case 4: {
        const FloatLanes quarter = kelbrin::Splat(0.25f);
        sum = kelbrin::Load(mean) * kelbrin::Splat(3.0f) * quarter + faceNormal * quarter;
        break;
    }
    default: {
        const FloatLanes count = kelbrin::Splat(static_cast<float>(n));
        sum = kelbrin::Load(mean) * kelbrin::Splat(static_cast<float>(n - 1)) / count + faceNormal / count;
        break;
    }
    }
    kelbrin::Store(sum, mean);
}

// v/|v| for four vertices, |v| = sqrt(x² + y² + z²) summed in that order as the scalar
// expression is; the fallback where no direction exists (zero length) or the length is not finite.
kelbrin::LaneColumns Normalize(const kelbrin::LaneColumns& v)
{
    const FloatLanes length = kelbrin::Sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    const kelbrin::LaneMask hasDirection =
        (length > kelbrin::Splat(0.0f)) & (length <= kelbrin::Splat(std::numeric_limits<float>::max()));
    constexpr XrVector3f fallback = SceneObserver::kFallbackNormal;
    return {kelbrin::Select(hasDirection, v.x / length, kelbrin::Splat(fallback.x)),
            kelbrin::Select(hasDirection, v.y / length, kelbrin::Splat(fallback.y)),
            kelbrin::Select(hasDirection, v.z / length, kelbrin::Splat(fallback.z))};
}

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

UnitySubsystemErrorCode SceneObserver::AcquireByMeshId(const UnityXRMeshId* id, UnityXRMeshDataAllocator* allocator)
{
    if (!IsReadyWithProviders()) {
        return kUnitySubsystemErrorCodeFailure;
    }
    uint64_t meshBufferId = 0;
    const uint32_t kind = TryFindMeshBufferId(id, meshBufferId);
    if (kind == MeshBufferNotFound) {
        // No mesh buffer id exists on this path: the number is the identifier's first four
        // bytes (the start of the component's uuid) as a little-endian 32-bit value.
        context->Log(kXRTraceLevelError, "Failed to find mesh buffer with id %u",
                     static_cast<unsigned>(id->idPart[0] & 0xFFFFFFFFu));
        return kUnitySubsystemErrorCodeFailure;
    }
    std::vector<XrVector3f>& vertices = meshVertices;
    std::vector<uint32_t>& indices = meshIndices;
    if (!ReadMeshBuffers(meshBufferId, vertices, indices)) {
        context->Log(kXRTraceLevelError, "Failed to read mesh buffer with id %" PRIu64, meshBufferId);
        return kUnitySubsystemErrorCodeFailure;
    }
    vertexCounts[meshBufferId] = static_cast<uint32_t>(vertices.size());
    // Before the engine allocates: a failed acquisition hands it nothing.
    if (kind == SceneMeshBuffer && !PrepareNormalsScratch(vertices.size())) {
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
            // Computed in the runtime's convention and winding; only the unit normals are mirrored.
            ComputeUnitNormals(vertices, indices, &mesh->normals->x, true);
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

void SceneObserver::CalculateMeshNormals(const std::vector<XrVector3f>& vertices, const std::vector<uint32_t>& indices,
                                         std::vector<XrVector3f>& normals)
{
    normals.resize(vertices.size());
    if (!PrepareNormalsScratch(vertices.size())) {
        throw std::bad_alloc();
    }
    ComputeUnitNormals(vertices, indices, &normals.data()->x, false);
}

bool SceneObserver::PrepareNormalsScratch(size_t vertexCount)
{
    // Whole groups of four for the normalising pass; the padding has no faces and is never stored.
    const size_t paddedCount = vertexCount + (4 - vertexCount % 4) % 4;
    try {
        // Grown only: value-initialised counts keep them all zero.
        if (normalMeans.size() < paddedCount) {
            normalMeans.resize(paddedCount);
            normalFaces.resize(paddedCount);
        }
        return true;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    return false;
}

void SceneObserver::ComputeUnitNormals(const std::vector<XrVector3f>& vertices, const std::vector<uint32_t>& indices,
                                       float* normals, bool mirrorZ)
{
    static_assert(sizeof(XrVector3f) == 3 * sizeof(float) && sizeof(UnityXRVector3) == 3 * sizeof(float),
                  "normals are written as packed x, y, z triples");
    // One pass over the triangles builds each vertex's running mean in the scratch, one over
    // the vertices, four at a time, normalises it and leaves the scratch ready for the next mesh.
    const size_t vertexCount = vertices.size();
    // Plain pointers: lane stores may alias anything, which would make the compiler reload
    // every vector's data pointer in the loop.
    const XrVector3f* const positions = vertices.data();
    const uint32_t* const corners = indices.data();
    LaneQuad* const means = normalMeans.data();
    uint32_t* const faces = normalFaces.data();
    const auto loadVertex = [positions](uint32_t vertex) { return kelbrin::LoadXYZ(&positions[vertex].x); };
    // Whole triples only: a trailing partial triangle is not one.
    const size_t cornerCount = indices.size() - indices.size() % 3;
    for (size_t i = 0; i < cornerCount; i += 3) {
        const uint32_t a = corners[i];
        const uint32_t b = corners[i + 1];
        const uint32_t c = corners[i + 2];
        if (std::max({a, b, c}) >= vertexCount) {
            context->Log(kXRTraceLevelError, "Index Not valid in Vertices: %d", static_cast<int>(a));
            continue;
        }
        const FloatLanes first = loadVertex(a);
        const FloatLanes face = CrossProduct(loadVertex(b) - first, loadVertex(c) - first);
        // In corner order: a triangle naming a vertex twice counts twice for it.
        for (const uint32_t vertex : {a, b, c}) {
            SumNormals(means[vertex], ++faces[vertex], face);
        }
    }
    for (size_t group = 0; group < vertexCount; group += 4) {
        for (size_t vertex = group; vertex < group + 4; ++vertex) {
            // A vertex no triangle shaped still holds an earlier mesh's mean: from zero it falls back.
            if (faces[vertex] == 0) {
                means[vertex] = LaneQuad{0.0f, 0.0f, 0.0f, 0.0f};
            }
            // Zeroed here rather than before the next mesh: saves a pass over the counts.
            faces[vertex] = 0;
        }
        kelbrin::LaneColumns unit = Normalize(kelbrin::LoadColumns(means + group));
        if (mirrorZ) {
            unit.z = kelbrin::Negate(unit.z);
        }
        float* out = normals + 3 * group;
        if (group + 4 <= vertexCount) {
            kelbrin::StoreTriples(unit, out);
        } else {
            float last[12];
            kelbrin::StoreTriples(unit, last);
            std::copy(last, last + 3 * (vertexCount - group), out);
        }
    }
}

// --- Poses ---------------------------------------------------------------------------------

UnitySubsystemErrorCode SceneObserver::GetUpdatedTransforms(UnityXRMeshTransformList* list)
{
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

// The current scene's visual meshes as the engine's meshing subsystem takes them: listed
// with a flag for the new or changed, acquired with their normals, posed once per scene.
// Not locked itself: the scene observer calls it under its state lock, except for the
// reading and delivery of an acquisition, which work only in the acquisition's scratch.
#pragma once

#include <openxr/openxr.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "MeshNormals.h"
#include "SceneReader.h"
#include "UnityXRMeshIdComparer.h"
#include "UnityXRMeshing.h"

namespace kelbrin {

class MeshDelivery {
public:
    // What one acquisition works in: the runtime's vertices and indices as read, and the
    // normals' scratch.
    struct Scratch {
        std::vector<XrVector3f> vertices;
        std::vector<uint32_t> indices;
        MeshNormals normals;
    };
    // A scratch for one acquisition from those kept across acquisitions, one per acquisition
    // in flight, so once a mesh as large has been acquired the next costs no allocation.
    class PooledScratch {
    public:
        explicit PooledScratch(MeshDelivery& delivery);
        ~PooledScratch();
        PooledScratch(const PooledScratch&) = delete;
        PooledScratch& operator=(const PooledScratch&) = delete;
        Scratch& operator*() { return *scratch; }

    private:
        MeshDelivery& delivery;
        std::unique_ptr<Scratch> scratch;
    };
    enum class Listing { Listed, Failed, NoMeshes };

    MeshDelivery(XrBindings& bindings, const SceneReader& reader, IUnityXRTrace* trace,
                 IUnityXRMeshInterface* meshInterface)
        : bindings(bindings), reader(reader), trace(trace), meshInterface(meshInterface)
    {
    }

    // Lists the current scene's visual meshes into the engine's mesh infos, flagging new or changed ones.
    Listing List(UnityXRMeshInfoAllocator* allocator);
    bool FindMeshBuffer(const UnityXRMeshId& id, uint64_t& meshBufferId) const;
    // Reads a mesh buffer of the current scene into the scratch; as a reader of the scene.
    bool Read(uint64_t meshBufferId, Scratch& scratch) const;
    // The vertex count an acquisition delivered, which tells later listings whether the mesh changed.
    void RecordVertexCount(uint64_t meshBufferId, uint32_t vertexCount) { vertexCounts[meshBufferId] = vertexCount; }
    // After a failed acquisition: the next listing flags the mesh again, so the engine asks once more.
    void ForgetVertexCount(uint64_t meshBufferId);
    // Writes a mesh read into engine storage, in engine coordinates, with its normals; for a scene
    // mesh, warns about the engine's optional buffers it leaves untouched.
    UnitySubsystemErrorCode Deliver(bool sceneMesh, uint64_t meshBufferId, Scratch& scratch,
                                    UnityXRMeshDataAllocator* allocator) const;
    // Into normals, one per vertex, in the runtime's convention.
    void CalculateNormals(const std::vector<XrVector3f>& vertices, const std::vector<uint32_t>& indices,
                          std::vector<XrVector3f>& normals);
    // Hands the mesh poses to the engine once per new scene.
    void SetTransforms(UnityXRMeshTransformList* list);
    void MarkTransformsPending() { transformsPending = true; }

private:
    using LocationMap = std::map<UnityXRMeshId, XrSceneComponentLocationMSFT, UnityXRMeshIdComparer>;
    // Hashed: a listing of a remeshed scene looks every mesh's count up, and must cost the
    // same per mesh in a room of ten thousand meshes as in one of ten. Empty once an acquisition
    // of the buffer failed: no count a listing reads matches it.
    using VertexCountMap = std::unordered_map<uint64_t, std::optional<uint32_t>>;
    // One visual mesh of the current scene, with where its pose and its last vertex count are
    // kept: map entries never move and are never erased, so those places stay valid.
    struct ListedMesh {
        UnityXRMeshId id;
        uint64_t meshBufferId;
        // Its position in the runtime's lists of the last read.
        uint32_t source;
        LocationMap::iterator location;
        // Null until a count is known.
        std::optional<uint32_t>* vertexCount;
    };

    // Whether the last read listed the same components in the same order as `meshes` came
    // from: the list then stands in its order, with the mesh buffers of the read.
    bool SameComponentsAsListed() const;
    // The count recorded for a mesh buffer, or null.
    std::optional<uint32_t>* KnownVertexCount(uint64_t meshBufferId);
    // Rebuilds `meshes` from the last read: identifier order, the last of a repeated identifier.
    void ListComponents();
    void UpdateVertexCount(ListedMesh& mesh, bool& updated);
    // Logs each triangle the normals pass skipped.
    MeshNormals::InvalidTriangle LogInvalidTriangle() const;

    XrBindings& bindings;
    const SceneReader& reader;
    IUnityXRTrace* const trace;
    IUnityXRMeshInterface* const meshInterface;
    // Visual meshes of the current scene, in identifier order.
    std::vector<ListedMesh> meshes;
    // How many components the read that built `meshes` gave.
    size_t listedComponents = 0;
    // The last read of the runtime's components, kept so that reading again allocates nothing.
    std::vector<XrSceneComponentMSFT> componentScratch;
    std::vector<XrUuidMSFT> componentIds;
    std::vector<XrSceneMeshMSFT> componentMeshes;
    std::vector<XrSceneComponentLocationMSFT> componentLocations;
    // Every mesh pose known, including those of meshes that have left the scene.
    LocationMap locations;
    // Last vertex count seen per mesh buffer id: what tells the engine a mesh changed.
    VertexCountMap vertexCounts;
    // A new scene was made and its mesh poses are still to be reported.
    bool transformsPending = false;
    // Scratch not in use; its own lock, so taking one never waits for the scene observer's.
    std::mutex spareMutex;
    std::vector<std::unique_ptr<Scratch>> spare;
};

} // namespace kelbrin

#include "SceneReader.h"

#include <cinttypes>

namespace kelbrin {

namespace {
// Either sizing call of a mesh buffer read failing.
const char* const kVertexCountFailed = "Failed to get vertex count output: %d";

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

bool SceneReader::ReadVertexCount(uint64_t meshBufferId, uint32_t& vertexCount) const
{
    const XrSceneMeshBuffersGetInfoMSFT getInfo = MeshBuffersGetInfo(meshBufferId);
    MeshBuffersChain chain;
    const XrResult result = bindings.GetSceneMeshBuffers(&getInfo, &chain.buffers);
    if (result != XR_SUCCESS) {
        TraceLog(trace, kXRTraceLevelError, kVertexCountFailed, static_cast<int>(result));
        return false;
    }
    vertexCount = chain.vertexBuffer.vertexCountOutput;
    return true;
}

bool SceneReader::ReadMeshBuffers(uint64_t meshBufferId, std::vector<XrVector3f>& vertices,
                                  std::vector<uint32_t>& indices) const
{
    if (!bindings.HasCurrentScene()) {
        return false;
    }
    const XrSceneMeshBuffersGetInfoMSFT getInfo = MeshBuffersGetInfo(meshBufferId);
    MeshBuffersChain chain;
    XrResult result = bindings.GetSceneMeshBuffers(&getInfo, &chain.buffers);
    if (result != XR_SUCCESS) {
        TraceLog(trace, kXRTraceLevelError, kVertexCountFailed, static_cast<int>(result));
        return false;
    }
    const uint32_t vertexCount = chain.vertexBuffer.vertexCountOutput;
    const uint32_t indexCount = chain.indexBuffer.indexCountOutput;
    if (!kelbrin::TryResizeAll(vertexCount, vertices) || !kelbrin::TryResizeAll(indexCount, indices)) {
        TraceLog(trace, kXRTraceLevelError, "Failed to allocate mesh buffer %" PRIu64 ": %u vertices, %u indices",
                 meshBufferId, vertexCount, indexCount);
        return false;
    }
    // The capacities are the storage given, whatever the runtime announced.
    chain.vertexBuffer.vertexCapacityInput = static_cast<uint32_t>(vertices.size());
    chain.vertexBuffer.vertices = vertices.data();
    chain.indexBuffer.indexCapacityInput = static_cast<uint32_t>(indices.size());
    chain.indexBuffer.indices = indices.data();
    result = bindings.GetSceneMeshBuffers(&getInfo, &chain.buffers);
    if (result != XR_SUCCESS) {
        TraceLog(trace, kXRTraceLevelError, "Failed to get scene mesh buffers: %d", static_cast<int>(result));
        return false;
    }
    // A runtime that wrote fewer than asked for leaves no unwritten entries behind.
    vertices.resize(std::min<size_t>(vertices.size(), chain.vertexBuffer.vertexCountOutput));
    indices.resize(std::min<size_t>(indices.size(), chain.indexBuffer.indexCountOutput));
    return true;
}

} // namespace kelbrin

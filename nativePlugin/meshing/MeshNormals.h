// Vertex normals of a triangle mesh: positions and indices in, unit normals out. Keeps
// its scratch across meshes, so once a mesh as large has been done the next costs no
// allocation and no zero-fill. One computation at a time per object.
#pragma once

#include <openxr/openxr.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "FloatLanes.h"

namespace kelbrin {

class MeshNormals {
public:
    // Up, in OpenXR as in the engine: finite and unit length, so nothing downstream divides by zero.
    static constexpr XrVector3f kFallbackNormal{0.0f, 1.0f, 0.0f};
    // Told the first corner of each triangle that names a vertex past the end; the triangle is skipped.
    using InvalidTriangle = std::function<void(uint32_t firstCorner)>;

    // Sizes the scratch for a mesh of this many vertices; false when it cannot be allocated.
    bool Prepare(size_t vertexCount);
    // Area-weighted mean of the face normals around each vertex, normalised: one packed x, y, z
    // triple per vertex into `normals`, z negated when `mirrorZ`. A vertex no valid triangle
    // shapes, or whose face normals cancel, gets kFallbackNormal. Needs Prepare for the count first.
    void Compute(const std::vector<XrVector3f>& vertices, const std::vector<uint32_t>& indices, float* normals,
                 bool mirrorZ, const InvalidTriangle& invalid);

private:
    // Per vertex, the running mean of its face normals and the number of faces in it, in whole
    // groups of four. The counts are all zero between passes; a mean counts only while its
    // vertex's count is not zero.
    std::vector<kelbrin::LaneQuad> means;
    std::vector<uint32_t> faces;
};

} // namespace kelbrin

#include "MeshNormals.h"

#include <algorithm>
#include <limits>
#include <new>
#include <stdexcept>

namespace kelbrin {

namespace {

// (a.y·b.z − a.z·b.y, −(a.x·b.z − a.z·b.x), a.x·b.y − a.y·b.x), each lane the scalar
// expression. Not normalised: its length is twice the triangle's area, so larger faces weigh more.
FloatLanes CrossProduct(const FloatLanes& a, const FloatLanes& b)
{
    return NegateY(YXX(a) * ZZY(b) - ZZY(a) * YXX(b));
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
        sum = Splat(0.0f) + faceNormal;
        break;
    case 2: {
        const FloatLanes half = Splat(0.5f);
        sum = Load(mean) * half + faceNormal * half;
        break;
    }
    case 4: {
        const FloatLanes quarter = Splat(0.25f);
        sum = Load(mean) * Splat(3.0f) * quarter + faceNormal * quarter;
        break;
    }
    default: {
        const FloatLanes count = Splat(static_cast<float>(n));
        sum = Load(mean) * Splat(static_cast<float>(n - 1)) / count + faceNormal / count;
        break;
    }
    }
    Store(sum, mean);
}

// v/|v| for four vertices, |v| = sqrt(x² + y² + z²) summed in that order as the scalar
// expression is; the fallback where no direction exists (zero length) or the length is not finite.
LaneColumns Normalize(const LaneColumns& v)
{
    const FloatLanes length = Sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    const LaneMask hasDirection = (length > Splat(0.0f)) & (length <= Splat(std::numeric_limits<float>::max()));
    constexpr XrVector3f fallback = MeshNormals::kFallbackNormal;
    return {Select(hasDirection, v.x / length, Splat(fallback.x)),
            Select(hasDirection, v.y / length, Splat(fallback.y)),
            Select(hasDirection, v.z / length, Splat(fallback.z))};
}

} // namespace

bool MeshNormals::Prepare(size_t vertexCount)
{
    // Whole groups of four for the normalising pass; the padding has no faces and is never stored.
    const size_t paddedCount = vertexCount + (4 - vertexCount % 4) % 4;
    try {
        // Grown only: value-initialised counts keep them all zero.
        if (means.size() < paddedCount) {
            means.resize(paddedCount);
            faces.resize(paddedCount);
        }
        return true;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    return false;
}

void MeshNormals::Compute(const std::vector<XrVector3f>& vertices, const std::vector<uint32_t>& indices, float* normals,
                          bool mirrorZ, const InvalidTriangle& invalid)
{
    static_assert(sizeof(XrVector3f) == 3 * sizeof(float), "normals are written as packed x, y, z triples");
    // One pass over the triangles builds each vertex's running mean in the scratch, one over
    // the vertices, four at a time, normalises it and leaves the scratch ready for the next mesh.
    const size_t vertexCount = vertices.size();
    // Plain pointers: lane stores may alias anything, which would make the compiler reload
    // every vector's data pointer in the loop.
    const XrVector3f* const positions = vertices.data();
    const uint32_t* const corners = indices.data();
    LaneQuad* const meanData = means.data();
    uint32_t* const faceData = faces.data();
    const auto loadVertex = [positions](uint32_t vertex) { return LoadXYZ(&positions[vertex].x); };
    // Whole triples only: a trailing partial triangle is not one.
    const size_t cornerCount = indices.size() - indices.size() % 3;
    for (size_t i = 0; i < cornerCount; i += 3) {
        const uint32_t a = corners[i];
        const uint32_t b = corners[i + 1];
        const uint32_t c = corners[i + 2];
        if (std::max({a, b, c}) >= vertexCount) {
            invalid(a);
            continue;
        }
        const FloatLanes first = loadVertex(a);
        const FloatLanes face = CrossProduct(loadVertex(b) - first, loadVertex(c) - first);
        // In corner order: a triangle naming a vertex twice counts twice for it.
        for (const uint32_t vertex : {a, b, c}) {
            SumNormals(meanData[vertex], ++faceData[vertex], face);
        }
    }
    for (size_t group = 0; group < vertexCount; group += 4) {
        for (size_t vertex = group; vertex < group + 4; ++vertex) {
            // A vertex no triangle shaped still holds an earlier mesh's mean: from zero it falls back.
            if (faceData[vertex] == 0) {
                meanData[vertex] = LaneQuad{0.0f, 0.0f, 0.0f, 0.0f};
            }
            // Zeroed here rather than before the next mesh: saves a pass over the counts.
            faceData[vertex] = 0;
        }
        LaneColumns unit = Normalize(LoadColumns(meanData + group));
        if (mirrorZ) {
            unit.z = Negate(unit.z);
        }
        float* out = normals + 3 * group;
        if (group + 4 <= vertexCount) {
            StoreTriples(unit, out);
        } else {
            float last[12];
            StoreTriples(unit, last);
            std::copy(last, last + 3 * (vertexCount - group), out);
        }
    }
}

} // namespace kelbrin

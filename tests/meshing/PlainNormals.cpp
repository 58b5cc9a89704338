#include "PlainNormals.h"

#include <cmath>

namespace kelbrin::test {
namespace {

XrVector3f PlainCross(const XrVector3f& a, const XrVector3f& b)
{
    return {a.y * b.z - a.z * b.y, -(a.x * b.z - a.z * b.x), a.x * b.y - a.y * b.x};
}

XrVector3f PlainSum(const XrVector3f& m, uint32_t n, const XrVector3f& f)
{
    const float previous = static_cast<float>(n - 1);
    const float count = static_cast<float>(n);
    return {(m.x * previous) / count + f.x / count, (m.y * previous) / count + f.y / count,
            (m.z * previous) / count + f.z / count};
}

} // namespace

std::vector<XrVector3f> PlainNormals(const std::vector<XrVector3f>& v, const std::vector<uint32_t>& indices)
{
    std::vector<XrVector3f> normals(v.size(), XrVector3f{0, 0, 0});
    std::vector<uint32_t> faces(v.size(), 0);
    for (size_t i = 0; i + 2 < indices.size(); i += 3) {
        const uint32_t a = indices[i], b = indices[i + 1], c = indices[i + 2];
        if (a >= v.size() || b >= v.size() || c >= v.size()) {
            continue;
        }
        const XrVector3f e1{v[b].x - v[a].x, v[b].y - v[a].y, v[b].z - v[a].z};
        const XrVector3f e2{v[c].x - v[a].x, v[c].y - v[a].y, v[c].z - v[a].z};
        const XrVector3f f = PlainCross(e1, e2);
        for (const uint32_t k : {a, b, c}) {
            normals[k] = PlainSum(normals[k], ++faces[k], f);
        }
    }
    // Up where no direction exists, as the plug-in falls back.
    for (XrVector3f& n : normals) {
        const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
        n = length > 0.0f && std::isfinite(length) ? XrVector3f{n.x / length, n.y / length, n.z / length}
                                                   : XrVector3f{0.0f, 1.0f, 0.0f};
    }
    return normals;
}

} // namespace kelbrin::test

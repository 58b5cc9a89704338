#include "DeliveredRoom.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "PixelFont.h"
#include "PoseMath.h"

namespace quenra::sim {
namespace {

using simruntime::operator+;
using simruntime::operator-;
using simruntime::operator*;

constexpr float kNear = 0.05f;
// Light from above, a little from the left and behind the viewer.
const XrVector3f kLight = simruntime::Normalised({-0.3f, 0.85f, -0.4f});

XrVector3f Vector(const UnityXRVector3& v)
{
    return {v.x, v.y, v.z};
}

simruntime::Rgba ShadeByNormal(XrVector3f normal)
{
    const XrVector3f n = simruntime::Normalised(normal);
    const float light = 0.55f + 0.45f * std::max(0.0f, simruntime::Dot(n, kLight));
    simruntime::Rgba colour{0, 0, 0, 255};
    const float channels[3] = {0.5f + 0.5f * n.x, 0.5f + 0.5f * n.y, 0.5f + 0.5f * n.z};
    for (int c = 0; c < 3; ++c) {
        colour[c] = static_cast<uint8_t>(std::lround(255.0f * light * (0.25f + 0.75f * channels[c])));
    }
    return colour;
}

// A screen-space vertex: pixel position and the reciprocal of its depth.
struct ScreenVertex {
    float x;
    float y;
    float inverseDepth;
};

// Fills a triangle, keeping the nearest surface per pixel: row by row, over the span of pixel
// centres between its edges.
void FillTriangle(simruntime::RgbaImage& picture, std::vector<float>& depth, const ScreenVertex (&v)[3],
                  simruntime::Rgba colour)
{
    const float area = (v[1].x - v[0].x) * (v[2].y - v[0].y) - (v[2].x - v[0].x) * (v[1].y - v[0].y);
    if (area == 0) {
        return;
    }
    const float top = std::max(0.0f, std::ceil(std::min({v[0].y, v[1].y, v[2].y}) - 0.5f));
    const float bottom = std::min(picture.height - 1.0f, std::floor(std::max({v[0].y, v[1].y, v[2].y}) - 0.5f));
    for (float row = top; row <= bottom; ++row) {
        const float cy = row + 0.5f;
        float left = picture.width;
        float right = -1;
        for (int k = 0; k < 3; ++k) {
            const ScreenVertex& a = v[k];
            const ScreenVertex& b = v[(k + 1) % 3];
            if ((cy < a.y) == (cy < b.y)) {
                continue;
            }
            const float x = a.x + (cy - a.y) * (b.x - a.x) / (b.y - a.y);
            left = std::min(left, x);
            right = std::max(right, x);
        }
        const float first = std::max(0.0f, std::ceil(left - 0.5f));
        const float last = std::min(picture.width - 1.0f, std::floor(right - 0.5f));
        for (float column = first; column <= last; ++column) {
            const float cx = column + 0.5f;
            // Depth from the barycentric weights of v[1] and v[2].
            const float w1 = ((cx - v[0].x) * (v[2].y - v[0].y) - (v[2].x - v[0].x) * (cy - v[0].y)) / area;
            const float w2 = ((v[1].x - v[0].x) * (cy - v[0].y) - (cx - v[0].x) * (v[1].y - v[0].y)) / area;
            const float inverseDepth = v[0].inverseDepth + w1 * (v[1].inverseDepth - v[0].inverseDepth) +
                                       w2 * (v[2].inverseDepth - v[0].inverseDepth);
            const auto x = static_cast<uint32_t>(column);
            const auto y = static_cast<uint32_t>(row);
            float& nearest = depth[size_t(y) * picture.width + x];
            if (inverseDepth > nearest) {
                nearest = inverseDepth;
                picture.Set(x, y, colour);
            }
        }
    }
}

// The part of a camera-space polygon in front of the near plane.
std::vector<XrVector3f> ClipNear(const std::vector<XrVector3f>& polygon)
{
    std::vector<XrVector3f> clipped;
    for (size_t i = 0; i < polygon.size(); ++i) {
        const XrVector3f& a = polygon[i];
        const XrVector3f& b = polygon[(i + 1) % polygon.size()];
        if (a.z >= kNear) {
            clipped.push_back(a);
        }
        if ((a.z >= kNear) != (b.z >= kNear)) {
            clipped.push_back(a + (b - a) * ((kNear - a.z) / (b.z - a.z)));
        }
    }
    return clipped;
}

void DrawLine(simruntime::RgbaImage& picture, float x0, float y0, float x1, float y1, simruntime::Rgba colour,
              int thickness)
{
    const int steps = static_cast<int>(std::max(std::fabs(x1 - x0), std::fabs(y1 - y0))) + 1;
    for (int i = 0; i <= steps; ++i) {
        const float t = static_cast<float>(i) / steps;
        const int cx = static_cast<int>(x0 + (x1 - x0) * t);
        const int cy = static_cast<int>(y0 + (y1 - y0) * t);
        for (int dy = -thickness / 2; dy <= thickness / 2; ++dy) {
            for (int dx = -thickness / 2; dx <= thickness / 2; ++dx) {
                const int px = cx + dx;
                const int py = cy + dy;
                if (px >= 0 && py >= 0 && px < static_cast<int>(picture.width) &&
                    py < static_cast<int>(picture.height)) {
                    picture.Set(static_cast<uint32_t>(px), static_cast<uint32_t>(py), colour);
                }
            }
        }
    }
}

simruntime::Rgba AlignmentColour(XrScenePlaneAlignmentTypeMSFT alignment)
{
    switch (alignment) {
    case XR_SCENE_PLANE_ALIGNMENT_TYPE_HORIZONTAL_MSFT:
        return {40, 200, 60, 255};
    case XR_SCENE_PLANE_ALIGNMENT_TYPE_VERTICAL_MSFT:
        return {40, 120, 255, 255};
    default:
        return {255, 140, 0, 255};
    }
}

} // namespace

void DeliveredRoom::Keep(const UnityXRMeshId& id, const simengine::AcquiredMesh& mesh)
{
    Mesh& kept = meshes[{id.idPart[0], id.idPart[1]}];
    kept.positions = mesh.positions;
    kept.normals = mesh.normals;
    kept.indices = mesh.indices;
    ++version;
}

void DeliveredRoom::Place(const std::vector<UnityXRMeshTransform>& transforms)
{
    for (const UnityXRMeshTransform& transform : transforms) {
        auto found = meshes.find({transform.meshId.idPart[0], transform.meshId.idPart[1]});
        if (found != meshes.end()) {
            found->second.pose = {
                {transform.rotation.x, transform.rotation.y, transform.rotation.z, transform.rotation.w},
                {transform.position.x, transform.position.y, transform.position.z}};
        }
    }
    ++version;
}

std::vector<XrVector3f> DeliveredRoom::PlacedPositions(const Mesh& mesh)
{
    std::vector<XrVector3f> placed;
    placed.reserve(mesh.positions.size());
    for (const UnityXRVector3& position : mesh.positions) {
        placed.push_back(simruntime::Transform(mesh.pose, Vector(position)));
    }
    return placed;
}

std::vector<XrVector3f> DeliveredRoom::PlacedNormals(const Mesh& mesh)
{
    std::vector<XrVector3f> placed;
    placed.reserve(mesh.normals.size());
    for (const UnityXRVector3& normal : mesh.normals) {
        placed.push_back(simruntime::Rotate(mesh.pose.orientation, Vector(normal)));
    }
    return placed;
}

simruntime::RgbaImage DeliveredRoom::Render(const EngineCamera& camera, uint32_t width, uint32_t height) const
{
    simruntime::RgbaImage picture(width, height);
    std::vector<float> depth(size_t(width) * height, 0.0f);
    const float left = std::tan(camera.fov.angleLeft);
    const float right = std::tan(camera.fov.angleRight);
    const float up = std::tan(camera.fov.angleUp);
    const float down = std::tan(camera.fov.angleDown);
    const XrPosef pose{camera.rotation, camera.position};
    for (const auto& entry : meshes) {
        const Mesh& mesh = entry.second;
        const std::vector<XrVector3f> positions = PlacedPositions(mesh);
        const std::vector<XrVector3f> normals = PlacedNormals(mesh);
        for (size_t i = 0; i + 2 < mesh.indices.size(); i += 3) {
            const uint32_t a = mesh.indices[i], b = mesh.indices[i + 1], c = mesh.indices[i + 2];
            if (std::max({a, b, c}) >= positions.size()) {
                continue;
            }
            const XrVector3f normal = normals.size() == positions.size()
                                          ? normals[a] + normals[b] + normals[c]
                                          : simruntime::Cross(positions[b] - positions[a], positions[c] - positions[a]);
            const std::vector<XrVector3f> polygon = ClipNear({simruntime::InverseTransform(pose, positions[a]),
                                                              simruntime::InverseTransform(pose, positions[b]),
                                                              simruntime::InverseTransform(pose, positions[c])});
            std::vector<ScreenVertex> screen;
            for (const XrVector3f& p : polygon) {
                screen.push_back(
                    {(p.x / p.z - left) / (right - left) * width, (up - p.y / p.z) / (up - down) * height, 1.0f / p.z});
            }
            // The clipped polygon is convex: a fan of triangles.
            for (size_t k = 1; k + 1 < screen.size(); ++k) {
                const ScreenVertex triangle[3] = {screen[0], screen[k], screen[k + 1]};
                FillTriangle(picture, depth, triangle, ShadeByNormal(normal));
            }
        }
    }
    return picture;
}

simruntime::RgbaImage DeliveredRoom::TopMap(const EngineCamera& camera, uint32_t width, uint32_t height) const
{
    simruntime::RgbaImage picture(width, height, {24, 24, 28, 255});
    float minX = camera.position.x, maxX = camera.position.x, minZ = camera.position.z, maxZ = camera.position.z;
    float minY = 0, maxY = 0;
    for (const auto& entry : meshes) {
        for (const XrVector3f& p : PlacedPositions(entry.second)) {
            minX = std::min(minX, p.x), maxX = std::max(maxX, p.x), minZ = std::min(minZ, p.z);
            maxZ = std::max(maxZ, p.z), minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
        }
    }
    const float margin = 0.3f;
    const float legend = 30.0f;
    const float scale =
        std::min((width - 20.0f) / (maxX - minX + 2 * margin), (height - 20.0f - legend) / (maxZ - minZ + 2 * margin));
    const float centreX = (minX + maxX) / 2;
    const float centreZ = (minZ + maxZ) / 2;
    const auto toPixel = [&](XrVector3f p) {
        return std::make_pair(width / 2.0f + (p.x - centreX) * scale,
                              (height - legend) / 2.0f - (p.z - centreZ) * scale);
    };
    // Height as depth: the highest surface wins, lighter the higher it is.
    std::vector<float> depth(size_t(width) * height, 0.0f);
    for (const auto& entry : meshes) {
        const std::vector<XrVector3f> positions = PlacedPositions(entry.second);
        const std::vector<uint32_t>& indices = entry.second.indices;
        for (size_t i = 0; i + 2 < indices.size(); i += 3) {
            if (std::max({indices[i], indices[i + 1], indices[i + 2]}) >= positions.size()) {
                continue;
            }
            ScreenVertex triangle[3];
            float top = 0;
            for (int k = 0; k < 3; ++k) {
                const XrVector3f& p = positions[indices[i + k]];
                const auto [x, y] = toPixel(p);
                triangle[k] = {x, y, 1.0f + p.y - minY};
                top = std::max(top, p.y);
            }
            const auto grey = static_cast<uint8_t>(70 + 150 * (top - minY) / std::max(0.01f, maxY - minY));
            FillTriangle(picture, depth, triangle, {grey, grey, grey, 255});
        }
    }
    for (const PlaneOutline& plane : planes) {
        for (size_t i = 0; i < plane.corners.size(); ++i) {
            const auto [x0, y0] = toPixel(plane.corners[i]);
            const auto [x1, y1] = toPixel(plane.corners[(i + 1) % plane.corners.size()]);
            DrawLine(picture, x0, y0, x1, y1, AlignmentColour(plane.alignment), 3);
        }
    }
    // The camera: a dot and its line of sight.
    const auto [cx, cy] = toPixel(camera.position);
    const XrVector3f ahead = camera.position + simruntime::Rotate(camera.rotation, {0, 0, 0.6f});
    const auto [ax, ay] = toPixel(ahead);
    DrawLine(picture, cx, cy, ax, ay, {255, 60, 60, 255}, 3);
    DrawLine(picture, cx, cy, cx, cy, {255, 60, 60, 255}, 9);

    const int y = static_cast<int>(height - legend + 8);
    int x = 10;
    for (const auto& [name, alignment] :
         {std::make_pair("HORIZONTAL", XR_SCENE_PLANE_ALIGNMENT_TYPE_HORIZONTAL_MSFT),
          std::make_pair("VERTICAL", XR_SCENE_PLANE_ALIGNMENT_TYPE_VERTICAL_MSFT),
          std::make_pair("NON-ORTHOGONAL", XR_SCENE_PLANE_ALIGNMENT_TYPE_NON_ORTHOGONAL_MSFT)}) {
        DrawText(picture, name, x, y, 2, AlignmentColour(alignment));
        x += TextWidth(name, 2) + 14;
    }
    DrawText(picture, "CAMERA", x, y, 2, {255, 60, 60, 255});
    return picture;
}

void DeliveredRoom::WriteObj(const std::string& path) const
{
    std::ofstream out(path);
    out << "# The meshes libKelbrin delivered to the engine, placed by their transforms, in engine\n"
           "# coordinates (left-handed: +x right, +y up, +z ahead), metres.\n";
    size_t first = 1;
    size_t firstNormal = 1;
    for (const auto& [key, mesh] : meshes) {
        char name[48];
        std::snprintf(name, sizeof(name), "mesh_%016llx%016llx", static_cast<unsigned long long>(key.first),
                      static_cast<unsigned long long>(key.second));
        out << "o " << name << '\n';
        for (const XrVector3f& p : PlacedPositions(mesh)) {
            out << "v " << p.x << ' ' << p.y << ' ' << p.z << '\n';
        }
        const std::vector<XrVector3f> normals = PlacedNormals(mesh);
        for (const XrVector3f& n : normals) {
            out << "vn " << n.x << ' ' << n.y << ' ' << n.z << '\n';
        }
        const bool withNormals = normals.size() == mesh.positions.size();
        for (size_t i = 0; i + 2 < mesh.indices.size(); i += 3) {
            out << 'f';
            for (int k = 0; k < 3; ++k) {
                out << ' ' << first + mesh.indices[i + k];
                if (withNormals) {
                    out << "//" << firstNormal + mesh.indices[i + k];
                }
            }
            out << '\n';
        }
        first += mesh.positions.size();
        firstNormal += normals.size();
    }
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

} // namespace quenra::sim

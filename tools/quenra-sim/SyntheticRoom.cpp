#include "SyntheticRoom.h"

#include <cmath>
#include <utility>

namespace quenra::sim {
namespace {

using simruntime::SimMeshBuffer;
using simruntime::SimPlane;
using simruntime::SimVisualMesh;
using simruntime::SimWorld;

// The room in the base space (OpenXR: +y up, -z ahead), floor at y = 0, centred on the origin.
constexpr float kWidth = 5.0f;
constexpr float kDepth = 4.0f;
constexpr float kHeight = 2.6f;
// How far a scanned surface strays from the ideal one.
constexpr float kScanNoise = 0.008f;

constexpr float kHalfSqrt2 = 0.70710678f;
// Plane orientations: a plane's +z axis is its normal.
constexpr XrQuaternionf kFacingUp{-kHalfSqrt2, 0, 0, kHalfSqrt2};
constexpr XrQuaternionf kFacingBack{0, 0, 0, 1};
constexpr XrQuaternionf kFacingAhead{0, 1, 0, 0};
constexpr XrQuaternionf kFacingRight{0, kHalfSqrt2, 0, kHalfSqrt2};
constexpr XrQuaternionf kFacingLeft{0, -kHalfSqrt2, 0, kHalfSqrt2};
// Tilted 60 degrees back from upright: neither horizontal nor vertical.
constexpr XrQuaternionf kLeaning{-0.5f, 0, 0, 0.8660254f};

enum ComponentKind : uint8_t {
    VisualMeshKind = 1,
    PlaneKind = 2,
};

XrVector3f operator+(const XrVector3f& a, const XrVector3f& b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}

XrVector3f operator*(const XrVector3f& a, float s)
{
    return {a.x * s, a.y * s, a.z * s};
}

XrVector3f UnitCross(const XrVector3f& a, const XrVector3f& b)
{
    const XrVector3f c{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    const float length = std::sqrt(c.x * c.x + c.y * c.y + c.z * c.z);
    return c * (1.0f / length);
}

// A repeatable value in [-1, 1] per buffer and vertex, so a buffer's data never changes
// while its identifier stays.
float Jitter(uint64_t seed, uint32_t vertex)
{
    uint32_t h = static_cast<uint32_t>(seed) * 0x9E3779B1u ^ vertex * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return static_cast<float>(h & 0xFFFF) / 32767.5f - 1.0f;
}

// A rectangle of nu x nv cells spanned by u and v from origin, wound so that u x v is
// its front side; each vertex strays from the surface along that side by scan noise.
void AddPatch(SimMeshBuffer& buffer, uint64_t seed, XrVector3f origin, XrVector3f u, XrVector3f v, uint32_t nu,
              uint32_t nv)
{
    const XrVector3f normal = UnitCross(u, v);
    const auto first = static_cast<uint32_t>(buffer.vertices.size());
    for (uint32_t j = 0; j <= nv; ++j) {
        for (uint32_t i = 0; i <= nu; ++i) {
            const auto vertex = static_cast<uint32_t>(buffer.vertices.size());
            buffer.vertices.push_back(origin + u * (static_cast<float>(i) / nu) + v * (static_cast<float>(j) / nv) +
                                      normal * (kScanNoise * Jitter(seed, vertex)));
        }
    }
    auto at = [&](uint32_t i, uint32_t j) { return first + j * (nu + 1) + i; };
    for (uint32_t j = 0; j < nv; ++j) {
        for (uint32_t i = 0; i < nu; ++i) {
            buffer.indices.insert(buffer.indices.end(), {at(i, j), at(i + 1, j), at(i + 1, j + 1)});
            buffer.indices.insert(buffer.indices.end(), {at(i, j), at(i + 1, j + 1), at(i, j + 1)});
        }
    }
}

// A box of half extents h around centre, faces outward, each face n x n cells.
void AddBox(SimMeshBuffer& buffer, uint64_t seed, XrVector3f centre, XrVector3f h, uint32_t n)
{
    const std::pair<XrVector3f, std::pair<XrVector3f, XrVector3f>> faces[] = {
        {{h.x, -h.y, h.z}, {{0, 0, -2 * h.z}, {0, 2 * h.y, 0}}},  // +x
        {{-h.x, -h.y, -h.z}, {{0, 0, 2 * h.z}, {0, 2 * h.y, 0}}}, // -x
        {{-h.x, h.y, h.z}, {{2 * h.x, 0, 0}, {0, 0, -2 * h.z}}},  // +y
        {{-h.x, -h.y, -h.z}, {{2 * h.x, 0, 0}, {0, 0, 2 * h.z}}}, // -y
        {{-h.x, -h.y, h.z}, {{2 * h.x, 0, 0}, {0, 2 * h.y, 0}}},  // +z
        {{h.x, -h.y, -h.z}, {{-2 * h.x, 0, 0}, {0, 2 * h.y, 0}}}, // -z
    };
    for (const auto& [corner, span] : faces) {
        AddPatch(buffer, seed, centre + corner, span.first, span.second, n, n);
    }
}

XrUuidMSFT MakeUuid(ComponentKind kind, uint8_t index)
{
    // Readable in a dump: "QR", the kind, the index.
    XrUuidMSFT id{};
    id.bytes[0] = 'Q';
    id.bytes[1] = 'R';
    id.bytes[2] = kind;
    id.bytes[3] = index;
    return id;
}

class WorldBuilder {
public:
    void AddMesh(uint8_t index, XrVector3f position, uint64_t bufferId, SimMeshBuffer buffer)
    {
        SimVisualMesh mesh;
        mesh.id = MakeUuid(VisualMeshKind, index);
        mesh.pose = {{0, 0, 0, 1}, position};
        mesh.meshBufferId = bufferId;
        world.meshes.push_back(mesh);
        world.buffers[bufferId] = std::move(buffer);
    }

    // A plane and its mesh: one quad in the plane's own x-y coordinates.
    void AddPlane(uint8_t index, XrScenePlaneAlignmentTypeMSFT alignment, XrPosef pose, XrExtent2Df size)
    {
        SimPlane plane;
        plane.id = MakeUuid(PlaneKind, index);
        plane.pose = pose;
        plane.alignment = alignment;
        plane.size = size;
        plane.meshBufferId = 2000 + index;
        world.planes.push_back(plane);
        const float w = size.width / 2;
        const float h = size.height / 2;
        world.buffers[plane.meshBufferId] = {
            {{-w, -h, 0}, {w, -h, 0}, {w, h, 0}, {-w, h, 0}}, {0, 1, 2, 0, 2, 3}, true};
    }

    SimWorld Take() { return std::move(world); }

private:
    SimWorld world;
};

// How many times wall `wall` was scanned more finely by scan `scan`: the walls take turns from scan 1 on.
uint32_t WallRefinements(uint32_t wall, uint32_t scan)
{
    return scan > wall ? (scan - 1 - wall) / 4 + 1 : 0;
}

void AddWalls(WorldBuilder& room, uint32_t scan)
{
    struct Wall {
        XrVector3f centre;
        XrVector3f corner;
        XrVector3f along;
        XrQuaternionf facing;
        float length;
    };
    const float x = kWidth / 2;
    const float y = kHeight / 2;
    const float z = kDepth / 2;
    const Wall walls[] = {
        {{0, y, -z}, {-x, -y, 0}, {kWidth, 0, 0}, kFacingBack, kWidth},  // ahead, facing back into the room
        {{0, y, z}, {x, -y, 0}, {-kWidth, 0, 0}, kFacingAhead, kWidth},  // behind
        {{-x, y, 0}, {0, -y, z}, {0, 0, -kDepth}, kFacingRight, kDepth}, // left
        {{x, y, 0}, {0, -y, -z}, {0, 0, kDepth}, kFacingLeft, kDepth},   // right
    };
    for (uint32_t w = 0; w < 4; ++w) {
        const Wall& wall = walls[w];
        const uint32_t refinements = WallRefinements(w, scan);
        const uint64_t bufferId = 1100 + 10 * w + refinements;
        SimMeshBuffer buffer;
        AddPatch(buffer, bufferId, wall.corner, wall.along, {0, kHeight, 0}, 20 + 8 * refinements,
                 10 + 4 * refinements);
        room.AddMesh(static_cast<uint8_t>(1 + w), wall.centre, bufferId, std::move(buffer));
        room.AddPlane(static_cast<uint8_t>(1 + w), XR_SCENE_PLANE_ALIGNMENT_TYPE_VERTICAL_MSFT,
                      {wall.facing, wall.centre}, {wall.length, kHeight});
    }
}

void AddFloor(WorldBuilder& room)
{
    SimMeshBuffer floor;
    AddPatch(floor, 1000, {-kWidth / 2, 0, kDepth / 2}, {kWidth, 0, 0}, {0, 0, -kDepth}, 24, 20);
    room.AddMesh(0, {0, 0, 0}, 1000, std::move(floor));
    room.AddPlane(0, XR_SCENE_PLANE_ALIGNMENT_TYPE_HORIZONTAL_MSFT, {kFacingUp, {0, 0, 0}}, {kWidth, kDepth});
}

void AddTable(WorldBuilder& room, uint32_t scan)
{
    const XrVector3f position{0.6f + 0.003f * static_cast<float>(scan), 0, -0.8f};
    SimMeshBuffer table;
    AddBox(table, 1200, {0, 0.74f, 0}, {0.6f, 0.02f, 0.35f}, 8);
    for (const float legX : {-0.55f, 0.55f}) {
        for (const float legZ : {-0.3f, 0.3f}) {
            AddBox(table, 1200, {legX, 0.36f, legZ}, {0.025f, 0.36f, 0.025f}, 2);
        }
    }
    room.AddMesh(5, position, 1200, std::move(table));
    room.AddPlane(5, XR_SCENE_PLANE_ALIGNMENT_TYPE_HORIZONTAL_MSFT, {kFacingUp, position + XrVector3f{0, 0.76f, 0}},
                  {1.2f, 0.7f});
}

void AddChair(WorldBuilder& room)
{
    const XrVector3f position{-1.2f, 0, 0.6f};
    SimMeshBuffer chair;
    AddBox(chair, 1300, {0, 0.45f, 0}, {0.22f, 0.025f, 0.22f}, 4);
    AddBox(chair, 1300, {0, 0.72f, 0.2f}, {0.22f, 0.25f, 0.02f}, 4);
    for (const float legX : {-0.2f, 0.2f}) {
        for (const float legZ : {-0.2f, 0.2f}) {
            AddBox(chair, 1300, {legX, 0.21f, legZ}, {0.02f, 0.21f, 0.02f}, 1);
        }
    }
    room.AddMesh(6, position, 1300, std::move(chair));
    room.AddPlane(6, XR_SCENE_PLANE_ALIGNMENT_TYPE_HORIZONTAL_MSFT, {kFacingUp, position + XrVector3f{0, 0.475f, 0}},
                  {0.44f, 0.44f});
}

void AddLeaningBoard(WorldBuilder& room)
{
    room.AddPlane(7, XR_SCENE_PLANE_ALIGNMENT_TYPE_NON_ORTHOGONAL_MSFT, {kLeaning, {1.5f, 0.6f, -1.7f}}, {0.8f, 1.3f});
}

} // namespace

SimWorld SyntheticRoom::Scan(uint32_t scan)
{
    WorldBuilder room;
    AddFloor(room);
    AddWalls(room, scan);
    AddTable(room, scan);
    if (scan >= 1) {
        AddLeaningBoard(room);
    }
    if (scan >= 2) {
        AddChair(room);
    }
    return room.Take();
}

} // namespace quenra::sim

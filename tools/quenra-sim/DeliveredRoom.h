// The room as the engine holds it after libKelbrin delivered it: each acquired mesh (engine
// coordinates: left-handed, +z ahead) with the transform last handed over for it, and the
// outlines of the planes the script read. It draws the room from an engine camera (the
// application's projection layer), maps it from above, and writes it as a Wavefront OBJ file.
#pragma once

#include <openxr/openxr.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "FakeMeshSubsystem.h"
#include "RgbaImage.h"

namespace quenra::sim {

// Where the engine's camera is and what it sees, in engine coordinates.
struct EngineCamera {
    XrVector3f position;
    XrQuaternionf rotation;
    XrFovf fov;
};

struct PlaneOutline {
    XrScenePlaneAlignmentTypeMSFT alignment;
    // The corners in engine coordinates.
    std::vector<XrVector3f> corners;
};

class DeliveredRoom {
public:
    void Keep(const UnityXRMeshId& id, const simengine::AcquiredMesh& mesh);
    void Place(const std::vector<UnityXRMeshTransform>& transforms);
    // The planes of one read of the script, which replace those of the read before.
    void KeepPlanes(std::vector<PlaneOutline> planes) { this->planes = std::move(planes); }
    // Changes with every mesh kept and every transform placed.
    uint64_t Version() const { return version; }
    size_t MeshCount() const { return meshes.size(); }

    // The room through the camera, with a depth buffer, each triangle shaded by its normal;
    // transparent where no mesh is.
    simruntime::RgbaImage Render(const EngineCamera& camera, uint32_t width, uint32_t height) const;
    // Seen from above (+x right, +z up the picture), meshes shaded by height, planes outlined in the
    // colour of their alignment, the camera marked.
    simruntime::RgbaImage TopMap(const EngineCamera& camera, uint32_t width, uint32_t height) const;
    // One object per mesh id, placed vertices and normals. Throws std::runtime_error when the file
    // cannot be written.
    void WriteObj(const std::string& path) const;

private:
    struct Mesh {
        std::vector<UnityXRVector3> positions;
        std::vector<UnityXRVector3> normals;
        std::vector<uint32_t> indices;
        XrPosef pose{{0, 0, 0, 1}, {0, 0, 0}};
    };
    using Key = std::pair<uint64_t, uint64_t>;

    // The mesh's vertices and normals placed in the room.
    static std::vector<XrVector3f> PlacedPositions(const Mesh& mesh);
    static std::vector<XrVector3f> PlacedNormals(const Mesh& mesh);

    std::map<Key, Mesh> meshes;
    std::vector<PlaneOutline> planes;
    uint64_t version = 0;
};

} // namespace quenra::sim

// The current scene's planes as scripts read them: filtered by alignment, kept between
// scenes until read again, handed out as records with their meshes.
#pragma once

#include <openxr/openxr.h>

#include <cstdint>
#include <map>
#include <vector>

#include "ScenePlane.h"
#include "SceneReader.h"
#include "UnityXRMeshIdComparer.h"
#include "UnityXRMeshing.h"

namespace kelbrin {

class ScenePlanes {
public:
    // Alignments a plane read asks for; only these three bits count.
    enum PlaneFilterFlags : uint32_t {
        PlaneFilterHorizontal = 1,
        PlaneFilterVertical = 2,
        PlaneFilterNonOrthogonal = 4,
    };

    ScenePlanes(const SceneReader& reader, IUnityXRTrace* trace) : reader(reader), trace(trace) {}

    // Reads the current scene's planes that pass the filter, replacing those read before.
    bool Update();
    bool Count(uint32_t* count) const;
    // `count` must be the number of planes; records come in identifier order, in the OpenXR
    // convention. Records after those collected (a plane whose mesh could not be read) are zeroed.
    bool Fetch(uint32_t count, ScenePlane* planes) const;
    // The plane's mesh as the runtime gives it now; false without writing when it no longer
    // fits the record's vertex and index counts.
    bool FetchVertices(const ScenePlane* plane, XrVector3f* vertices, uint32_t* indices) const;
    // Takes effect at the next Update.
    void SetFilterFlags(uint32_t flags) { filterFlags = flags; }
    // Horizontal, vertical, non-orthogonal, each if its bit is set.
    void GetFilters(std::vector<XrScenePlaneAlignmentTypeMSFT>& filters) const;
    // The mesh buffer of a plane read, if the identifier names one.
    bool FindMeshBuffer(const UnityXRMeshId& id, uint64_t& meshBufferId) const;

private:
    const SceneReader& reader;
    IUnityXRTrace* const trace;
    std::map<UnityXRMeshId, XrScenePlaneMSFT, UnityXRMeshIdComparer> planesById;
    std::map<UnityXRMeshId, XrSceneComponentLocationMSFT, UnityXRMeshIdComparer> locationsById;
    // All alignments by default.
    uint32_t filterFlags = 0xFFFFFFFF;
};

} // namespace kelbrin

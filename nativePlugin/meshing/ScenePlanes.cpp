#include "ScenePlanes.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "MeshIdentifier.h"
#include "TraceLog.h"

namespace kelbrin {

namespace {

// Mesh buffer ids appear in messages as decimal text.
std::string MeshBufferIdText(uint64_t meshBufferId)
{
    return std::to_string(meshBufferId);
}

} // namespace

// --- Reading the planes ----------------------------------------------------------------------

void ScenePlanes::GetFilters(std::vector<XrScenePlaneAlignmentTypeMSFT>& filters) const
{
    filters.reserve(3);
    if ((filterFlags & PlaneFilterHorizontal) != 0) {
        filters.push_back(XR_SCENE_PLANE_ALIGNMENT_TYPE_HORIZONTAL_MSFT);
    }
    if ((filterFlags & PlaneFilterVertical) != 0) {
        filters.push_back(XR_SCENE_PLANE_ALIGNMENT_TYPE_VERTICAL_MSFT);
    }
    if ((filterFlags & PlaneFilterNonOrthogonal) != 0) {
        filters.push_back(XR_SCENE_PLANE_ALIGNMENT_TYPE_NON_ORTHOGONAL_MSFT);
    }
}

bool ScenePlanes::Update()
{
    // Nothing of a plane outlives the read that no longer finds it.
    planesById.clear();
    locationsById.clear();

    // Chained even when empty: then the runtime lets no plane through.
    std::vector<XrScenePlaneAlignmentTypeMSFT> filters;
    GetFilters(filters);
    XrScenePlaneAlignmentFilterInfoMSFT filter{XR_TYPE_SCENE_PLANE_ALIGNMENT_FILTER_INFO_MSFT};
    filter.alignmentCount = static_cast<uint32_t>(filters.size());
    filter.alignments = filters.data();
    XrSceneComponentsGetInfoMSFT getInfo{XR_TYPE_SCENE_COMPONENTS_GET_INFO_MSFT};
    getInfo.next = &filter;
    getInfo.componentType = XR_SCENE_COMPONENT_TYPE_PLANE_MSFT;

    std::vector<XrSceneComponentMSFT> components;
    std::vector<XrUuidMSFT> ids;
    std::vector<XrScenePlaneMSFT> planes;
    std::vector<XrSceneComponentLocationMSFT> locations;
    if (!reader.ReadComponents(getInfo, components, ids, planes, locations)) {
        return false;
    }
    for (size_t i = 0; i < ids.size(); ++i) {
        const UnityXRMeshId id = XrUuidMSFTToUnityXRMeshId(ids[i]);
        planesById[id] = planes[i];
        locationsById[id] = locations[i];
    }
    return true;
}

// --- Handing the planes to scripts ----------------------------------------------------------

bool ScenePlanes::Count(uint32_t* count) const
{
    if (count == nullptr) {
        TraceLog(trace, kXRTraceLevelError, "Invalid count pointer!");
        return false;
    }
    *count = static_cast<uint32_t>(planesById.size());
    return true;
}

bool ScenePlanes::Fetch(uint32_t count, ScenePlane* planes) const
{
    if (planes == nullptr) {
        TraceLog(trace, kXRTraceLevelError, "Invalid scene planes collection!");
        return false;
    }
    if (count != planesById.size()) {
        TraceLog(trace, kXRTraceLevelWarning,
                 "SceneObserver::FetchScenePlanes attempting to fetch %i planes, but %i found", static_cast<int>(count),
                 static_cast<int>(planesById.size()));
        return false;
    }
    if (count == 0) {
        return true;
    }

    // Records are assembled in zeroed storage and written whole, padding included, so the
    // script's array holds nothing but what is described here.
    std::vector<ScenePlane> records(count);
    std::memset(records.data(), 0, records.size() * sizeof(ScenePlane));
    auto record = records.begin();
    std::vector<XrVector3f> vertices;
    std::vector<uint32_t> indices;
    for (const auto& [id, plane] : planesById) {
        vertices.clear();
        indices.clear();
        if (!reader.ReadMeshBuffers(plane.meshBufferId, vertices, indices)) {
            TraceLog(trace, kXRTraceLevelError, "SceneObserver::FetchScenePlanes Failed to read mesh buffers for %s",
                     MeshBufferIdText(plane.meshBufferId).c_str());
            continue;
        }
        const XrSceneComponentLocationMSFT& location = locationsById.at(id);
        record->id = id;
        record->alignment = plane.alignment;
        record->size = plane.size;
        record->locationFlags = location.flags;
        record->pose = location.pose;
        record->vertexCount = static_cast<uint32_t>(vertices.size());
        record->indexCount = static_cast<uint32_t>(indices.size());
        ++record;
    }
    // A skipped plane leaves zeroed records after the collected ones: an all-zero id names no plane.
    std::memcpy(planes, records.data(), records.size() * sizeof(ScenePlane));
    return true;
}

bool ScenePlanes::FetchVertices(const ScenePlane* plane, XrVector3f* vertices, uint32_t* indices) const
{
    if (plane == nullptr) {
        TraceLog(trace, kXRTraceLevelError, "Invalid scene plane!");
        return false;
    }
    const auto found = planesById.find(plane->id);
    if (found == planesById.end()) {
        TraceLog(trace, kXRTraceLevelWarning, "Could not find plane!");
        return false;
    }
    const uint64_t meshBufferId = found->second.meshBufferId;
    std::vector<XrVector3f> readVertices;
    std::vector<uint32_t> readIndices;
    if (!reader.ReadMeshBuffers(meshBufferId, readVertices, readIndices)) {
        TraceLog(trace, kXRTraceLevelWarning, "Failed to read mesh buffers for id %s!",
                 MeshBufferIdText(meshBufferId).c_str());
        return false;
    }
    // The script sized its arrays from the record; a mesh that has grown since would overrun them.
    if (readVertices.size() > plane->vertexCount || readIndices.size() > plane->indexCount) {
        TraceLog(trace, kXRTraceLevelWarning,
                 "Plane mesh %s has grown to %u vertices and %u indices since its record was fetched (%u and %u)",
                 MeshBufferIdText(meshBufferId).c_str(), static_cast<unsigned>(readVertices.size()),
                 static_cast<unsigned>(readIndices.size()), plane->vertexCount, plane->indexCount);
        return false;
    }
    if ((vertices == nullptr && !readVertices.empty()) || (indices == nullptr && !readIndices.empty())) {
        TraceLog(trace, kXRTraceLevelError, "Invalid plane vertex or index array!");
        return false;
    }
    std::copy(readVertices.begin(), readVertices.end(), vertices);
    std::copy(readIndices.begin(), readIndices.end(), indices);
    return true;
}

bool ScenePlanes::FindMeshBuffer(const UnityXRMeshId& id, uint64_t& meshBufferId) const
{
    const auto plane = planesById.find(id);
    if (plane == planesById.end()) {
        return false;
    }
    meshBufferId = plane->second.meshBufferId;
    return true;
}

} // namespace kelbrin

#include "SceneObserver.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "MeshIdentifier.h"
#include "ProviderContext.h"
#include "SceneComponents.h"
#include "XrBindings.h"

namespace {

// Mesh buffer ids appear in messages as decimal text.
std::string MeshBufferIdText(uint64_t meshBufferId)
{
    return std::to_string(meshBufferId);
}

} // namespace

// --- Reading the planes ----------------------------------------------------------------------

void SceneObserver::GetPlanesFilters(std::vector<XrScenePlaneAlignmentTypeMSFT>& filters) const
{
    std::lock_guard<std::recursive_mutex> lock(stateMutex);
    filters.reserve(3);
    if ((planesFilterFlags & PlaneFilterHorizontal) != 0) {
        filters.push_back(XR_SCENE_PLANE_ALIGNMENT_TYPE_HORIZONTAL_MSFT);
    }
    if ((planesFilterFlags & PlaneFilterVertical) != 0) {
        filters.push_back(XR_SCENE_PLANE_ALIGNMENT_TYPE_VERTICAL_MSFT);
    }
    if ((planesFilterFlags & PlaneFilterNonOrthogonal) != 0) {
        filters.push_back(XR_SCENE_PLANE_ALIGNMENT_TYPE_NON_ORTHOGONAL_MSFT);
    }
}

bool SceneObserver::UpdatePlanes()
{
    std::lock_guard<std::recursive_mutex> lock(stateMutex);
    if (!IsReadyWithProviders()) {
        return false;
    }
    // Between scenes the planes read earlier stay available.
    if (computeState != SceneReady) {
        return false;
    }
    scenePlanes.clear();

    // Chained even when empty: then the runtime lets no plane through.
    std::vector<XrScenePlaneAlignmentTypeMSFT> filters;
    GetPlanesFilters(filters);
    XrScenePlaneAlignmentFilterInfoMSFT filter{XR_TYPE_SCENE_PLANE_ALIGNMENT_FILTER_INFO_MSFT};
    filter.alignmentCount = static_cast<uint32_t>(filters.size());
    filter.alignments = filters.data();
    XrSceneComponentsGetInfoMSFT getInfo{XR_TYPE_SCENE_COMPONENTS_GET_INFO_MSFT};
    getInfo.next = &filter;
    getInfo.componentType = XR_SCENE_COMPONENT_TYPE_PLANE_MSFT;

    std::vector<XrUuidMSFT> ids;
    std::vector<XrScenePlaneMSFT> planes;
    std::vector<XrSceneComponentLocationMSFT> locations;
    if (!ReadSceneComponents(getInfo, ids, planes, locations)) {
        return false;
    }
    for (size_t i = 0; i < ids.size(); ++i) {
        const UnityXRMeshId id = XrUuidMSFTToUnityXRMeshId(ids[i]);
        scenePlanes[id] = planes[i];
        planeLocations[id] = locations[i];
    }
    return true;
}

void SceneObserver::SetPlanesFilterFlags(uint32_t flags)
{
    std::lock_guard<std::recursive_mutex> lock(stateMutex);
    planesFilterFlags = flags;
}

// --- Handing the planes to scripts ----------------------------------------------------------

bool SceneObserver::CountScenePlanes(uint32_t* count) const
{
    std::lock_guard<std::recursive_mutex> lock(stateMutex);
    if (!IsReadyWithProviders()) {
        return false;
    }
    if (count == nullptr) {
        context->Log(kXRTraceLevelError, "Invalid count pointer!");
        return false;
    }
    *count = static_cast<uint32_t>(scenePlanes.size());
    return true;
}

bool SceneObserver::FetchScenePlanes(uint32_t count, ScenePlane* planes) const
{
    std::lock_guard<std::recursive_mutex> lock(stateMutex);
    if (!IsReadyWithProviders()) {
        return false;
    }
    if (planes == nullptr) {
        context->Log(kXRTraceLevelError, "Invalid scene planes collection!");
        return false;
    }
    if (count != scenePlanes.size()) {
        context->Log(kXRTraceLevelWarning,
                     "SceneObserver::FetchScenePlanes attempting to fetch %i planes, but %i found",
                     static_cast<int>(count), static_cast<int>(scenePlanes.size()));
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
    for (const auto& [id, plane] : scenePlanes) {
        vertices.clear();
        indices.clear();
        if (!ReadMeshBuffers(plane.meshBufferId, vertices, indices)) {
            context->Log(kXRTraceLevelError, "SceneObserver::FetchScenePlanes Failed to read mesh buffers for %s",
                         MeshBufferIdText(plane.meshBufferId).c_str());
            continue;
        }
        const XrSceneComponentLocationMSFT& location = planeLocations.at(id);
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

bool SceneObserver::FetchPlaneVertices(const ScenePlane* plane, XrVector3f* vertices, uint32_t* indices) const
{
    std::lock_guard<std::recursive_mutex> lock(stateMutex);
    if (!IsReadyWithProviders()) {
        return false;
    }
    if (plane == nullptr) {
        context->Log(kXRTraceLevelError, "Invalid scene plane!");
        return false;
    }
    const auto found = scenePlanes.find(plane->id);
    if (found == scenePlanes.end()) {
        context->Log(kXRTraceLevelWarning, "Could not find plane!");
        return false;
    }
    const uint64_t meshBufferId = found->second.meshBufferId;
    std::vector<XrVector3f> readVertices;
    std::vector<uint32_t> readIndices;
    if (!ReadMeshBuffers(meshBufferId, readVertices, readIndices)) {
        context->Log(kXRTraceLevelWarning, "Failed to read mesh buffers for id %s!",
                     MeshBufferIdText(meshBufferId).c_str());
        return false;
    }
    // The script sized its arrays from the record; a mesh that has grown since would overrun them.
    if (readVertices.size() > plane->vertexCount || readIndices.size() > plane->indexCount) {
        context->Log(kXRTraceLevelWarning,
                     "Plane mesh %s has grown to %u vertices and %u indices since its record was fetched (%u and %u)",
                     MeshBufferIdText(meshBufferId).c_str(), static_cast<unsigned>(readVertices.size()),
                     static_cast<unsigned>(readIndices.size()), plane->vertexCount, plane->indexCount);
        return false;
    }
    if ((vertices == nullptr && !readVertices.empty()) || (indices == nullptr && !readIndices.empty())) {
        context->Log(kXRTraceLevelError, "Invalid plane vertex or index array!");
        return false;
    }
    std::copy(readVertices.begin(), readVertices.end(), vertices);
    std::copy(readIndices.begin(), readIndices.end(), indices);
    return true;
}

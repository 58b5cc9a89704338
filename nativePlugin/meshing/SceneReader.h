// The reads of the current scene the observer makes: its components of one type with
// their records and locations, and a mesh buffer's vertices and indices. Each logs and
// returns false on any failure; none keeps state, so one object serves every thread.
#pragma once

#include <openxr/openxr.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <vector>

#include "TraceLog.h"
#include "XrBindings.h"

namespace kelbrin {

// The record chained behind a components read for each kind of component record.
template <typename Record> struct ChainedRecords;

template <> struct ChainedRecords<XrSceneMeshMSFT> {
    static XrSceneMeshesMSFT For(std::vector<XrSceneMeshMSFT>& records)
    {
        XrSceneMeshesMSFT chained{XR_TYPE_SCENE_MESHES_MSFT};
        chained.sceneMeshCount = static_cast<uint32_t>(records.size());
        chained.sceneMeshes = records.data();
        return chained;
    }
};

template <> struct ChainedRecords<XrScenePlaneMSFT> {
    static XrScenePlanesMSFT For(std::vector<XrScenePlaneMSFT>& records)
    {
        XrScenePlanesMSFT chained{XR_TYPE_SCENE_PLANES_MSFT};
        chained.scenePlaneCount = static_cast<uint32_t>(records.size());
        chained.scenePlanes = records.data();
        return chained;
    }
};

// Counts come from the runtime: one too large to allocate fails the caller instead of throwing.
template <typename... Lists> bool TryResizeAll(uint32_t count, Lists&... lists)
{
    try {
        (lists.resize(count), ...);
        return true;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    return false;
}

class SceneReader {
public:
    SceneReader(XrBindings& bindings, IUnityXRTrace* trace) : bindings(bindings), trace(trace) {}

    // Two-call read of the current scene's components of getInfo's type with their records
    // (XrSceneMeshMSFT or XrScenePlaneMSFT) chained behind, then their locations in the base
    // space at the predicted display time. `components` is the read's scratch; every list keeps
    // its storage, so a caller that keeps them reads a scene as large again without allocating.
    template <typename Record>
    bool ReadComponents(const XrSceneComponentsGetInfoMSFT& getInfo, std::vector<XrSceneComponentMSFT>& components,
                        std::vector<XrUuidMSFT>& ids, std::vector<Record>& records,
                        std::vector<XrSceneComponentLocationMSFT>& locations) const;
    // Two-call read of a mesh buffer of the current scene, as the runtime gives it (OpenXR
    // convention, 32-bit indices). Never lets the runtime write past the storage it was given;
    // a count too large to allocate is a logged failure. False without a current scene.
    bool ReadMeshBuffers(uint64_t meshBufferId, std::vector<XrVector3f>& vertices,
                         std::vector<uint32_t>& indices) const;
    // Only the size of a mesh buffer's vertices: change detection reads no vertex data.
    bool ReadVertexCount(uint64_t meshBufferId, uint32_t& vertexCount) const;

private:
    XrBindings& bindings;
    IUnityXRTrace* const trace;
};

template <typename Record>
bool SceneReader::ReadComponents(const XrSceneComponentsGetInfoMSFT& getInfo,
                                 std::vector<XrSceneComponentMSFT>& componentList, std::vector<XrUuidMSFT>& ids,
                                 std::vector<Record>& records,
                                 std::vector<XrSceneComponentLocationMSFT>& locations) const
{
    XrSceneComponentsMSFT components{XR_TYPE_SCENE_COMPONENTS_MSFT};
    XrResult result = bindings.GetSceneComponents(&getInfo, &components);
    if (result != XR_SUCCESS) {
        TraceLog(trace, kXRTraceLevelError, "Failed to get scene components count: %d", static_cast<int>(result));
        return false;
    }
    uint32_t count = components.componentCountOutput;
    if (!TryResizeAll(count, componentList, records, ids, locations)) {
        TraceLog(trace, kXRTraceLevelError, "Failed to allocate %u scene components", count);
        return false;
    }

    auto chained = ChainedRecords<Record>::For(records);
    components.next = &chained;
    components.componentCapacityInput = count;
    components.components = componentList.data();
    result = bindings.GetSceneComponents(&getInfo, &components);
    if (result != XR_SUCCESS) {
        TraceLog(trace, kXRTraceLevelError, "Failed to get scene components: %d", static_cast<int>(result));
        return false;
    }
    // A runtime that filled fewer than it first announced wrote only that many.
    count = std::min(count, components.componentCountOutput);
    componentList.resize(count);
    records.resize(count);
    ids.resize(count);
    locations.resize(count);
    std::transform(componentList.begin(), componentList.end(), ids.begin(),
                   [](const XrSceneComponentMSFT& component) { return component.id; });

    XrSceneComponentsLocateInfoMSFT locateInfo{XR_TYPE_SCENE_COMPONENTS_LOCATE_INFO_MSFT};
    locateInfo.baseSpace = bindings.GetSpace();
    locateInfo.time = bindings.GetPredictedDisplayTime();
    locateInfo.componentIdCount = count;
    locateInfo.componentIds = ids.data();
    XrSceneComponentLocationsMSFT located{XR_TYPE_SCENE_COMPONENT_LOCATIONS_MSFT};
    located.locationCount = count;
    located.locations = locations.data();
    result = bindings.LocateSceneComponents(&locateInfo, &located);
    if (result != XR_SUCCESS) {
        TraceLog(trace, kXRTraceLevelError, "Failed to locate scene components: %d", static_cast<int>(result));
        return false;
    }
    return true;
}

} // namespace kelbrin

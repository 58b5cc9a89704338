#include "SceneUnderstanding.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>

namespace quenra::simruntime {
namespace {
SceneUnderstanding* current = nullptr;

// The structure of the given type chained behind `next`, or null.
template <typename Structure> Structure* Chained(const void* next, XrStructureType type)
{
    for (auto* link = static_cast<const XrBaseInStructure*>(next); link != nullptr; link = link->next) {
        if (link->type == type) {
            return reinterpret_cast<Structure*>(const_cast<XrBaseInStructure*>(link));
        }
    }
    return nullptr;
}

std::vector<XrStructureType> ChainTypes(const void* next)
{
    std::vector<XrStructureType> types;
    for (auto* link = static_cast<const XrBaseInStructure*>(next); link != nullptr; link = link->next) {
        types.push_back(link->type);
    }
    return types;
}

struct UuidOrder {
    bool operator()(const XrUuidMSFT& a, const XrUuidMSFT& b) const
    {
        return std::memcmp(a.bytes, b.bytes, sizeof(a.bytes)) < 0;
    }
};

bool Requested(const std::vector<XrSceneComputeFeatureMSFT>& features, XrSceneComputeFeatureMSFT feature)
{
    return std::find(features.begin(), features.end(), feature) != features.end();
}

// The part of the world a compute with these features reports.
SimWorld Snapshot(const SimWorld& world, const std::vector<XrSceneComputeFeatureMSFT>& features)
{
    SimWorld snapshot;
    auto keepBuffer = [&](uint64_t id) {
        auto found = world.buffers.find(id);
        if (found != world.buffers.end()) {
            snapshot.buffers[id] = found->second;
        }
    };
    if (Requested(features, XR_SCENE_COMPUTE_FEATURE_VISUAL_MESH_MSFT)) {
        snapshot.meshes = world.meshes;
        for (const SimVisualMesh& mesh : world.meshes) {
            keepBuffer(mesh.meshBufferId);
        }
    }
    if (Requested(features, XR_SCENE_COMPUTE_FEATURE_PLANE_MSFT)) {
        snapshot.planes = world.planes;
        const bool planeMeshes = Requested(features, XR_SCENE_COMPUTE_FEATURE_PLANE_MESH_MSFT);
        for (SimPlane& plane : snapshot.planes) {
            if (planeMeshes) {
                keepBuffer(plane.meshBufferId);
            } else {
                plane.meshBufferId = 0;
            }
        }
    }
    return snapshot;
}

bool IsValidFeature(XrSceneComputeFeatureMSFT feature)
{
    return feature == XR_SCENE_COMPUTE_FEATURE_PLANE_MSFT || feature == XR_SCENE_COMPUTE_FEATURE_PLANE_MESH_MSFT ||
           feature == XR_SCENE_COMPUTE_FEATURE_VISUAL_MESH_MSFT ||
           feature == XR_SCENE_COMPUTE_FEATURE_COLLIDER_MESH_MSFT;
}

template <typename Bound> bool ArrayPresent(uint32_t count, const Bound* bounds)
{
    return count == 0 || bounds != nullptr;
}
} // namespace

struct SceneUnderstanding::Observer {
    // What the last poll reported; NONE until a compute was started.
    XrSceneComputeStateMSFT state = XR_SCENE_COMPUTE_STATE_NONE_MSFT;
    ComputeOutcome outcome;
    SimWorld computing;
    XrTime computeTime = 0;
    SimWorld completed;
    XrTime completedTime = 0;
};

struct SceneUnderstanding::Scene {
    uint64_t observer = 0;
    // Never changed once made: a mesh buffer read copies from it after letting the lock go,
    // so a listing on another thread need not wait for a large copy, as with a real runtime.
    std::shared_ptr<const SimWorld> content;
    XrTime computeTime = 0;
};

SceneUnderstanding::SceneUnderstanding(Runtime& runtime) : runtime(runtime)
{
    if (current != nullptr) {
        throw std::logic_error("only one SceneUnderstanding may exist at a time");
    }
    current = this;
    runtime.AddFunction("xrCreateSceneObserverMSFT", reinterpret_cast<PFN_xrVoidFunction>(&CreateSceneObserver));
    runtime.AddFunction("xrDestroySceneObserverMSFT", reinterpret_cast<PFN_xrVoidFunction>(&DestroySceneObserver));
    runtime.AddFunction("xrComputeNewSceneMSFT", reinterpret_cast<PFN_xrVoidFunction>(&ComputeNewScene));
    runtime.AddFunction("xrGetSceneComputeStateMSFT", reinterpret_cast<PFN_xrVoidFunction>(&GetSceneComputeState));
    runtime.AddFunction("xrCreateSceneMSFT", reinterpret_cast<PFN_xrVoidFunction>(&CreateScene));
    runtime.AddFunction("xrDestroySceneMSFT", reinterpret_cast<PFN_xrVoidFunction>(&DestroyScene));
    runtime.AddFunction("xrGetSceneComponentsMSFT", reinterpret_cast<PFN_xrVoidFunction>(&GetSceneComponents));
    runtime.AddFunction("xrLocateSceneComponentsMSFT", reinterpret_cast<PFN_xrVoidFunction>(&LocateSceneComponents));
    runtime.AddFunction("xrGetSceneMeshBuffersMSFT", reinterpret_cast<PFN_xrVoidFunction>(&GetSceneMeshBuffers));
}

SceneUnderstanding::~SceneUnderstanding()
{
    for (const char* name : {"xrCreateSceneObserverMSFT", "xrDestroySceneObserverMSFT", "xrComputeNewSceneMSFT",
                             "xrGetSceneComputeStateMSFT", "xrCreateSceneMSFT", "xrDestroySceneMSFT",
                             "xrGetSceneComponentsMSFT", "xrLocateSceneComponentsMSFT", "xrGetSceneMeshBuffersMSFT"}) {
        runtime.RemoveFunction(name);
    }
    current = nullptr;
}

SceneUnderstanding& SceneUnderstanding::Current()
{
    if (current == nullptr) {
        throw std::logic_error("no simulated scene understanding exists");
    }
    return *current;
}

void SceneUnderstanding::QueueComputeOutcome(ComputeOutcome outcome)
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    outcomes.push_back(outcome);
}

std::vector<ComputeRequest> SceneUnderstanding::ComputeRequests() const
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    return computeRequests;
}

std::vector<ComponentsQuery> SceneUnderstanding::ComponentsQueries() const
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    return componentsQueries;
}

std::vector<LocateRequest> SceneUnderstanding::LocateRequests() const
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    return locateRequests;
}

std::vector<MeshBuffersRequest> SceneUnderstanding::MeshBuffersRequests() const
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    return meshBuffersRequests;
}

XrSceneComputeStateMSFT SceneUnderstanding::ReportedState(uint64_t observer) const
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    auto found = observers.find(observer);
    if (found == observers.end() || !runtime.IsLive(HandleKind::SceneObserver, observer)) {
        throw std::logic_error("no such scene observer");
    }
    return found->second.state;
}

SceneUnderstanding::Observer* SceneUnderstanding::FindObserver(uint64_t handle)
{
    auto found = observers.find(handle);
    return found != observers.end() && runtime.IsLive(HandleKind::SceneObserver, handle) ? &found->second : nullptr;
}

SceneUnderstanding::Scene* SceneUnderstanding::FindScene(uint64_t handle)
{
    auto found = scenes.find(handle);
    return found != scenes.end() && runtime.IsLive(HandleKind::Scene, handle) ? &found->second : nullptr;
}

XrResult XRAPI_CALL SceneUnderstanding::CreateSceneObserver(XrSession session,
                                                            const XrSceneObserverCreateInfoMSFT* info,
                                                            XrSceneObserverMSFT* observer)
{
    SIMRUNTIME_ENTER_ON(call, "xrCreateSceneObserverMSFT", HandleKind::Session, session);
    SceneUnderstanding& self = Current();
    SIMRUNTIME_INVALID_IF(call, info == nullptr || info->type != XR_TYPE_SCENE_OBSERVER_CREATE_INFO_MSFT ||
                                    observer == nullptr);
    const uint64_t handle = call.runtime().CreateHandle(HandleKind::SceneObserver, HandleValue(session));
    self.observers[handle] = Observer{};
    *observer = reinterpret_cast<XrSceneObserverMSFT>(handle);
    return call.Return(XR_SUCCESS);
}

XrResult XRAPI_CALL SceneUnderstanding::DestroySceneObserver(XrSceneObserverMSFT observer)
{
    SIMRUNTIME_ENTER(call, "xrDestroySceneObserverMSFT", HandleValue(observer));
    SceneUnderstanding& self = Current();
    const uint64_t handle = HandleValue(observer);
    if (!call.runtime().DestroyHandle(HandleKind::SceneObserver, handle)) {
        return call.Return(XR_ERROR_HANDLE_INVALID);
    }
    // The runtime destroyed the observer's scenes with it.
    self.observers.erase(handle);
    for (auto scene = self.scenes.begin(); scene != self.scenes.end();) {
        scene = scene->second.observer == handle ? self.scenes.erase(scene) : std::next(scene);
    }
    return call.Return(XR_SUCCESS);
}

XrResult XRAPI_CALL SceneUnderstanding::ComputeNewScene(XrSceneObserverMSFT observer,
                                                        const XrNewSceneComputeInfoMSFT* info)
{
    SIMRUNTIME_ENTER(call, "xrComputeNewSceneMSFT", HandleValue(observer));
    SceneUnderstanding& self = Current();
    Observer* record = self.FindObserver(HandleValue(observer));
    if (record == nullptr) {
        return call.Return(XR_ERROR_HANDLE_INVALID);
    }
    SIMRUNTIME_INVALID_IF(call, info == nullptr || info->type != XR_TYPE_NEW_SCENE_COMPUTE_INFO_MSFT);
    const XrSceneBoundsMSFT& bounds = info->bounds;
    SIMRUNTIME_INVALID_IF(call, !ArrayPresent(info->requestedFeatureCount, info->requestedFeatures) ||
                                    !ArrayPresent(bounds.sphereCount, bounds.spheres) ||
                                    !ArrayPresent(bounds.boxCount, bounds.boxes) ||
                                    !ArrayPresent(bounds.frustumCount, bounds.frustums));
    ComputeRequest request{HandleValue(observer),
                           {info->requestedFeatures, info->requestedFeatures + info->requestedFeatureCount},
                           info->consistency,
                           HandleValue(bounds.space),
                           bounds.time,
                           {bounds.spheres, bounds.spheres + bounds.sphereCount},
                           {bounds.boxes, bounds.boxes + bounds.boxCount},
                           {bounds.frustums, bounds.frustums + bounds.frustumCount},
                           ChainTypes(info->next)};
    call.runtime().Keep(self.computeRequests, request);

    if (record->state == XR_SCENE_COMPUTE_STATE_UPDATING_MSFT) {
        return call.Return(XR_ERROR_COMPUTE_NEW_SCENE_NOT_COMPLETED_MSFT);
    }
    SIMRUNTIME_INVALID_IF(call, request.features.empty() ||
                                    !std::all_of(request.features.begin(), request.features.end(), IsValidFeature));
    SIMRUNTIME_INVALID_IF(call, request.consistency < XR_SCENE_COMPUTE_CONSISTENCY_SNAPSHOT_COMPLETE_MSFT ||
                                    request.consistency > XR_SCENE_COMPUTE_CONSISTENCY_OCCLUSION_OPTIMIZED_MSFT);
    if (!call.runtime().IsLive(HandleKind::Space, request.boundsSpace)) {
        return call.Return(XR_ERROR_HANDLE_INVALID);
    }
    if (!self.outcomes.empty()) {
        record->outcome = self.outcomes.front();
        self.outcomes.pop_front();
    } else {
        record->outcome = ComputeOutcome{};
    }
    record->state = XR_SCENE_COMPUTE_STATE_UPDATING_MSFT;
    record->computing = Snapshot(self.world, request.features);
    record->computeTime = bounds.time;
    return call.Return(XR_SUCCESS);
}

XrResult XRAPI_CALL SceneUnderstanding::GetSceneComputeState(XrSceneObserverMSFT observer,
                                                             XrSceneComputeStateMSFT* state)
{
    SIMRUNTIME_ENTER(call, "xrGetSceneComputeStateMSFT", HandleValue(observer));
    Observer* record = Current().FindObserver(HandleValue(observer));
    if (record == nullptr) {
        return call.Return(XR_ERROR_HANDLE_INVALID);
    }
    SIMRUNTIME_INVALID_IF(call, state == nullptr);
    if (record->state == XR_SCENE_COMPUTE_STATE_UPDATING_MSFT) {
        if (record->outcome.updatingPolls > 0) {
            --record->outcome.updatingPolls;
        } else {
            record->state = record->outcome.finalState;
            if (record->state == XR_SCENE_COMPUTE_STATE_COMPLETED_MSFT) {
                record->completed = std::move(record->computing);
                record->completedTime = record->computeTime;
            }
            record->computing = SimWorld{};
        }
    }
    *state = record->state;
    return call.Return(XR_SUCCESS);
}

XrResult XRAPI_CALL SceneUnderstanding::CreateScene(XrSceneObserverMSFT observer, const XrSceneCreateInfoMSFT* info,
                                                    XrSceneMSFT* scene)
{
    SIMRUNTIME_ENTER(call, "xrCreateSceneMSFT", HandleValue(observer));
    SceneUnderstanding& self = Current();
    Observer* record = self.FindObserver(HandleValue(observer));
    if (record == nullptr) {
        return call.Return(XR_ERROR_HANDLE_INVALID);
    }
    SIMRUNTIME_INVALID_IF(call, info == nullptr || info->type != XR_TYPE_SCENE_CREATE_INFO_MSFT || scene == nullptr);
    switch (record->state) {
    case XR_SCENE_COMPUTE_STATE_COMPLETED_MSFT:
        break;
    case XR_SCENE_COMPUTE_STATE_NONE_MSFT:
        // No compute was ever started (or it ended without a result).
        return call.Return(XR_ERROR_CALL_ORDER_INVALID);
    default:
        // Still updating, or it ended with an error: there is no new scene to create.
        return call.Return(XR_ERROR_COMPUTE_NEW_SCENE_NOT_COMPLETED_MSFT);
    }
    const uint64_t handle = call.runtime().CreateHandle(HandleKind::Scene, HandleValue(observer));
    self.scenes[handle] =
        Scene{HandleValue(observer), std::make_shared<const SimWorld>(record->completed), record->completedTime};
    *scene = reinterpret_cast<XrSceneMSFT>(handle);
    return call.Return(XR_SUCCESS);
}

XrResult XRAPI_CALL SceneUnderstanding::DestroyScene(XrSceneMSFT scene)
{
    SIMRUNTIME_ENTER(call, "xrDestroySceneMSFT", HandleValue(scene));
    if (!call.runtime().DestroyHandle(HandleKind::Scene, HandleValue(scene))) {
        return call.Return(XR_ERROR_HANDLE_INVALID);
    }
    Current().scenes.erase(HandleValue(scene));
    return call.Return(XR_SUCCESS);
}

XrResult XRAPI_CALL SceneUnderstanding::GetSceneComponents(XrSceneMSFT scene, const XrSceneComponentsGetInfoMSFT* info,
                                                           XrSceneComponentsMSFT* components)
{
    SIMRUNTIME_ENTER(call, "xrGetSceneComponentsMSFT", HandleValue(scene));
    SceneUnderstanding& self = Current();
    Scene* record = self.FindScene(HandleValue(scene));
    if (record == nullptr) {
        return call.Return(XR_ERROR_HANDLE_INVALID);
    }
    SIMRUNTIME_INVALID_IF(call, info == nullptr || info->type != XR_TYPE_SCENE_COMPONENTS_GET_INFO_MSFT ||
                                    components == nullptr || components->type != XR_TYPE_SCENE_COMPONENTS_MSFT);
    const XrSceneComponentTypeMSFT type = info->componentType;
    SIMRUNTIME_INVALID_IF(call, type != XR_SCENE_COMPONENT_TYPE_OBJECT_MSFT &&
                                    type != XR_SCENE_COMPONENT_TYPE_PLANE_MSFT &&
                                    type != XR_SCENE_COMPONENT_TYPE_VISUAL_MESH_MSFT &&
                                    type != XR_SCENE_COMPONENT_TYPE_COLLIDER_MESH_MSFT);
    const auto* filter =
        Chained<const XrScenePlaneAlignmentFilterInfoMSFT>(info->next, XR_TYPE_SCENE_PLANE_ALIGNMENT_FILTER_INFO_MSFT);
    auto* meshes = Chained<XrSceneMeshesMSFT>(components->next, XR_TYPE_SCENE_MESHES_MSFT);
    auto* planes = Chained<XrScenePlanesMSFT>(components->next, XR_TYPE_SCENE_PLANES_MSFT);
    SIMRUNTIME_INVALID_IF(call, filter != nullptr && !ArrayPresent(filter->alignmentCount, filter->alignments));
    ComponentsQuery query{HandleValue(scene), type, components->componentCapacityInput, std::nullopt, meshes != nullptr,
                          planes != nullptr};
    if (filter != nullptr) {
        query.alignmentFilter.emplace(filter->alignments, filter->alignments + filter->alignmentCount);
    }
    call.runtime().Keep(self.componentsQueries, query);

    const bool meshType = type == XR_SCENE_COMPONENT_TYPE_VISUAL_MESH_MSFT;
    if ((meshes != nullptr && !meshType && type != XR_SCENE_COMPONENT_TYPE_COLLIDER_MESH_MSFT) ||
        (planes != nullptr && type != XR_SCENE_COMPONENT_TYPE_PLANE_MSFT)) {
        return call.Return(XR_ERROR_SCENE_COMPONENT_TYPE_MISMATCH_MSFT);
    }

    // The components of the asked type, in world order; an empty alignment filter lets no plane through.
    std::vector<XrSceneComponentMSFT> found;
    std::vector<XrSceneMeshMSFT> foundMeshes;
    std::vector<XrScenePlaneMSFT> foundPlanes;
    auto supports16 = [&](uint64_t bufferId) -> XrBool32 {
        auto buffer = record->content->buffers.find(bufferId);
        return buffer != record->content->buffers.end() && buffer->second.supportsIndicesUint16 ? XR_TRUE : XR_FALSE;
    };
    if (meshType) {
        for (const SimVisualMesh& mesh : record->content->meshes) {
            found.push_back({type, mesh.id, mesh.parentId, record->computeTime});
            foundMeshes.push_back({mesh.meshBufferId, supports16(mesh.meshBufferId)});
        }
    } else if (type == XR_SCENE_COMPONENT_TYPE_PLANE_MSFT) {
        for (const SimPlane& plane : record->content->planes) {
            if (filter != nullptr && std::find(filter->alignments, filter->alignments + filter->alignmentCount,
                                               plane.alignment) == filter->alignments + filter->alignmentCount) {
                continue;
            }
            found.push_back({type, plane.id, plane.parentId, record->computeTime});
            foundPlanes.push_back({plane.alignment, plane.size, plane.meshBufferId, supports16(plane.meshBufferId)});
        }
    }

    const auto count = static_cast<uint32_t>(found.size());
    const uint32_t capacity = components->componentCapacityInput;
    components->componentCountOutput = count;
    if (capacity == 0) {
        return call.Return(XR_SUCCESS);
    }
    if (capacity < count) {
        return call.Return(XR_ERROR_SIZE_INSUFFICIENT);
    }
    SIMRUNTIME_INVALID_IF(call, components->components == nullptr ||
                                    (meshes != nullptr && meshes->sceneMeshCount != capacity) ||
                                    (meshes != nullptr && meshes->sceneMeshes == nullptr) ||
                                    (planes != nullptr && planes->scenePlaneCount != capacity) ||
                                    (planes != nullptr && planes->scenePlanes == nullptr));
    std::copy(found.begin(), found.end(), components->components);
    if (meshes != nullptr) {
        std::copy(foundMeshes.begin(), foundMeshes.end(), meshes->sceneMeshes);
    }
    if (planes != nullptr) {
        std::copy(foundPlanes.begin(), foundPlanes.end(), planes->scenePlanes);
    }
    return call.Return(XR_SUCCESS);
}

XrResult XRAPI_CALL SceneUnderstanding::LocateSceneComponents(XrSceneMSFT scene,
                                                              const XrSceneComponentsLocateInfoMSFT* info,
                                                              XrSceneComponentLocationsMSFT* locations)
{
    SIMRUNTIME_ENTER(call, "xrLocateSceneComponentsMSFT", HandleValue(scene));
    SceneUnderstanding& self = Current();
    Scene* record = self.FindScene(HandleValue(scene));
    if (record == nullptr) {
        return call.Return(XR_ERROR_HANDLE_INVALID);
    }
    SIMRUNTIME_INVALID_IF(call, info == nullptr || info->type != XR_TYPE_SCENE_COMPONENTS_LOCATE_INFO_MSFT ||
                                    locations == nullptr || locations->type != XR_TYPE_SCENE_COMPONENT_LOCATIONS_MSFT ||
                                    !ArrayPresent(info->componentIdCount, info->componentIds));
    call.runtime().Keep(self.locateRequests,
                        LocateRequest{HandleValue(scene),
                                      HandleValue(info->baseSpace),
                                      info->time,
                                      {info->componentIds, info->componentIds + info->componentIdCount}});
    if (!call.runtime().IsLive(HandleKind::Space, HandleValue(info->baseSpace))) {
        return call.Return(XR_ERROR_HANDLE_INVALID);
    }
    // As for xrLocateSpace: a time that no frame predicted is refused.
    if (info->time <= 0) {
        return call.Return(XR_ERROR_TIME_INVALID);
    }
    SIMRUNTIME_INVALID_IF(call, locations->locationCount != info->componentIdCount ||
                                    !ArrayPresent(locations->locationCount, locations->locations));
    // Indexed once, so that locating every component of a large scene is not quadratic: of an
    // identifier given more than once, the last plane stands, else the last mesh.
    std::map<XrUuidMSFT, XrSceneComponentLocationMSFT, UuidOrder> known;
    for (const SimVisualMesh& mesh : record->content->meshes) {
        known[mesh.id] = {mesh.locationFlags, mesh.pose};
    }
    for (const SimPlane& plane : record->content->planes) {
        known[plane.id] = {plane.locationFlags, plane.pose};
    }
    for (uint32_t i = 0; i < info->componentIdCount; ++i) {
        const auto found = known.find(info->componentIds[i]);
        XrSceneComponentLocationMSFT location{0, {{0, 0, 0, 1}, {0, 0, 0}}};
        if (found != known.end()) {
            location = found->second;
        }
        // An identifier the scene does not know gets no valid location.
        locations->locations[i] = location;
    }
    return call.Return(XR_SUCCESS);
}

XrResult XRAPI_CALL SceneUnderstanding::GetSceneMeshBuffers(XrSceneMSFT scene,
                                                            const XrSceneMeshBuffersGetInfoMSFT* info,
                                                            XrSceneMeshBuffersMSFT* buffers)
{
    // The call is checked and recorded under the runtime's lock; the buffers are copied after it.
    std::shared_ptr<const SimWorld> content;
    const SimMeshBuffer* buffer = nullptr;
    XrSceneMeshVertexBufferMSFT* vertices = nullptr;
    XrSceneMeshIndicesUint32MSFT* indices32 = nullptr;
    XrSceneMeshIndicesUint16MSFT* indices16 = nullptr;
    bool fillVertices = false;
    bool fill32 = false;
    bool fill16 = false;
    XrResult finished = XR_SUCCESS;
    {
        SIMRUNTIME_ENTER(call, "xrGetSceneMeshBuffersMSFT", HandleValue(scene));
        SceneUnderstanding& self = Current();
        Scene* record = self.FindScene(HandleValue(scene));
        if (record == nullptr) {
            return call.Return(XR_ERROR_HANDLE_INVALID);
        }
        SIMRUNTIME_INVALID_IF(call, info == nullptr || info->type != XR_TYPE_SCENE_MESH_BUFFERS_GET_INFO_MSFT ||
                                        buffers == nullptr || buffers->type != XR_TYPE_SCENE_MESH_BUFFERS_MSFT);
        vertices = Chained<XrSceneMeshVertexBufferMSFT>(buffers->next, XR_TYPE_SCENE_MESH_VERTEX_BUFFER_MSFT);
        indices32 = Chained<XrSceneMeshIndicesUint32MSFT>(buffers->next, XR_TYPE_SCENE_MESH_INDICES_UINT32_MSFT);
        indices16 = Chained<XrSceneMeshIndicesUint16MSFT>(buffers->next, XR_TYPE_SCENE_MESH_INDICES_UINT16_MSFT);
        MeshBuffersRequest request{HandleValue(scene), info->meshBufferId, std::nullopt, std::nullopt, std::nullopt};
        if (vertices != nullptr) {
            request.vertexCapacity = vertices->vertexCapacityInput;
        }
        if (indices32 != nullptr) {
            request.uint32IndexCapacity = indices32->indexCapacityInput;
        }
        if (indices16 != nullptr) {
            request.uint16IndexCapacity = indices16->indexCapacityInput;
        }
        call.runtime().Keep(self.meshBuffersRequests, request);

        content = record->content;
        auto found = content->buffers.find(info->meshBufferId);
        if (found == content->buffers.end()) {
            return call.Return(XR_ERROR_SCENE_MESH_BUFFER_ID_INVALID_MSFT);
        }
        buffer = &found->second;
        SIMRUNTIME_INVALID_IF(call, (indices32 != nullptr && indices16 != nullptr) ||
                                        (indices16 != nullptr && !buffer->supportsIndicesUint16));

        // Two-call idiom per buffer: capacity 0 asks for the count, a smaller one is insufficient.
        XrResult result = XR_SUCCESS;
        auto size = [&](uint32_t capacity, size_t needed, const void* array, uint32_t* countOutput) {
            *countOutput = static_cast<uint32_t>(needed);
            if (capacity == 0) {
                return false;
            }
            if (capacity < needed) {
                result = XR_ERROR_SIZE_INSUFFICIENT;
            } else if (array == nullptr && result == XR_SUCCESS) {
                result = XR_ERROR_VALIDATION_FAILURE;
            }
            return true;
        };
        fillVertices = vertices != nullptr && size(vertices->vertexCapacityInput, buffer->vertices.size(),
                                                   vertices->vertices, &vertices->vertexCountOutput);
        fill32 = indices32 != nullptr && size(indices32->indexCapacityInput, buffer->indices.size(),
                                              indices32->indices, &indices32->indexCountOutput);
        fill16 = indices16 != nullptr && size(indices16->indexCapacityInput, buffer->indices.size(),
                                              indices16->indices, &indices16->indexCountOutput);
        if (result != XR_SUCCESS) {
            return call.Return(result);
        }
        // A success code injected for this call replaces XR_SUCCESS.
        finished = call.Return(XR_SUCCESS);
    }
    if (fillVertices) {
        std::copy(buffer->vertices.begin(), buffer->vertices.end(), vertices->vertices);
    }
    if (fill32) {
        std::copy(buffer->indices.begin(), buffer->indices.end(), indices32->indices);
    }
    if (fill16) {
        std::transform(buffer->indices.begin(), buffer->indices.end(), indices16->indices,
                       [](uint32_t index) { return static_cast<uint16_t>(index); });
    }
    return finished;
}

} // namespace quenra::simruntime

// The simulated runtime's scene understanding (XR_MSFT_scene_understanding).
//
// Tests describe a world of visual meshes, planes and mesh buffers. Each compute
// takes a snapshot of the world as it is when the compute starts, keeping only the
// requested features, and reports its state over successive polls as queued by the
// test ("updating" for some polls, then completed or completed with error). Scenes
// created from a completed compute keep that snapshot, so the world may change
// between computes. Strict like a conformant runtime: unknown or destroyed handles,
// wrong structure types, computes started while one is running and scenes created
// before a compute completed are refused.
#pragma once

#include <openxr/openxr.h>

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "Runtime.h"

namespace quenra::simruntime {

struct SimMeshBuffer {
    std::vector<XrVector3f> vertices;
    std::vector<uint32_t> indices;
    // Whether the buffer may also be read with 16-bit indices.
    bool supportsIndicesUint16 = false;
};

struct SimVisualMesh {
    XrUuidMSFT id{};
    XrUuidMSFT parentId{};
    XrSpaceLocationFlags locationFlags =
        XR_SPACE_LOCATION_POSITION_VALID_BIT | XR_SPACE_LOCATION_ORIENTATION_VALID_BIT |
        XR_SPACE_LOCATION_POSITION_TRACKED_BIT | XR_SPACE_LOCATION_ORIENTATION_TRACKED_BIT;
    XrPosef pose{{0, 0, 0, 1}, {0, 0, 0}};
    uint64_t meshBufferId = 0;
};

struct SimPlane {
    XrUuidMSFT id{};
    XrUuidMSFT parentId{};
    XrSpaceLocationFlags locationFlags =
        XR_SPACE_LOCATION_POSITION_VALID_BIT | XR_SPACE_LOCATION_ORIENTATION_VALID_BIT |
        XR_SPACE_LOCATION_POSITION_TRACKED_BIT | XR_SPACE_LOCATION_ORIENTATION_TRACKED_BIT;
    XrPosef pose{{0, 0, 0, 1}, {0, 0, 0}};
    XrScenePlaneAlignmentTypeMSFT alignment = XR_SCENE_PLANE_ALIGNMENT_TYPE_HORIZONTAL_MSFT;
    XrExtent2Df size{1, 1};
    // Reported only when the compute asked for plane meshes; 0 otherwise.
    uint64_t meshBufferId = 0;
};

// What the runtime "sees"; components are returned in this order.
struct SimWorld {
    std::vector<SimVisualMesh> meshes;
    std::vector<SimPlane> planes;
    std::map<uint64_t, SimMeshBuffer> buffers;
};

// How one compute ends: this many polls report "updating", the next reports `finalState`.
struct ComputeOutcome {
    int updatingPolls = 0;
    XrSceneComputeStateMSFT finalState = XR_SCENE_COMPUTE_STATE_COMPLETED_MSFT;
};

// A copy of one xrComputeNewSceneMSFT request.
struct ComputeRequest {
    uint64_t observer;
    std::vector<XrSceneComputeFeatureMSFT> features;
    XrSceneComputeConsistencyMSFT consistency;
    uint64_t boundsSpace;
    XrTime boundsTime;
    std::vector<XrSceneSphereBoundMSFT> spheres;
    std::vector<XrSceneOrientedBoxBoundMSFT> boxes;
    std::vector<XrSceneFrustumBoundMSFT> frustums;
    // Structure types chained behind the request.
    std::vector<XrStructureType> chained;
};

// A copy of one xrGetSceneComponentsMSFT request.
struct ComponentsQuery {
    uint64_t scene;
    XrSceneComponentTypeMSFT componentType;
    uint32_t capacity;
    // The alignments of a chained plane filter, if one was chained.
    std::optional<std::vector<XrScenePlaneAlignmentTypeMSFT>> alignmentFilter;
    bool meshesChained;
    bool planesChained;
};

// A copy of one xrLocateSceneComponentsMSFT request.
struct LocateRequest {
    uint64_t scene;
    uint64_t baseSpace;
    XrTime time;
    std::vector<XrUuidMSFT> ids;
};

// A copy of one xrGetSceneMeshBuffersMSFT request.
struct MeshBuffersRequest {
    uint64_t scene;
    uint64_t meshBufferId;
    std::optional<uint32_t> vertexCapacity;
    std::optional<uint32_t> uint32IndexCapacity;
    std::optional<uint32_t> uint16IndexCapacity;
};

class SceneUnderstanding {
public:
    explicit SceneUnderstanding(Runtime& runtime);
    ~SceneUnderstanding();
    SceneUnderstanding(const SceneUnderstanding&) = delete;
    SceneUnderstanding& operator=(const SceneUnderstanding&) = delete;

    static SceneUnderstanding& Current();

    // The world the next computes will see.
    void SetWorld(SimWorld world)
    {
        std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
        this->world = std::move(world);
    }
    // Outcomes are used one per compute, in order; without one a compute completes at the first poll.
    void QueueComputeOutcome(ComputeOutcome outcome);

    std::vector<ComputeRequest> ComputeRequests() const;
    std::vector<ComponentsQuery> ComponentsQueries() const;
    std::vector<LocateRequest> LocateRequests() const;
    std::vector<MeshBuffersRequest> MeshBuffersRequests() const;
    // What xrGetSceneComputeStateMSFT last reported for a live observer.
    XrSceneComputeStateMSFT ReportedState(uint64_t observer) const;

private:
    struct Observer;
    struct Scene;

    static XrResult XRAPI_CALL CreateSceneObserver(XrSession session, const XrSceneObserverCreateInfoMSFT* info,
                                                   XrSceneObserverMSFT* observer);
    static XrResult XRAPI_CALL DestroySceneObserver(XrSceneObserverMSFT observer);
    static XrResult XRAPI_CALL ComputeNewScene(XrSceneObserverMSFT observer, const XrNewSceneComputeInfoMSFT* info);
    static XrResult XRAPI_CALL GetSceneComputeState(XrSceneObserverMSFT observer, XrSceneComputeStateMSFT* state);
    static XrResult XRAPI_CALL CreateScene(XrSceneObserverMSFT observer, const XrSceneCreateInfoMSFT* info,
                                           XrSceneMSFT* scene);
    static XrResult XRAPI_CALL DestroyScene(XrSceneMSFT scene);
    static XrResult XRAPI_CALL GetSceneComponents(XrSceneMSFT scene, const XrSceneComponentsGetInfoMSFT* info,
                                                  XrSceneComponentsMSFT* components);
    static XrResult XRAPI_CALL LocateSceneComponents(XrSceneMSFT scene, const XrSceneComponentsLocateInfoMSFT* info,
                                                     XrSceneComponentLocationsMSFT* locations);
    static XrResult XRAPI_CALL GetSceneMeshBuffers(XrSceneMSFT scene, const XrSceneMeshBuffersGetInfoMSFT* info,
                                                   XrSceneMeshBuffersMSFT* buffers);

    // Observer and scene records of live handles only; the runtime may have destroyed a
    // handle with its parent.
    Observer* FindObserver(uint64_t handle);
    Scene* FindScene(uint64_t handle);

    Runtime& runtime;
    SimWorld world;
    std::deque<ComputeOutcome> outcomes;
    std::map<uint64_t, Observer> observers;
    std::map<uint64_t, Scene> scenes;
    std::vector<ComputeRequest> computeRequests;
    std::vector<ComponentsQuery> componentsQueries;
    std::vector<LocateRequest> locateRequests;
    std::vector<MeshBuffersRequest> meshBuffersRequests;
};

} // namespace quenra::simruntime

// The state of scene understanding shared by every client: the registry of
// providers, the one among them that drives the compute cycle, the cycle's state
// and the meshes and planes of the current scene.
//
// Every public operation may be called from any thread; the threading contract is in
// KelbrinPlugin.h. One lock guards the state; mesh acquisition holds it only to look a
// mesh up and to record its vertex count, and reads the runtime as a reader of the
// current scene, which is destroyed or replaced only once no reader is left.
#pragma once

#include <openxr/openxr.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "MeshNormals.h"
#include "ScenePlane.h"
#include "UnityXRMeshIdComparer.h"
#include "UnityXRMeshing.h"

class ProviderContext;
class XrBindings;

class SceneObserver {
public:
    // Scene features a provider asks for; other bits are stored and ignored.
    enum ProviderFeatureFlags : int32_t {
        FeaturePlane = 1,
        FeaturePlaneMesh = 2,
        FeatureVisualMesh = 4,
    };

    enum ComputeState : int32_t {
        // No compute in flight; a new one may start when it is due.
        Idle = 0,
        // A compute was started; its state is polled.
        Computing = 1,
        // The runtime finished; the scene is to be created.
        ComputeCompleted = 2,
        // The current scene exists and may be read.
        SceneReady = 3,
    };

    SceneObserver() = default;
    // Unregisters every provider still registered; the last removal destroys the OpenXR
    // scene and scene observer, so the bindings must still exist.
    ~SceneObserver();
    SceneObserver(const SceneObserver&) = delete;
    SceneObserver& operator=(const SceneObserver&) = delete;

    // Takes the bindings from the context, which must already have created them.
    void SetContext(ProviderContext* providerContext);

    // --- Provider registry -----------------------------------------------------------
    // Registers or re-registers a name with its features; the first to register while
    // none drives becomes the driving provider. Always true.
    bool RegisterProvider(const char* name, int32_t features);
    void UnregisterProvider(const char* name);
    bool HasProviders() const;
    bool HasRegisteredProvider(const char* name) const;
    // Whether the caller may drive the compute cycle; takes the role for a registered
    // caller while none drives.
    bool CheckOrSetDrivingProvider(const char* name);
    const std::string& GetDrivingProvider() const { return drivingProvider; }
    const std::map<std::string, int32_t, std::less<>>& GetProviderFeatures() const { return providerFeatures; }

    // --- Engine mesh settings: accepted, never applied ---------------------------------
    UnitySubsystemErrorCode SetMeshDensity(float density);
    UnitySubsystemErrorCode SetBoundingVolume(const UnityXRBoundingVolume* volume);

    // --- Scene compute cycle -------------------------------------------------------------
    using SystemTime = std::chrono::time_point<std::chrono::system_clock, std::chrono::microseconds>;
    // Where the cycle reads the wall clock: the system clock unless a test puts its own here.
    using WallClock = SystemTime (*)();
    static SystemTime ReadSystemClock();
    void SetWallClock(WallClock clock);
    // One step of the cycle for the caller: as many of start, poll and scene creation as are
    // ready. False only when OpenXR or providers are missing; a caller that does not drive
    // gets true and changes nothing.
    bool UpdateSceneObservations(const char* name);
    ComputeState GetComputeState() const;
    // The union of the providers' features: plane, plane mesh, visual mesh, in that order.
    void GetProviderRequestedFeatures(std::vector<XrSceneComputeFeatureMSFT>& features) const;

    // --- Mesh delivery -------------------------------------------------------------------
    // Where TryFindMeshBufferId found an identifier.
    enum MeshBufferKind : uint32_t {
        MeshBufferNotFound = 0,
        SceneMeshBuffer = 1,
        PlaneMeshBuffer = 2,
    };
    // Lists the current scene's visual meshes into the engine's mesh infos, flagging new or changed ones.
    bool UpdateMeshes(UnityXRMeshInfoAllocator* allocator);
    // Writes a mesh's positions, normals and indices, in engine coordinates, into engine storage.
    UnitySubsystemErrorCode AcquireByMeshId(const UnityXRMeshId* id, UnityXRMeshDataAllocator* allocator);
    // Nothing to free: the engine owns every buffer it handed out.
    UnitySubsystemErrorCode ReleaseMesh(const UnityXRMeshId* id, const UnityXRMeshDescriptor* mesh, void* pluginData);
    // Hands the mesh poses to the engine once per new scene; always success.
    UnitySubsystemErrorCode GetUpdatedTransforms(UnityXRMeshTransformList* list);
    // Scene meshes first, then planes; meshBufferId is written only when found.
    uint32_t TryFindMeshBufferId(const UnityXRMeshId* id, uint64_t& meshBufferId) const;
    // Area-weighted mean of the face normals around each vertex, normalised. Normals arrive as
    // one zero vector per vertex. A vertex no valid triangle shapes, or whose face normals
    // cancel, gets kFallbackNormal.
    void CalculateMeshNormals(const std::vector<XrVector3f>& vertices, const std::vector<uint32_t>& indices,
                              std::vector<XrVector3f>& normals);
    static constexpr XrVector3f kFallbackNormal = MeshNormals::kFallbackNormal;

    // --- Scene planes --------------------------------------------------------------------
    // Alignments a plane read asks for; only these three bits count.
    enum PlaneFilterFlags : uint32_t {
        PlaneFilterHorizontal = 1,
        PlaneFilterVertical = 2,
        PlaneFilterNonOrthogonal = 4,
    };
    // Reads the current scene's planes that pass the filter; false outside SceneReady, where
    // the planes read earlier stay.
    bool UpdatePlanes();
    bool CountScenePlanes(uint32_t* count) const;
    // `count` must be the number of planes; records come in identifier order, in the OpenXR
    // convention. Records after those collected (a plane whose mesh could not be read) are zeroed.
    bool FetchScenePlanes(uint32_t count, ScenePlane* planes) const;
    // The plane's mesh as the runtime gives it now; false without writing when it no longer
    // fits the record's vertex and index counts.
    bool FetchPlaneVertices(const ScenePlane* plane, XrVector3f* vertices, uint32_t* indices) const;
    // Takes effect at the next UpdatePlanes.
    void SetPlanesFilterFlags(uint32_t flags);
    // Horizontal, vertical, non-orthogonal, each if its bit is set.
    void GetPlanesFilters(std::vector<XrScenePlaneAlignmentTypeMSFT>& filters) const;

private:
    using ProviderNames = std::unordered_set<std::string>;
    // What one acquisition works in, outside the lock: the runtime's vertices and indices as
    // read, and the normals' scratch. Kept across acquisitions in a pool, one per acquisition
    // in flight, so once a mesh as large has been acquired the next costs no allocation.
    struct AcquisitionScratch {
        std::vector<XrVector3f> vertices;
        std::vector<uint32_t> indices;
        MeshNormals normals;
    };
    // A scratch from the pool for one acquisition, back to the pool when done.
    class PooledScratch;

    bool ForceSetDrivingProvider(const char* name);
    // Takes the name out of the registry without allocating, so teardown cannot throw.
    void RemoveProvider(ProviderNames::node_type provider);
    // Guard of every operation that needs OpenXR and at least one provider; logs what is missing.
    bool IsReadyWithProviders() const;
    // Two-call read of the current scene's components of getInfo's type with their records
    // (XrSceneMeshMSFT or XrScenePlaneMSFT) chained behind, then their locations in the base
    // space at the predicted display time; logs and returns false on any failure. In SceneComponents.h.
    template <typename Record>
    bool ReadSceneComponents(const XrSceneComponentsGetInfoMSFT& getInfo, std::vector<XrUuidMSFT>& ids,
                             std::vector<Record>& records, std::vector<XrSceneComponentLocationMSFT>& locations) const;
    void ComputeScene();
    void ComputeSceneState();
    void CreateScene();
    void UpdateVertexCountForBuffer(uint64_t meshBufferId, bool& updated);
    // Two-call read of a mesh buffer of the current scene, as the runtime gives it (OpenXR
    // convention, 32-bit indices). Never lets the runtime write past the storage it was given;
    // a count too large to allocate is a logged failure. Under the lock or as a scene reader.
    bool ReadMeshBuffers(uint64_t meshBufferId, std::vector<XrVector3f>& vertices,
                         std::vector<uint32_t>& indices) const;
    // Destroys the current scene once no acquisition reads it any more; under the lock.
    XrResult DestroySceneWhenUnread();
    // Logs each triangle the normals pass skipped.
    MeshNormals::InvalidTriangle LogInvalidTriangle() const;
    // Writes an acquired mesh into the engine's storage; outside the lock.
    UnitySubsystemErrorCode DeliverMesh(uint32_t kind, uint64_t meshBufferId, AcquisitionScratch& scratch,
                                        UnityXRMeshDataAllocator* allocator) const;

    // Guards every member below but the scratch pool. Recursive: public operations call one another.
    mutable std::recursive_mutex stateMutex;
    // Held shared by an acquisition while it reads the current scene without stateMutex;
    // held exclusively, under stateMutex, by whatever destroys or replaces the scene.
    mutable std::shared_mutex sceneReaders;
    // Counts scenes made and destroyed: an acquisition records a vertex count only for the
    // scene that is still current.
    uint64_t sceneGeneration = 0;
    // Registered names and their features always hold the same names.
    ProviderNames providers;
    std::map<std::string, int32_t, std::less<>> providerFeatures;
    // Empty while no provider drives.
    std::string drivingProvider;
    ComputeState computeState = Idle;
    // No compute starts before the wall clock has passed this; the epoch lets the first one start at once.
    SystemTime nextComputeTime{};
    std::chrono::duration<int64_t, std::milli> computeInterval{1500};
    // Visual meshes and planes of the current scene, with their last known poses.
    std::map<UnityXRMeshId, XrSceneMeshMSFT, UnityXRMeshIdComparer> sceneMeshes;
    std::map<UnityXRMeshId, XrScenePlaneMSFT, UnityXRMeshIdComparer> scenePlanes;
    std::map<UnityXRMeshId, XrSceneComponentLocationMSFT, UnityXRMeshIdComparer> meshLocations;
    std::map<UnityXRMeshId, XrSceneComponentLocationMSFT, UnityXRMeshIdComparer> planeLocations;
    // Last vertex count seen per mesh buffer id: what tells the engine a mesh changed.
    std::map<uint64_t, uint32_t> vertexCounts;
    // Not owned; the context's trace carries every message.
    ProviderContext* context = nullptr;
    XrBindings* bindings = nullptr;
    // Plane alignments to read; all by default.
    uint32_t planesFilterFlags = 0xFFFFFFFF;
    // A new scene was made and its mesh poses are still to be reported.
    bool transformsPending = false;
    WallClock wallClock = &ReadSystemClock;
    // Scratch not in use by an acquisition; its own lock, so taking one never waits for the state.
    std::mutex scratchMutex;
    std::vector<std::unique_ptr<AcquisitionScratch>> spareScratch;
};

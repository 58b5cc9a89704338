// The state of scene understanding shared by every client: the registry of providers,
// the compute cycle one of them drives, the meshes and planes of the current scene.
// Each job is a class of its own; this one owns them, holds the lock over them, and
// checks what every operation needs first (OpenXR, a provider).
//
// Every public operation may be called from any thread; the threading contract is in
// KelbrinModule.h. One lock object (SceneGuard) guards the state; mesh acquisition holds it
// only to look a mesh up and to record its vertex count, and reads the runtime as a reader of
// the current scene, which is destroyed or replaced only once no reader is left.
#pragma once

#include <openxr/openxr.h>

#include <cstdint>
#include <vector>

#include "ComputeCycle.h"
#include "MeshDelivery.h"
#include "ProviderRegistry.h"
#include "SceneGuard.h"
#include "ScenePlane.h"
#include "ScenePlanes.h"
#include "SceneReader.h"
#include "UnityXRMeshing.h"

namespace kelbrin {

class XrBindings;

class SceneObserver {
public:
    // The bindings must outlive the observer; trace and mesh interface may be null.
    SceneObserver(XrBindings& bindings, IUnityXRTrace* trace, IUnityXRMeshInterface* meshInterface);
    // Unregisters every provider still registered; the last removal destroys the OpenXR
    // scene and scene observer.
    ~SceneObserver();
    SceneObserver(const SceneObserver&) = delete;
    SceneObserver& operator=(const SceneObserver&) = delete;

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

    // --- OpenXR instance ------------------------------------------------------------------
    // Stores the instance a script passes and looks the scene functions up for it. Another
    // instance than the one looked up for (an XR restart in the same process) drops the old
    // instance's scene and scene observer without calling its functions and starts the cycle anew.
    void UseInstance(uint64_t instance);
    // Stores the session a script passes. The scene and scene observer belong to the session they
    // were made on. 0 (a script passes it before destroying its session) destroys them while the
    // session still lives; another session (the application restarted its session after a loss)
    // drops them without calling the runtime, since they are gone with the old one. Either way the
    // providers stay registered and the next compute makes them anew.
    void UseSession(uint64_t session);

    // --- Engine mesh settings: accepted, never applied ---------------------------------
    UnitySubsystemErrorCode SetMeshDensity(float density);
    UnitySubsystemErrorCode SetBoundingVolume(const UnityXRBoundingVolume* volume);

    // --- Scene compute cycle -------------------------------------------------------------
    // Where the cycle reads the time; the system clock unless replaced.
    void SetWallClock(ComputeCycle::WallClock clock);
    // One step of the cycle for the caller: as many of start, poll and scene creation as are
    // ready. False only when OpenXR or providers are missing; a caller that does not drive
    // gets true and changes nothing.
    bool UpdateSceneObservations(const char* name);
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
    // What the engine's GetMeshInfos asks for: one step of the cycle for `name`, then the
    // listing, in one hold of the state lock; the engine's result code.
    UnitySubsystemErrorCode StepAndListMeshes(const char* name, UnityXRMeshInfoAllocator* allocator);
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
    // cancel, gets MeshNormals::kFallbackNormal.
    void CalculateMeshNormals(const std::vector<XrVector3f>& vertices, const std::vector<uint32_t>& indices,
                              std::vector<XrVector3f>& normals);

    // --- Scene planes --------------------------------------------------------------------
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
    // Guard of every operation that needs OpenXR and at least one provider; logs what is missing.
    bool IsReadyWithProviders() const;
    // After the last provider left: nobody is left to read a scene.
    void ReleaseSceneObjects();
    // Forgets the scene objects when a call on them reported them gone; true when it did.
    bool DropLostSceneObjects();
    // The steps of the public operations of the same purpose, under the state lock.
    bool StepCycle(const char* name);
    bool ListMeshes(UnityXRMeshInfoAllocator* allocator);
    uint32_t FindMeshBuffer(const UnityXRMeshId& id, uint64_t& meshBufferId) const;

    XrBindings& bindings;
    IUnityXRTrace* const trace;
    // Guards every member below: each public operation holds it once, private steps assume it held.
    mutable SceneGuard guard;
    const SceneReader reader;
    ProviderRegistry registry;
    ComputeCycle cycle;
    ScenePlanes planes;
    MeshDelivery delivery;
};

} // namespace kelbrin

// The state of scene understanding shared by every client: the registry of
// providers, the one among them that drives the compute cycle, the cycle's state
// and the meshes and planes of the current scene.
#pragma once

#include <openxr/openxr.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <unordered_set>

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
    bool HasProviders() const { return !providers.empty(); }
    bool HasRegisteredProvider(const char* name) const;
    // Whether the caller may drive the compute cycle; takes the role for a registered
    // caller while none drives.
    bool CheckOrSetDrivingProvider(const char* name);
    const std::string& GetDrivingProvider() const { return drivingProvider; }
    const std::map<std::string, int32_t, std::less<>>& GetProviderFeatures() const { return providerFeatures; }

    // --- Engine mesh settings: accepted, never applied ---------------------------------
    UnitySubsystemErrorCode SetMeshDensity(float density);
    UnitySubsystemErrorCode SetBoundingVolume(const UnityXRBoundingVolume* volume);

private:
    using ProviderNames = std::unordered_set<std::string>;
    using SystemTime = std::chrono::time_point<std::chrono::system_clock, std::chrono::microseconds>;

    bool ForceSetDrivingProvider(const char* name);
    // Takes the name out of the registry without allocating, so teardown cannot throw.
    void RemoveProvider(ProviderNames::node_type provider);
    // Guard of every operation that needs OpenXR and at least one provider; logs what is missing.
    bool IsReadyWithProviders() const;

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
};

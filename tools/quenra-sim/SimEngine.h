// The engine side of the simulator: the interface registry a plug-in receives at load,
// the XR trace interface, and the meshing subsystem that runs the plug-in's lifecycle
// and mesh provider and owns the mesh data it is handed.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "UnityInterfaces.h"
#include "UnityXRMeshing.h"
#include "UnityXRTrace.h"

namespace quenra::simulator {

struct MeshInfos {
    UnitySubsystemErrorCode result = kUnitySubsystemErrorCodeFailure;
    std::vector<UnityXRMeshInfo> infos;
};

// One mesh as the engine received it.
struct MeshData {
    UnitySubsystemErrorCode result = kUnitySubsystemErrorCodeFailure;
    std::vector<UnityXRVector3> positions;
    std::vector<UnityXRVector3> normals;
    std::vector<uint32_t> indices;
};

class SimEngine {
public:
    // Trace messages at `shownTraceLevel` or more severe (a lower number) are written to `out`.
    SimEngine(int shownTraceLevel, std::ostream& out);
    ~SimEngine();
    SimEngine(const SimEngine&) = delete;
    SimEngine& operator=(const SimEngine&) = delete;

    IUnityInterfaces* Interfaces() { return &interfaces_; }

    // Messages per trace level (0 failure, 2 warning, 5 notice), whether shown or not.
    int MessageCount(UnityXRTraceLevel level) const;

    // --- Meshing subsystem lifecycle, as the engine runs it --------------------------------
    bool HasLifecycleProvider() const { return lifecycle_.has_value(); }
    UnitySubsystemErrorCode Initialize();
    UnitySubsystemErrorCode Start();
    void Stop();
    void Shutdown();

    // --- The engine's per-frame calls into the mesh provider --------------------------------
    MeshInfos GetMeshInfos();
    // Acquires the mesh, copies out what the plug-in wrote, and releases it again.
    MeshData AcquireAndRelease(const UnityXRMeshId& id);
    // The transforms the plug-in handed over in this call, if any.
    std::optional<std::vector<UnityXRMeshTransform>> GetUpdatedTransforms();

private:
    static IUnityInterface* UNITY_INTERFACE_API GetInterface(const UnityInterfaceIdentifier* identifier);
    static IUnityInterface* UNITY_INTERFACE_API GetInterfaceSplit(uint64_t high, uint64_t low);
    static void UNITY_INTERFACE_API RegisterInterface(const UnityInterfaceIdentifier*, IUnityInterface*) {}
    static void UNITY_INTERFACE_API RegisterInterfaceSplit(uint64_t, uint64_t, IUnityInterface*) {}
    static void UNITY_INTERFACE_API Trace(UnityXRTraceLevel level, const char* format, ...);

    static UnityXRMeshInfo* UNITY_INTERFACE_API AllocateMeshInfos(UnityXRMeshInfoAllocator* allocator,
                                                                  size_t numMeshes);
    static void UNITY_INTERFACE_API SetTransforms(UnityXRMeshTransformList* list,
                                                  const UnityXRMeshTransform* transforms, uint32_t count);
    static UnityXRMeshDescriptor* UNITY_INTERFACE_API AllocateMesh(UnityXRMeshDataAllocator* allocator,
                                                                   size_t vertexCount, size_t indexCount,
                                                                   UnityXRIndexFormat indexFormat,
                                                                   UnityXRMeshVertexAttributeFlags attributes,
                                                                   UnityXRMeshTopology topology);
    static UnitySubsystemErrorCode UNITY_INTERFACE_API RegisterMeshProvider(UnitySubsystemHandle handle,
                                                                            const UnityXRMeshProvider* provider);
    static UnitySubsystemErrorCode UNITY_INTERFACE_API
    RegisterLifecycleProvider(const char* pluginName, const char* id, const UnityLifecycleProvider* provider);

    UnitySubsystemHandle Handle();

    int shownTraceLevel_;
    std::ostream& out_;
    std::map<int, int> messageCounts_;
    IUnityInterfaces interfaces_{};
    IUnityXRTrace trace_{};
    IUnityXRMeshInterface meshInterface_{};
    std::optional<UnityLifecycleProvider> lifecycle_;
    std::optional<UnityXRMeshProvider> meshProvider_;
    // Its address is the subsystem handle the plug-in is given.
    int subsystem_ = 0;
};

} // namespace quenra::simulator

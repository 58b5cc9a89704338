// Engine XR meshing interface: the meshing subsystem's lifecycle, its mesh
// provider callbacks and the allocators through which the engine owns mesh data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "UnityInterfaces.h"

// Result code of every handler the engine calls: 0 success, 1 failure.
typedef int32_t UnitySubsystemErrorCode;
constexpr UnitySubsystemErrorCode kUnitySubsystemErrorCodeSuccess = 0;
constexpr UnitySubsystemErrorCode kUnitySubsystemErrorCodeFailure = 1;

typedef struct UnitySubsystem* UnitySubsystemHandle;

struct UnityXRVector2 {
    float x, y;
};
struct UnityXRVector3 {
    float x, y, z;
};
struct UnityXRVector4 {
    float x, y, z, w;
};
struct UnityXRColorRGBA32 {
    uint8_t r, g, b, a;
};

struct UnityXRMeshId {
    uint64_t idPart[2];
};
static_assert(sizeof(UnityXRMeshId) == 16, "mesh id is two 64-bit words");

struct UnityXRMeshInfo {
    UnityXRMeshId meshId;
    bool updated;
    int32_t priorityHint;
};
static_assert(sizeof(UnityXRMeshInfo) == 24, "mesh-info entries are 24 bytes apart");
static_assert(offsetof(UnityXRMeshInfo, updated) == 16, "updated flag follows the id");
static_assert(offsetof(UnityXRMeshInfo, priorityHint) == 20, "priority hint is the last word");

// The engine's record is longer; the plug-in only ever touches the six buffers it starts with.
struct UnityXRMeshDescriptor {
    UnityXRVector3* positions;
    UnityXRVector3* normals;
    UnityXRVector4* tangents;
    UnityXRVector2* uvs;
    UnityXRColorRGBA32* colors;
    union {
        uint16_t* indices16;
        uint32_t* indices32;
    };
};
static_assert(offsetof(UnityXRMeshDescriptor, positions) == 0 * sizeof(void*), "positions first");
static_assert(offsetof(UnityXRMeshDescriptor, normals) == 1 * sizeof(void*), "normals second");
static_assert(offsetof(UnityXRMeshDescriptor, tangents) == 2 * sizeof(void*), "tangents third");
static_assert(offsetof(UnityXRMeshDescriptor, uvs) == 3 * sizeof(void*), "uvs fourth");
static_assert(offsetof(UnityXRMeshDescriptor, colors) == 4 * sizeof(void*), "colors fifth");
static_assert(offsetof(UnityXRMeshDescriptor, indices32) == 5 * sizeof(void*), "indices sixth");

struct UnityXRMeshTransform {
    UnityXRMeshId meshId;
    uint64_t timestamp;
    UnityXRVector3 position;
    UnityXRVector4 rotation;
    UnityXRVector3 scale;
};
static_assert(offsetof(UnityXRMeshTransform, timestamp) == 16, "timestamp follows the id");
static_assert(offsetof(UnityXRMeshTransform, position) == 24, "position follows the timestamp");
static_assert(offsetof(UnityXRMeshTransform, rotation) == 36, "rotation follows the position");
static_assert(offsetof(UnityXRMeshTransform, scale) == 52, "scale is last");
static_assert(sizeof(UnityXRMeshTransform) == 64, "transform record is 64 bytes");

enum UnityXRIndexFormat : int32_t {
    kUnityXRIndexFormat16Bit = 0,
    kUnityXRIndexFormat32Bit = 1,
};

enum UnityXRMeshVertexAttributeFlags : int32_t {
    kUnityXRMeshVertexAttributeFlagsNormals = 1,
};

enum UnityXRMeshTopology : int32_t {
    kUnityXRMeshTopologyTriangles = 0,
};

// Engine-owned handles passed through to the allocation operations.
struct UnityXRMeshInfoAllocator;
struct UnityXRMeshDataAllocator;
struct UnityXRMeshTransformList;
struct UnityXRBoundingVolume;

struct UnityXRMeshProvider {
    void* userData;
    UnitySubsystemErrorCode(UNITY_INTERFACE_API* GetMeshInfos)(UnitySubsystemHandle handle, void* userData,
                                                                 UnityXRMeshInfoAllocator* allocator);
    UnitySubsystemErrorCode(UNITY_INTERFACE_API* AcquireMesh)(UnitySubsystemHandle handle, void* userData,
                                                                const UnityXRMeshId* meshId,
                                                                UnityXRMeshDataAllocator* allocator);
    UnitySubsystemErrorCode(UNITY_INTERFACE_API* ReleaseMesh)(UnitySubsystemHandle handle, void* userData,
                                                                const UnityXRMeshId* meshId,
                                                                const UnityXRMeshDescriptor* mesh, void* pluginData);
    UnitySubsystemErrorCode(UNITY_INTERFACE_API* SetMeshDensity)(UnitySubsystemHandle handle, void* userData,
                                                                   float density);
    UnitySubsystemErrorCode(UNITY_INTERFACE_API* SetBoundingVolume)(UnitySubsystemHandle handle, void* userData,
                                                                      const UnityXRBoundingVolume* boundingVolume);
    UnitySubsystemErrorCode(UNITY_INTERFACE_API* GetUpdatedTransforms)(UnitySubsystemHandle handle, void* userData,
                                                                         UnityXRMeshTransformList* transforms);
};
static_assert(sizeof(UnityXRMeshProvider) == 7 * sizeof(void*), "user data and six callbacks");

struct UnityLifecycleProvider {
    void* userData;
    UnitySubsystemErrorCode(UNITY_INTERFACE_API* Initialize)(UnitySubsystemHandle handle, void* userData);
    UnitySubsystemErrorCode(UNITY_INTERFACE_API* Start)(UnitySubsystemHandle handle, void* userData);
    void(UNITY_INTERFACE_API* Stop)(UnitySubsystemHandle handle, void* userData);
    void(UNITY_INTERFACE_API* Shutdown)(UnitySubsystemHandle handle, void* userData);
};
static_assert(sizeof(UnityLifecycleProvider) == 5 * sizeof(void*), "user data and four handlers");

struct IUnityXRMeshInterface : IUnityInterface {
    static constexpr uint64_t kIdentifierHigh = 0xede929dfd83a492aULL;
    static constexpr uint64_t kIdentifierLow = 0xb70be1f8ba304c69ULL;

    // Slot 0.
    UnityXRMeshInfo*(UNITY_INTERFACE_API* MeshInfoAllocator_Allocate)(UnityXRMeshInfoAllocator* allocator,
                                                                       size_t numMeshes);
    // Slot 1. The engine reads the count as a full size_t: a narrower argument would leave its
    // upper bits undefined.
    void(UNITY_INTERFACE_API* MeshTransformList_SetTransforms)(UnityXRMeshTransformList* list,
                                                               const UnityXRMeshTransform* transforms, size_t count);
    // Slot 2.
    UnityXRMeshDescriptor*(UNITY_INTERFACE_API* MeshDataAllocator_AllocateMesh)(
        UnityXRMeshDataAllocator* allocator, size_t vertexCount, size_t indexCount, UnityXRIndexFormat indexFormat,
        UnityXRMeshVertexAttributeFlags attributes, UnityXRMeshTopology topology);
    // Slots 3 and 4 are operations this plug-in never calls.
    void* reservedSlot3;
    void* reservedSlot4;
    // Slot 5; non-zero result is failure.
    UnitySubsystemErrorCode(UNITY_INTERFACE_API* RegisterMeshProvider)(UnitySubsystemHandle handle,
                                                                        const UnityXRMeshProvider* provider);
    // Slot 6; non-zero result is failure.
    UnitySubsystemErrorCode(UNITY_INTERFACE_API* RegisterLifecycleProvider)(const char* pluginName, const char* id,
                                                                             const UnityLifecycleProvider* provider);
};
static_assert(std::is_same_v<decltype(IUnityXRMeshInterface::MeshTransformList_SetTransforms),
                             void(UNITY_INTERFACE_API*)(UnityXRMeshTransformList*, const UnityXRMeshTransform*,
                                                        size_t)>,
              "the transform count crosses as size_t, as the engine declares it");
static_assert(offsetof(IUnityXRMeshInterface, RegisterMeshProvider) == 5 * sizeof(void*), "slot 5");
static_assert(offsetof(IUnityXRMeshInterface, RegisterLifecycleProvider) == 6 * sizeof(void*), "slot 6");

// libKelbrin, opened by path and reached only through its exports, fed scenes decoded from each
// input: any number of meshes and planes with colliding or random ids, poses with NaN and
// infinities, mesh buffers with out-of-range indices, and runtime answers whose two-call sizes
// disagree. The engine lists and acquires meshes and a script reads planes and plane vertices,
// with room that may not match what the plug-in reported. Engine buffers are guarded; after
// unload the plug-in must have left nothing alive in the runtime.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <vector>

#include "Engine.h"
#include "FrameLoop.h"
#include "KelbrinSession.h"
#include "Runtime.h"
#include "SceneUnderstanding.h"

namespace {

using quenra::simruntime::HandleKind;
using quenra::simruntime::HandleValue;
using quenra::simruntime::Runtime;

const char* const kScript = "FuzzScript";

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

const quenra::harness::KelbrinExportTable& Kelbrin()
{
    static const auto* plugin = [] {
        try {
            return new quenra::harness::OpenedPlugin<quenra::harness::KelbrinExportTable>("libKelbrin",
                                                                                          KELBRIN_LIBRARY_PATH);
        } catch (const std::exception& error) {
            Fail(error.what());
        }
    }();
    return plugin->Exports();
}

// What the size queries (capacity 0) of the two-call functions add to the true counts.
struct Skew {
    int32_t components = 0;
    int32_t vertices = 0;
    int32_t indices = 0;
};
Skew skew;
PFN_xrGetSceneComponentsMSFT runtimeGetComponents = nullptr;
PFN_xrGetSceneMeshBuffersMSFT runtimeGetMeshBuffers = nullptr;

void Skewed(uint32_t capacity, uint32_t* count, int32_t by)
{
    if (capacity == 0) {
        *count = static_cast<uint32_t>(std::max<int64_t>(0, static_cast<int64_t>(*count) + by));
    }
}

XrResult XRAPI_CALL GetComponentsSkewed(XrSceneMSFT scene, const XrSceneComponentsGetInfoMSFT* info,
                                        XrSceneComponentsMSFT* components)
{
    const XrResult result = runtimeGetComponents(scene, info, components);
    if (result == XR_SUCCESS && components != nullptr) {
        Skewed(components->componentCapacityInput, &components->componentCountOutput, skew.components);
    }
    return result;
}

XrResult XRAPI_CALL GetMeshBuffersSkewed(XrSceneMSFT scene, const XrSceneMeshBuffersGetInfoMSFT* info,
                                         XrSceneMeshBuffersMSFT* buffers)
{
    const XrResult result = runtimeGetMeshBuffers(scene, info, buffers);
    if (result != XR_SUCCESS || buffers == nullptr) {
        return result;
    }
    for (auto* next = static_cast<XrBaseOutStructure*>(buffers->next); next != nullptr; next = next->next) {
        if (next->type == XR_TYPE_SCENE_MESH_VERTEX_BUFFER_MSFT) {
            auto* vertices = reinterpret_cast<XrSceneMeshVertexBufferMSFT*>(next);
            Skewed(vertices->vertexCapacityInput, &vertices->vertexCountOutput, skew.vertices);
        } else if (next->type == XR_TYPE_SCENE_MESH_INDICES_UINT32_MSFT) {
            auto* indices = reinterpret_cast<XrSceneMeshIndicesUint32MSFT*>(next);
            Skewed(indices->indexCapacityInput, &indices->indexCountOutput, skew.indices);
        } else if (next->type == XR_TYPE_SCENE_MESH_INDICES_UINT16_MSFT) {
            auto* indices = reinterpret_cast<XrSceneMeshIndicesUint16MSFT*>(next);
            Skewed(indices->indexCapacityInput, &indices->indexCountOutput, skew.indices);
        }
    }
    return result;
}

class SceneProgram {
public:
    SceneProgram(const uint8_t* data, size_t size) : input(data, size)
    {
        engine.trace.SetKeeping(false);
        runtime.SetRecording(false);
        runtimeGetComponents = reinterpret_cast<PFN_xrGetSceneComponentsMSFT>(runtime.Function("xrGetSceneComponentsMSFT"));
        runtimeGetMeshBuffers = reinterpret_cast<PFN_xrGetSceneMeshBuffersMSFT>(runtime.Function("xrGetSceneMeshBuffersMSFT"));
        runtime.AddFunction("xrGetSceneComponentsMSFT", reinterpret_cast<PFN_xrVoidFunction>(&GetComponentsSkewed));
        runtime.AddFunction("xrGetSceneMeshBuffersMSFT", reinterpret_cast<PFN_xrVoidFunction>(&GetMeshBuffersSkewed));
    }

    void Run()
    {
        const auto& kelbrin = Kelbrin();
        scene.SetWorld(World());
        scene.QueueComputeOutcome({input.ConsumeIntegralInRange<int>(0, 2),
                                   input.ConsumeBool() ? XR_SCENE_COMPUTE_STATE_COMPLETED_MSFT
                                                       : XR_SCENE_COMPUTE_STATE_COMPLETED_WITH_ERROR_MSFT});
        skew = {input.ConsumeIntegralInRange<int32_t>(-2, 2), input.ConsumeIntegralInRange<int32_t>(-3, 3),
                input.ConsumeIntegralInRange<int32_t>(-3, 3)};

        const XrInstance instance = runtime.MakeInstance();
        const XrSession session = runtime.MakeSession(instance);
        quenra::harness::KelbrinSession connection(kelbrin, engine);
        connection.Load();
        const PFN_xrGetInstanceProcAddr lookup = connection.Chain(&Runtime::GetInstanceProcAddr);
        connection.StartMeshing(instance, session, runtime.MakeSpace(session));
        kelbrin.RegisterProviderWithSceneObserver(kScript, input.ConsumeIntegralInRange<int32_t>(0, 7));
        kelbrin.SetPlanesFilterFlags(input.ConsumeIntegral<uint32_t>());
        PFN_xrVoidFunction waitFrame = nullptr;
        if (lookup == nullptr || lookup(instance, "xrWaitFrame", &waitFrame) != XR_SUCCESS) {
            Fail("no xrWaitFrame through the plug-in's lookup");
        }
        for (int frame = 0; frame < 5; ++frame) {
            XrFrameState state{XR_TYPE_FRAME_STATE};
            reinterpret_cast<PFN_xrWaitFrame>(waitFrame)(session, nullptr, &state);
            ListAndAcquire();
            kelbrin.UpdateObservedScene(kScript);
            ReadPlanes();
        }
        connection.StopMeshing();
        connection.Unload();
        if (!runtime.LiveHandles(HandleKind::SceneObserver).empty() || !runtime.LiveHandles(HandleKind::Scene).empty()) {
            Fail("a scene observer or scene left alive after unload");
        }
    }

private:
    XrUuidMSFT Uuid()
    {
        // Few distinct ids, so that they collide; sometimes all zero.
        XrUuidMSFT id{};
        id.bytes[0] = input.ConsumeIntegralInRange<uint8_t>(0, 5);
        id.bytes[15] = input.ConsumeIntegralInRange<uint8_t>(0, 1);
        return id;
    }
    float Float() { return input.ConsumeFloatingPoint<float>(); }
    XrPosef Pose()
    {
        if (input.ConsumeBool()) {
            return {{0, 0, 0, 1}, {0, 0, 0}};
        }
        return {{Float(), Float(), Float(), Float()}, {Float(), Float(), Float()}};
    }
    uint64_t BufferId() { return input.ConsumeIntegralInRange<uint64_t>(0, 4); }
    XrSpaceLocationFlags LocationFlags()
    {
        return input.ConsumeBool() ? 0xf : input.ConsumeIntegralInRange<XrSpaceLocationFlags>(0, 0xf);
    }

    // A mesh or plane whose ids, location flags and pose come from the input.
    template <typename Record> Record& Component(std::vector<Record>& records)
    {
        Record& record = records.emplace_back();
        record.id = Uuid();
        record.parentId = Uuid();
        record.locationFlags = LocationFlags();
        record.pose = Pose();
        return record;
    }

    quenra::simruntime::SimWorld World()
    {
        quenra::simruntime::SimWorld world;
        for (uint64_t id = 1; id <= 4; ++id) {
            quenra::simruntime::SimMeshBuffer& buffer = world.buffers[id];
            const size_t vertexCount = input.ConsumeIntegralInRange<size_t>(0, 24);
            for (size_t i = 0; i < vertexCount; ++i) {
                buffer.vertices.push_back(input.ConsumeBool() ? XrVector3f{static_cast<float>(i), 1, 2}
                                                              : XrVector3f{Float(), Float(), Float()});
            }
            const size_t indexCount = input.ConsumeIntegralInRange<size_t>(0, 36);
            for (size_t i = 0; i < indexCount; ++i) {
                buffer.indices.push_back(input.ConsumeIntegralInRange<int>(0, 7) == 0
                                             ? input.ConsumeIntegral<uint32_t>()
                                             : input.ConsumeIntegralInRange<uint32_t>(0, vertexCount));
            }
            buffer.supportsIndicesUint16 = input.ConsumeBool();
        }
        const size_t meshCount = input.ConsumeIntegralInRange<size_t>(0, 6);
        for (size_t i = 0; i < meshCount; ++i) {
            quenra::simruntime::SimVisualMesh& mesh = Component(world.meshes);
            mesh.meshBufferId = BufferId();
        }
        const size_t planeCount = input.ConsumeIntegralInRange<size_t>(0, 6);
        for (size_t i = 0; i < planeCount; ++i) {
            quenra::simruntime::SimPlane& plane = Component(world.planes);
            plane.alignment = static_cast<XrScenePlaneAlignmentTypeMSFT>(input.ConsumeIntegralInRange<int>(0, 3));
            plane.size = {Float(), Float()};
            plane.meshBufferId = BufferId();
        }
        return world;
    }

    void ListAndAcquire()
    {
        const quenra::simengine::MeshInfosResult list = engine.meshes.GetMeshInfos();
        if (!list.guardsIntact) {
            Fail("mesh infos written outside the engine's buffer");
        }
        for (const UnityXRMeshInfo& info : list.infos) {
            if (!engine.meshes.AcquireAndReleaseMesh(info.meshId).guardsIntact) {
                Fail("mesh data written outside the engine's buffers");
            }
        }
        if (input.ConsumeBool()) {
            // An id the plug-in never listed.
            UnityXRMeshId unknown{{input.ConsumeIntegral<uint64_t>(), input.ConsumeIntegral<uint64_t>()}};
            if (!engine.meshes.AcquireAndReleaseMesh(unknown).guardsIntact) {
                Fail("mesh data written outside the engine's buffers");
            }
        }
        engine.meshes.GetUpdatedTransforms();
    }

    // The script's sequence, with room that may be more or less than what was reported. Every
    // buffer is exactly the room claimed, so the sanitizer catches a write past it.
    void ReadPlanes()
    {
        const auto& kelbrin = Kelbrin();
        kelbrin.UpdatePlanes();
        uint32_t count = 0;
        kelbrin.CountScenePlanes(&count);
        const uint32_t room = static_cast<uint32_t>(
            std::clamp<int64_t>(static_cast<int64_t>(count) + input.ConsumeIntegralInRange<int>(-2, 2), 0, 64));
        std::vector<ScenePlane> planes(room);
        kelbrin.FetchScenePlanes(room, planes.empty() ? nullptr : planes.data());
        if (input.ConsumeBool()) {
            // A record the script made up.
            ScenePlane madeUp{};
            madeUp.id = {{input.ConsumeIntegral<uint64_t>(), input.ConsumeIntegral<uint64_t>()}};
            planes.push_back(madeUp);
        }
        for (ScenePlane plane : planes) {
            plane.vertexCount = static_cast<uint32_t>(std::clamp<int64_t>(
                static_cast<int64_t>(plane.vertexCount) + input.ConsumeIntegralInRange<int>(-2, 1), 0, 4096));
            plane.indexCount = static_cast<uint32_t>(std::clamp<int64_t>(
                static_cast<int64_t>(plane.indexCount) + input.ConsumeIntegralInRange<int>(-2, 1), 0, 4096));
            std::vector<XrVector3f> vertices(plane.vertexCount);
            std::vector<uint32_t> indices(plane.indexCount);
            kelbrin.FetchPlaneVertices(&plane, vertices.empty() ? nullptr : vertices.data(),
                                       indices.empty() ? nullptr : indices.data());
        }
    }

    FuzzedDataProvider input;
    Runtime runtime;
    quenra::simruntime::FrameLoop frames{runtime};
    quenra::simruntime::SceneUnderstanding scene{runtime};
    quenra::harness::Engine engine;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SceneProgram program(data, size);
    program.Run();
    return 0;
}

// Counts reported by the runtime are not trusted: a runtime that announces more or fewer
// elements than it writes, or an absurd number, must not make the plug-in write out of
// bounds, throw across the boundary or crash.
#include <atomic>
#include <cstdlib>
#include <new>
#include <optional>

#include "SceneCycle.h"

// Allocation in this executable fails beyond 1 GiB, as on a device whose memory is exhausted,
// so an absurd count meets a real allocation failure on every build, sanitizers included. A
// test may lower the limit for a moment, and count the allocations alive.
namespace {
constexpr size_t kAllocationLimit = size_t{1} << 30;
std::atomic<size_t> allocationLimit{kAllocationLimit};
std::atomic<long> liveAllocations{0};

void Free(void* memory) noexcept
{
    liveAllocations -= memory != nullptr ? 1 : 0;
    std::free(memory);
}
} // namespace

void* operator new(size_t size)
{
    void* memory = size <= allocationLimit ? std::malloc(size != 0 ? size : 1) : nullptr;
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    ++liveAllocations;
    return memory;
}

void operator delete(void* memory) noexcept
{
    Free(memory);
}

void operator delete(void* memory, size_t) noexcept
{
    Free(memory);
}

namespace kelbrin::test {
namespace {

using ::testing::ElementsAre;

// What the lying runtime reports in place of the true counts.
struct Lies {
    std::optional<uint32_t> componentCount;
    std::optional<uint32_t> sizedVertexCount;
    std::optional<uint32_t> filledVertexCount;
};
Lies lies;
PFN_xrGetSceneComponentsMSFT trueComponents = nullptr;
PFN_xrGetSceneMeshBuffersMSFT trueMeshBuffers = nullptr;

XrResult XRAPI_CALL LyingComponents(XrSceneMSFT scene, const XrSceneComponentsGetInfoMSFT* info,
                                    XrSceneComponentsMSFT* components)
{
    const XrResult result = trueComponents(scene, info, components);
    if (result == XR_SUCCESS && components->componentCapacityInput == 0 && lies.componentCount) {
        components->componentCountOutput = *lies.componentCount;
    }
    return result;
}

XrResult XRAPI_CALL LyingMeshBuffers(XrSceneMSFT scene, const XrSceneMeshBuffersGetInfoMSFT* info,
                                     XrSceneMeshBuffersMSFT* buffers)
{
    // The plug-in chains the vertex buffer first.
    auto* vertices = static_cast<XrSceneMeshVertexBufferMSFT*>(buffers->next);
    const bool sizing = vertices->vertexCapacityInput == 0;
    const XrResult result = trueMeshBuffers(scene, info, buffers);
    const std::optional<uint32_t>& lie = sizing ? lies.sizedVertexCount : lies.filledVertexCount;
    if (result == XR_SUCCESS && lie) {
        vertices->vertexCountOutput = *lie;
    }
    return result;
}

class RuntimeCounts : public SceneCycle {
protected:
    RuntimeCounts()
    {
        lies = Lies{};
        trueComponents = reinterpret_cast<PFN_xrGetSceneComponentsMSFT>(runtime.Function("xrGetSceneComponentsMSFT"));
        trueMeshBuffers =
            reinterpret_cast<PFN_xrGetSceneMeshBuffersMSFT>(runtime.Function("xrGetSceneMeshBuffersMSFT"));
        runtime.AddFunction("xrGetSceneComponentsMSFT", reinterpret_cast<PFN_xrVoidFunction>(&LyingComponents));
        runtime.AddFunction("xrGetSceneMeshBuffersMSFT", reinterpret_cast<PFN_xrVoidFunction>(&LyingMeshBuffers));
        // A fresh library looks the functions up again, now the lying ones.
        Reload();
        Observer().SetWallClock(&SceneCycle::ReadTestClock);
        ConnectOpenXr();
        WaitFrame();
        StartMeshingSubsystem();

        SetMesh(SimMeshBuffer{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}});
        trace.Clear();
    }

    // One mesh of this buffer, the only one of the world.
    void SetMesh(SimMeshBuffer buffer)
    {
        SimWorld world;
        world.meshes.push_back(VisualMesh(kMesh, 7));
        world.buffers[7] = std::move(buffer);
        sceneUnderstanding.SetWorld(std::move(world));
    }

    quenra::simengine::AcquiredMesh ListAndAcquire()
    {
        EXPECT_EQ(EngineUpdate().result, kUnitySubsystemErrorCodeSuccess);
        trace.Clear();
        return meshes.AcquireMesh(MeshIdOf(kMesh));
    }

    const XrUuidMSFT kMesh = Uuid({0x2A});
};

TEST_F(RuntimeCounts, AbsurdVertexCountIsALoggedFailure)
{
    lies.sizedVertexCount = 0xFFFFFFFF;
    const auto mesh = ListAndAcquire();
    EXPECT_EQ(mesh.result, kUnitySubsystemErrorCodeFailure);
    EXPECT_FALSE(mesh.request.has_value());
    EXPECT_THAT(Messages(), ElementsAre(Message{0, "Failed to allocate mesh buffer 7: 4294967295 vertices, 3 indices"},
                                        Message{0, "Failed to read mesh buffer with id 7"}));
}

TEST_F(RuntimeCounts, AbsurdComponentCountIsALoggedFailure)
{
    lies.componentCount = 0xFFFFFFFF;
    EXPECT_EQ(EngineUpdate().result, kUnitySubsystemErrorCodeFailure);
    EXPECT_THAT(Messages(), ElementsAre(Message{0, "Failed to allocate 4294967295 scene components"}));
}

TEST_F(RuntimeCounts, MeshThatGrewBetweenTheCallsIsRefusedNotOverrun)
{
    lies.sizedVertexCount = 2;
    const auto mesh = ListAndAcquire();
    EXPECT_EQ(mesh.result, kUnitySubsystemErrorCodeFailure);
    EXPECT_THAT(Messages(), ElementsAre(Message{0, "Failed to get scene mesh buffers: -11"},
                                        Message{0, "Failed to read mesh buffer with id 7"}));
}

TEST_F(RuntimeCounts, FillReportingMoreThanTheRoomGivenDeliversOnlyThatRoom)
{
    lies.filledVertexCount = 1000;
    const auto mesh = ListAndAcquire();
    ASSERT_EQ(mesh.result, kUnitySubsystemErrorCodeSuccess);
    EXPECT_EQ(mesh.request->vertexCount, 3u);
    EXPECT_EQ(mesh.positions.size(), 3u);
    EXPECT_TRUE(mesh.guardsIntact);
}

TEST_F(RuntimeCounts, FillReportingFewerThanAnnouncedDeliversOnlyWhatWasWritten)
{
    lies.sizedVertexCount = 10;
    const auto mesh = ListAndAcquire();
    ASSERT_EQ(mesh.result, kUnitySubsystemErrorCodeSuccess);
    EXPECT_EQ(mesh.request->vertexCount, 3u);
    EXPECT_EQ(mesh.positions[2].y, 1.0f);
    EXPECT_TRUE(mesh.guardsIntact);
}

// Each way an acquisition can fail once the listing flagged the mesh: the engine keeps its stale
// mesh unless the next listing flags it again. A delivered mesh is not flagged again.
enum class Acquisition { RuntimeReadFails, NoNormalsScratch, EngineAllocatesNothing, Delivered };

std::string AcquisitionName(const ::testing::TestParamInfo<Acquisition>& info)
{
    const char* const names[] = {"RuntimeReadFails", "NoNormalsScratch", "EngineAllocatesNothing", "Delivered"};
    return names[static_cast<int>(info.param)];
}

class AcquisitionThenListing : public RuntimeCounts, public ::testing::WithParamInterface<Acquisition> {};

TEST_P(AcquisitionThenListing, OnlyADeliveredMeshIsNoLongerFlagged)
{
    // 4096 vertices: 48 KiB of positions and of indices, 64 KiB of normals scratch.
    SetMesh(Strip(4096));
    const auto first = EngineUpdate();
    ASSERT_EQ(first.infos.size(), 1u);
    ASSERT_EQ(UpdatedByte(first.infos[0]), 1);
    switch (GetParam()) {
    case Acquisition::RuntimeReadFails:
        runtime.FailNext("xrGetSceneMeshBuffersMSFT", XR_ERROR_RUNTIME_FAILURE);
        break;
    case Acquisition::NoNormalsScratch:
        allocationLimit = 50'000;
        break;
    case Acquisition::EngineAllocatesNothing:
        meshes.FailNextMeshAllocation();
        break;
    case Acquisition::Delivered:
        break;
    }
    const UnitySubsystemErrorCode acquired = meshes.AcquireMesh(MeshIdOf(kMesh)).result;
    allocationLimit = kAllocationLimit;
    const bool delivered = GetParam() == Acquisition::Delivered;
    EXPECT_EQ(acquired, delivered ? kUnitySubsystemErrorCodeSuccess : kUnitySubsystemErrorCodeFailure);

    const auto next = EngineUpdate();
    ASSERT_EQ(next.infos.size(), 1u);
    EXPECT_EQ(UpdatedByte(next.infos[0]), delivered ? 0xCD : 1);
}

INSTANTIATE_TEST_SUITE_P(Kinds, AcquisitionThenListing,
                         ::testing::Values(Acquisition::RuntimeReadFails, Acquisition::NoNormalsScratch,
                                           Acquisition::EngineAllocatesNothing, Acquisition::Delivered),
                         AcquisitionName);

TEST_F(RuntimeCounts, PlaneBookkeepingHoldsOnlyTheCurrentScenesPlanes)
{
    RegisterProviderWithSceneObserver("planes", ComputeCycle::FeaturePlane);
    runtime.SetRecording(false);
    trace.SetKeeping(false);
    // Every scene has two planes never seen before.
    const auto nextScene = [this](uint8_t scene) {
        SimWorld world;
        world.meshes.push_back(VisualMesh(kMesh, 7));
        world.buffers[7] = SimMeshBuffer{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}};
        for (const uint8_t plane : {uint8_t{1}, uint8_t{2}}) {
            SimPlane record;
            record.id = Uuid({scene, plane});
            world.planes.push_back(record);
        }
        sceneUnderstanding.SetWorld(std::move(world));
        Advance(1501ms);
        ASSERT_EQ(EngineUpdate().result, kUnitySubsystemErrorCodeSuccess);
        uint32_t count = 0;
        ASSERT_TRUE(UpdatePlanes() && CountScenePlanes(&count));
        ASSERT_EQ(count, 2u);
    };
    for (uint8_t scene = 1; scene <= 10; ++scene) {
        nextScene(scene);
    }
    const long settled = liveAllocations;
    for (uint8_t scene = 11; scene <= 110; ++scene) {
        nextScene(scene);
    }
    EXPECT_EQ(liveAllocations - settled, 0);
}

} // namespace
} // namespace kelbrin::test

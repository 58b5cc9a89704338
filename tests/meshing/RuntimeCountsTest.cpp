// Counts reported by the runtime are not trusted: a runtime that announces more or fewer
// elements than it writes, or an absurd number, must not make the plug-in write out of
// bounds, throw across the boundary or crash.
#include <cstdlib>
#include <new>
#include <optional>

#include "SceneCycle.h"

// Allocation in this executable fails beyond 1 GiB, as on a device whose memory is exhausted,
// so an absurd count meets a real allocation failure on every build, sanitizers included.
namespace {
constexpr size_t kAllocationLimit = size_t{1} << 30;
}

void* operator new(size_t size)
{
    void* memory = size <= kAllocationLimit ? std::malloc(size != 0 ? size : 1) : nullptr;
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    return memory;
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, size_t) noexcept
{
    std::free(memory);
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

        SimWorld world;
        world.meshes.push_back(VisualMesh(kMesh, 7));
        world.buffers[7] = SimMeshBuffer{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}};
        sceneUnderstanding.SetWorld(world);
        trace.Clear();
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

} // namespace
} // namespace kelbrin::test

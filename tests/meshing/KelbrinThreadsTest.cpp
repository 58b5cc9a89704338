// libKelbrin under the engine's threads: the frame thread waits frames and lists meshes,
// generation threads acquire them, a script reads planes, the editor loads and unloads.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "PlainNormals.h"
#include "SceneCycle.h"

namespace kelbrin::test {
namespace {

using PredictedTime = LoadedPlugin;

TEST_F(PredictedTime, FrameThreadWritesWhileAnotherThreadReads)
{
    ConnectOpenXr();
    const PFN_xrWaitFrame wait = InterceptedWaitFrame();
    ASSERT_NE(wait, nullptr);
    frames.SetFramePeriod(10);
    const XrTime first = frames.LastPredictedDisplayTime() + 10;
    constexpr int kFrames = 2000;

    std::atomic<bool> done{false};
    std::thread frameThread([&] {
        for (int i = 0; i < kFrames; ++i) {
            XrFrameState state{XR_TYPE_FRAME_STATE};
            EXPECT_EQ(wait(session, nullptr, &state), XR_SUCCESS);
        }
        done = true;
    });
    // Every value read is one the runtime predicted, and they never go back.
    XrTime last = 0;
    bool ordered = true;
    bool predicted = true;
    while (!done) {
        const XrTime now = Bindings().GetPredictedDisplayTime();
        ordered = ordered && now >= last;
        predicted = predicted && (now == 0 || (now >= first && (now - first) % 10 == 0));
        last = now;
    }
    frameThread.join();
    EXPECT_TRUE(ordered);
    EXPECT_TRUE(predicted);
    EXPECT_EQ(Bindings().GetPredictedDisplayTime(), first + 10 * (kFrames - 1));
}

// The frame functions the application calls around the intercepted wait.
struct FrameFunctions {
    explicit FrameFunctions(XrInstance instance)
    {
        Runtime::GetInstanceProcAddr(instance, "xrBeginFrame", reinterpret_cast<PFN_xrVoidFunction*>(&begin));
        Runtime::GetInstanceProcAddr(instance, "xrEndFrame", reinterpret_cast<PFN_xrVoidFunction*>(&end));
    }
    // Begins and ends the frame just waited for.
    bool Finish(XrSession session, XrTime displayTime) const
    {
        XrFrameEndInfo endInfo{XR_TYPE_FRAME_END_INFO};
        endInfo.displayTime = displayTime;
        endInfo.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
        return begin(session, nullptr) == XR_SUCCESS && end(session, &endInfo) == XR_SUCCESS;
    }
    PFN_xrBeginFrame begin = nullptr;
    PFN_xrEndFrame end = nullptr;
};

// Scene version v: every mesh and plane vertex carries v in y at its first vertex, and the
// meshes change their row count from one version to the next, so a mesh read half from one
// scene and half from another, or with another scene's normals, shows.
constexpr uint32_t kMeshes = 4;
constexpr uint64_t kFirstMeshBuffer = 100;
constexpr uint64_t kFirstPlaneBuffer = 500;
constexpr uint32_t kPlanes = 2;

SimMeshBuffer MeshBuffer(uint32_t mesh, uint32_t version)
{
    const uint32_t rows = 2 + (version + mesh) % 3;
    const uint32_t columns = 3 + mesh;
    SimMeshBuffer buffer;
    for (uint32_t r = 0; r < rows; ++r) {
        for (uint32_t c = 0; c < columns; ++c) {
            buffer.vertices.push_back({c + 0.25f * static_cast<float>(r * r),
                                       static_cast<float>(version) + 0.125f * static_cast<float>(c * r),
                                       static_cast<float>(r) - 0.5f * static_cast<float>(mesh)});
        }
    }
    for (uint32_t r = 0; r + 1 < rows; ++r) {
        for (uint32_t c = 0; c + 1 < columns; ++c) {
            const uint32_t corner = r * columns + c;
            buffer.indices.insert(buffer.indices.end(), {corner, corner + columns, corner + 1, corner + 1,
                                                         corner + columns, corner + columns + 1});
        }
    }
    return buffer;
}

SimWorld World(uint32_t version)
{
    SimWorld world;
    for (uint32_t mesh = 0; mesh < kMeshes; ++mesh) {
        world.meshes.push_back(VisualMesh(Uuid({static_cast<uint8_t>(mesh + 1)}), kFirstMeshBuffer + mesh));
        world.buffers[kFirstMeshBuffer + mesh] = MeshBuffer(mesh, version);
    }
    const auto y = static_cast<float>(version);
    for (uint32_t plane = 0; plane < kPlanes; ++plane) {
        SimPlane record;
        record.id = Uuid({static_cast<uint8_t>(0x40 + plane)});
        record.meshBufferId = kFirstPlaneBuffer + plane;
        world.planes.push_back(record);
        world.buffers[kFirstPlaneBuffer + plane] = {{{0, y, 0}, {1, y, 0}, {1, y, 1}, {0, y, 1}}, {0, 1, 2, 0, 2, 3}};
    }
    return world;
}

// What the engine must receive for a mesh of a scene version: mirrored z, reversed
// indices, the plain normals mirrored.
bool MatchesReference(const quenra::simengine::AcquiredMesh& acquired, uint32_t mesh, uint32_t version)
{
    const SimMeshBuffer buffer = MeshBuffer(mesh, version);
    std::vector<XrVector3f> normals = PlainNormals(buffer.vertices, buffer.indices);
    if (acquired.positions.size() != buffer.vertices.size() || acquired.normals.size() != normals.size() ||
        acquired.indices.size() != buffer.indices.size() || !acquired.guardsIntact) {
        return false;
    }
    std::vector<UnityXRVector3> positions;
    for (const XrVector3f& v : buffer.vertices) {
        positions.push_back({v.x, v.y, -v.z});
    }
    for (XrVector3f& n : normals) {
        n.z = -n.z;
    }
    const std::vector<uint32_t> indices(buffer.indices.rbegin(), buffer.indices.rend());
    return std::memcmp(acquired.positions.data(), positions.data(), positions.size() * sizeof(UnityXRVector3)) == 0 &&
           std::memcmp(acquired.normals.data(), normals.data(), normals.size() * sizeof(XrVector3f)) == 0 &&
           acquired.indices == indices;
}

class EngineThreads : public SceneCycle {
protected:
    // Whatever any thread saw go wrong, for the main thread to report.
    void Fail(const std::string& what)
    {
        if (failures.fetch_add(1) == 0) {
            std::lock_guard<std::mutex> lock(firstFailureMutex);
            firstFailure = what;
        }
    }

    std::atomic<uint32_t> listedVersion{0};
    std::atomic<bool> done{false};
    std::atomic<int> failures{0};
    std::mutex firstFailureMutex;
    std::string firstFailure;
};

TEST_F(EngineThreads, MeshesAcquiredWhileScenesAreReplacedEveryFrameComeWholeFromOneScene)
{
    constexpr uint32_t kFrames = 2000;
    StartMeshingSubsystem();
    RegisterProviderWithSceneObserver("PlaneScript", ComputeCycle::FeaturePlane | ComputeCycle::FeaturePlaneMesh);
    trace.SetKeeping(false);
    const PFN_xrWaitFrame wait = InterceptedWaitFrame();
    ASSERT_NE(wait, nullptr);
    const FrameFunctions frame(instance);

    // The frame thread: a new world and a due compute every frame, so every engine update
    // replaces the scene.
    std::thread frameThread([&] {
        for (uint32_t version = 1; version <= kFrames; ++version) {
            sceneUnderstanding.SetWorld(World(version));
            Advance(2s);
            XrFrameState state{XR_TYPE_FRAME_STATE};
            if (wait(session, nullptr, &state) != XR_SUCCESS || !frame.Finish(session, state.predictedDisplayTime)) {
                Fail("frame " + std::to_string(version) + " refused");
            }
            const quenra::simengine::MeshInfosResult listed = EngineUpdate();
            if (listed.result != kUnitySubsystemErrorCodeSuccess || listed.infos.size() != kMeshes) {
                Fail("listing of version " + std::to_string(version) + " failed");
            }
            listedVersion = version;
        }
        done = true;
    });
    std::atomic<uint64_t> acquisitions{0};
    const auto acquire = [&] {
        while (listedVersion == 0) {
            std::this_thread::yield();
        }
        while (!done) {
            for (uint32_t mesh = 0; mesh < kMeshes; ++mesh) {
                const quenra::simengine::AcquiredMesh acquired =
                    meshes.AcquireAndReleaseMesh(MeshIdOf(Uuid({static_cast<uint8_t>(mesh + 1)})));
                const uint32_t version =
                    acquired.positions.empty() ? 0 : static_cast<uint32_t>(acquired.positions[0].y);
                if (acquired.result != kUnitySubsystemErrorCodeSuccess || version == 0 || version > listedVersion + 1 ||
                    !MatchesReference(acquired, mesh, version)) {
                    Fail("mesh " + std::to_string(mesh) + " acquired wrong, version " + std::to_string(version));
                }
                ++acquisitions;
            }
        }
    };
    std::thread generationA(acquire);
    std::thread generationB(acquire);
    // The script: planes read and fetched with their vertices, each plane from one scene.
    uint64_t planeReads = 0;
    std::thread script([&] {
        while (listedVersion == 0) {
            std::this_thread::yield();
        }
        while (!done) {
            uint32_t count = 0;
            if (!UpdatePlanes() || !CountScenePlanes(&count) || count != kPlanes) {
                Fail("planes not read");
                continue;
            }
            std::vector<ScenePlane> planes(count);
            if (!FetchScenePlanes(count, planes.data())) {
                Fail("planes not fetched");
                continue;
            }
            for (const ScenePlane& plane : planes) {
                std::vector<XrVector3f> vertices(plane.vertexCount);
                std::vector<uint32_t> indices(plane.indexCount);
                const bool fetched =
                    plane.vertexCount == 4 && FetchPlaneVertices(&plane, vertices.data(), indices.data());
                if (!fetched || std::any_of(vertices.begin(), vertices.end(),
                                            [&](const XrVector3f& v) { return v.y != vertices[0].y; })) {
                    Fail("plane vertices not from one scene");
                }
            }
            ++planeReads;
        }
    });
    frameThread.join();
    generationA.join();
    generationB.join();
    script.join();
    EXPECT_EQ(failures, 0) << firstFailure;
    EXPECT_GT(acquisitions, 0u);
    EXPECT_GT(planeReads, 0u);

    meshes.Stop();
    meshes.Shutdown();
    UnregisterProviderWithSceneObserver("PlaneScript");
    EXPECT_EQ(trace.CountAtLevel(kXRTraceLevelError), 0u);
    // Every scene was used only while it lived, and none outlived the last provider.
    size_t invalidHandles = 0;
    for (const quenra::simruntime::RecordedCall& call : runtime.Calls()) {
        invalidHandles += call.result == XR_ERROR_HANDLE_INVALID;
    }
    EXPECT_EQ(invalidHandles, 0u);
    EXPECT_TRUE(runtime.LiveHandles(HandleKind::Scene).empty());
    EXPECT_TRUE(runtime.LiveHandles(HandleKind::SceneObserver).empty());
}

// Holds one acquisition inside its read of the runtime until released: the runtime's mesh
// buffer function, wrapped, stops the thread it is told to stop at its first call.
struct HeldRead {
    void Enter()
    {
        std::unique_lock<std::mutex> lock(mutex);
        if (std::this_thread::get_id() != heldThread) {
            return;
        }
        heldThread = std::thread::id();
        inside = true;
        changed.notify_all();
        changed.wait(lock, [this] { return released; });
    }
    void WaitUntilInside()
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return inside; });
    }
    void Release()
    {
        std::lock_guard<std::mutex> lock(mutex);
        released = true;
        changed.notify_all();
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::thread::id heldThread;
    bool inside = false;
    bool released = false;
};
HeldRead* heldRead = nullptr;
PFN_xrGetSceneMeshBuffersMSFT runtimeMeshBuffers = nullptr;

XrResult XRAPI_CALL HoldingMeshBuffers(XrSceneMSFT scene, const XrSceneMeshBuffersGetInfoMSFT* info,
                                       XrSceneMeshBuffersMSFT* buffers)
{
    heldRead->Enter();
    return runtimeMeshBuffers(scene, info, buffers);
}

class HeldAcquisition : public SceneCycle {
protected:
    HeldAcquisition()
    {
        heldRead = &held;
        runtimeMeshBuffers =
            reinterpret_cast<PFN_xrGetSceneMeshBuffersMSFT>(runtime.Function("xrGetSceneMeshBuffersMSFT"));
        runtime.AddFunction("xrGetSceneMeshBuffersMSFT", reinterpret_cast<PFN_xrVoidFunction>(&HoldingMeshBuffers));
        // A fresh library looks the functions up again, now the holding one.
        Reload();
        Observer().SetWallClock(&SceneCycle::ReadTestClock);
        ConnectOpenXr();
        WaitFrame();
        StartMeshingSubsystem();
        sceneUnderstanding.SetWorld(World(1));
    }
    ~HeldAcquisition() override
    {
        held.Release();
        if (acquisition.valid()) {
            acquisition.wait();
        }
    }

    // Acquires the first mesh on another thread, which stops inside the runtime read.
    void StartHeldAcquisition()
    {
        acquisition = std::async(std::launch::async, [this] {
            {
                std::lock_guard<std::mutex> lock(held.mutex);
                held.heldThread = std::this_thread::get_id();
            }
            return meshes.AcquireAndReleaseMesh(MeshIdOf(Uuid({1})));
        });
        held.WaitUntilInside();
    }

    HeldRead held;
    std::future<quenra::simengine::AcquiredMesh> acquisition;
};

TEST_F(HeldAcquisition, ListingDoesNotWaitAndReplacingTheSceneWaitsForTheReaderWhoGetsTheOldScene)
{
    ASSERT_EQ(EngineUpdate().result, kUnitySubsystemErrorCodeSuccess);
    StartHeldAcquisition();

    // The steady state: listing goes on while the acquisition is inside the runtime.
    auto listing = std::async(std::launch::async, [this] { return EngineUpdate(); });
    const bool listed = listing.wait_for(10s) == std::future_status::ready;
    if (!listed) {
        // Let the listing end, so that the failure is reported rather than waited on.
        held.Release();
    }
    ASSERT_TRUE(listed) << "listing waited for the acquisition";
    EXPECT_EQ(listing.get().result, kUnitySubsystemErrorCodeSuccess);

    // A compute due: the new scene replaces the old only once the reader is out of it.
    sceneUnderstanding.SetWorld(World(2));
    Advance(2s);
    auto replacing = std::async(std::launch::async, [this] { return EngineUpdate(); });
    EXPECT_EQ(replacing.wait_for(100ms), std::future_status::timeout) << "the scene was replaced under its reader";
    held.Release();

    const quenra::simengine::AcquiredMesh acquired = acquisition.get();
    EXPECT_EQ(acquired.result, kUnitySubsystemErrorCodeSuccess);
    EXPECT_TRUE(MatchesReference(acquired, 0, 1));
    EXPECT_EQ(replacing.get().result, kUnitySubsystemErrorCodeSuccess);
    EXPECT_TRUE(MatchesReference(meshes.AcquireAndReleaseMesh(MeshIdOf(Uuid({1}))), 0, 2));
    EXPECT_EQ(trace.CountAtLevel(kXRTraceLevelError), 0u);
}

using LoadAndUnload = LoadedPlugin;

TEST_F(LoadAndUnload, RaceTheFrameThreadsInterceptedWait)
{
    ConnectOpenXr();
    const PFN_xrWaitFrame wait = InterceptedWaitFrame();
    ASSERT_NE(wait, nullptr);
    const FrameFunctions frame(instance);
    constexpr int kFrames = 3000;

    std::atomic<bool> done{false};
    int waited = 0;
    int unsupported = 0;
    std::thread frameThread([&] {
        for (int i = 0; i < kFrames; ++i) {
            XrFrameState state{XR_TYPE_FRAME_STATE};
            const XrResult result = wait(session, nullptr, &state);
            if (result == XR_SUCCESS) {
                waited += frame.Finish(session, state.predictedDisplayTime) ? 1 : 0;
            } else {
                unsupported += result == XR_ERROR_FUNCTION_UNSUPPORTED ? 1 : 0;
            }
        }
        done = true;
    });
    int reloads = 0;
    while (!done) {
        UnityPluginUnload();
        UnityPluginLoad(registry.Interfaces());
        GetInterceptedInstanceProcAddr(&Runtime::GetInstanceProcAddr);
        PFN_xrVoidFunction rebound = nullptr;
        InterceptedXrGetInstanceProcAddr(instance, "xrWaitFrame", &rebound);
        ++reloads;
    }
    frameThread.join();
    // The hooks pass through whether a context is live or not.
    EXPECT_EQ(waited, kFrames);
    EXPECT_EQ(unsupported, 0);
    EXPECT_GT(reloads, 0);
    EXPECT_EQ(trace.Count("Kelbrin::UnityPluginLoad"), static_cast<size_t>(reloads) + 1);
}

PFN_xrWaitFrame runtimeWaitFrame = nullptr;

XrResult XRAPI_CALL HoldingWaitFrame(XrSession session, const XrFrameWaitInfo* info, XrFrameState* state)
{
    heldRead->Enter();
    return runtimeWaitFrame(session, info, state);
}

TEST_F(LoadAndUnload, UnloadDoesNotWaitBehindTheRuntimesBlockedFrameWait)
{
    HeldRead held;
    heldRead = &held;
    runtimeWaitFrame = reinterpret_cast<PFN_xrWaitFrame>(runtime.Function("xrWaitFrame"));
    runtime.AddFunction("xrWaitFrame", reinterpret_cast<PFN_xrVoidFunction>(&HoldingWaitFrame));
    ConnectOpenXr();
    const PFN_xrWaitFrame wait = InterceptedWaitFrame();
    ASSERT_NE(wait, nullptr);
    auto frame = std::async(std::launch::async, [&] {
        {
            std::lock_guard<std::mutex> lock(held.mutex);
            held.heldThread = std::this_thread::get_id();
        }
        XrFrameState state{XR_TYPE_FRAME_STATE};
        return wait(session, nullptr, &state);
    });
    held.WaitUntilInside();

    auto unloading = std::async(std::launch::async, [this] { Unload(); });
    const bool unloaded = unloading.wait_for(10s) == std::future_status::ready;
    held.Release();
    EXPECT_TRUE(unloaded) << "unload waited for the frame thread's xrWaitFrame";
    EXPECT_EQ(frame.get(), XR_SUCCESS);
}

} // namespace
} // namespace kelbrin::test

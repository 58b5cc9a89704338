// Cost of mesh delivery in libKelbrin, against the simulated runtime and a lean engine
// stand-in (its allocators hand out storage kept across calls, as the engine's pools do):
// - AcquireByMeshId on one generated grid of 1,000 to 1,000,000 vertices (about two triangles
//   a vertex), in row order and with its triangles shuffled (as a runtime's mesher may deliver
//   them), beside a memcpy of as many bytes as the acquisition reads (the runtime's vertices and
//   indices) and writes (the engine's positions, normals and indices), with the ratios of their
//   processor times at 100,000 vertices printed at the end of the run;
// - GetMeshInfos on scenes of 10 to 10,000 meshes, with nothing changed and with every mesh
//   changed (a new scene each listing, every mesh with a new mesh buffer and vertex count);
// - GetMeshInfos in the steady state (scene ready, nothing changed) on a scene of 200 meshes,
//   and the frame thread's xrWaitFrame through the plug-in, each with the heap allocations
//   it makes per call (the simulated runtime's recording of calls is off);
// - the latency of each such GetMeshInfos, median and 99th percentile, quiet and while
//   another thread acquires the 100,000-vertex grid of the same scene back to back, as the
//   engine's generation thread does: the main thread should not wait behind it. (The
//   simulated runtime copies mesh buffers outside its lock, as a real one may.)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <type_traits>
#include <vector>

#include "AllocationCounter.h"
#include "ComputeCycle.h"
#include "FigureReporter.h"
#include "KelbrinModule.h"
#include "KelbrinPlugin.h"
#include "KelbrinWorld.h"
#include "ProviderContext.h"

namespace {

using kelbrin::ComputeCycle;
using kelbrin::GetProviderContext;

// The sizes of the scaling runs (in vertices, meshes) and the work, in the same units, of
// each size's run under callgrind.
constexpr std::initializer_list<int64_t> kMeshVertices = {1'000, 10'000, 100'000, 1'000'000};
constexpr int64_t kCallgrindVertices = 2'000'000;
constexpr std::initializer_list<int64_t> kSceneMeshCounts = {10, 100, 1'000, 10'000};
constexpr int64_t kCallgrindMeshes = 100'000;
// The size the acquisition's ratios to a memcpy are reported at.
constexpr int64_t kRatioVertices = 100'000;

// A grid of `vertices` vertices, as near square as a whole number of rows allows: 40 × 25,
// 100 × 100, 250 × 400, 1000 × 1000.
struct GridShape {
    uint32_t columns, rows;
};
GridShape ShapeOf(int64_t vertices)
{
    auto rows = static_cast<uint32_t>(std::sqrt(static_cast<double>(vertices)));
    while (vertices % rows != 0) {
        --rows;
    }
    return {rows, static_cast<uint32_t>(vertices / rows)};
}

quenra::simruntime::SimMeshBuffer Grid(uint32_t columns, uint32_t rows)
{
    quenra::simruntime::SimMeshBuffer grid;
    grid.vertices.reserve(size_t{columns} * rows);
    for (uint32_t row = 0; row < rows; ++row) {
        for (uint32_t column = 0; column < columns; ++column) {
            // A gently rolling surface, so the face normals differ.
            const float x = 0.01f * column;
            const float z = 0.01f * row;
            grid.vertices.push_back({x, 0.05f * ((column * 7 + row * 3) % 11), z});
        }
    }
    for (uint32_t row = 0; row + 1 < rows; ++row) {
        for (uint32_t column = 0; column + 1 < columns; ++column) {
            const uint32_t corner = row * columns + column;
            grid.indices.insert(grid.indices.end(), {corner, corner + columns, corner + 1, corner + 1, corner + columns,
                                                     corner + columns + 1});
        }
    }
    return grid;
}

// The same grid with its triangles in a fixed random order, each keeping its corners.
quenra::simruntime::SimMeshBuffer ShuffledGrid(uint32_t columns, uint32_t rows)
{
    quenra::simruntime::SimMeshBuffer grid = Grid(columns, rows);
    std::vector<uint32_t> order(grid.indices.size() / 3);
    for (uint32_t triangle = 0; triangle < order.size(); ++triangle) {
        order[triangle] = triangle;
    }
    std::shuffle(order.begin(), order.end(), std::mt19937(20261208));
    std::vector<uint32_t> shuffled;
    shuffled.reserve(grid.indices.size());
    for (const uint32_t triangle : order) {
        shuffled.insert(shuffled.end(), grid.indices.begin() + 3 * triangle, grid.indices.begin() + 3 * triangle + 3);
    }
    grid.indices = std::move(shuffled);
    return grid;
}

XrUuidMSFT UuidOf(uint32_t number)
{
    XrUuidMSFT uuid{};
    std::memcpy(uuid.bytes, &number, sizeof(number));
    return uuid;
}

// The engine's meshing subsystem reduced to what it hands the plug-in.
class LeanEngine {
public:
    LeanEngine()
    {
        current = this;
        table.MeshInfoAllocator_Allocate = [](UnityXRMeshInfoAllocator*, size_t count) {
            current->infos.resize(count);
            return current->infos.data();
        };
        table.MeshTransformList_SetTransforms = [](UnityXRMeshTransformList*, const UnityXRMeshTransform*, size_t) {};
        table.MeshDataAllocator_AllocateMesh = [](UnityXRMeshDataAllocator*, size_t vertexCount, size_t indexCount,
                                                  UnityXRIndexFormat, UnityXRMeshVertexAttributeFlags,
                                                  UnityXRMeshTopology) {
            LeanEngine& engine = *current;
            engine.positions.resize(vertexCount);
            engine.normals.resize(vertexCount);
            engine.indices.resize(indexCount);
            engine.descriptor = UnityXRMeshDescriptor{};
            engine.descriptor.positions = engine.positions.data();
            engine.descriptor.normals = engine.normals.data();
            engine.descriptor.indices32 = engine.indices.data();
            return &engine.descriptor;
        };
        table.RegisterMeshProvider = [](UnitySubsystemHandle, const UnityXRMeshProvider* provider) {
            current->meshProvider = *provider;
            return kUnitySubsystemErrorCodeSuccess;
        };
        table.RegisterLifecycleProvider = [](const char*, const char*, const UnityLifecycleProvider* provider) {
            current->lifecycle = *provider;
            return kUnitySubsystemErrorCodeSuccess;
        };
    }

    IUnityXRMeshInterface* Interface() { return &table; }

    static inline LeanEngine* current = nullptr;
    IUnityXRMeshInterface table{};
    UnityLifecycleProvider lifecycle{};
    UnityXRMeshProvider meshProvider{};
    std::vector<UnityXRMeshInfo> infos;
    std::vector<UnityXRVector3> positions, normals;
    std::vector<uint32_t> indices;
    UnityXRMeshDescriptor descriptor{};
};

// The scene's time stands still: no new compute starts while measuring.
ComputeCycle::SystemTime FrozenClock()
{
    return ComputeCycle::SystemTime{std::chrono::hours(1)};
}

// The simulated runtime's functions a listing or an acquisition calls, each called with the
// allocation count paused: what they allocate is the stand-in's, not the plug-in's.
// scripts/bench subtracts their instructions (functions of runtime_entry) from the plug-in's.
namespace runtime_entry {
// `slot` tells apart functions of one signature.
template <int slot, typename Pfn> struct Entry;
template <int slot, typename... Args> struct Entry<slot, XrResult(XRAPI_PTR*)(Args...)> {
    static inline XrResult(XRAPI_PTR* original)(Args...) = nullptr;
    static XrResult XRAPI_CALL Call(Args... args)
    {
        const quenra::bench::UncountedScope uncounted;
        return original(args...);
    }
};

// Puts each in front of the runtime's own; before the plug-in looks any function up.
void Install(quenra::simruntime::Runtime& runtime)
{
    const auto wrap = [&runtime](const char* name, auto entry) {
        using Wrapper = decltype(entry);
        Wrapper::original = reinterpret_cast<decltype(Wrapper::original)>(runtime.Function(name));
        runtime.AddFunction(name, reinterpret_cast<PFN_xrVoidFunction>(&Wrapper::Call));
    };
    wrap("xrGetSceneComponentsMSFT", Entry<0, PFN_xrGetSceneComponentsMSFT>{});
    wrap("xrLocateSceneComponentsMSFT", Entry<1, PFN_xrLocateSceneComponentsMSFT>{});
    wrap("xrGetSceneMeshBuffersMSFT", Entry<2, PFN_xrGetSceneMeshBuffersMSFT>{});
    // The compute cycle's, for listings that each make a new scene.
    wrap("xrComputeNewSceneMSFT", Entry<3, PFN_xrComputeNewSceneMSFT>{});
    wrap("xrGetSceneComputeStateMSFT", Entry<4, PFN_xrGetSceneComputeStateMSFT>{});
    wrap("xrCreateSceneMSFT", Entry<5, PFN_xrCreateSceneMSFT>{});
    wrap("xrDestroySceneMSFT", Entry<6, PFN_xrDestroySceneMSFT>{});
}
} // namespace runtime_entry

// A loaded plug-in whose meshing subsystem drives a ready scene of the given world.
class Session {
public:
    explicit Session(quenra::simruntime::SimWorld world)
    {
        runtime_entry::Install(kelbrin.runtime);
        kelbrin.Load(engine.Interface());
        GetProviderContext()->sceneObserver->SetWallClock(&FrozenClock);
        kelbrin.ConnectOpenXr();
        kelbrin.WaitFrame();
        kelbrin.sceneUnderstanding.SetWorld(std::move(world));
        RegisterMeshingLifecycleProvider();
        engine.lifecycle.Initialize(nullptr, engine.lifecycle.userData);
        engine.lifecycle.Start(nullptr, engine.lifecycle.userData);
        if (GetMeshInfos() != kUnitySubsystemErrorCodeSuccess) {
            std::fprintf(stderr, "no scene to measure\n");
        }
    }

    UnitySubsystemErrorCode GetMeshInfos()
    {
        return engine.meshProvider.GetMeshInfos(nullptr, engine.meshProvider.userData, nullptr);
    }
    UnitySubsystemErrorCode Acquire(const UnityXRMeshId& id)
    {
        return engine.meshProvider.AcquireMesh(nullptr, engine.meshProvider.userData, &id, nullptr);
    }

    LeanEngine engine;
    kelbrin::test::KelbrinWorld kelbrin;
};

quenra::simruntime::SimWorld GridWorld(int64_t vertices, bool shuffled)
{
    const GridShape shape = ShapeOf(vertices);
    quenra::simruntime::SimWorld world;
    quenra::simruntime::SimVisualMesh mesh;
    mesh.id = UuidOf(1);
    mesh.meshBufferId = 1;
    world.meshes.push_back(mesh);
    world.buffers[1] = shuffled ? ShuffledGrid(shape.columns, shape.rows) : Grid(shape.columns, shape.rows);
    return world;
}

// What one acquisition of the grid moves: the runtime's vertices and indices read, the
// engine's positions, normals and indices written.
size_t MovedBytes(int64_t vertexCount)
{
    const GridShape shape = ShapeOf(vertexCount);
    const size_t vertices = size_t{shape.columns} * shape.rows;
    const size_t indices = size_t{6} * (shape.columns - 1) * (shape.rows - 1);
    const size_t read = vertices * sizeof(XrVector3f) + indices * sizeof(uint32_t);
    const size_t written = 2 * vertices * sizeof(XrVector3f) + indices * sizeof(uint32_t);
    return read + written;
}

// The measured loop alone, so that callgrind can collect it alone (scripts/bench).
[[gnu::noinline]] void AcquireEveryIteration(benchmark::State& state, Session& session, const UnityXRMeshId& id)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(session.Acquire(id));
        benchmark::ClobberMemory();
    }
}

// Argument: the grid's vertex count.
void AcquireByMeshId(benchmark::State& state, bool shuffled)
{
    Session session(GridWorld(state.range(0), shuffled));
    UnityXRMeshId id{};
    std::memcpy(&id, UuidOf(1).bytes, sizeof(id));
    // Once first, so that the scratch has grown before measuring.
    session.Acquire(id);
    AcquireEveryIteration(state, session, id);
    state.counters["triangles"] = static_cast<double>(session.engine.indices.size() / 3);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * MovedBytes(state.range(0))));
}

// Argument: the vertex count of the acquisition whose bytes it copies.
void MemcpySameBytes(benchmark::State& state)
{
    const size_t bytes = MovedBytes(state.range(0));
    std::vector<char> from(bytes, 1);
    std::vector<char> to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

constexpr int kSceneMeshes = 200;
constexpr int kCallgrindListings = 500;

// `count` scene meshes numbered from 1000, each a grid of 10 columns and `rows` rows, with
// mesh buffer ids from `firstBuffer`.
void AddSmallMeshes(quenra::simruntime::SimWorld& world, uint32_t count = kSceneMeshes, uint32_t rows = 10,
                    uint64_t firstBuffer = 1000)
{
    for (uint32_t mesh = 0; mesh < count; ++mesh) {
        quenra::simruntime::SimVisualMesh visual;
        visual.id = UuidOf(1000 + mesh);
        visual.meshBufferId = firstBuffer + mesh;
        world.meshes.push_back(visual);
        world.buffers[firstBuffer + mesh] = Grid(10, rows);
    }
}

// One listing alone, so that callgrind can collect listings alone (scripts/bench).
[[gnu::noinline]] UnitySubsystemErrorCode ListOnce(Session& session)
{
    return session.GetMeshInfos();
}

void ListEveryIteration(benchmark::State& state, Session& session)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(ListOnce(session));
    }
}

// A wall clock that is an hour later at every reading: each listing starts a new compute
// and, the simulated runtime completing it at once, lists its new scene.
ComputeCycle::SystemTime HourlyClock()
{
    static int64_t hours = 1;
    return ComputeCycle::SystemTime{std::chrono::hours(++hours)};
}

// Argument: the number of scene meshes. Unchanged: the same scene listed again. Changed: each
// listing a new scene in which every mesh has a new mesh buffer and vertex count, as when the
// runtime has remeshed the whole room (four worlds in turn, so that no count repeats the last).
void ListMeshes(benchmark::State& state, bool changed)
{
    const auto meshes = static_cast<uint32_t>(state.range(0));
    std::vector<quenra::simruntime::SimWorld> worlds(changed ? 4 : 1);
    for (uint32_t turn = 0; turn < worlds.size(); ++turn) {
        AddSmallMeshes(worlds[turn], meshes, 2 + turn, 1000 + uint64_t{100'000} * (turn % 2));
    }
    Session session(worlds[0]);
    session.kelbrin.runtime.SetRecording(false);
    if (!changed) {
        ListEveryIteration(state, session);
        return;
    }
    GetProviderContext()->sceneObserver->SetWallClock(&HourlyClock);
    size_t turn = 0;
    const auto nextWorld = [&] {
        turn = (turn + 1) % worlds.size();
        session.kelbrin.sceneUnderstanding.SetWorld(worlds[turn]);
    };
    // Every world once first, so that the plug-in has seen every mesh buffer before measuring
    // (not through ListOnce, which callgrind counts).
    for (size_t warmUp = 0; warmUp < worlds.size(); ++warmUp) {
        nextWorld();
        session.GetMeshInfos();
    }
    for (auto _ : state) {
        state.PauseTiming();
        nextWorld();
        state.ResumeTiming();
        benchmark::DoNotOptimize(ListOnce(session));
    }
}

void BM_GetMeshInfosSteadyState(benchmark::State& state)
{
    quenra::simruntime::SimWorld world;
    AddSmallMeshes(world);
    Session session(std::move(world));
    session.kelbrin.runtime.SetRecording(false);
    // Once more, so that any storage a listing keeps has grown before counting.
    session.GetMeshInfos();
    const quenra::bench::AllocationCount allocations;
    ListEveryIteration(state, session);
    state.counters["allocs_per_call"] = allocations.PerIteration(state.iterations());
    state.counters["per_mesh"] = benchmark::Counter(static_cast<double>(state.iterations()) * kSceneMeshes,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_GetMeshInfosSteadyState)->Unit(benchmark::kMicrosecond);
// A fixed number of listings for callgrind (scripts/bench divides its counts by them).
BENCHMARK(BM_GetMeshInfosSteadyState)->Iterations(kCallgrindListings)->Unit(benchmark::kMicrosecond);

// The frame thread's xrWaitFrame through the plug-in, which keeps the predicted display time;
// each frame is begun and ended at the runtime, untimed.
void BM_InterceptedWaitFrame(benchmark::State& state)
{
    Session session(GridWorld(kRatioVertices, false));
    session.kelbrin.runtime.SetRecording(false);
    const PFN_xrWaitFrame wait = session.kelbrin.InterceptedWaitFrame();
    PFN_xrVoidFunction begin = nullptr;
    PFN_xrVoidFunction end = nullptr;
    quenra::simruntime::Runtime::GetInstanceProcAddr(session.kelbrin.instance, "xrBeginFrame", &begin);
    quenra::simruntime::Runtime::GetInstanceProcAddr(session.kelbrin.instance, "xrEndFrame", &end);
    const XrSession xrSession = session.kelbrin.session;
    const auto endFrame = [&](XrTime displayTime) {
        reinterpret_cast<PFN_xrBeginFrame>(begin)(xrSession, nullptr);
        XrFrameEndInfo info{XR_TYPE_FRAME_END_INFO};
        info.displayTime = displayTime;
        info.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
        reinterpret_cast<PFN_xrEndFrame>(end)(xrSession, &info);
    };
    // Counted from the second frame on: the first may grow storage kept from then on.
    uint64_t allocations = 0;
    int64_t frames = 0;
    for (auto _ : state) {
        XrFrameState frame{XR_TYPE_FRAME_STATE};
        const uint64_t before = quenra::bench::AllocationsSoFar();
        benchmark::DoNotOptimize(wait(xrSession, nullptr, &frame));
        if (frames++ > 0) {
            allocations += quenra::bench::AllocationsSoFar() - before;
        }
        state.PauseTiming();
        endFrame(frame.predictedDisplayTime);
        state.ResumeTiming();
    }
    state.counters["allocs_per_call"] = static_cast<double>(allocations) / static_cast<double>(std::max<int64_t>(frames - 1, 1));
}
BENCHMARK(BM_InterceptedWaitFrame)->Unit(benchmark::kNanosecond);

constexpr std::chrono::microseconds kRestOfFrame{500};

// One GetMeshInfos at a time, each timed: the median and the 99th percentile, in
// microseconds. Argument `acquiring`: another thread acquires the grid back to back
// meanwhile, as the engine's generation thread does.
void BM_GetMeshInfosLatency(benchmark::State& state)
{
    quenra::simruntime::SimWorld world = GridWorld(kRatioVertices, false);
    AddSmallMeshes(world);
    Session session(std::move(world));
    session.kelbrin.runtime.SetRecording(false);
    std::atomic<bool> measuring{true};
    std::atomic<int64_t> acquisitions{0};
    std::thread generation;
    if (state.range(0) != 0) {
        generation = std::thread([&] {
            UnityXRMeshId id{};
            std::memcpy(&id, UuidOf(1).bytes, sizeof(id));
            while (measuring) {
                session.Acquire(id);
                ++acquisitions;
            }
        });
        // Measured only once the acquisitions are under way.
        while (acquisitions == 0) {
            std::this_thread::yield();
        }
    }
    std::vector<double> micros;
    micros.reserve(static_cast<size_t>(state.max_iterations));
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(session.GetMeshInfos());
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        // The rest of the engine's frame: listing back to back would leave the acquiring thread no turn.
        state.PauseTiming();
        std::this_thread::sleep_for(kRestOfFrame);
        state.ResumeTiming();
    }
    measuring = false;
    if (generation.joinable()) {
        generation.join();
    }
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
    state.counters["acquisitions"] = static_cast<double>(acquisitions);
}
BENCHMARK(BM_GetMeshInfosLatency)
    ->ArgName("acquiring")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(4000)
    ->Unit(benchmark::kMicrosecond);

// The figures of the run: acquisition against memcpy, listing cost and allocations, and the
// listing's latency while another thread acquires.
class KelbrinFigures : public quenra::bench::FigureReporter {
    void PrintFigures() override
    {
        const std::string size = "/" + std::to_string(kRatioVertices);
        const Result* copy = Find("Scaling/Memcpy" + size);
        for (const auto& [curve, figure, goal, limit] :
             {std::tuple{"Scaling/AcquireGrid", "AcquireByMeshId / memcpy, 100k grid", "<= 4.0x", 4.0},
              std::tuple{"Scaling/AcquireRandom", "AcquireByMeshId / memcpy, 100k random order",
                         "<= 6x (stretch 5x)", 6.0}}) {
            const Result* acquire = Find(curve + size);
            // Both run on one thread: the time it ran is the steadier measure on a shared machine.
            if (acquire != nullptr && copy != nullptr && copy->cpuSeconds > 0) {
                const double ratio = acquire->cpuSeconds / copy->cpuSeconds;
                Print(figure, Format("%.2fx", ratio), goal, Met(ratio <= limit));
            }
        }
        if (const Result* listing = Find("BM_GetMeshInfosSteadyState")) {
            Print("GetMeshInfos at 200 meshes, time per mesh", Format("%.0f ns", listing->counters.at("per_mesh") * 1e9),
                  "-", "-");
            const double allocations = listing->counters.at("allocs_per_call");
            Print("GetMeshInfos, nothing changed: allocations per call", Format("%.2f", allocations), "0",
                  Met(allocations == 0));
        }
        if (const Result* wait = Find("BM_InterceptedWaitFrame")) {
            const double allocations = wait->counters.at("allocs_per_call");
            Print("libKelbrin xrWaitFrame: allocations per frame", Format("%.2f", allocations), "0",
                  Met(allocations == 0));
        }
        const Result* quiet = Find("BM_GetMeshInfosLatency/acquiring:0/iterations:4000");
        const Result* busy = Find("BM_GetMeshInfosLatency/acquiring:1/iterations:4000");
        if (quiet != nullptr && busy != nullptr) {
            // Listing must not wait behind an acquisition in the steady state.
            const double quietP99 = quiet->counters.at("p99_us");
            Print("GetMeshInfos p99, quiet", Format("%.1f us", quietP99), "-", "-");
            const double p99 = busy->counters.at("p99_us");
            const std::string goal = Format("<= 2x quiet (%.0f us)", 2 * quietP99);
            Print("GetMeshInfos p99, another thread acquiring", Format("%.1f us", p99), goal.c_str(),
                  Met(p99 <= 2 * quietP99));
        }
    }
};

} // namespace

void RegisterScalingRuns()
{
    using quenra::bench::RegisterScaling;
    const auto micros = [](benchmark::internal::Benchmark* run) { run->Unit(benchmark::kMicrosecond); };
    RegisterScaling("AcquireGrid", kMeshVertices, kCallgrindVertices,
                    [](benchmark::State& state) { AcquireByMeshId(state, false); }, micros);
    RegisterScaling("AcquireRandom", kMeshVertices, kCallgrindVertices,
                    [](benchmark::State& state) { AcquireByMeshId(state, true); }, micros);
    RegisterScaling("Memcpy", kMeshVertices, kCallgrindVertices, MemcpySameBytes, micros);
    RegisterScaling("ListUnchanged", kSceneMeshCounts, kCallgrindMeshes,
                    [](benchmark::State& state) { ListMeshes(state, false); }, micros);
    RegisterScaling("ListChanged", kSceneMeshCounts, kCallgrindMeshes,
                    [](benchmark::State& state) { ListMeshes(state, true); }, micros);
}

int main(int argc, char** argv)
{
    RegisterScalingRuns();
    KelbrinFigures reporter;
    return quenra::bench::RunBenchmarks(argc, argv, reporter);
}

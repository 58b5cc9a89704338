// Cost of the plug-in's xrEndFrame: 16 visible provider layers (8 beneath, 8 above) merged around
// one application projection layer, against the runtime stand-in's xrEndFrame called directly
// with the same 17 layers, in the same run; the ratio is printed at the end. The same hook with
// 1, 4, 16 and 64 provider layers for the scaling runs. The same for the
// plug-in's xrWaitFrame and xrBeginFrame against the runtime's. Each counts the heap
// allocations of the timed calls: the plug-in's own are the difference from the runtime's.
//
// Only the timed calls are (the other calls each frame needs are not). For instructions per
// frame, run a fixed number of frames under callgrind and divide the inclusive counts of
// measured::PluginEndFrame and of runtime_entry::EndFrame (the runtime's xrEndFrame as the
// plug-in calls it) by it (scripts/bench does):
//   valgrind --tool=callgrind --callgrind-out-file=skelder.out skelder_bench
//     --benchmark_filter='^Callgrind/EndFrame/16/'   (one command line)
//   callgrind_annotate --inclusive=yes skelder.out | grep -E 'PluginEndFrame|runtime_entry::EndFrame'
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "FigureReporter.h"
#include "SkelderTestWorld.h"

namespace {

using Skelder::LayerType;
using Skelder::ProviderLock;
using Skelder::test::SkelderTestWorld;
using Layers = std::vector<const XrCompositionLayerBaseHeader*>;

constexpr int kProviderLayers = 16;
// The scaling runs' layer counts, and the layers of all frames of each size's run under callgrind.
constexpr std::initializer_list<int64_t> kLayerCounts = {1, 4, 16, 64};
constexpr int64_t kCallgrindLayers = 32'000;
// Above 64 provider layers, the projection and its blending copy: both the runtime's limit of
// layers a frame and the plug-in's limit of provider layers are raised to it for this
// benchmark only (their defaults stay what the tests see).
constexpr uint32_t kLayerLimit = 128;

// The runtime's xrEndFrame as the plug-in calls it, under a name of the benchmark's own, so
// that scripts/bench finds it in a profile whatever the runtime's functions are called.
namespace runtime_entry {
PFN_xrEndFrame endFrame = nullptr;

[[gnu::noinline]] XrResult XRAPI_CALL EndFrame(XrSession session, const XrFrameEndInfo* info)
{
    return endFrame(session, info);
}

// In front of the runtime's own; before the plug-in looks it up.
void Install(quenra::simruntime::Runtime& runtime)
{
    endFrame = reinterpret_cast<PFN_xrEndFrame>(runtime.Function("xrEndFrame"));
    runtime.AddFunction("xrEndFrame", reinterpret_cast<PFN_xrVoidFunction>(&EndFrame));
}
} // namespace runtime_entry

// The plug-in's hook as the application calls it; scripts/bench counts its instructions.
namespace measured {
[[gnu::noinline]] XrResult PluginEndFrame(XrSession session, const XrFrameEndInfo& info)
{
    return Skelder::xrEndFrame(session, &info);
}
} // namespace measured

// A loaded plug-in with the provider layers, half beneath and half above, and the
// application's projection layer.
struct Bench {
    explicit Bench(int providerLayers = kProviderLayers)
    {
        world.layers.frameLoop.SetFrameObserver(nullptr);
        world.layers.frameLoop.SetMaxLayerCount(kLayerLimit);
        world.registry.Withhold<IUnityXRTrace>();
        runtime_entry::Install(world.layers.runtime);
        world.Load();
        // Records of every call would grow and allocate without end.
        world.layers.runtime.SetRecording(false);
        SetCompositionLayerFeatureEnabled(1);
        SetMaxCompositionLayerCount(kLayerLimit);
        for (int i = 0; i < providerLayers; ++i) {
            world.CreateLayer(LayerType::Quad, i - providerLayers / 2);
        }
        projection = world.ApplicationProjection(world.ApplicationSwapchain());
        application = {reinterpret_cast<const XrCompositionLayerBaseHeader*>(&projection)};
        waitFrame = RuntimeFunction<PFN_xrWaitFrame>("xrWaitFrame");
        beginFrame = RuntimeFunction<PFN_xrBeginFrame>("xrBeginFrame");
        runtimeEndFrame = RuntimeFunction<PFN_xrEndFrame>("xrEndFrame");
        // Installs the hooks' runtime functions.
        world.Lookup<PFN_xrWaitFrame>("xrWaitFrame");
        world.Lookup<PFN_xrBeginFrame>("xrBeginFrame");
        world.Lookup<PFN_xrEndFrame>("xrEndFrame");
    }

    template <typename Pfn> Pfn RuntimeFunction(const char* name)
    {
        PFN_xrVoidFunction function = nullptr;
        quenra::simruntime::Runtime::GetInstanceProcAddr(world.layers.instance, name, &function);
        return reinterpret_cast<Pfn>(function);
    }

    SkelderTestWorld world;
    XrCompositionLayerProjection projection{};
    Layers application;
    PFN_xrWaitFrame waitFrame = nullptr;
    PFN_xrBeginFrame beginFrame = nullptr;
    PFN_xrEndFrame runtimeEndFrame = nullptr;
};

// Each frame: `wait` and `begin`, then `end` with the frame's end info; only `timed` of the
// three is timed, and its allocations counted from the second frame on (the first may grow
// storage kept from then on).
enum class Timed { WaitAndBegin, End };

template <typename Wait, typename Begin, typename End>
void RunFrames(benchmark::State& state, const Layers& layers, Timed timed, Wait wait, Begin begin, End end)
{
    uint64_t allocations = 0;
    int64_t frame = 0;
    for (auto _ : state) {
        XrFrameState frameState{XR_TYPE_FRAME_STATE};
        auto start = std::chrono::steady_clock::now();
        uint64_t before = quenra::bench::AllocationsSoFar();
        XrResult result = wait(&frameState);
        if (XR_SUCCEEDED(result)) {
            result = begin();
        }
        auto stop = std::chrono::steady_clock::now();
        if (timed == Timed::End) {
            XrFrameEndInfo info{XR_TYPE_FRAME_END_INFO};
            info.displayTime = frameState.predictedDisplayTime;
            info.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
            info.layerCount = static_cast<uint32_t>(layers.size());
            info.layers = layers.data();
            start = std::chrono::steady_clock::now();
            before = quenra::bench::AllocationsSoFar();
            result = XR_SUCCEEDED(result) ? end(info) : result;
            stop = std::chrono::steady_clock::now();
        }
        if (frame++ > 0) {
            allocations += quenra::bench::AllocationsSoFar() - before;
        }
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
        if (timed == Timed::WaitAndBegin) {
            XrFrameEndInfo info{XR_TYPE_FRAME_END_INFO};
            info.displayTime = frameState.predictedDisplayTime;
            info.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
            result = XR_SUCCEEDED(result) ? end(info) : result;
        }
        if (result != XR_SUCCESS) {
            state.SkipWithError("the runtime refused the frame");
            break;
        }
    }
    state.counters["allocs_per_frame"] =
        static_cast<double>(allocations) / static_cast<double>(std::max<int64_t>(frame - 1, 1));
}

// The frame calls as the application makes them through the plug-in, or straight to the runtime.
void RunThrough(benchmark::State& state, Bench& bench, bool plugin, const Layers& layers, Timed timed)
{
    const XrSession session = bench.world.layers.session;
    const auto wait = [&](XrFrameState* frameState) {
        return plugin ? Skelder::xrWaitFrame(session, nullptr, frameState)
                      : bench.waitFrame(session, nullptr, frameState);
    };
    const auto begin = [&] {
        return plugin ? Skelder::xrBeginFrame(session, nullptr) : bench.beginFrame(session, nullptr);
    };
    const auto end = [&](const XrFrameEndInfo& info) {
        return plugin ? measured::PluginEndFrame(session, info) : bench.runtimeEndFrame(session, &info);
    };
    RunFrames(state, layers, timed, wait, begin, end);
}

void BM_SkelderEndFrame(benchmark::State& state)
{
    Bench bench;
    RunThrough(state, bench, true, bench.application, Timed::End);
}
BENCHMARK(BM_SkelderEndFrame)->UseManualTime()->Unit(benchmark::kNanosecond);

// Argument: the number of provider layers.
void EndFrameWithLayers(benchmark::State& state)
{
    Bench bench(static_cast<int>(state.range(0)));
    RunThrough(state, bench, true, bench.application, Timed::End);
}

void BM_SkelderWaitAndBeginFrame(benchmark::State& state)
{
    Bench bench;
    RunThrough(state, bench, true, bench.application, Timed::WaitAndBegin);
}
BENCHMARK(BM_SkelderWaitAndBeginFrame)->UseManualTime()->Unit(benchmark::kNanosecond);

void BM_RuntimeWaitAndBeginFrame(benchmark::State& state)
{
    Bench bench;
    RunThrough(state, bench, false, bench.application, Timed::WaitAndBegin);
}
BENCHMARK(BM_RuntimeWaitAndBeginFrame)->UseManualTime()->Unit(benchmark::kNanosecond);

// The list the plug-in hands over: underlays, the blending copy of the projection, overlays.
void BM_RuntimeEndFrame(benchmark::State& state)
{
    Bench bench;
    XrCompositionLayerProjection copy = bench.projection;
    copy.layerFlags |= XR_COMPOSITION_LAYER_BLEND_TEXTURE_SOURCE_ALPHA_BIT;
    Layers merged;
    {
        ProviderLock::Hold hold(Skelder::State().providerLock);
        std::vector<XrCompositionLayerBaseHeader*> visible;
        Skelder::State().provider->GetVisibleXrLayers(visible);
        merged.assign(visible.begin(), visible.end());
    }
    merged.insert(merged.begin() + kProviderLayers / 2, reinterpret_cast<const XrCompositionLayerBaseHeader*>(&copy));
    RunThrough(state, bench, false, merged, Timed::End);
}
BENCHMARK(BM_RuntimeEndFrame)->UseManualTime()->Unit(benchmark::kNanosecond);

// The hook's time per frame as a multiple of the runtime's, from the same run, and the
// allocations per frame of the plug-in's own.
class SkelderFigures : public quenra::bench::FigureReporter {
    void PrintFigures() override
    {
        const Result* hook = Find("BM_SkelderEndFrame/manual_time");
        const Result* runtime = Find("BM_RuntimeEndFrame/manual_time");
        if (hook != nullptr && runtime != nullptr && runtime->seconds > 0) {
            std::printf("Skelder::xrEndFrame / runtime xrEndFrame with the same %d layers: %.2fx\n",
                        kProviderLayers + 1, hook->seconds / runtime->seconds);
            PrintOwnAllocations("Skelder xrEndFrame: allocations per frame", *hook, *runtime);
        }
        const Result* hookWait = Find("BM_SkelderWaitAndBeginFrame/manual_time");
        const Result* runtimeWait = Find("BM_RuntimeWaitAndBeginFrame/manual_time");
        if (hookWait != nullptr && runtimeWait != nullptr) {
            PrintOwnAllocations("Skelder xrWaitFrame + xrBeginFrame: allocations per frame", *hookWait, *runtimeWait);
        }
    }

    static void PrintOwnAllocations(const char* figure, const Result& hook, const Result& runtime)
    {
        const double own = hook.counters.at("allocs_per_frame") - runtime.counters.at("allocs_per_frame");
        Print(figure, Format("%.2f", own), "0", Met(own == 0));
    }
};

} // namespace

int main(int argc, char** argv)
{
    quenra::bench::RegisterScaling("EndFrame", kLayerCounts, kCallgrindLayers, EndFrameWithLayers,
                                   [](benchmark::internal::Benchmark* run) {
                                       run->UseManualTime()->Unit(benchmark::kNanosecond);
                                   });
    SkelderFigures reporter;
    return quenra::bench::RunBenchmarks(argc, argv, reporter);
}

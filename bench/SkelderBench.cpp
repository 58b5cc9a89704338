// Cost of the plug-in's xrEndFrame: 16 visible provider layers (8 beneath, 8 above) merged around
// one application projection layer, against the runtime stand-in's xrEndFrame called directly
// with the same 17 layers, in the same run; the ratio is printed at the end.
//
// Only the end-frame call is timed (the wait and begin calls each frame needs are not). For
// instructions per frame, run a fixed number of frames under callgrind and divide the inclusive
// counts of Skelder::xrEndFrame and of the runtime's FrameLoop::EndFrame by it:
//   valgrind --tool=callgrind --callgrind-out-file=skelder.out skelder_bench
//     --benchmark_filter='BM_SkelderEndFrame/iterations'   (one command line)
//   callgrind_annotate --inclusive=yes skelder.out | grep -E 'xrEndFrame|FrameLoop::EndFrame'
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "SkelderTestWorld.h"

namespace {

using quenra::test::SkelderTestWorld;
using Layers = std::vector<const XrCompositionLayerBaseHeader*>;

constexpr int kProviderLayers = 16;
constexpr int kCallgrindFrames = 2000;
// Frames between clearing what the runtime stand-in records of every call.
constexpr int kRecordBatch = 1024;

// A loaded plug-in with the provider layers and the application's projection layer.
struct Bench {
    Bench()
    {
        world.layers.frameLoop.SetFrameObserver(nullptr);
        world.layers.frameLoop.SetMaxLayerCount(32);
        world.registry.Withhold<IUnityXRTrace>();
        world.Load();
        SetCompositionLayerFeatureEnabled(1);
        SetMaxCompositionLayerCount(32);
        for (int i = 0; i < kProviderLayers; ++i) {
            world.CreateLayer(LayerType::Quad, i - kProviderLayers / 2);
        }
        projection = world.ApplicationProjection(world.ApplicationSwapchain());
        application = {reinterpret_cast<const XrCompositionLayerBaseHeader*>(&projection)};
        waitFrame = RuntimeFunction<PFN_xrWaitFrame>("xrWaitFrame");
        beginFrame = RuntimeFunction<PFN_xrBeginFrame>("xrBeginFrame");
        runtimeEndFrame = RuntimeFunction<PFN_xrEndFrame>("xrEndFrame");
        // Installs the hook's runtime function.
        world.Lookup<PFN_xrEndFrame>("xrEndFrame");
    }

    template <typename Pfn> Pfn RuntimeFunction(const char* name)
    {
        PFN_xrVoidFunction function = nullptr;
        quenra::sim::Runtime::GetInstanceProcAddr(world.layers.instance, name, &function);
        return reinterpret_cast<Pfn>(function);
    }

    // Waits and begins a frame at the runtime; the end info for it.
    XrFrameEndInfo BeginFrame(const Layers& layers)
    {
        XrFrameState state{XR_TYPE_FRAME_STATE};
        waitFrame(world.layers.session, nullptr, &state);
        beginFrame(world.layers.session, nullptr);
        XrFrameEndInfo info{XR_TYPE_FRAME_END_INFO};
        info.displayTime = state.predictedDisplayTime;
        info.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
        info.layerCount = static_cast<uint32_t>(layers.size());
        info.layers = layers.data();
        return info;
    }

    void ForgetRecords(int frame)
    {
        if (frame % kRecordBatch == 0) {
            world.layers.runtime.ClearCalls();
            world.layers.frameLoop.ClearSubmittedFrames();
        }
    }

    SkelderTestWorld world;
    XrCompositionLayerProjection projection{};
    Layers application;
    PFN_xrWaitFrame waitFrame = nullptr;
    PFN_xrBeginFrame beginFrame = nullptr;
    PFN_xrEndFrame runtimeEndFrame = nullptr;
};

template <typename EndFrame> void RunFrames(benchmark::State& state, Bench& bench, const Layers& layers, EndFrame end)
{
    int frame = 0;
    for (auto _ : state) {
        const XrFrameEndInfo info = bench.BeginFrame(layers);
        const auto start = std::chrono::steady_clock::now();
        const XrResult result = end(info);
        const auto stop = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
        if (result != XR_SUCCESS) {
            state.SkipWithError("the runtime refused the frame");
            break;
        }
        bench.ForgetRecords(++frame);
    }
}

void BM_SkelderEndFrame(benchmark::State& state)
{
    Bench bench;
    RunFrames(state, bench, bench.application,
              [&](const XrFrameEndInfo& info) { return Skelder::xrEndFrame(bench.world.layers.session, &info); });
}
BENCHMARK(BM_SkelderEndFrame)->UseManualTime()->Unit(benchmark::kNanosecond);
BENCHMARK(BM_SkelderEndFrame)->UseManualTime()->Unit(benchmark::kNanosecond)->Iterations(kCallgrindFrames);

// The list the plug-in hands over: underlays, the blending copy of the projection, overlays.
void BM_RuntimeEndFrame(benchmark::State& state)
{
    Bench bench;
    XrCompositionLayerProjection copy = bench.projection;
    copy.layerFlags |= XR_COMPOSITION_LAYER_BLEND_TEXTURE_SOURCE_ALPHA_BIT;
    Layers merged;
    {
        ProviderLock::Hold hold(Skelder::State().providerLock);
        for (XrCompositionLayerBaseHeader* layer : Skelder::State().provider->GetVisibleXrLayers()) {
            merged.push_back(layer);
        }
    }
    merged.insert(merged.begin() + kProviderLayers / 2, reinterpret_cast<const XrCompositionLayerBaseHeader*>(&copy));
    RunFrames(state, bench, merged,
              [&](const XrFrameEndInfo& info) { return bench.runtimeEndFrame(bench.world.layers.session, &info); });
}
BENCHMARK(BM_RuntimeEndFrame)->UseManualTime()->Unit(benchmark::kNanosecond);

// Prints the hook's time per frame as a multiple of the runtime's, from the same run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            // The fixed-count run is there for callgrind, not for timing; of repetitions, the mean counts.
            const bool timing = run.run_type == Run::RT_Iteration || run.aggregate_name == "mean";
            if (run.run_name.iterations.empty() && timing) {
                seconds_[run.run_name.function_name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        const auto hook = seconds_.find("BM_SkelderEndFrame");
        const auto runtime = seconds_.find("BM_RuntimeEndFrame");
        if (hook != seconds_.end() && runtime != seconds_.end() && runtime->second > 0) {
            std::printf("Skelder::xrEndFrame / runtime xrEndFrame with the same %d layers: %.2fx\n",
                        kProviderLayers + 1, hook->second / runtime->second);
        }
    }

private:
    std::map<std::string, double> seconds_;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

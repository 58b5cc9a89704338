// Cost of libWendrath's render event in the steady state: one event drawing two camera frames
// into their textures, against an EGL and GL ES that do nothing (SilentGl.cpp), so that the time
// and the heap allocations counted are the plug-in's own; and for the scaling runs, events of
// 1, 3 and 8 frames.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "AllocationCounter.h"
#include "EngineRegistry.h"
#include "FakeGraphics.h"
#include "FigureReporter.h"
#include "RenderHwBuffersEventArgs.h"
#include "TraceRecorder.h"
#include "WendrathPlugin.h"

namespace {

constexpr int kFrames = 2;
// The scaling runs' frame counts, and the frames of all events of each size's run under callgrind.
constexpr std::initializer_list<int64_t> kFrameCounts = {1, 3, 8};
constexpr int64_t kCallgrindFrames = 24'000;

// One event alone, so that callgrind can collect events alone (scripts/bench).
[[gnu::noinline]] void RenderOnce(UnityRenderingEventAndData render, wendrath::RenderHwBuffersEventArgs& args)
{
    render(wendrath::kRenderHwBuffersEventId, &args);
}

// Argument: the number of camera frames the event draws.
void BM_RenderEvent(benchmark::State& state)
{
    const auto frames = static_cast<int>(state.range(0));
    quenra::simengine::TraceRecorder trace;
    quenra::simengine::EngineRegistry registry;
    quenra::simengine::FakeGraphics graphics;
    registry.Provide<IUnityXRTrace>(trace.Interface());
    registry.Provide<IUnityGraphics>(graphics.Interface());
    UnityPluginLoad(registry.Interfaces());
    graphics.SetRenderer(kUnityGfxRendererOpenGLES30);
    graphics.FireDeviceEvent(kUnityGfxDeviceEventInitialize);

    // Stand-in hardware buffers: addresses only ever handed on to EGL.
    std::vector<AHardwareBuffer*> buffers;
    std::vector<uint32_t> targets;
    for (int i = 0; i < frames; ++i) {
        buffers.push_back(reinterpret_cast<AHardwareBuffer*>(uintptr_t{0x5000} + 0x100 * static_cast<uintptr_t>(i)));
        targets.push_back(100 + static_cast<uint32_t>(i));
    }
    wendrath::RenderHwBuffersEventArgs args{frames, 640, 480, buffers.data(), targets.data()};
    const UnityRenderingEventAndData render = GetRenderEventFuncPtr();
    // The first event makes the camera textures.
    render(wendrath::kRenderHwBuffersEventId, &args);

    const quenra::bench::AllocationCount allocations;
    for (auto _ : state) {
        RenderOnce(render, args);
    }
    state.counters["allocs_per_event"] = allocations.PerIteration(state.iterations());
    graphics.FireDeviceEvent(kUnityGfxDeviceEventShutdown);
    if (trace.Size() != 0) {
        state.SkipWithError("the plug-in traced a message");
    }
}
BENCHMARK(BM_RenderEvent)->Arg(kFrames)->Unit(benchmark::kNanosecond);

class WendrathFigures : public quenra::bench::FigureReporter {
    void PrintFigures() override
    {
        if (const Result* render = Find("BM_RenderEvent/" + std::to_string(kFrames))) {
            const double allocations = render->counters.at("allocs_per_event");
            Print("libWendrath render event: allocations per event", Format("%.2f", allocations), "0",
                  Met(allocations == 0));
        }
    }
};

} // namespace

int main(int argc, char** argv)
{
    quenra::bench::RegisterScaling("RenderEvent", kFrameCounts, kCallgrindFrames, BM_RenderEvent,
                                   [](benchmark::internal::Benchmark* run) { run->Unit(benchmark::kNanosecond); });
    WendrathFigures reporter;
    return quenra::bench::RunBenchmarks(argc, argv, reporter);
}

// The console reporter of the benchmarks, which also keeps each benchmark's time and counters
// (the median of repetitions when there are repetitions) and, once every benchmark has run,
// prints the figures derived from them as "FIGURE|figure|value|goal|met" lines, and the
// scaling runs as "SCALE|kind|curve|size|iterations|seconds per iteration" lines, which
// scripts/bench gathers into its tables and plot.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace quenra::bench {

class FigureReporter : public benchmark::ConsoleReporter {
public:
    struct Result {
        // Per iteration: real time, and the time the benchmark's thread ran, which on a shared
        // machine leaves out the time other programs took the processor.
        double seconds = 0.0;
        double cpuSeconds = 0.0;
        int64_t iterations = 0;
        std::map<std::string, double> counters;
    };

    // Without colours: scripts/bench reads the lines back.
    FigureReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.error_occurred || (run.run_type != Run::RT_Iteration && !median)) {
                continue;
            }
            // Of repetitions, the median stands; a single run stands for itself.
            const std::string name = run.run_name.str();
            if (median || medians.count(name) == 0) {
                Result& result = results[name];
                const double unit = benchmark::GetTimeUnitMultiplier(run.time_unit);
                result.seconds = run.GetAdjustedRealTime() / unit;
                result.cpuSeconds = run.GetAdjustedCPUTime() / unit;
                result.iterations = static_cast<int64_t>(run.iterations);
                for (const auto& [counter, value] : run.counters) {
                    result.counters[counter] = value.value;
                }
                if (median) {
                    medians[name] = true;
                }
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        PrintScaling();
        PrintFigures();
        std::fflush(stdout);
    }

protected:
    virtual void PrintFigures() = 0;

    // The named run's result, or null when it did not run (filtered out, or failed).
    const Result* Find(const std::string& name) const
    {
        const auto found = results.find(name);
        return found != results.end() ? &found->second : nullptr;
    }

    // A figure with a goal: met reads "yes" or "no"; without one, "-".
    static void Print(const char* figure, const std::string& value, const char* goal, const char* met)
    {
        std::printf("FIGURE|%s|%s|%s|%s\n", figure, value.c_str(), goal, met);
    }
    static const char* Met(bool met) { return met ? "yes" : "no"; }
    static std::string Format(const char* format, double value)
    {
        char text[64];
        std::snprintf(text, sizeof(text), format, value);
        return text;
    }

private:
    // Runs named "Scaling/<curve>/<size>" or "Callgrind/<curve>/<size>", optionally with more
    // parts after the size. Time is the manual time where the benchmark sets one, otherwise
    // processor time.
    void PrintScaling() const
    {
        for (const auto& [name, result] : results) {
            const size_t curveStart = name.find('/') + 1;
            const size_t sizeStart = name.find('/', curveStart) + 1;
            const std::string kind = name.substr(0, curveStart - 1);
            if (sizeStart == 0 || (kind != "Scaling" && kind != "Callgrind")) {
                continue;
            }
            const bool manual = name.find("/manual_time") != std::string::npos;
            std::printf("SCALE|%s|%s|%s|%lld|%.9g\n", kind.c_str(),
                        name.substr(curveStart, sizeStart - 1 - curveStart).c_str(),
                        name.substr(sizeStart, name.find('/', sizeStart) - sizeStart).c_str(),
                        static_cast<long long>(result.iterations), manual ? result.seconds : result.cpuSeconds);
        }
    }

    std::map<std::string, Result> results;
    std::map<std::string, bool> medians;
};

// A path's work at each size: "Scaling/<curve>/<size>" to be timed, and "Callgrind/<curve>/<size>"
// with a fixed number of iterations, about `callgrindWork` units of work in all, to be counted
// under callgrind. The function reads its size from state.range(0); `configure` sets the rest.
inline void RegisterScaling(const std::string& curve, std::initializer_list<int64_t> sizes, int64_t callgrindWork,
                            const std::function<void(benchmark::State&)>& function,
                            const std::function<void(benchmark::internal::Benchmark*)>& configure)
{
    for (const int64_t size : sizes) {
        configure(benchmark::RegisterBenchmark(("Scaling/" + curve).c_str(), function)->Arg(size));
        configure(benchmark::RegisterBenchmark(("Callgrind/" + curve).c_str(), function)
                      ->Arg(size)
                      ->Iterations(std::max<int64_t>(1, callgrindWork / size)));
    }
}

// A benchmark program's main: runs the benchmarks the command line selects, reporting to `reporter`.
inline int RunBenchmarks(int argc, char** argv, FigureReporter& reporter)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

} // namespace quenra::bench

// The console reporter of the benchmarks, which also keeps each benchmark's time and counters
// (the median of repetitions when there are repetitions) and, once every benchmark has run,
// prints the figures derived from them as "FIGURE|figure|value|goal|met" lines, which
// scripts/bench gathers into its table.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
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
    std::map<std::string, Result> results;
    std::map<std::string, bool> medians;
};

// A benchmark program's main: runs the benchmarks the command line selects, reporting to `reporter`.
inline int RunBenchmarks(int argc, char** argv, FigureReporter& reporter)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

} // namespace quenra::bench

// Counts every heap allocation the benchmark process makes: this file's definitions replace
// operator new and the C library's malloc family for the whole program (glibc), so the engine's,
// the runtime stand-in's and the plug-in's allocations all pass through the count.
#pragma once

#include <cstdint>

namespace quenra::bench {

// Allocations made by any thread since the process started, but for those inside an UncountedScope.
uint64_t AllocationsSoFar();

// While one lives, its thread's allocations are not counted: around calls into a stand-in,
// whose allocations are not those of the code measured.
class UncountedScope {
public:
    UncountedScope();
    ~UncountedScope();
    UncountedScope(const UncountedScope&) = delete;
    UncountedScope& operator=(const UncountedScope&) = delete;
};

// The allocations made between its construction and a call of PerIteration, per iteration.
class AllocationCount {
public:
    AllocationCount() : start(AllocationsSoFar()) {}
    double PerIteration(int64_t iterations) const
    {
        return iterations > 0 ? static_cast<double>(AllocationsSoFar() - start) / static_cast<double>(iterations) : 0.0;
    }

private:
    uint64_t start;
};

} // namespace quenra::bench

// The simulated runtime library as built, which the Khronos loader finds through its manifest as
// an application finds a runtime; opened here as well (loader and program then share it) to reach
// its control entry, which makes a fresh runtime for this object's life. None of the runtime's
// code is linked into the program.
#pragma once

#include <stdexcept>
#include <string>

#include "PluginLibrary.h"
#include "SimulatedRuntime.h"

namespace quenra::harness {

class RuntimeLibrary {
public:
    // Throws std::runtime_error when the library, its control entry or its runtime is missing.
    explicit RuntimeLibrary(const std::string& path) : library(path)
    {
        if (!library.Loaded()) {
            throw std::runtime_error("the runtime library did not open: " + library.Error());
        }
        if (!library.Resolve(simruntime::kRuntimeControlName, control)) {
            throw std::runtime_error("the runtime library lacks its control entry");
        }
        runtime = control(simruntime::RuntimeControlRequest::Reset);
        if (runtime == nullptr) {
            throw std::runtime_error("the runtime library made no runtime");
        }
    }
    ~RuntimeLibrary() { control(simruntime::RuntimeControlRequest::Release); }
    RuntimeLibrary(const RuntimeLibrary&) = delete;
    RuntimeLibrary& operator=(const RuntimeLibrary&) = delete;

    simruntime::SimulatedRuntime& Runtime() const { return *runtime; }

private:
    simengine::PluginLibrary library;
    simruntime::PFN_quenraSimRuntimeControl control = nullptr;
    simruntime::SimulatedRuntime* runtime = nullptr;
};

} // namespace quenra::harness

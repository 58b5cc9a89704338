// Where the simulator's OpenXR calls go: by default to the simulated runtime linked into the
// simulator; with --loader through the Khronos loader to the same runtime built as a library,
// with the core validation layer and the API dump layer in between when asked for.
#pragma once

#include <openxr/openxr.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PluginLibrary.h"
#include "SimulatedRuntime.h"

namespace quenra::simulator {

struct ConnectionOptions {
    bool loader = false;
    bool validate = false;
    // Where the API dump layer writes every call; empty for no dump.
    std::string apiDumpFile;
};

struct ValidationCount {
    std::string file;
    size_t errors = 0;
    size_t warnings = 0;
};

class RuntimeConnection {
public:
    explicit RuntimeConnection(const ConnectionOptions& options);
    ~RuntimeConnection();
    RuntimeConnection(const RuntimeConnection&) = delete;
    RuntimeConnection& operator=(const RuntimeConnection&) = delete;

    sim::SimulatedRuntime& Runtime() { return *runtime_; }
    // The application's xrGetInstanceProcAddr.
    PFN_xrGetInstanceProcAddr Lookup() const { return lookup_; }
    // The API layers the application enables at instance creation.
    const std::vector<std::string>& ApiLayers() const { return apiLayers_; }
    // What the validation layer reported so far; nothing when it is not enabled.
    std::optional<ValidationCount> Validation() const;

private:
    std::unique_ptr<sim::SimulatedRuntime> linkedIn_;
    std::unique_ptr<engine::PluginLibrary> runtimeLibrary_;
    sim::PFN_quenraSimRuntimeControl control_ = nullptr;
    sim::SimulatedRuntime* runtime_ = nullptr;
    PFN_xrGetInstanceProcAddr lookup_ = nullptr;
    std::vector<std::string> apiLayers_;
    std::string validationFile_;
};

} // namespace quenra::simulator

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

namespace quenra::sim {

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
    // The first line of each error and warning the allowlist does not explain.
    std::vector<std::string> unexplained;
};

class RuntimeConnection {
public:
    explicit RuntimeConnection(const ConnectionOptions& options);
    ~RuntimeConnection();
    RuntimeConnection(const RuntimeConnection&) = delete;
    RuntimeConnection& operator=(const RuntimeConnection&) = delete;

    simruntime::SimulatedRuntime& Runtime() { return *runtime; }
    // The application's xrGetInstanceProcAddr.
    PFN_xrGetInstanceProcAddr Lookup() const { return lookup; }
    // The API layers the application enables at instance creation.
    const std::vector<std::string>& ApiLayers() const { return apiLayers; }
    // What the validation layer reported so far; nothing when it is not enabled.
    std::optional<ValidationCount> Validation() const;

private:
    std::unique_ptr<simruntime::SimulatedRuntime> linkedIn;
    std::unique_ptr<simengine::PluginLibrary> runtimeLibrary;
    simruntime::PFN_quenraSimRuntimeControl control = nullptr;
    simruntime::SimulatedRuntime* runtime = nullptr;
    PFN_xrGetInstanceProcAddr lookup = nullptr;
    std::vector<std::string> apiLayers;
    std::string validationFile;
};

} // namespace quenra::sim

#include "RuntimeConnection.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "ValidationReport.h"

namespace quenra::sim {
namespace {
const char* const kValidationLayer = "XR_APILAYER_LUNARG_core_validation";
const char* const kApiDumpLayer = "XR_APILAYER_LUNARG_api_dump";

void SetEnvironment(const char* name, const std::string& value)
{
    if (setenv(name, value.c_str(), 1) != 0) {
        throw std::runtime_error(std::string("could not set ") + name);
    }
}
} // namespace

RuntimeConnection::RuntimeConnection(const ConnectionOptions& options)
{
    if (!options.loader) {
        linkedIn = std::make_unique<simruntime::SimulatedRuntime>();
        runtime = linkedIn.get();
        lookup = &simruntime::Runtime::GetInstanceProcAddr;
        return;
    }
    if (!QUENRA_SIM_HAS_LOADER) {
        throw std::runtime_error("this build has no OpenXR loader and no runtime library for it");
    }
    // Opened first and kept open, so the loader finds it loaded and the simulator reaches the
    // very runtime the loader talks to.
    runtimeLibrary = std::make_unique<simengine::PluginLibrary>(QUENRA_SIM_RUNTIME_LIBRARY);
    if (!runtimeLibrary->Loaded() || !runtimeLibrary->Resolve(simruntime::kRuntimeControlName, control)) {
        throw std::runtime_error("the runtime library did not open: " + runtimeLibrary->Error());
    }
    runtime = control(simruntime::RuntimeControlRequest::Get);
    if (runtime == nullptr) {
        throw std::runtime_error("the runtime library made no runtime");
    }
    SetEnvironment("XR_RUNTIME_JSON", QUENRA_SIM_RUNTIME_MANIFEST);
    if (options.validate) {
        validationFile =
            (std::filesystem::temp_directory_path() / ("quenra-sim-validation-" + std::to_string(getpid()) + ".txt"))
                .string();
        std::remove(validationFile.c_str());
        SetEnvironment("XR_CORE_VALIDATION_EXPORT_TYPE", "text");
        SetEnvironment("XR_CORE_VALIDATION_FILE_NAME", validationFile);
        apiLayers.push_back(kValidationLayer);
    }
    if (!options.apiDumpFile.empty()) {
        SetEnvironment("XR_API_DUMP_EXPORT_TYPE", "text");
        SetEnvironment("XR_API_DUMP_FILE_NAME", options.apiDumpFile);
        apiLayers.push_back(kApiDumpLayer);
    }
#if QUENRA_SIM_HAS_LOADER
    lookup = &xrGetInstanceProcAddr;
#endif
}

RuntimeConnection::~RuntimeConnection()
{
    if (control != nullptr) {
        control(simruntime::RuntimeControlRequest::Release);
    }
}

std::optional<ValidationCount> RuntimeConnection::Validation() const
{
    if (validationFile.empty()) {
        return std::nullopt;
    }
    ValidationCount count{validationFile};
    for (const ValidationFinding& finding : ValidationReport::ReadFindings(validationFile)) {
        count.errors += finding.severity == "VALID_ERROR" ? 1 : 0;
        count.warnings += finding.severity == "VALID_WARNING" ? 1 : 0;
    }
    const ValidationReport checked(validationFile, QUENRA_SIM_VALIDATION_ALLOWLIST);
    for (const ValidationFinding& finding : checked.Unexpected()) {
        count.unexplained.push_back(finding.text.substr(0, finding.text.find('\n')));
    }
    return count;
}

} // namespace quenra::sim

#include "SkelderModule.h"

#include <optional>

namespace Skelder {
namespace {
// Where a provider found at the end of the process stays reachable.
CompositionLayerProvider* leftToTheProcess = nullptr;

std::optional<ModuleState>& Holder()
{
    static std::optional<ModuleState> _state{std::in_place};
    return _state;
}
} // namespace

ModuleState::~ModuleState()
{
    leftToTheProcess = provider.release();
}

ModuleState& State()
{
    return *Holder();
}

void ResetModuleState()
{
    Holder().emplace();
}

void LogException(const char* function, const std::exception* error) noexcept
{
    if (error == nullptr) {
        Log(kXRTraceLevelError, "Skelder::%s - unexpected exception", function);
    } else if (dynamic_cast<const std::bad_alloc*>(error) != nullptr) {
        Log(kXRTraceLevelError, "Skelder::%s - out of memory", function);
    } else {
        Log(kXRTraceLevelError, "Skelder::%s - %s", function, error->what());
    }
}

} // namespace Skelder

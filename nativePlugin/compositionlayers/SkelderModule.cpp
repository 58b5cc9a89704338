#include "SkelderModule.h"

#include <optional>

namespace Skelder {
namespace {
// Never destroyed: at process exit the engine and the runtime may be gone already, so no static
// destructor may tear layers down through them. Layers go at UnityPluginUnload.
std::optional<ModuleState>& Holder()
{
    static auto* _state = new std::optional<ModuleState>(std::in_place);
    return *_state;
}
} // namespace

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

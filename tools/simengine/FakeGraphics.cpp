#include "FakeGraphics.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace quenra::engine {
namespace {
FakeGraphics* current = nullptr;
} // namespace

FakeGraphics::FakeGraphics(UnityGfxRenderer renderer) : renderer_(renderer)
{
    if (current != nullptr) {
        throw std::logic_error("only one FakeGraphics may exist at a time");
    }
    current = this;
    interface_.GetRenderer = &FakeGraphics::GetRenderer;
    interface_.RegisterDeviceEventCallback = &FakeGraphics::RegisterDeviceEventCallback;
    interface_.UnregisterDeviceEventCallback = &FakeGraphics::UnregisterDeviceEventCallback;
    interface_.ReserveEventIDRange = &FakeGraphics::ReserveEventIDRange;
}

FakeGraphics::~FakeGraphics() { current = nullptr; }

void FakeGraphics::FireDeviceEvent(UnityGfxDeviceEventType type)
{
    // Copy: a callback may unregister itself while it runs.
    const auto callbacks = callbacks_;
    for (IUnityGraphicsDeviceEventCallback callback : callbacks) {
        callback(type);
    }
}

UnityGfxRenderer UNITY_INTERFACE_API FakeGraphics::GetRenderer() { return current->renderer_; }

void UNITY_INTERFACE_API FakeGraphics::RegisterDeviceEventCallback(IUnityGraphicsDeviceEventCallback callback)
{
    current->callbacks_.push_back(callback);
}

void UNITY_INTERFACE_API FakeGraphics::UnregisterDeviceEventCallback(IUnityGraphicsDeviceEventCallback callback)
{
    auto& callbacks = current->callbacks_;
    callbacks.erase(std::remove(callbacks.begin(), callbacks.end(), callback), callbacks.end());
}

int UNITY_INTERFACE_API FakeGraphics::ReserveEventIDRange(int count)
{
    // Scripts may ask for any count; a range that is negative or past the last identifier is refused.
    const int first = current->nextEventId_;
    if (count < 0 || count > std::numeric_limits<int>::max() - first) {
        return -1;
    }
    current->nextEventId_ += count;
    return first;
}

} // namespace quenra::engine

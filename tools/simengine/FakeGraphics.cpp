#include "FakeGraphics.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace quenra::simengine {
namespace {
FakeGraphics* current = nullptr;
} // namespace

FakeGraphics::FakeGraphics(UnityGfxRenderer renderer) : renderer(renderer)
{
    if (current != nullptr) {
        throw std::logic_error("only one FakeGraphics may exist at a time");
    }
    current = this;
    table.GetRenderer = &FakeGraphics::GetRenderer;
    table.RegisterDeviceEventCallback = &FakeGraphics::RegisterDeviceEventCallback;
    table.UnregisterDeviceEventCallback = &FakeGraphics::UnregisterDeviceEventCallback;
    table.ReserveEventIDRange = &FakeGraphics::ReserveEventIDRange;
}

FakeGraphics::~FakeGraphics() { current = nullptr; }

void FakeGraphics::FireDeviceEvent(UnityGfxDeviceEventType type)
{
    // Copy: a callback may unregister itself while it runs.
    const auto snapshot = callbacks;
    for (IUnityGraphicsDeviceEventCallback callback : snapshot) {
        callback(type);
    }
}

UnityGfxRenderer UNITY_INTERFACE_API FakeGraphics::GetRenderer()
{
    return current->renderer;
}

void UNITY_INTERFACE_API FakeGraphics::RegisterDeviceEventCallback(IUnityGraphicsDeviceEventCallback callback)
{
    current->callbacks.push_back(callback);
}

void UNITY_INTERFACE_API FakeGraphics::UnregisterDeviceEventCallback(IUnityGraphicsDeviceEventCallback callback)
{
    auto& callbacks = current->callbacks;
    callbacks.erase(std::remove(callbacks.begin(), callbacks.end(), callback), callbacks.end());
}

int UNITY_INTERFACE_API FakeGraphics::ReserveEventIDRange(int count)
{
    // Scripts may ask for any count; a range that is negative or past the last identifier is refused.
    const int first = current->nextEventId;
    if (count < 0 || count > std::numeric_limits<int>::max() - first) {
        return -1;
    }
    current->nextEventId += count;
    return first;
}

} // namespace quenra::simengine

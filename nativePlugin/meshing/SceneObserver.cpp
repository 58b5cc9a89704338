#include "SceneObserver.h"

#include "ProviderContext.h"
#include "XrBindings.h"

SceneObserver::~SceneObserver()
{
    std::lock_guard<std::recursive_mutex> lock(stateMutex);
    while (!providers.empty()) {
        RemoveProvider(providers.extract(providers.begin()));
    }
}

void SceneObserver::SetContext(ProviderContext* providerContext)
{
    context = providerContext;
    bindings = providerContext->xrBindings.get();
}

bool SceneObserver::RegisterProvider(const char* name, int32_t features)
{
    std::lock_guard<std::recursive_mutex> lock(stateMutex);
    std::string key(name);
    const auto [entry, inserted] = providers.insert(key);
    try {
        providerFeatures[std::move(key)] = features;
    } catch (...) {
        // Both containers hold the same names, or neither does.
        if (inserted) {
            providers.erase(entry);
        }
        throw;
    }
    CheckOrSetDrivingProvider(name);
    return true;
}

void SceneObserver::UnregisterProvider(const char* name)
{
    std::lock_guard<std::recursive_mutex> lock(stateMutex);
    if (providers.empty() && providerFeatures.empty()) {
        return;
    }
    const auto found = providers.find(name);
    if (found == providers.end()) {
        context->Log(kXRTraceLevelWarning, "Could not remove provider %s", name);
        return;
    }
    RemoveProvider(providers.extract(found));
}

void SceneObserver::RemoveProvider(ProviderNames::node_type provider)
{
    const std::string& name = provider.value();
    providerFeatures.erase(name);
    if (drivingProvider == name) {
        drivingProvider.clear();
    }
    if (providers.empty()) {
        // Nobody is left to read a scene: release the runtime's objects. Their results do not matter here.
        DestroySceneWhenUnread();
        bindings->DestroyXrSceneObserver();
        // A compute in flight died with its observer; the next provider starts a new one.
        computeState = Idle;
    }
}

bool SceneObserver::HasProviders() const
{
    std::lock_guard<std::recursive_mutex> lock(stateMutex);
    return !providers.empty();
}

bool SceneObserver::HasRegisteredProvider(const char* name) const
{
    std::lock_guard<std::recursive_mutex> lock(stateMutex);
    return providers.count(name) != 0;
}

bool SceneObserver::CheckOrSetDrivingProvider(const char* name)
{
    std::lock_guard<std::recursive_mutex> lock(stateMutex);
    if (!drivingProvider.empty()) {
        return drivingProvider == name;
    }
    const bool set = ForceSetDrivingProvider(name);
    if (!set) {
        context->Log(kXRTraceLevelError, "Failed to set a driving provider. The SceneObserver will not update until a "
                                         "valid driving provider is set");
    }
    return set;
}

bool SceneObserver::ForceSetDrivingProvider(const char* name)
{
    if (!HasRegisteredProvider(name)) {
        context->Log(kXRTraceLevelError, "Cannot set driving provider to %s because it is not a registered provider",
                     name);
        return false;
    }
    drivingProvider = name;
    return true;
}

bool SceneObserver::IsReadyWithProviders() const
{
    std::lock_guard<std::recursive_mutex> lock(stateMutex);
    if (!bindings->IsOpenXrReady()) {
        context->Log(kXRTraceLevelError, "OpenXr not ready");
        return false;
    }
    if (!HasProviders()) {
        context->Log(kXRTraceLevelError, "No providers!");
        return false;
    }
    return true;
}

XrResult SceneObserver::DestroySceneWhenUnread()
{
    std::lock_guard<std::recursive_mutex> lock(stateMutex);
    // New readers need the state lock, held here: only those already reading are waited for.
    std::lock_guard<std::shared_mutex> unread(sceneReaders);
    ++sceneGeneration;
    return bindings->DestroyCurrentScene();
}

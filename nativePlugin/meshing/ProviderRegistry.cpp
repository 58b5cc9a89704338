#include "ProviderRegistry.h"

#include "TraceLog.h"

namespace kelbrin {

void ProviderRegistry::Register(const char* name, int32_t requested)
{
    std::string key(name);
    const auto [entry, inserted] = providers.insert(key);
    try {
        features[std::move(key)] = requested;
    } catch (...) {
        // Both containers hold the same names, or neither does.
        if (inserted) {
            providers.erase(entry);
        }
        throw;
    }
    CheckOrSetDriving(name);
}

bool ProviderRegistry::Unregister(const char* name)
{
    if (providers.empty() && features.empty()) {
        return false;
    }
    const auto found = providers.find(name);
    if (found == providers.end()) {
        TraceLog(trace, kXRTraceLevelWarning, "Could not remove provider %s", name);
        return false;
    }
    Remove(providers.extract(found));
    return true;
}

bool ProviderRegistry::UnregisterAny()
{
    if (providers.empty()) {
        return false;
    }
    Remove(providers.extract(providers.begin()));
    return true;
}

void ProviderRegistry::Remove(Names::node_type provider)
{
    const std::string& name = provider.value();
    features.erase(name);
    if (driving == name) {
        driving.clear();
    }
}

bool ProviderRegistry::Has(const char* name) const
{
    return providers.count(name) != 0;
}

bool ProviderRegistry::CheckOrSetDriving(const char* name)
{
    if (!driving.empty()) {
        return driving == name;
    }
    if (!Has(name)) {
        TraceLog(trace, kXRTraceLevelError, "Cannot set driving provider to %s because it is not a registered provider",
                 name);
        TraceLog(trace, kXRTraceLevelError,
                 "Failed to set a driving provider. The SceneObserver will not update until a valid driving provider "
                 "is set");
        return false;
    }
    driving = name;
    return true;
}

int32_t ProviderRegistry::RequestedFeatures() const
{
    int32_t flags = 0;
    for (const auto& provider : features) {
        flags |= provider.second;
    }
    return flags;
}

} // namespace kelbrin

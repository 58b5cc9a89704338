// The providers registered with the scene observer, each with the scene features it asks
// for, and the one among them that drives the compute cycle.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <unordered_set>

#include "UnityXRTrace.h"

namespace kelbrin {

class ProviderRegistry {
public:
    using Features = std::map<std::string, int32_t, std::less<>>;

    explicit ProviderRegistry(IUnityXRTrace* trace) : trace(trace) {}

    // Registers or re-registers a name with its features; the first to register while none
    // drives becomes the driving provider.
    void Register(const char* name, int32_t features);
    // True when the name was registered and is no longer; a name not registered is logged.
    bool Unregister(const char* name);
    // Takes out any one provider, without allocating, so teardown cannot throw; false when none is left.
    bool UnregisterAny();
    bool Empty() const { return providers.empty(); }
    bool Has(const char* name) const;
    // Whether the caller may drive the compute cycle; takes the role for a registered caller while none drives.
    bool CheckOrSetDriving(const char* name);
    const std::string& Driving() const { return driving; }
    const Features& FeaturesByName() const { return features; }
    // The union of every provider's features.
    int32_t RequestedFeatures() const;

private:
    using Names = std::unordered_set<std::string>;

    void Remove(Names::node_type provider);

    IUnityXRTrace* const trace;
    // Registered names and their features always hold the same names.
    Names providers;
    Features features;
    // Empty while no provider drives.
    std::string driving;
};

} // namespace kelbrin

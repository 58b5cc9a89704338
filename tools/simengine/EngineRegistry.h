// Stand-in for the engine's interface registry. It answers both lookup forms
// (by identifier record and by two words) and can withhold any interface.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "UnityInterfaces.h"

namespace quenra::simengine {

class EngineRegistry {
public:
    EngineRegistry();
    ~EngineRegistry();
    EngineRegistry(const EngineRegistry&) = delete;
    EngineRegistry& operator=(const EngineRegistry&) = delete;

    IUnityInterfaces* Interfaces() { return &interfaces; }

    template <typename Interface>
    void Provide(Interface* implementation)
    {
        Register(Interface::kIdentifierHigh, Interface::kIdentifierLow, implementation);
    }
    // A withheld interface is answered with null, as by an engine that lacks it.
    template <typename Interface>
    void Withhold()
    {
        withheld.insert({Interface::kIdentifierHigh, Interface::kIdentifierLow});
    }

    void Register(uint64_t high, uint64_t low, IUnityInterface* implementation);
    IUnityInterface* Lookup(uint64_t high, uint64_t low) const;
    // How many lookups were made, by either form.
    int LookupCount() const { return lookupCount; }
    // The identifiers asked for through the two-word form, in order, as they arrived.
    const std::vector<std::pair<uint64_t, uint64_t>>& SplitLookups() const { return splitLookups; }

private:
    static IUnityInterface* UNITY_INTERFACE_API GetInterface(const UnityInterfaceIdentifier* identifier);
    static void UNITY_INTERFACE_API RegisterInterface(const UnityInterfaceIdentifier* identifier,
                                                      IUnityInterface* ptr);
    static IUnityInterface* UNITY_INTERFACE_API GetInterfaceSplit(uint64_t high, uint64_t low);
    static void UNITY_INTERFACE_API RegisterInterfaceSplit(uint64_t high, uint64_t low, IUnityInterface* ptr);

    IUnityInterfaces interfaces{};
    std::map<std::pair<uint64_t, uint64_t>, IUnityInterface*> registered;
    std::set<std::pair<uint64_t, uint64_t>> withheld;
    mutable int lookupCount = 0;
    std::vector<std::pair<uint64_t, uint64_t>> splitLookups;
};

} // namespace quenra::simengine

#include "EngineRegistry.h"

#include <stdexcept>

namespace quenra::simengine {
namespace {
EngineRegistry* current = nullptr;
} // namespace

EngineRegistry::EngineRegistry()
{
    if (current != nullptr) {
        throw std::logic_error("only one EngineRegistry may exist at a time");
    }
    current = this;
    interfaces.GetInterface = &EngineRegistry::GetInterface;
    interfaces.RegisterInterface = &EngineRegistry::RegisterInterface;
    interfaces.GetInterfaceSplit = &EngineRegistry::GetInterfaceSplit;
    interfaces.RegisterInterfaceSplit = &EngineRegistry::RegisterInterfaceSplit;
}

EngineRegistry::~EngineRegistry() { current = nullptr; }

void EngineRegistry::Register(uint64_t high, uint64_t low, IUnityInterface* implementation)
{
    registered[{high, low}] = implementation;
}

IUnityInterface* EngineRegistry::Lookup(uint64_t high, uint64_t low) const
{
    ++lookupCount;
    if (withheld.count({high, low}) != 0) {
        return nullptr;
    }
    auto found = registered.find({high, low});
    return found == registered.end() ? nullptr : found->second;
}

IUnityInterface* UNITY_INTERFACE_API EngineRegistry::GetInterface(const UnityInterfaceIdentifier* identifier)
{
    return current != nullptr && identifier != nullptr ? current->Lookup(identifier->high, identifier->low) : nullptr;
}

void UNITY_INTERFACE_API EngineRegistry::RegisterInterface(const UnityInterfaceIdentifier* identifier,
                                                           IUnityInterface* ptr)
{
    if (current != nullptr && identifier != nullptr) {
        current->Register(identifier->high, identifier->low, ptr);
    }
}

IUnityInterface* UNITY_INTERFACE_API EngineRegistry::GetInterfaceSplit(uint64_t high, uint64_t low)
{
    if (current == nullptr) {
        return nullptr;
    }
    current->splitLookups.emplace_back(high, low);
    return current->Lookup(high, low);
}

void UNITY_INTERFACE_API EngineRegistry::RegisterInterfaceSplit(uint64_t high, uint64_t low, IUnityInterface* ptr)
{
    if (current != nullptr) {
        current->Register(high, low, ptr);
    }
}

} // namespace quenra::simengine

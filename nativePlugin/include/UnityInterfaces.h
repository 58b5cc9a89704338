// Engine native plug-in interface: the registry every plug-in receives at load.
// Declared from the engine's published binary interface; identifiers and slot
// orders are fixed by the engine and must not change.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define UNITY_INTERFACE_API __stdcall
#define UNITY_INTERFACE_EXPORT __declspec(dllexport)
#else
#define UNITY_INTERFACE_API
#define UNITY_INTERFACE_EXPORT __attribute__((visibility("default")))
#endif

// The engine's 128-bit interface identifier. The engine's own record is a class
// with a user-written copy constructor, so it is passed by hidden reference on
// every target ABI; the by-record operations are declared with a pointer to match.
struct UnityInterfaceIdentifier {
    uint64_t high;
    uint64_t low;
};
static_assert(sizeof(UnityInterfaceIdentifier) == 16, "identifier is two 64-bit words");

// Marker base of every engine interface.
struct IUnityInterface {};

struct IUnityInterfaces {
    IUnityInterface*(UNITY_INTERFACE_API* GetInterface)(const UnityInterfaceIdentifier* identifier);
    void(UNITY_INTERFACE_API* RegisterInterface)(const UnityInterfaceIdentifier* identifier,
                                                 IUnityInterface* ptr);
    // Same lookup with the identifier split into two words; its calling convention is the
    // same on every platform, so this is the form the plug-ins use.
    IUnityInterface*(UNITY_INTERFACE_API* GetInterfaceSplit)(uint64_t high, uint64_t low);
    void(UNITY_INTERFACE_API* RegisterInterfaceSplit)(uint64_t high, uint64_t low, IUnityInterface* ptr);

    template <typename Interface>
    Interface* Get()
    {
        return static_cast<Interface*>(GetInterfaceSplit(Interface::kIdentifierHigh, Interface::kIdentifierLow));
    }
};
static_assert(sizeof(IUnityInterfaces) == 4 * sizeof(void*), "registry has four operations");

#include <gtest/gtest.h>

#include "EngineRegistry.h"

namespace quenra::simengine {
namespace {

// The engine's own identifier record: a class with a user-written copy constructor, which every
// target ABI (System V and Windows x64 alike) passes by hidden reference when it is an argument.
struct EngineIdentifier {
    EngineIdentifier(uint64_t high, uint64_t low) : high(high), low(low) {}
    EngineIdentifier(const EngineIdentifier& other) : high(other.high), low(other.low) {}
    uint64_t high;
    uint64_t low;
};
using EngineGetInterface = IUnityInterface*(UNITY_INTERFACE_API*)(EngineIdentifier);

TEST(EngineRegistry, BothLookupFormsReceiveTheIdentifierAsTheEnginePassesIt)
{
    EngineRegistry registry;
    IUnityInterface found;
    registry.Register(0x1122334455667788ULL, 0x99aabbccddeeff00ULL, &found);
    IUnityInterfaces* interfaces = registry.Interfaces();

    // The record form called as the engine calls it, with the record by value: our declaration
    // with a pointer must receive the same two words.
    // (Through the generic function pointer type: the compiler would rightly flag a direct cast.)
    const auto byRecord =
        reinterpret_cast<EngineGetInterface>(reinterpret_cast<void (*)()>(interfaces->GetInterface));
    EXPECT_EQ(byRecord(EngineIdentifier(0x1122334455667788ULL, 0x99aabbccddeeff00ULL)), &found);
    EXPECT_EQ(byRecord(EngineIdentifier(0x1122334455667788ULL, 0)), nullptr);

    EXPECT_EQ(interfaces->GetInterfaceSplit(0x1122334455667788ULL, 0x99aabbccddeeff00ULL), &found);
    EXPECT_EQ(registry.SplitLookups(),
              (std::vector<std::pair<uint64_t, uint64_t>>{{0x1122334455667788ULL, 0x99aabbccddeeff00ULL}}));
    EXPECT_EQ(registry.LookupCount(), 3);
}

} // namespace
} // namespace quenra::simengine

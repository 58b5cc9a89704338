// Heap storage with guard bytes on both sides, to catch writes out of bounds
// into memory the engine hands out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quenra::simengine {

class GuardedBuffer {
public:
    static constexpr size_t kGuardBytes = 64;
    static constexpr uint8_t kGuardPattern = 0xA5;

    explicit GuardedBuffer(size_t bytes);

    void* Data() { return storage.data() + kGuardBytes; }
    const void* Data() const { return storage.data() + kGuardBytes; }
    size_t Size() const { return bytes; }
    // False if anything wrote into either guard.
    bool GuardsIntact() const;

private:
    size_t bytes;
    std::vector<uint8_t> storage;
};

} // namespace quenra::simengine

#include "GuardedBuffer.h"

#include <algorithm>

namespace quenra::simengine {

GuardedBuffer::GuardedBuffer(size_t bytes) : bytes(bytes), storage(bytes + 2 * kGuardBytes, kGuardPattern)
{
    // The payload starts out with a recognisable non-zero pattern so unwritten data shows.
    std::fill(storage.begin() + kGuardBytes, storage.end() - kGuardBytes, uint8_t{0xCD});
}

bool GuardedBuffer::GuardsIntact() const
{
    auto isGuard = [](uint8_t b) { return b == kGuardPattern; };
    return std::all_of(storage.begin(), storage.begin() + kGuardBytes, isGuard) &&
           std::all_of(storage.end() - kGuardBytes, storage.end(), isGuard);
}

} // namespace quenra::simengine

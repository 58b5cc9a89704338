#include "GuardedBuffer.h"

#include <algorithm>

namespace quenra::engine {

GuardedBuffer::GuardedBuffer(size_t bytes) : bytes_(bytes), storage_(bytes + 2 * kGuardBytes, kGuardPattern)
{
    // The payload starts out with a recognisable non-zero pattern so unwritten data shows.
    std::fill(storage_.begin() + kGuardBytes, storage_.end() - kGuardBytes, uint8_t{0xCD});
}

bool GuardedBuffer::GuardsIntact() const
{
    auto isGuard = [](uint8_t b) { return b == kGuardPattern; };
    return std::all_of(storage_.begin(), storage_.begin() + kGuardBytes, isGuard) &&
           std::all_of(storage_.end() - kGuardBytes, storage_.end(), isGuard);
}

} // namespace quenra::engine

#include "ProviderLock.h"

namespace Skelder {

namespace {
// The TableHold the current thread is inside, innermost first through `outer`.
thread_local ProviderLock::TableHold* _threadHold = nullptr;
} // namespace

ProviderLock::TableHold::TableHold(ProviderLock& lock) : owner(lock), hold(lock.mutex), outer(_threadHold)
{
    owner.unparked.wait(hold, [this] { return !owner.parked; });
    _threadHold = this;
}

ProviderLock::TableHold::~TableHold()
{
    _threadHold = outer;
}

void ProviderLock::TableHold::Park()
{
    owner.parked = true;
    hold.unlock();
}

void ProviderLock::TableHold::Resume()
{
    hold.lock();
    owner.parked = false;
    owner.unparked.notify_all();
}

ProviderLock::TableHold* ProviderLock::HoldOfThisThread() const
{
    for (TableHold* hold = _threadHold; hold != nullptr; hold = hold->outer) {
        if (&hold->owner == this) {
            return hold;
        }
    }
    return nullptr;
}

} // namespace Skelder

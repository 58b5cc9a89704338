#include "ContextSlot.h"

#include <thread>

#include "ProviderContext.h"

namespace kelbrin {

ContextSlot::Pin::Pin(ContextSlot& slot) : slot(slot)
{
    // Counted before the pointer is read: a withdrawal that took the pointer away after this
    // read sees the count (both sequentially consistent) and waits.
    slot.pins.fetch_add(1);
    context = slot.context.load();
}

ContextSlot::Pin::~Pin()
{
    slot.pins.fetch_sub(1);
}

std::unique_ptr<ProviderContext> ContextSlot::Withdraw()
{
    std::unique_ptr<ProviderContext> withdrawn(context.exchange(nullptr));
    // A frame thread's wait lasts a frame at most; nothing here blocks what it waits for.
    while (pins.load() != 0) {
        std::this_thread::yield();
    }
    return withdrawn;
}

} // namespace kelbrin

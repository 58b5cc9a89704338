// The one lock over the provider's table and its layers. Scripts call the exports on their thread
// while the application ends frames on another; the end-frame hook holds the lock from reading the
// layers until the runtime's xrEndFrame returns, so no layer it hands over can change or die
// before the runtime is done with it.
//
// A layer's image cycle waits for the compositor (xrWaitSwapchainImage, infinite timeout), and the
// compositor may need further frames to free an image. So that wait never runs with the lock held:
// the export parks the lock around it (Parked), the frame thread can take it meanwhile, and other
// exports that change the table or run an image cycle (TableHold) wait until the parked one has its
// lock back, so nothing it holds on to can be destroyed or moved under it.
#pragma once

#include <condition_variable>
#include <mutex>

namespace Skelder {

class ProviderLock {
public:
    ProviderLock() = default;
    ProviderLock(const ProviderLock&) = delete;
    ProviderLock& operator=(const ProviderLock&) = delete;

    // For the end-frame hook and for exports that change fields of a listed layer in place.
    class Hold {
    public:
        explicit Hold(ProviderLock& lock) : hold(lock.mutex) {}

    private:
        std::unique_lock<std::mutex> hold;
    };

    // For exports that create, destroy or re-sort layers, or run a layer's image cycle.
    class TableHold {
    public:
        explicit TableHold(ProviderLock& lock);
        ~TableHold();
        TableHold(const TableHold&) = delete;
        TableHold& operator=(const TableHold&) = delete;

    private:
        friend class ProviderLock;
        void Park();
        void Resume();

        ProviderLock& owner;
        std::unique_lock<std::mutex> hold;
        TableHold* outer;
    };

    // Runs `call` with the lock released when this thread holds it through a TableHold; otherwise
    // (a thread without the lock) simply runs it.
    template <typename Call> auto Parked(Call&& call) -> decltype(call())
    {
        TableHold* hold = HoldOfThisThread();
        if (hold == nullptr) {
            return call();
        }
        hold->Park();
        struct Resume {
            TableHold* hold;
            ~Resume() { hold->Resume(); }
        } resume{hold};
        return call();
    }

private:
    TableHold* HoldOfThisThread() const;

    std::mutex mutex;
    std::condition_variable unparked;
    // A TableHold has released the lock for a compositor wait.
    bool parked = false;
};

} // namespace Skelder

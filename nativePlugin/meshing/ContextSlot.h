// Where the live provider context is published between load and unload. The thread that
// loads and unloads reads it directly; entries on other threads (the frame thread's
// interception, the generation threads' acquisitions) pin it for their duration, and
// withdrawing it waits until no pin is left, so they never see it destroyed under them.
#pragma once

#include <atomic>
#include <memory>

namespace kelbrin {

class ProviderContext;

class ContextSlot {
public:
    // The context as it was when the pin was taken, alive until the pin is released; null
    // before load and after unload.
    class Pin {
    public:
        explicit Pin(ContextSlot& slot);
        ~Pin();
        Pin(const Pin&) = delete;
        Pin& operator=(const Pin&) = delete;

        ProviderContext* get() const { return context; }

    private:
        ContextSlot& slot;
        ProviderContext* context = nullptr;
    };

    constexpr ContextSlot() = default;
    ContextSlot(const ContextSlot&) = delete;
    ContextSlot& operator=(const ContextSlot&) = delete;

    // On the thread that loads and unloads.
    ProviderContext* Get() const { return context.load(); }
    void Publish(std::unique_ptr<ProviderContext> published) { context.store(published.release()); }
    // Takes the context away, then returns it once no pin holds it; pins taken meanwhile find none.
    std::unique_ptr<ProviderContext> Withdraw();

private:
    std::atomic<ProviderContext*> context{nullptr};
    std::atomic<int> pins{0};
};

} // namespace kelbrin

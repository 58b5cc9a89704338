// Who reads the current scene outside the observer's state lock: mesh acquisitions, on
// the engine's generation threads. Whatever destroys or replaces the scene waits for the
// readers already in it; new ones cannot start meanwhile, since they enter under the state
// lock that the change holds. The state lock is the caller's; this class adds the readers.
#pragma once

#include <cstdint>
#include <mutex>
#include <shared_mutex>

namespace kelbrin {

class SceneReaders {
public:
    // Keeps the current scene as it is until released; the scene's handle may be read meanwhile.
    using Reader = std::shared_lock<std::shared_mutex>;

    // Under the state lock.
    Reader Enter() const { return Reader(readers); }
    // Under the state lock, once no reader is left: the current scene is destroyed or replaced.
    template <typename Change> auto Exclusively(Change change)
    {
        std::lock_guard<std::shared_mutex> unread(readers);
        ++generation;
        return change();
    }
    // Changes with every scene destroyed or made: a reader that saw the same number before
    // and after still speaks of the current scene. Under the state lock.
    uint64_t Generation() const { return generation; }

private:
    mutable std::shared_mutex readers;
    uint64_t generation = 0;
};

} // namespace kelbrin

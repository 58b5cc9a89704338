// The scene observer's one lock object: the state mutex, the readers of the current scene and
// its generation. Three verbs: hold the state lock to look something up or change the state;
// read the current scene outside the lock as a reader, entered under it; replace (destroy, make,
// forget) the scene under the lock once no reader is left in it. New readers cannot enter
// meanwhile, since they enter under the lock the replacement holds.
//
// The mutex is not recursive: an operation works under one hold from start to end, so nothing
// can rebuild the state between its steps. A thread that asks again while it holds the lock (an
// engine callback made under it that calls back into the observer) is refused with a logged
// failure, never left to deadlock.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include "UnityXRTrace.h"

namespace kelbrin {

class SceneGuard {
public:
    // Keeps the current scene as it is until released; the scene's handle may be read meanwhile.
    using Reader = std::shared_lock<std::shared_mutex>;

    // The state lock, held for an operation's duration; false when the hold was refused.
    class Hold {
    public:
        Hold(SceneGuard& guard, const char* operation);
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        explicit operator bool() const { return held; }
        // Lets the lock go before the hold ends; the hold is then over.
        void Release();

    private:
        SceneGuard& guard;
        bool held = false;
    };

    explicit SceneGuard(IUnityXRTrace* trace) : trace(trace) {}
    SceneGuard(const SceneGuard&) = delete;
    SceneGuard& operator=(const SceneGuard&) = delete;

    // Under a hold: a reader of the current scene.
    Reader EnterReader() const { return Reader(readers); }
    // Under a hold, once no reader is left: the current scene is destroyed, made or forgotten.
    template <typename Change> auto Replace(Change change)
    {
        std::lock_guard<std::shared_mutex> unread(readers);
        ++generation;
        return change();
    }
    // Changes with every scene destroyed, made or forgotten: a reader that saw the same number
    // before and after still speaks of the current scene. Under a hold.
    uint64_t Generation() const { return generation; }

private:
    IUnityXRTrace* const trace;
    std::mutex state;
    // The thread holding `state`, so that it is refused, not deadlocked, when it asks again.
    std::atomic<std::thread::id> holder{};
    mutable std::shared_mutex readers;
    uint64_t generation = 0;
};

} // namespace kelbrin

#include "SceneGuard.h"

#include "TraceLog.h"

namespace kelbrin {

SceneGuard::Hold::Hold(SceneGuard& guard, const char* operation) : guard(guard)
{
    // Only this thread can have stored its own id, so the comparison needs no lock.
    if (guard.holder.load() == std::this_thread::get_id()) {
        TraceLog(guard.trace, kXRTraceLevelError,
                 "%s was called back while the scene state is held on the same thread; refused", operation);
        return;
    }
    guard.state.lock();
    guard.holder.store(std::this_thread::get_id());
    held = true;
}

SceneGuard::Hold::~Hold()
{
    Release();
}

void SceneGuard::Hold::Release()
{
    if (held) {
        guard.holder.store(std::thread::id());
        guard.state.unlock();
        held = false;
    }
}

} // namespace kelbrin

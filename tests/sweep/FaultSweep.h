// A fault sweep: a scripted session is run once to count the runtime calls it makes, then once
// for each of those calls and each result the call may answer, with that one call answering it.
// Each faulty session must run to its end and leave nothing the plug-in made alive, and the next
// clean session must work. Any plug-in can be swept by describing one session of it.
#pragma once

#include <openxr/openxr.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "Runtime.h"

namespace quenra::test {

struct SessionOutcome {
    // Every function the runtime was called with after the session armed its faults, in order.
    std::vector<std::string> calls;
    bool ranToEnd = false;
    // The full session's own check passed (only asked of a clean session).
    bool worked = false;
    // Handles the plug-in made that are still alive after it was unloaded, described.
    std::vector<std::string> leftAlive;
};

class ScriptedSession {
public:
    virtual ~ScriptedSession() = default;
    // Runs one session in a world of its own. Once the plug-in is loaded, `arm` is called with the
    // runtime; the calls counted from then on are the ones the sweep fails.
    virtual SessionOutcome Run(const std::function<void(simruntime::Runtime&)>& arm) = 0;
};

struct SweepFigures {
    size_t calls = 0;
    size_t cases = 0;
    size_t failures = 0;
    // One line per failed case: call number, function, injected result, what went wrong.
    std::vector<std::string> failed;
};

// The results swept, and whether a call of `function` may answer `result`.
const std::vector<XrResult>& SweptResults();
bool MayAnswer(const std::string& function, XrResult result);

SweepFigures Sweep(ScriptedSession& session);

// The calls since `armedAt`, for a session's outcome; no call is failed after this.
SessionOutcome Outcome(simruntime::Runtime& runtime, size_t armedAt);
// Handles alive that are not in `application`, except those whose destruction the runtime
// refused after `armedAt` (the plug-in cannot do more than ask) and those it reported gone
// (invalid, or made under a session it reported lost), described.
std::vector<std::string> LeftAlive(const simruntime::Runtime& runtime, std::set<uint64_t> application, size_t armedAt);

} // namespace quenra::test

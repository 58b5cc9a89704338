// libKelbrin's parts without its façade: XrBindings bound to the simulated runtime (instance,
// session and space made and passed, the scene functions looked up), the lock object the parts
// share, and a wall clock the test moves. No library is loaded.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "ChainedFunctions.h"
#include "ComputeCycle.h"
#include "KelbrinWorld.h"
#include "SceneGuard.h"
#include "XrBindings.h"

namespace kelbrin::test {

class BoundParts : public ::testing::Test {
protected:
    BoundParts();

    static ComputeCycle::SystemTime ReadTestClock() { return clockNow; }
    void Advance(std::chrono::microseconds step) { clockNow += step; }
    std::vector<std::pair<int, std::string>> Messages() const;

    quenra::simruntime::Runtime runtime;
    quenra::simruntime::FrameLoop frames{runtime};
    quenra::simruntime::SceneUnderstanding sceneUnderstanding{runtime};
    quenra::simengine::TraceRecorder trace;
    XrInstance instance = runtime.MakeInstance();
    XrSession session = runtime.MakeSession(instance);
    XrSpace space = runtime.MakeSpace(session);
    ChainedFunctions chain;
    XrBindings bindings{chain};
    SceneGuard guard{trace.Interface()};

    static inline ComputeCycle::SystemTime clockNow{};
};

} // namespace kelbrin::test

// libKelbrin's parts without its façade: XrBindings bound to the simulated runtime (instance,
// session and space made and passed, the scene functions looked up, a frame's predicted time),
// the lock object the parts share, the compute cycle on a wall clock the test moves, and the
// reader of its scenes. No library is loaded.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ChainedFunctions.h"
#include "ComputeCycle.h"
#include "KelbrinWorld.h"
#include "SceneGuard.h"
#include "SceneReader.h"
#include "XrBindings.h"

namespace kelbrin::test {

class BoundParts : public ::testing::Test {
protected:
    BoundParts();

    static ComputeCycle::SystemTime ReadTestClock() { return clockNow; }
    void Advance(std::chrono::microseconds step) { clockNow += step; }
    std::vector<std::pair<int, std::string>> Messages() const;
    // The world's scene as a compute asking for these features makes it current; the trace cleared.
    void MakeScene(quenra::simruntime::SimWorld world, int32_t features);

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
    ComputeCycle cycle{bindings, trace.Interface(), guard};
    const SceneReader reader{bindings, trace.Interface()};

    static inline ComputeCycle::SystemTime clockNow{};
};

} // namespace kelbrin::test

#include "BoundParts.h"

namespace kelbrin::test {

BoundParts::BoundParts()
{
    using namespace std::chrono_literals;
    // Well past the clock's epoch, where the first compute is due at once.
    clockNow = ComputeCycle::SystemTime{1'700'000'000s};
    chain.getInstanceProcAddr = &Runtime::GetInstanceProcAddr;
    bindings.SetInstanceHandle(HandleValue(instance));
    bindings.ExchangeSessionHandle(HandleValue(session));
    bindings.SetSpaceHandle(HandleValue(space));
    bindings.HookFunctions();
    bindings.SetPredictedDisplayTime(frames.LastPredictedDisplayTime());
    cycle.SetWallClock(&ReadTestClock);
}

void BoundParts::MakeScene(quenra::simruntime::SimWorld world, int32_t features)
{
    sceneUnderstanding.SetWorld(std::move(world));
    // Due whatever the cycle did before.
    Advance(std::chrono::seconds(2));
    cycle.Step(features);
    ASSERT_EQ(cycle.State(), ComputeCycle::SceneReady);
    trace.Clear();
}

std::vector<std::pair<int, std::string>> BoundParts::Messages() const
{
    std::vector<std::pair<int, std::string>> messages;
    for (const auto& message : trace.Messages()) {
        messages.emplace_back(message.level, message.text);
    }
    return messages;
}

} // namespace kelbrin::test

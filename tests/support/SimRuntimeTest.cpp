#include <gtest/gtest.h>

#include "FrameLoop.h"
#include "Runtime.h"

namespace quenra::simruntime {
namespace {

template <typename Pfn>
Pfn Lookup(XrInstance instance, const char* name)
{
    PFN_xrVoidFunction function = nullptr;
    EXPECT_EQ(Runtime::GetInstanceProcAddr(instance, name, &function), XR_SUCCESS) << name;
    return reinterpret_cast<Pfn>(function);
}

TEST(SimRuntime, LookupWithoutInstanceServesOnlyGlobalFunctions)
{
    Runtime runtime;
    PFN_xrVoidFunction function = nullptr;
    EXPECT_EQ(Runtime::GetInstanceProcAddr(XR_NULL_HANDLE, "xrCreateInstance", &function), XR_SUCCESS);
    EXPECT_NE(function, nullptr);
    EXPECT_EQ(Runtime::GetInstanceProcAddr(XR_NULL_HANDLE, "xrCreateSession", &function), XR_ERROR_HANDLE_INVALID);
    EXPECT_EQ(function, nullptr);
}

TEST(SimRuntime, RemovedFunctionIsUnsupportedAndYieldsNull)
{
    Runtime runtime;
    XrInstance instance = runtime.MakeInstance();
    runtime.RemoveFunction("xrCreateSession");
    PFN_xrVoidFunction function = reinterpret_cast<PFN_xrVoidFunction>(&Runtime::GetInstanceProcAddr);
    EXPECT_EQ(Runtime::GetInstanceProcAddr(instance, "xrCreateSession", &function), XR_ERROR_FUNCTION_UNSUPPORTED);
    EXPECT_EQ(function, nullptr);
}

TEST(SimRuntime, DestroyedOrForeignHandlesAreInvalid)
{
    Runtime runtime;
    XrInstance instance = runtime.MakeInstance();
    XrSession session = runtime.MakeSession(instance);
    auto destroySession = Lookup<PFN_xrDestroySession>(instance, "xrDestroySession");
    auto destroySpace = Lookup<PFN_xrDestroySpace>(instance, "xrDestroySpace");

    // A session handle is not a space handle, even though it is live.
    EXPECT_EQ(destroySpace(reinterpret_cast<XrSpace>(HandleValue(session))), XR_ERROR_HANDLE_INVALID);
    EXPECT_EQ(destroySession(session), XR_SUCCESS);
    EXPECT_EQ(destroySession(session), XR_ERROR_HANDLE_INVALID);
    ASSERT_EQ(runtime.LiveHandles().size(), 1u);
    EXPECT_EQ(runtime.LiveHandles()[0].kind, HandleKind::Instance);
}

TEST(SimRuntime, DestroyingAParentDestroysItsChildren)
{
    Runtime runtime;
    XrInstance instance = runtime.MakeInstance();
    XrSession session = runtime.MakeSession(instance);
    XrSpace space = runtime.MakeSpace(session);
    EXPECT_TRUE(runtime.DestroyHandle(HandleKind::Instance, HandleValue(instance)));
    EXPECT_FALSE(runtime.IsLive(HandleKind::Space, HandleValue(space)));
    EXPECT_TRUE(runtime.LiveHandles().empty());
}

TEST(SimRuntime, InjectedFailuresAreReturnedInOrderThenCallsSucceed)
{
    Runtime runtime;
    XrInstance instance = runtime.MakeInstance();
    auto createSession = Lookup<PFN_xrCreateSession>(instance, "xrCreateSession");
    runtime.FailNext("xrCreateSession", XR_ERROR_RUNTIME_FAILURE);
    runtime.FailNext("xrCreateSession", XR_ERROR_OUT_OF_MEMORY);
    XrSessionCreateInfo info{XR_TYPE_SESSION_CREATE_INFO};
    XrSession session = XR_NULL_HANDLE;
    EXPECT_EQ(createSession(instance, &info, &session), XR_ERROR_RUNTIME_FAILURE);
    EXPECT_EQ(createSession(instance, &info, &session), XR_ERROR_OUT_OF_MEMORY);
    EXPECT_EQ(session, XR_NULL_HANDLE);
    EXPECT_EQ(createSession(instance, &info, &session), XR_SUCCESS);
    EXPECT_TRUE(runtime.IsLive(HandleKind::Session, HandleValue(session)));

    const auto calls = runtime.Calls("xrCreateSession");
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].result, XR_ERROR_RUNTIME_FAILURE);
    EXPECT_EQ(calls[2].result, XR_SUCCESS);
    EXPECT_EQ(calls[2].handles, std::vector<uint64_t>{HandleValue(instance)});
}

TEST(SimRuntime, TheCallChosenByNumberAloneAnswersTheInjectedResult)
{
    Runtime runtime;
    XrInstance instance = runtime.MakeInstance();
    auto createSession = Lookup<PFN_xrCreateSession>(instance, "xrCreateSession");
    XrSessionCreateInfo info{XR_TYPE_SESSION_CREATE_INFO};
    const size_t entered = runtime.CallsEntered();
    // A failure does nothing; a success code comes after the call's work.
    runtime.InjectAtCall(entered + 2, XR_ERROR_SESSION_LOST);
    XrSession first = XR_NULL_HANDLE;
    XrSession second = XR_NULL_HANDLE;
    EXPECT_EQ(createSession(instance, &info, &first), XR_SUCCESS);
    EXPECT_EQ(createSession(instance, &info, &second), XR_ERROR_SESSION_LOST);
    EXPECT_EQ(second, XR_NULL_HANDLE);
    runtime.InjectAtCall(runtime.CallsEntered() + 1, XR_SESSION_LOSS_PENDING);
    EXPECT_EQ(createSession(instance, &info, &second), XR_SESSION_LOSS_PENDING);
    EXPECT_TRUE(runtime.IsLive(HandleKind::Session, HandleValue(second)));
    EXPECT_EQ(runtime.CallsEntered(), entered + 3);
}

TEST(SimRuntime, WithRecordingOffCallsAndFramesLeaveNoRecordButStillWork)
{
    Runtime runtime;
    FrameLoop loop(runtime);
    XrInstance instance = runtime.MakeInstance();
    XrSession session = runtime.MakeSession(instance);
    auto createSession = Lookup<PFN_xrCreateSession>(instance, "xrCreateSession");
    XrSessionCreateInfo info{XR_TYPE_SESSION_CREATE_INFO};
    XrSession created = XR_NULL_HANDLE;
    ASSERT_EQ(createSession(instance, &info, &created), XR_SUCCESS);
    const std::vector<std::string> before = runtime.CallSequence();
    ASSERT_EQ(before.back(), "xrCreateSession");

    runtime.SetRecording(false);
    runtime.FailNext("xrCreateSession", XR_ERROR_RUNTIME_FAILURE);
    EXPECT_EQ(createSession(instance, &info, &created), XR_ERROR_RUNTIME_FAILURE);
    EXPECT_EQ(createSession(instance, &info, &created), XR_SUCCESS);
    EXPECT_TRUE(runtime.IsLive(HandleKind::Session, HandleValue(created)));
    XrFrameState state{XR_TYPE_FRAME_STATE};
    ASSERT_EQ(Lookup<PFN_xrWaitFrame>(instance, "xrWaitFrame")(session, nullptr, &state), XR_SUCCESS);
    ASSERT_EQ(Lookup<PFN_xrBeginFrame>(instance, "xrBeginFrame")(session, nullptr), XR_SUCCESS);
    XrFrameEndInfo end{XR_TYPE_FRAME_END_INFO};
    EXPECT_EQ(Lookup<PFN_xrEndFrame>(instance, "xrEndFrame")(session, &end), XR_SUCCESS);
    // What was recorded before stays; nothing since was added.
    EXPECT_EQ(runtime.CallSequence(), before);
    EXPECT_TRUE(loop.SubmittedFrames().empty());

    runtime.SetRecording(true);
    EXPECT_EQ(createSession(instance, &info, &created), XR_SUCCESS);
    const auto calls = runtime.Calls("xrCreateSession");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].result, XR_SUCCESS);
}

TEST(SimRuntime, WrongStructureTypeIsAValidationFailure)
{
    Runtime runtime;
    XrInstance instance = runtime.MakeInstance();
    auto createSession = Lookup<PFN_xrCreateSession>(instance, "xrCreateSession");
    XrSessionCreateInfo info{XR_TYPE_SYSTEM_GET_INFO};
    XrSession session = XR_NULL_HANDLE;
    EXPECT_EQ(createSession(instance, &info, &session), XR_ERROR_VALIDATION_FAILURE);
}

TEST(SimFrameLoop, FramesMustGoWaitBeginEnd)
{
    Runtime runtime;
    FrameLoop loop(runtime);
    XrInstance instance = runtime.MakeInstance();
    XrSession session = runtime.MakeSession(instance);
    auto waitFrame = Lookup<PFN_xrWaitFrame>(instance, "xrWaitFrame");
    auto beginFrame = Lookup<PFN_xrBeginFrame>(instance, "xrBeginFrame");
    auto endFrame = Lookup<PFN_xrEndFrame>(instance, "xrEndFrame");

    XrFrameEndInfo end{XR_TYPE_FRAME_END_INFO};
    EXPECT_EQ(beginFrame(session, nullptr), XR_ERROR_CALL_ORDER_INVALID);
    EXPECT_EQ(endFrame(session, &end), XR_ERROR_CALL_ORDER_INVALID);

    XrFrameState state{XR_TYPE_FRAME_STATE};
    loop.SetFramePeriod(100);
    ASSERT_EQ(waitFrame(session, nullptr, &state), XR_SUCCESS);
    const XrTime first = state.predictedDisplayTime;
    ASSERT_EQ(waitFrame(session, nullptr, &state), XR_SUCCESS);
    EXPECT_EQ(state.predictedDisplayTime, first + 100);
    EXPECT_EQ(beginFrame(session, nullptr), XR_SUCCESS);
    EXPECT_TRUE(loop.FrameInProgress());

    const XrCompositionLayerBaseHeader* layers[] = {nullptr};
    end.layerCount = 1;
    end.layers = layers;
    EXPECT_EQ(endFrame(session, &end), XR_ERROR_LAYER_INVALID);
    end.layerCount = 0;
    end.layers = nullptr;
    EXPECT_EQ(endFrame(session, &end), XR_SUCCESS);
    EXPECT_FALSE(loop.FrameInProgress());
    EXPECT_EQ(loop.SubmittedFrames().size(), 1u);
}

TEST(SimFrameLoop, LayerCountAboveTheLimitIsRefused)
{
    Runtime runtime;
    FrameLoop loop(runtime);
    loop.SetMaxLayerCount(1);
    XrInstance instance = runtime.MakeInstance();
    XrSession session = runtime.MakeSession(instance);
    XrFrameState state{XR_TYPE_FRAME_STATE};
    ASSERT_EQ(Lookup<PFN_xrWaitFrame>(instance, "xrWaitFrame")(session, nullptr, &state), XR_SUCCESS);
    ASSERT_EQ(Lookup<PFN_xrBeginFrame>(instance, "xrBeginFrame")(session, nullptr), XR_SUCCESS);
    XrCompositionLayerQuad quad{XR_TYPE_COMPOSITION_LAYER_QUAD};
    const XrCompositionLayerBaseHeader* layers[] = {reinterpret_cast<XrCompositionLayerBaseHeader*>(&quad),
                                                    reinterpret_cast<XrCompositionLayerBaseHeader*>(&quad)};
    XrFrameEndInfo end{XR_TYPE_FRAME_END_INFO};
    end.layerCount = 2;
    end.layers = layers;
    EXPECT_EQ(Lookup<PFN_xrEndFrame>(instance, "xrEndFrame")(session, &end), XR_ERROR_LAYER_LIMIT_EXCEEDED);
}

} // namespace
} // namespace quenra::simruntime

#include <cstring>

#include "LoadedPlugin.h"

namespace kelbrin::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A loader lookup that remembers what it was asked for and forwards to the runtime.
struct Lookup {
    XrInstance instance;
    std::string name;
};
std::vector<Lookup> firstLookups;
std::vector<Lookup> secondLookups;

XrResult XRAPI_CALL FirstLoader(XrInstance instance, const char* name, PFN_xrVoidFunction* function)
{
    firstLookups.push_back({instance, name});
    return Runtime::GetInstanceProcAddr(instance, name, function);
}

XrResult XRAPI_CALL SecondLoader(XrInstance instance, const char* name, PFN_xrVoidFunction* function)
{
    secondLookups.push_back({instance, name});
    return Runtime::GetInstanceProcAddr(instance, name, function);
}

int otherWaitCalls = 0;
XrResult XRAPI_CALL OtherWaitFrame(XrSession, const XrFrameWaitInfo*, XrFrameState* state)
{
    ++otherWaitCalls;
    state->predictedDisplayTime = 42;
    return XR_SUCCESS;
}

const std::vector<std::string> kSceneFunctions{
    "xrCreateSceneObserverMSFT",  "xrDestroySceneObserverMSFT",  "xrComputeNewSceneMSFT",
    "xrGetSceneComputeStateMSFT", "xrCreateSceneMSFT",           "xrDestroySceneMSFT",
    "xrGetSceneComponentsMSFT",   "xrLocateSceneComponentsMSFT", "xrGetSceneMeshBuffersMSFT"};

std::vector<std::string> Names(const std::vector<Lookup>& lookups)
{
    std::vector<std::string> names;
    for (const Lookup& lookup : lookups) {
        names.push_back(lookup.name);
    }
    return names;
}

class Interception : public LoadedPlugin {
protected:
    Interception()
    {
        firstLookups.clear();
        secondLookups.clear();
        otherWaitCalls = 0;
        instance = runtime.MakeInstance();
        session = runtime.MakeSession(instance);
        space = runtime.MakeSpace(session);
    }

    // Looks a function up through the interceptor, as the application does.
    PFN_xrVoidFunction Intercepted(const char* name, XrResult expected = XR_SUCCESS)
    {
        PFN_xrVoidFunction function = nullptr;
        EXPECT_EQ(InterceptedXrGetInstanceProcAddr(instance, name, &function), expected) << name;
        return function;
    }

    XrResult WaitThroughInterceptor(XrFrameState& state)
    {
        auto wait = reinterpret_cast<PFN_xrWaitFrame>(Intercepted("xrWaitFrame"));
        return wait != nullptr ? wait(session, nullptr, &state) : XR_ERROR_FUNCTION_UNSUPPORTED;
    }
};

TEST_F(Interception, FirstBoundLookupStaysInUse)
{
    EXPECT_EQ(GetInterceptedInstanceProcAddr(&FirstLoader), &InterceptedXrGetInstanceProcAddr);
    EXPECT_EQ(GetInterceptedInstanceProcAddr(&SecondLoader), &InterceptedXrGetInstanceProcAddr);
    Intercepted("xrEndFrame");
    EXPECT_THAT(Names(firstLookups), ElementsAre("xrEndFrame"));
    EXPECT_THAT(secondLookups, IsEmpty());
}

TEST_F(Interception, WaitFrameIsAnsweredWithTheInterceptorThatTracksPredictedTime)
{
    GetInterceptedInstanceProcAddr(&Runtime::GetInstanceProcAddr);
    EXPECT_EQ(Intercepted("xrWaitFrame"), reinterpret_cast<PFN_xrVoidFunction>(&InterceptedXrWaitFrame));
    EXPECT_EQ(Bindings().GetPredictedDisplayTime(), 0);

    XrFrameState state{XR_TYPE_FRAME_STATE};
    ASSERT_EQ(WaitThroughInterceptor(state), XR_SUCCESS);
    EXPECT_EQ(state.predictedDisplayTime, frames.LastPredictedDisplayTime());
    EXPECT_EQ(Bindings().GetPredictedDisplayTime(), frames.LastPredictedDisplayTime());
    const auto waits = runtime.Calls("xrWaitFrame");
    ASSERT_EQ(waits.size(), 1u);
    EXPECT_EQ(waits[0].handles, std::vector<uint64_t>{HandleValue(session)});
}

TEST_F(Interception, LookingWaitFrameUpAgainReplacesTheRememberedFunction)
{
    GetInterceptedInstanceProcAddr(&Runtime::GetInstanceProcAddr);
    Intercepted("xrWaitFrame");
    runtime.AddFunction("xrWaitFrame", reinterpret_cast<PFN_xrVoidFunction>(&OtherWaitFrame));
    XrFrameState state{XR_TYPE_FRAME_STATE};
    ASSERT_EQ(WaitThroughInterceptor(state), XR_SUCCESS);
    EXPECT_EQ(otherWaitCalls, 1);
    EXPECT_EQ(Bindings().GetPredictedDisplayTime(), 42);
}

TEST_F(Interception, OtherNamesPassThroughUntouched)
{
    GetInterceptedInstanceProcAddr(&Runtime::GetInstanceProcAddr);
    PFN_xrVoidFunction direct = nullptr;
    ASSERT_EQ(Runtime::GetInstanceProcAddr(instance, "xrEndFrame", &direct), XR_SUCCESS);
    EXPECT_EQ(Intercepted("xrEndFrame"), direct);
    // Exact, case-sensitive comparison.
    PFN_xrVoidFunction unknown = Intercepted("xrwaitframe", XR_ERROR_FUNCTION_UNSUPPORTED);
    EXPECT_EQ(unknown, nullptr);
}

TEST_F(Interception, FailedWaitFrameLookupIsNotIntercepted)
{
    GetInterceptedInstanceProcAddr(&Runtime::GetInstanceProcAddr);
    runtime.RemoveFunction("xrWaitFrame");
    EXPECT_EQ(Intercepted("xrWaitFrame", XR_ERROR_FUNCTION_UNSUPPORTED), nullptr);
    // Nothing was remembered, so the interceptor has nothing to call.
    XrFrameState state{XR_TYPE_FRAME_STATE};
    EXPECT_EQ(InterceptedXrWaitFrame(session, nullptr, &state), XR_ERROR_FUNCTION_UNSUPPORTED);
}

TEST_F(Interception, WaitWithoutARuntimeFunctionMakesNoCall)
{
    GetInterceptedInstanceProcAddr(&Runtime::GetInstanceProcAddr);
    XrFrameState state{XR_TYPE_FRAME_STATE};
    state.predictedDisplayTime = 7;
    EXPECT_EQ(InterceptedXrWaitFrame(session, nullptr, &state), XR_ERROR_FUNCTION_UNSUPPORTED);
    EXPECT_EQ(runtime.CallCount("xrWaitFrame"), 0u);
    EXPECT_EQ(Bindings().GetPredictedDisplayTime(), 0);
}

TEST_F(Interception, FailedWaitKeepsTheLastPrediction)
{
    GetInterceptedInstanceProcAddr(&Runtime::GetInstanceProcAddr);
    XrFrameState state{XR_TYPE_FRAME_STATE};
    ASSERT_EQ(WaitThroughInterceptor(state), XR_SUCCESS);
    const XrTime predicted = state.predictedDisplayTime;
    runtime.FailNext("xrWaitFrame", XR_ERROR_SESSION_LOST);
    state.predictedDisplayTime = 999;
    EXPECT_EQ(WaitThroughInterceptor(state), XR_ERROR_SESSION_LOST);
    EXPECT_EQ(Bindings().GetPredictedDisplayTime(), predicted);
}

TEST_F(Interception, HooksPassThroughAfterUnloadAndAfterTheNextLoadBeforeAnyBinding)
{
    GetInterceptedInstanceProcAddr(&Runtime::GetInstanceProcAddr);
    const auto wait = reinterpret_cast<PFN_xrWaitFrame>(Intercepted("xrWaitFrame"));
    ASSERT_NE(wait, nullptr);
    PFN_xrVoidFunction endFrame = nullptr;
    ASSERT_EQ(Runtime::GetInstanceProcAddr(instance, "xrEndFrame", &endFrame), XR_SUCCESS);
    // The application keeps what it was given; the editor unloads the library, then loads it again.
    for (const bool loaded : {false, true}) {
        SCOPED_TRACE(loaded ? "loaded again, nothing bound yet" : "unloaded");
        Unload();
        if (loaded) {
            Load(meshes.Interface());
        }
        EXPECT_EQ(Intercepted("xrEndFrame"), endFrame);
        EXPECT_EQ(Intercepted("xrWaitFrame"), reinterpret_cast<PFN_xrVoidFunction>(&InterceptedXrWaitFrame));
        XrFrameState state{XR_TYPE_FRAME_STATE};
        ASSERT_EQ(wait(session, nullptr, &state), XR_SUCCESS);
        EXPECT_EQ(state.predictedDisplayTime, frames.LastPredictedDisplayTime());
        if (loaded) {
            EXPECT_EQ(Bindings().GetPredictedDisplayTime(), state.predictedDisplayTime);
        }
    }
    EXPECT_EQ(runtime.CallCount("xrWaitFrame"), 2u);
}

TEST_F(Interception, TheInterceptorIsNeverChainedIntoItself)
{
    EXPECT_EQ(GetInterceptedInstanceProcAddr(&InterceptedXrGetInstanceProcAddr), &InterceptedXrGetInstanceProcAddr);
    EXPECT_EQ(Intercepted("xrEndFrame", XR_ERROR_FUNCTION_UNSUPPORTED), nullptr);
    // The loader's function can still be bound afterwards.
    GetInterceptedInstanceProcAddr(&Runtime::GetInstanceProcAddr);
    EXPECT_NE(Intercepted("xrEndFrame"), nullptr);
}

using Hooking = Interception;

TEST_F(Hooking, TheNineSceneFunctionsAreLookedUpInOrderForEachNewInstance)
{
    GetInterceptedInstanceProcAddr(&FirstLoader);
    SetInstanceHandle(HandleValue(instance));
    EXPECT_EQ(Names(firstLookups), kSceneFunctions);
    for (const Lookup& lookup : firstLookups) {
        EXPECT_EQ(lookup.instance, instance);
    }
    EXPECT_TRUE(Bindings().IsOpenXrReady());
    SetInstanceHandle(HandleValue(instance));
    EXPECT_EQ(firstLookups.size(), kSceneFunctions.size()) << "the same instance again changes nothing";

    // An XR restart in the same process: the functions of the destroyed instance may be gone.
    const XrInstance next = runtime.MakeInstance();
    SetInstanceHandle(HandleValue(next));
    ASSERT_EQ(firstLookups.size(), 2 * kSceneFunctions.size());
    EXPECT_EQ(firstLookups.back().instance, next);
    EXPECT_THAT(Messages(),
                ::testing::Contains(Message{5, "Scene understanding functions looked up again for instance " +
                                                   std::to_string(HandleValue(next)) +
                                                   "; the old instance's scene objects are dropped"}));
}

TEST_F(Hooking, AZeroInstanceLooksNothingUpAndLeavesTheTableForTheRealOne)
{
    GetInterceptedInstanceProcAddr(&FirstLoader);
    SetInstanceHandle(0);
    EXPECT_THAT(firstLookups, IsEmpty());
    EXPECT_FALSE(Bindings().IsOpenXrReady());
    SetInstanceHandle(HandleValue(instance));
    EXPECT_EQ(Names(firstLookups), kSceneFunctions);
    EXPECT_TRUE(Bindings().IsOpenXrReady());

    SetSessionHandle(HandleValue(session));
    XrSceneObserverCreateInfoMSFT info{XR_TYPE_SCENE_OBSERVER_CREATE_INFO_MSFT};
    EXPECT_EQ(Bindings().CreateXrSceneObserver(&info), XR_SUCCESS);
}

TEST_F(Hooking, ARestartDropsTheOldSceneObjectsWithoutCallingTheOldInstance)
{
    ConnectOpenXr();
    // A provider, whose removal at unload destroys the scene objects.
    RegisterProviderWithSceneObserver("Planes", ComputeCycle::FeaturePlane);
    MakeCurrentScene();
    const std::vector<quenra::simruntime::LiveHandle> before = runtime.LiveHandles();
    // The application destroys its instance, and the runtime everything made under it.
    runtime.DestroyHandle(quenra::simruntime::HandleKind::Instance, HandleValue(instance));
    runtime.ClearCalls();

    ConnectOpenXr();
    EXPECT_FALSE(Bindings().HasXrSceneObserver());
    EXPECT_FALSE(Bindings().HasCurrentScene());
    MakeCurrentScene();
    Unload();
    for (const quenra::simruntime::RecordedCall& call : runtime.Calls()) {
        for (const quenra::simruntime::LiveHandle& old : before) {
            EXPECT_THAT(call.handles, ::testing::Not(::testing::Contains(old.handle))) << call.function;
        }
        EXPECT_NE(call.result, XR_ERROR_HANDLE_INVALID) << call.function;
    }
    EXPECT_TRUE(runtime.LiveHandles(quenra::simruntime::HandleKind::SceneObserver).empty());
    EXPECT_TRUE(runtime.LiveHandles(quenra::simruntime::HandleKind::Scene).empty());
    Load(meshes.Interface());
}

TEST_F(Hooking, AnInstanceBeforeTheLookupFunctionIsHookedOnceOneIsBound)
{
    SetInstanceHandle(HandleValue(instance));
    EXPECT_TRUE(Bindings().IsOpenXrReady());
    GetInterceptedInstanceProcAddr(&FirstLoader);
    EXPECT_THAT(firstLookups, IsEmpty());
    SetInstanceHandle(HandleValue(instance));
    EXPECT_EQ(Names(firstLookups), kSceneFunctions);

    SetSessionHandle(HandleValue(session));
    XrSceneObserverCreateInfoMSFT info{XR_TYPE_SCENE_OBSERVER_CREATE_INFO_MSFT};
    EXPECT_EQ(Bindings().CreateXrSceneObserver(&info), XR_SUCCESS);
}

using Wrappers = LoadedPlugin;

TEST_F(Wrappers, WithoutTheExtensionEveryWrapperIsUnsupportedAndCallsNothing)
{
    for (const std::string& name : kSceneFunctions) {
        runtime.RemoveFunction(name);
    }
    ConnectOpenXr();
    runtime.ClearCalls();
    XrSceneObserverCreateInfoMSFT observerInfo{XR_TYPE_SCENE_OBSERVER_CREATE_INFO_MSFT};
    XrNewSceneComputeInfoMSFT compute{XR_TYPE_NEW_SCENE_COMPUTE_INFO_MSFT};
    XrSceneComputeStateMSFT state{};
    XrSceneCreateInfoMSFT sceneInfo{XR_TYPE_SCENE_CREATE_INFO_MSFT};
    XrSceneComponentsGetInfoMSFT getInfo{XR_TYPE_SCENE_COMPONENTS_GET_INFO_MSFT};
    XrSceneComponentsMSFT components{XR_TYPE_SCENE_COMPONENTS_MSFT};
    XrSceneComponentsLocateInfoMSFT locateInfo{XR_TYPE_SCENE_COMPONENTS_LOCATE_INFO_MSFT};
    XrSceneComponentLocationsMSFT locations{XR_TYPE_SCENE_COMPONENT_LOCATIONS_MSFT};
    XrSceneMeshBuffersGetInfoMSFT buffersInfo{XR_TYPE_SCENE_MESH_BUFFERS_GET_INFO_MSFT};
    XrSceneMeshBuffersMSFT buffers{XR_TYPE_SCENE_MESH_BUFFERS_MSFT};
    XrBindings& bindings = Bindings();
    EXPECT_EQ(bindings.CreateXrSceneObserver(&observerInfo), XR_ERROR_FUNCTION_UNSUPPORTED);
    EXPECT_EQ(bindings.ComputeNewScene(&compute), XR_ERROR_FUNCTION_UNSUPPORTED);
    EXPECT_EQ(bindings.GetSceneComputeState(&state), XR_ERROR_FUNCTION_UNSUPPORTED);
    EXPECT_EQ(bindings.CreateSceneAsCurrent(&sceneInfo), XR_ERROR_FUNCTION_UNSUPPORTED);
    EXPECT_EQ(bindings.GetSceneComponents(&getInfo, &components), XR_ERROR_FUNCTION_UNSUPPORTED);
    EXPECT_EQ(bindings.LocateSceneComponents(&locateInfo, &locations), XR_ERROR_FUNCTION_UNSUPPORTED);
    EXPECT_EQ(bindings.GetSceneMeshBuffers(&buffersInfo, &buffers), XR_ERROR_FUNCTION_UNSUPPORTED);
    EXPECT_EQ(bindings.DestroyCurrentScene(), XR_ERROR_FUNCTION_UNSUPPORTED);
    EXPECT_EQ(bindings.DestroyXrSceneObserver(), XR_ERROR_FUNCTION_UNSUPPORTED);
    EXPECT_FALSE(bindings.HasXrSceneObserver());
    EXPECT_TRUE(runtime.Calls().empty());
}

TEST_F(Wrappers, EachCallGoesToTheRuntimeWithTheStoredHandle)
{
    ConnectOpenXr();
    runtime.ClearCalls();
    MakeCurrentScene();
    EXPECT_TRUE(Bindings().HasXrSceneObserver());
    EXPECT_TRUE(Bindings().HasCurrentScene());
    const auto observers = runtime.LiveHandles(quenra::simruntime::HandleKind::SceneObserver);
    const auto scenes = runtime.LiveHandles(quenra::simruntime::HandleKind::Scene);
    ASSERT_EQ(observers.size(), 1u);
    ASSERT_EQ(scenes.size(), 1u);
    EXPECT_EQ(observers[0].parent, HandleValue(session));

    XrSceneComponentsGetInfoMSFT getInfo{XR_TYPE_SCENE_COMPONENTS_GET_INFO_MSFT};
    getInfo.componentType = XR_SCENE_COMPONENT_TYPE_VISUAL_MESH_MSFT;
    XrSceneComponentsMSFT components{XR_TYPE_SCENE_COMPONENTS_MSFT};
    EXPECT_EQ(Bindings().GetSceneComponents(&getInfo, &components), XR_SUCCESS);
    EXPECT_EQ(Bindings().DestroyCurrentScene(), XR_SUCCESS);
    EXPECT_EQ(Bindings().DestroyXrSceneObserver(), XR_SUCCESS);

    const uint64_t observer = observers[0].handle;
    const uint64_t scene = scenes[0].handle;
    const std::vector<std::pair<std::string, uint64_t>> expected{{"xrCreateSceneObserverMSFT", HandleValue(session)},
                                                                 {"xrComputeNewSceneMSFT", observer},
                                                                 {"xrGetSceneComputeStateMSFT", observer},
                                                                 {"xrCreateSceneMSFT", observer},
                                                                 {"xrGetSceneComponentsMSFT", scene},
                                                                 {"xrDestroySceneMSFT", scene},
                                                                 {"xrDestroySceneObserverMSFT", observer}};
    std::vector<std::pair<std::string, uint64_t>> made;
    for (const auto& call : runtime.Calls()) {
        ASSERT_EQ(call.handles.size(), 1u) << call.function;
        made.emplace_back(call.function, call.handles[0]);
    }
    EXPECT_EQ(made, expected);
    EXPECT_EQ(sceneUnderstanding.ComputeRequests().at(0).boundsSpace, HandleValue(space));
}

TEST_F(Wrappers, DestroyingForgetsTheHandleEvenWhenTheRuntimeFails)
{
    ConnectOpenXr();
    MakeCurrentScene();
    runtime.FailNext("xrDestroySceneMSFT", XR_ERROR_RUNTIME_FAILURE);
    runtime.FailNext("xrDestroySceneObserverMSFT", XR_ERROR_RUNTIME_FAILURE);
    EXPECT_EQ(Bindings().DestroyCurrentScene(), XR_ERROR_RUNTIME_FAILURE);
    EXPECT_FALSE(Bindings().HasCurrentScene());
    EXPECT_EQ(Bindings().DestroyXrSceneObserver(), XR_ERROR_RUNTIME_FAILURE);
    EXPECT_FALSE(Bindings().HasXrSceneObserver());
}

} // namespace
} // namespace kelbrin::test

#include "LoadedPlugin.h"

namespace kelbrin::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class Registry : public LoadedPlugin {
protected:
    Registry() { trace.Clear(); }
};

TEST_F(Registry, UnregisteringWithoutProvidersDoesNothing)
{
    ConnectOpenXr();
    runtime.ClearCalls();
    Observer().UnregisterProvider("A");
    EXPECT_THAT(Messages(), IsEmpty());
    EXPECT_TRUE(runtime.Calls().empty());
}

TEST_F(Registry, RemovingTheLastProviderDestroysSceneThenObserverEvenWhenNoneExisted)
{
    ConnectOpenXr();
    Observer().RegisterProvider("A", ComputeCycle::FeaturePlane);
    runtime.ClearCalls();
    Observer().UnregisterProvider("A");
    // Null handles go to the runtime unchanged; it refuses them and nothing is logged.
    const auto calls = runtime.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].function, "xrDestroySceneMSFT");
    EXPECT_EQ(calls[0].handles, std::vector<uint64_t>{0});
    EXPECT_EQ(calls[1].function, "xrDestroySceneObserverMSFT");
    EXPECT_EQ(calls[1].handles, std::vector<uint64_t>{0});
    EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(Registry, RemovingTheLastProviderReleasesTheRuntimeObjects)
{
    ConnectOpenXr();
    Observer().RegisterProvider("A", ComputeCycle::FeatureVisualMesh);
    Observer().RegisterProvider("B", ComputeCycle::FeaturePlane);
    MakeCurrentScene();
    Observer().UnregisterProvider("A");
    EXPECT_TRUE(Bindings().HasCurrentScene());
    Observer().UnregisterProvider("B");
    EXPECT_FALSE(Bindings().HasCurrentScene());
    EXPECT_FALSE(Bindings().HasXrSceneObserver());
    EXPECT_THAT(runtime.LiveHandles(HandleKind::Scene), IsEmpty());
    EXPECT_THAT(runtime.LiveHandles(HandleKind::SceneObserver), IsEmpty());
}

// The engine hands over 0 before it destroys the session, then the next session: the old one's
// observer and scene go at once, the providers stay, and the next compute makes them on the new one.
TEST_F(Registry, GivingUpTheSessionDestroysItsObjectsAndKeepsTheProviders)
{
    ConnectOpenXr();
    Observer().RegisterProvider("A", ComputeCycle::FeatureVisualMesh);
    MakeCurrentScene();
    SetSessionHandle(0);
    EXPECT_FALSE(Bindings().HasCurrentScene());
    EXPECT_FALSE(Bindings().HasXrSceneObserver());
    EXPECT_THAT(runtime.LiveHandles(HandleKind::Scene), IsEmpty());
    EXPECT_THAT(runtime.LiveHandles(HandleKind::SceneObserver), IsEmpty());
    EXPECT_TRUE(Observer().HasRegisteredProvider("A"));

    const XrSession second = runtime.MakeSession(instance);
    SetSessionHandle(HandleValue(second));
    MakeCurrentScene();
    const auto observers = runtime.LiveHandles(HandleKind::SceneObserver);
    ASSERT_EQ(observers.size(), 1u);
    EXPECT_EQ(observers[0].parent, HandleValue(second));
}

TEST_F(Registry, TeardownUnregistersEveryProviderAndReleasesTheRuntimeObjectsOnce)
{
    ConnectOpenXr();
    Observer().RegisterProvider("A", ComputeCycle::FeatureVisualMesh);
    Observer().RegisterProvider("B", ComputeCycle::FeaturePlane);
    Observer().RegisterProvider("C", ComputeCycle::FeaturePlaneMesh);
    MakeCurrentScene();
    runtime.ClearCalls();
    Unload();
    EXPECT_THAT(runtime.CallSequence(), ElementsAre("xrDestroySceneMSFT", "xrDestroySceneObserverMSFT"));
    EXPECT_THAT(runtime.Calls()[0].result, XR_SUCCESS);
    EXPECT_THAT(runtime.Calls()[1].result, XR_SUCCESS);
    EXPECT_THAT(runtime.LiveHandles(HandleKind::SceneObserver), IsEmpty());
    EXPECT_THAT(Messages(), ElementsAre(Message{5, "Kelbrin::UnityPluginUnload"}));
}

TEST(MeshIdOrder, FirstWordThenSecondWordUnsigned)
{
    const UnityXRMeshIdComparer less;
    const UnityXRMeshId small{{1, ~0ull}};
    const UnityXRMeshId large{{1ull << 56, 0}};
    const UnityXRMeshId top{{~0ull, 0}};
    EXPECT_TRUE(less(small, large));
    EXPECT_FALSE(less(large, small));
    EXPECT_TRUE(less(large, top));
    EXPECT_TRUE(less(UnityXRMeshId{{1, 1}}, UnityXRMeshId{{1, 2}}));
    EXPECT_FALSE(less(UnityXRMeshId{{1, 2}}, UnityXRMeshId{{1, 2}}));
}

} // namespace
} // namespace kelbrin::test

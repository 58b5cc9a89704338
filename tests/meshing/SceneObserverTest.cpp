#include "LoadedPlugin.h"

namespace kelbrin::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

const Message kCannotDrive{0, "Cannot set driving provider to C because it is not a registered provider"};
const Message kNoDriver{
    0, "Failed to set a driving provider. The SceneObserver will not update until a valid driving provider is set"};

class Registry : public LoadedPlugin {
protected:
    Registry() { trace.Clear(); }
};

TEST_F(Registry, FirstRegisteredProviderDrivesAndLaterOnesDoNotTakeOver)
{
    EXPECT_TRUE(Observer().RegisterProvider("A", SceneObserver::FeaturePlane));
    EXPECT_TRUE(Observer().RegisterProvider("B", SceneObserver::FeatureVisualMesh));
    EXPECT_EQ(Observer().GetDrivingProvider(), "A");
    EXPECT_THAT(Observer().GetProviderFeatures(), ElementsAre(Pair("A", 1), Pair("B", 4)));
    EXPECT_TRUE(Observer().CheckOrSetDrivingProvider("A"));
    EXPECT_FALSE(Observer().CheckOrSetDrivingProvider("B"));
    EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(Registry, RegisteringAgainReplacesTheFlags)
{
    Observer().RegisterProvider("A", SceneObserver::FeaturePlane);
    Observer().RegisterProvider("A", SceneObserver::FeaturePlaneMesh);
    EXPECT_THAT(Observer().GetProviderFeatures(), ElementsAre(Pair("A", 2)));
    EXPECT_EQ(Observer().GetDrivingProvider(), "A");
}

TEST_F(Registry, UnregisteringTheDriverLeavesTheRoleToTheNextRegisteredCaller)
{
    Observer().RegisterProvider("A", SceneObserver::FeaturePlane);
    Observer().RegisterProvider("B", SceneObserver::FeatureVisualMesh);
    Observer().UnregisterProvider("A");
    EXPECT_EQ(Observer().GetDrivingProvider(), "");
    EXPECT_TRUE(Observer().CheckOrSetDrivingProvider("B"));
    EXPECT_EQ(Observer().GetDrivingProvider(), "B");
    EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(Registry, AnUnregisteredCallerCannotTakeTheVacantRole)
{
    Observer().RegisterProvider("A", SceneObserver::FeaturePlane);
    Observer().RegisterProvider("B", SceneObserver::FeaturePlane);
    Observer().UnregisterProvider("A");
    EXPECT_FALSE(Observer().CheckOrSetDrivingProvider("C"));
    EXPECT_EQ(Observer().GetDrivingProvider(), "");
    EXPECT_THAT(Messages(), ElementsAre(kCannotDrive, kNoDriver));
}

TEST_F(Registry, UnregisteringAnUnknownNameWarnsAndChangesNothing)
{
    Observer().RegisterProvider("planes", SceneObserver::FeaturePlane);
    // Names are exact byte strings.
    EXPECT_FALSE(Observer().HasRegisteredProvider("Planes"));
    Observer().UnregisterProvider("Planes");
    EXPECT_THAT(Messages(), ElementsAre(Message{2, "Could not remove provider Planes"}));
    EXPECT_THAT(Observer().GetProviderFeatures(), ElementsAre(Pair("planes", 1)));
    EXPECT_EQ(Observer().GetDrivingProvider(), "planes");
}

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
    Observer().RegisterProvider("A", SceneObserver::FeaturePlane);
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
    Observer().RegisterProvider("A", SceneObserver::FeatureVisualMesh);
    Observer().RegisterProvider("B", SceneObserver::FeaturePlane);
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
    Observer().RegisterProvider("A", SceneObserver::FeatureVisualMesh);
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
    Observer().RegisterProvider("A", SceneObserver::FeatureVisualMesh);
    Observer().RegisterProvider("B", SceneObserver::FeaturePlane);
    Observer().RegisterProvider("C", SceneObserver::FeaturePlaneMesh);
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

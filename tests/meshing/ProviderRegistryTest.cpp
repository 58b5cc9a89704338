#include "ProviderRegistry.h"
#include "BoundParts.h"

namespace kelbrin::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

using Message = std::pair<int, std::string>;
const Message kCannotDrive{0, "Cannot set driving provider to C because it is not a registered provider"};
const Message kNoDriver{
    0, "Failed to set a driving provider. The SceneObserver will not update until a valid driving provider is set"};

class ProviderRegistry : public BoundParts {
protected:
    kelbrin::ProviderRegistry registry{trace.Interface()};
};

TEST_F(ProviderRegistry, FirstRegisteredProviderDrivesAndLaterOnesDoNotTakeOver)
{
    registry.Register("A", ComputeCycle::FeaturePlane);
    registry.Register("B", ComputeCycle::FeatureVisualMesh);
    EXPECT_EQ(registry.Driving(), "A");
    EXPECT_THAT(registry.FeaturesByName(), ElementsAre(Pair("A", 1), Pair("B", 4)));
    EXPECT_TRUE(registry.CheckOrSetDriving("A"));
    EXPECT_FALSE(registry.CheckOrSetDriving("B"));
    EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(ProviderRegistry, RegisteringAgainReplacesTheFlags)
{
    registry.Register("A", ComputeCycle::FeaturePlane);
    registry.Register("A", ComputeCycle::FeaturePlaneMesh);
    EXPECT_THAT(registry.FeaturesByName(), ElementsAre(Pair("A", 2)));
    EXPECT_EQ(registry.Driving(), "A");
}

TEST_F(ProviderRegistry, UnregisteringTheDriverLeavesTheRoleToTheNextRegisteredCaller)
{
    registry.Register("A", ComputeCycle::FeaturePlane);
    registry.Register("B", ComputeCycle::FeatureVisualMesh);
    EXPECT_TRUE(registry.Unregister("A"));
    EXPECT_EQ(registry.Driving(), "");
    EXPECT_TRUE(registry.CheckOrSetDriving("B"));
    EXPECT_EQ(registry.Driving(), "B");
    EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(ProviderRegistry, AnUnregisteredCallerCannotTakeTheVacantRole)
{
    registry.Register("A", ComputeCycle::FeaturePlane);
    registry.Register("B", ComputeCycle::FeaturePlane);
    registry.Unregister("A");
    EXPECT_FALSE(registry.CheckOrSetDriving("C"));
    EXPECT_EQ(registry.Driving(), "");
    EXPECT_THAT(Messages(), ElementsAre(kCannotDrive, kNoDriver));
}

TEST_F(ProviderRegistry, UnregisteringAnUnknownNameWarnsAndChangesNothing)
{
    registry.Register("planes", ComputeCycle::FeaturePlane);
    // Names are exact byte strings.
    EXPECT_FALSE(registry.Has("Planes"));
    EXPECT_FALSE(registry.Unregister("Planes"));
    EXPECT_THAT(Messages(), ElementsAre(Message{2, "Could not remove provider Planes"}));
    EXPECT_THAT(registry.FeaturesByName(), ElementsAre(Pair("planes", 1)));
    EXPECT_EQ(registry.Driving(), "planes");
}

} // namespace
} // namespace kelbrin::test

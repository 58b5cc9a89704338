// Setting the foveation level of the application's last swapchain.
#include <gtest/gtest.h>

#include "SkelderTestWorld.h"

namespace Skelder::test {
namespace {

class SkelderFoveation : public ::testing::Test {
protected:
    SkelderFoveation()
    {
        UnityPluginLoad(world.registry.Interfaces());
        GetInterceptedInstanceProcAddr(&LayerTestWorld::RecordingLookup);
        SetEnableFoveation(1);
    }
    XrSwapchain CreateApplicationSwapchain()
    {
        XrSwapchainCreateInfo info{XR_TYPE_SWAPCHAIN_CREATE_INFO};
        info.format = 43;
        info.sampleCount = 1;
        info.width = 32;
        info.height = 32;
        info.faceCount = 1;
        info.arraySize = 1;
        info.mipCount = 1;
        XrSwapchain swapchain = XR_NULL_HANDLE;
        EXPECT_EQ(world.Lookup<PFN_xrCreateSwapchain>("xrCreateSwapchain")(world.layers.session, &info, &swapchain),
                  XR_SUCCESS);
        LayerTestWorld::LookedUpNames().clear();
        world.layers.trace.Clear();
        return swapchain;
    }
    void SetLevel(int32_t level)
    {
        ::SetFoveationLevel(HandleValue(world.layers.instance), HandleValue(world.layers.session), level);
    }
    Texts Errors() const { return world.layers.trace.Texts(kXRTraceLevelError); }
    size_t LiveProfiles() const { return world.layers.LiveCount(HandleKind::FoveationProfile); }

    SkelderTestWorld world;
};

TEST_F(SkelderFoveation, DisabledFoveationLogsTheLevelAndCallsNothing)
{
    SetEnableFoveation(0);
    CreateApplicationSwapchain();
    world.layers.runtime.ClearCalls();
    SetLevel(3);
    EXPECT_EQ(Errors(),
              Texts{"Skelder::SetFoveationLevel cannot set foveation level to 3 because foveation is not enabled."});
    EXPECT_TRUE(LayerTestWorld::LookedUpNames().empty());
    EXPECT_TRUE(world.layers.runtime.Calls().empty());
}

TEST_F(SkelderFoveation, TwoLevelsMakeTwoProfilesAndTheLastOneStays)
{
    const XrSwapchain swapchain = CreateApplicationSwapchain();
    SetLevel(3);
    SetLevel(1);

    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(LayerTestWorld::LookedUpNames(),
              (Texts{"xrUpdateSwapchainFB", "xrCreateFoveationProfileFB", "xrDestroyFoveationProfileFB"}))
        << "looked up once, in this order";
    const std::vector<XrFoveationLevelProfileCreateInfoFB> levels = world.foveation.ProfileLevels();
    ASSERT_EQ(levels.size(), 2u);
    EXPECT_EQ(levels[0].level, XR_FOVEATION_LEVEL_HIGH_FB);
    EXPECT_EQ(levels[1].level, XR_FOVEATION_LEVEL_LOW_FB);
    EXPECT_EQ(levels[1].verticalOffset, 0.0f);
    EXPECT_EQ(levels[1].dynamic, XR_FOVEATION_DYNAMIC_DISABLED_FB);
    const std::vector<quenra::simruntime::AppliedFoveation> applied = world.foveation.Applied();
    ASSERT_EQ(applied.size(), 2u);
    EXPECT_NE(applied[0].profile, applied[1].profile);
    EXPECT_EQ(world.foveation.LevelOf(swapchain), XR_FOVEATION_LEVEL_LOW_FB);
    EXPECT_EQ(LiveProfiles(), 0u) << "every profile destroyed";
}

TEST_F(SkelderFoveation, EveryLevelOpenXrDefinesIsAppliedNoneIncluded)
{
    const XrSwapchain swapchain = CreateApplicationSwapchain();
    for (const XrFoveationLevelFB level :
         {XR_FOVEATION_LEVEL_HIGH_FB, XR_FOVEATION_LEVEL_NONE_FB, XR_FOVEATION_LEVEL_MEDIUM_FB,
          XR_FOVEATION_LEVEL_LOW_FB, XR_FOVEATION_LEVEL_NONE_FB}) {
        SetLevel(level);
        EXPECT_EQ(world.foveation.LevelOf(swapchain), level);
    }
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(LiveProfiles(), 0u);
}

TEST_F(SkelderFoveation, FunctionsAreLookedUpForEachInstance)
{
    const XrSwapchain swapchain = CreateApplicationSwapchain();
    SetLevel(2);
    // A later instance on a runtime without the extension: the first instance's functions are not its own.
    const PFN_xrVoidFunction update = world.layers.runtime.Function("xrUpdateSwapchainFB");
    world.layers.runtime.RemoveFunction("xrUpdateSwapchainFB");
    const XrInstance second = world.layers.runtime.MakeInstance();
    LayerTestWorld::LookedUpNames().clear();
    ::SetFoveationLevel(HandleValue(second), HandleValue(world.layers.session), 1);
    EXPECT_EQ(Errors(), Texts{"Status of xrUpdateSwapchainFB retrieval: -7\n"});
    EXPECT_EQ(world.foveation.ProfileLevels().size(), 1u) << "nothing made through another instance's functions";

    world.layers.runtime.AddFunction("xrUpdateSwapchainFB", update);
    world.layers.trace.Clear();
    LayerTestWorld::LookedUpNames().clear();
    SetLevel(3);
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(LayerTestWorld::LookedUpNames(),
              (Texts{"xrUpdateSwapchainFB", "xrCreateFoveationProfileFB", "xrDestroyFoveationProfileFB"}))
        << "the first instance's functions looked up again";
    EXPECT_EQ(world.foveation.LevelOf(swapchain), XR_FOVEATION_LEVEL_HIGH_FB);
}

TEST_F(SkelderFoveation, OnlyTheLastSwapchainIsUpdated)
{
    const XrSwapchain first = CreateApplicationSwapchain();
    const XrSwapchain second = CreateApplicationSwapchain();
    SetLevel(2);
    EXPECT_FALSE(world.foveation.LevelOf(first).has_value());
    EXPECT_EQ(world.foveation.LevelOf(second), XR_FOVEATION_LEVEL_MEDIUM_FB);
}

TEST_F(SkelderFoveation, AMissingUpdateFunctionStopsTheLookupsAndIsTriedAgainNextTime)
{
    CreateApplicationSwapchain();
    const PFN_xrVoidFunction update = world.layers.runtime.Function("xrUpdateSwapchainFB");
    world.layers.runtime.RemoveFunction("xrUpdateSwapchainFB");
    SetLevel(2);
    EXPECT_EQ(Errors(), Texts{"Status of xrUpdateSwapchainFB retrieval: -7\n"});
    EXPECT_EQ(LayerTestWorld::LookedUpNames(), Texts{"xrUpdateSwapchainFB"});
    EXPECT_TRUE(world.foveation.ProfileLevels().empty());

    world.layers.runtime.AddFunction("xrUpdateSwapchainFB", update);
    world.layers.trace.Clear();
    SetLevel(2);
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(world.foveation.Applied().size(), 1u);
}

TEST_F(SkelderFoveation, AMissingDestroyFunctionIsReportedWithItsOwnMessage)
{
    CreateApplicationSwapchain();
    world.layers.runtime.RemoveFunction("xrDestroyFoveationProfileFB");
    SetLevel(2);
    EXPECT_EQ(Errors(), Texts{"Status of xrDestroyFoveationProfileFB retrieval: -7\n"});
    EXPECT_TRUE(world.foveation.ProfileLevels().empty()) << "nothing created that could not be destroyed";
}

TEST_F(SkelderFoveation, AFailedUpdateStillDestroysTheProfile)
{
    CreateApplicationSwapchain();
    world.layers.runtime.FailNext("xrUpdateSwapchainFB", XR_ERROR_VALIDATION_FAILURE);
    SetLevel(3);
    EXPECT_EQ(Errors(), Texts{"Status of foveation swapchain update: -1\n"});
    EXPECT_EQ(world.layers.runtime.CallCount("xrDestroyFoveationProfileFB"), 1u);
    EXPECT_EQ(LiveProfiles(), 0u);
}

TEST_F(SkelderFoveation, BeforeAnySwapchainTheUpdateFailsOnTheNullHandle)
{
    SetLevel(1);
    EXPECT_EQ(Errors(), Texts{"Status of foveation swapchain update: -12\n"});
    EXPECT_EQ(world.layers.runtime.Calls("xrUpdateSwapchainFB").back().handles, std::vector<uint64_t>{0});
    EXPECT_EQ(LiveProfiles(), 0u);
}

TEST_F(SkelderFoveation, AFailedProfileCreationEndsTheCall)
{
    CreateApplicationSwapchain();
    world.layers.runtime.FailNext("xrCreateFoveationProfileFB", XR_ERROR_OUT_OF_MEMORY);
    SetLevel(1);
    EXPECT_EQ(Errors(), Texts{"Status of foveation profile creation: -3\n"});
    EXPECT_EQ(world.layers.runtime.CallCount("xrUpdateSwapchainFB"), 0u);
    EXPECT_EQ(world.layers.runtime.CallCount("xrDestroyFoveationProfileFB"), 0u);
}

TEST_F(SkelderFoveation, AFailedDestructionIsReported)
{
    CreateApplicationSwapchain();
    world.layers.runtime.FailNext("xrDestroyFoveationProfileFB", XR_ERROR_HANDLE_INVALID);
    SetLevel(1);
    EXPECT_EQ(Errors(), Texts{"Status of foveation profile destruction: -12\n"});
}

TEST_F(SkelderFoveation, BeforeTheLookupIsChainedNothingIsCalled)
{
    Skelder::State().nextGetInstanceProcAddr = nullptr;
    SetLevel(1);
    EXPECT_EQ(Errors(), Texts{"Skelder::SetFoveationLevel - no OpenXR lookup function: call "
                              "GetInterceptedInstanceProcAddr before setting the foveation level"});
    EXPECT_TRUE(world.layers.runtime.Calls().empty());
}

TEST_F(SkelderFoveation, LevelsOpenXrDoesNotDefineAreRefusedBeforeAnyCall)
{
    CreateApplicationSwapchain();
    world.layers.runtime.ClearCalls();
    for (const int32_t level : {-1, INT32_MIN, 4, INT32_MAX}) {
        world.layers.trace.Clear();
        SetLevel(level);
        EXPECT_EQ(Errors(), Texts{"Skelder::SetFoveationLevel - invalid foveation level " + std::to_string(level) +
                                  ": expected 0 (none) to 3 (high)"});
    }
    EXPECT_TRUE(world.layers.runtime.Calls().empty());
    EXPECT_EQ(LiveProfiles(), 0u);
}

} // namespace
} // namespace Skelder::test

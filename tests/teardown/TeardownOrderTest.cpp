// The orders in which an application may tear things down around Skelder: each must leave
// nothing the plug-in made alive and let the plug-in go on working where that still makes sense.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "SkelderTestWorld.h"

namespace Skelder::test {
namespace {

class TeardownOrder : public ::testing::Test {
protected:
    TeardownOrder()
    {
        world.Load();
        SetCompositionLayerFeatureEnabled(1);
        SetMaxCompositionLayerCount(8);
    }

    // The layers of the latest frame.
    size_t LastFrameLayers() const { return world.Submitted().empty() ? 0 : world.Submitted().back().size(); }
    // Handles alive that are not in `application`.
    std::vector<uint64_t> OthersAlive(const std::set<uint64_t>& application) const
    {
        std::vector<uint64_t> others;
        for (const quenra::simruntime::LiveHandle& handle : world.layers.runtime.LiveHandles()) {
            if (application.count(handle.handle) == 0) {
                others.push_back(handle.handle);
            }
        }
        return others;
    }
    std::set<uint64_t> ApplicationHandles() const
    {
        return {HandleValue(world.layers.instance), HandleValue(world.layers.session),
                HandleValue(world.applicationSpace)};
    }
    template <typename Pfn> Pfn RuntimeFunction(const char* name)
    {
        PFN_xrVoidFunction function = nullptr;
        quenra::simruntime::Runtime::GetInstanceProcAddr(world.layers.instance, name, &function);
        return reinterpret_cast<Pfn>(function);
    }

    SkelderTestWorld world;
};

TEST_F(TeardownOrder, SessionDestroyedWhileLayersAreAliveThenANewSessionGetsLayers)
{
    world.CreateLayer(LayerType::Quad, 1);
    world.CreateLayer(LayerType::Cylinder, 2);
    ASSERT_EQ(world.RunFrame({}), XR_SUCCESS);
    ASSERT_EQ(LastFrameLayers(), 2u);
    const XrSession first = world.layers.session;
    ASSERT_EQ(RuntimeFunction<PFN_xrDestroySession>("xrDestroySession")(first), XR_SUCCESS);

    // The engine tells the plug-in afterwards; the layers' handles died with the session.
    DestroyCompositionLayersInSession(HandleValue(first));
    world.layers.session = world.layers.runtime.MakeSession(world.layers.instance);
    world.applicationSpace = world.layers.runtime.MakeSpace(world.layers.session);
    world.CreateLayer(LayerType::Quad, 1);
    ASSERT_EQ(world.RunFrame({}), XR_SUCCESS);
    EXPECT_EQ(LastFrameLayers(), 1u);
    UnityPluginUnload();
    EXPECT_EQ(OthersAlive(ApplicationHandles()), std::vector<uint64_t>{});
}

TEST_F(TeardownOrder, PluginUnloadedWhileTheInstanceIsAliveLeavesTheHooksPassingThrough)
{
    world.CreateLayer(LayerType::Quad, 1);
    world.CreateLayer(LayerType::Passthrough, -1);
    ASSERT_EQ(world.RunFrame({}), XR_SUCCESS);
    UnityPluginUnload();
    EXPECT_EQ(OthersAlive(ApplicationHandles()), std::vector<uint64_t>{});

    // The application keeps the functions it was given: they still reach the runtime.
    EXPECT_EQ(world.RunFrame({}), XR_SUCCESS);
    EXPECT_EQ(LastFrameLayers(), 0u);
    // Loaded again in the same process, it works again.
    world.Load();
    SetCompositionLayerFeatureEnabled(1);
    SetMaxCompositionLayerCount(8);
    world.CreateLayer(LayerType::Quad, 1);
    EXPECT_EQ(world.RunFrame({}), XR_SUCCESS);
    EXPECT_EQ(LastFrameLayers(), 1u);
}

TEST_F(TeardownOrder, InstanceDestroyedBeforeThePluginIsToldLeavesNothingBehind)
{
    const int32_t quad = world.CreateLayer(LayerType::Quad, 1);
    world.CreateLayer(LayerType::Equirect, 2);
    ASSERT_EQ(world.RunFrame({}), XR_SUCCESS);
    ASSERT_EQ(RuntimeFunction<PFN_xrDestroyInstance>("xrDestroyInstance")(world.layers.instance), XR_SUCCESS);

    // Scripts still hold layer ids; the plug-in is told last.
    EXPECT_EQ(AcquireSwapchainImageForLayer(quad), nullptr);
    DestroyCompositionLayer(quad);
    DestroyCompositionLayersInSession(HandleValue(world.layers.session));
    UnityPluginUnload();
    EXPECT_TRUE(world.layers.runtime.LiveHandles().empty());
}

TEST_F(TeardownOrder, SecondInstanceAfterTheFirstGetsLayersMadeWithItsOwnHandles)
{
    world.CreateLayer(LayerType::Quad, 1);
    ASSERT_EQ(world.RunFrame({}), XR_SUCCESS);
    DestroyCompositionLayersInSession(HandleValue(world.layers.session));
    ASSERT_EQ(RuntimeFunction<PFN_xrDestroyInstance>("xrDestroyInstance")(world.layers.instance), XR_SUCCESS);

    world.layers.instance = world.layers.runtime.MakeInstance();
    world.layers.session = world.layers.runtime.MakeSession(world.layers.instance);
    world.applicationSpace = world.layers.runtime.MakeSpace(world.layers.session);
    world.layers.runtime.ClearCalls();
    world.CreateLayer(LayerType::Cylinder, 1);
    ASSERT_EQ(world.RunFrame({}), XR_SUCCESS);
    EXPECT_EQ(LastFrameLayers(), 1u);
    for (const char* function : {"xrCreateSwapchain", "xrCreateReferenceSpace"}) {
        EXPECT_EQ(world.layers.HandlesOf(function), std::vector<uint64_t>{HandleValue(world.layers.session)}) << function;
    }
    UnityPluginUnload();
    EXPECT_EQ(OthersAlive(ApplicationHandles()), std::vector<uint64_t>{});
}

} // namespace
} // namespace Skelder::test

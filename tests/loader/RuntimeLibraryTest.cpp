// The simulated runtime as a library: its negotiation with the loader, and its control entry
// reaching the very runtime the loader talks to.
#include <gtest/gtest.h>

#include <functional>

#include "LoaderNegotiation.h"
#include "LoaderWorld.h"
#include "PluginLibrary.h"

namespace quenra::test {
namespace {

using namespace quenra::simruntime;

XrNegotiateLoaderInfo LoaderInfo()
{
    XrNegotiateLoaderInfo info{};
    info.structType = XR_LOADER_INTERFACE_STRUCT_LOADER_INFO;
    info.structVersion = XR_LOADER_INFO_STRUCT_VERSION;
    info.structSize = sizeof(info);
    info.minInterfaceVersion = 1;
    info.maxInterfaceVersion = XR_CURRENT_LOADER_RUNTIME_VERSION;
    info.minApiVersion = XR_MAKE_VERSION(1, 0, 0);
    info.maxApiVersion = XR_MAKE_VERSION(1, 0x3ff, 0xfff);
    return info;
}

XrNegotiateRuntimeRequest RuntimeRequest()
{
    XrNegotiateRuntimeRequest request{};
    request.structType = XR_LOADER_INTERFACE_STRUCT_RUNTIME_REQUEST;
    request.structVersion = XR_RUNTIME_INFO_STRUCT_VERSION;
    request.structSize = sizeof(request);
    return request;
}

TEST(RuntimeLibrary, NegotiationAnswersAFittingLoaderAndRefusesAnyOther)
{
    const simengine::PluginLibrary library(QUENRA_SIMRUNTIME_LIBRARY);
    ASSERT_TRUE(library.Loaded()) << library.Error();
    PFN_xrNegotiateLoaderRuntimeInterface negotiate = nullptr;
    ASSERT_TRUE(library.Resolve("xrNegotiateLoaderRuntimeInterface", negotiate));

    XrNegotiateLoaderInfo info = LoaderInfo();
    XrNegotiateRuntimeRequest request = RuntimeRequest();
    ASSERT_EQ(negotiate(&info, &request), XR_SUCCESS);
    EXPECT_EQ(request.runtimeInterfaceVersion, 1u);
    EXPECT_EQ(request.runtimeApiVersion, XR_CURRENT_API_VERSION);
    ASSERT_NE(request.getInstanceProcAddr, nullptr);
    PFN_xrVoidFunction create = nullptr;
    EXPECT_EQ(request.getInstanceProcAddr(XR_NULL_HANDLE, "xrCreateInstance", &create), XR_SUCCESS);
    EXPECT_NE(create, nullptr);

    const std::function<void(XrNegotiateLoaderInfo&, XrNegotiateRuntimeRequest&)> refused[] = {
        [](auto& i, auto&) { i.structType = XR_LOADER_INTERFACE_STRUCT_RUNTIME_REQUEST; },
        [](auto& i, auto&) { i.structVersion = 2; },
        [](auto& i, auto&) { i.structSize = sizeof(i) - 8; },
        [](auto& i, auto&) { i.minInterfaceVersion = i.maxInterfaceVersion = 2; },
        [](auto& i, auto&) { i.maxApiVersion = XR_MAKE_VERSION(0, 9, 0); },
        [](auto&, auto& r) { r.structType = XR_LOADER_INTERFACE_STRUCT_API_LAYER_REQUEST; },
        [](auto&, auto& r) { r.structSize = sizeof(r) + 8; },
    };
    for (size_t i = 0; i < std::size(refused); ++i) {
        info = LoaderInfo();
        request = RuntimeRequest();
        refused[i](info, request);
        EXPECT_EQ(negotiate(&info, &request), XR_ERROR_INITIALIZATION_FAILED) << "case " << i;
        EXPECT_EQ(request.getInstanceProcAddr, nullptr) << "case " << i;
    }
    EXPECT_EQ(negotiate(nullptr, &request), XR_ERROR_INITIALIZATION_FAILED);
    EXPECT_EQ(negotiate(&info, nullptr), XR_ERROR_INITIALIZATION_FAILED);
}

TEST(RuntimeLibrary, TheControlEntryConfiguresAndInspectsTheRuntimeBehindTheLoader)
{
    LoaderWorld world;
    harness::Application app(LoaderWorld::LoaderLookup());
    app.CreateInstance({}, {XR_MND_HEADLESS_EXTENSION_NAME});
    world.Runtime().runtime.FailNext("xrCreateSession", XR_ERROR_LIMIT_REACHED);
    EXPECT_THROW(app.CreateSession(), std::runtime_error);
    EXPECT_EQ(world.Runtime().runtime.Calls("xrCreateSession").at(0).result, XR_ERROR_LIMIT_REACHED);
    app.CreateSession();
    EXPECT_EQ(world.Runtime().runtime.LiveHandles(simruntime::HandleKind::Session).size(), 1u);
    app.Teardown();
    EXPECT_EQ(world.LiveHandles(), std::vector<std::string>{});
}

} // namespace
} // namespace quenra::test

// libKelbrin as the engine sees it: a shared library opened by path, its functions
// found by name.
#include <gtest/gtest.h>
#include <openxr/openxr.h>

#include <string>
#include <utility>
#include <vector>

#include "EngineRegistry.h"
#include "FakeMeshSubsystem.h"
#include "FrameLoop.h"
#include "KelbrinExportTable.h"
#include "PluginLibrary.h"
#include "Runtime.h"
#include "SceneUnderstanding.h"
#include "TraceRecorder.h"

namespace kelbrin::test {
namespace {

using KelbrinExports = quenra::harness::KelbrinExportTable;
using quenra::simruntime::HandleKind;
using quenra::simruntime::HandleValue;
using quenra::simruntime::Runtime;

// A failure names every export the library lacks.
KelbrinExports ResolveAll(const quenra::simengine::PluginLibrary& library)
{
    KelbrinExports exports;
    EXPECT_EQ(quenra::harness::ResolveExports(library, exports), std::vector<std::string>{});
    return exports;
}

// One engine session: load, register with the meshing subsystem, connect OpenXR, wait a
// frame through the interceptor, unload.
void RunSession(const KelbrinExports& kelbrin, Runtime& runtime, quenra::simengine::TraceRecorder& trace,
                quenra::simengine::FakeMeshSubsystem& meshes, IUnityInterfaces* interfaces)
{
    const size_t messagesBefore = trace.Size();
    const size_t lifecyclesBefore = meshes.LifecycleRegistrations().size();
    kelbrin.UnityPluginLoad(interfaces);
    ASSERT_TRUE(kelbrin.RegisterMeshingLifecycleProvider());
    ASSERT_EQ(meshes.LifecycleRegistrations().size(), lifecyclesBefore + 1);
    ASSERT_EQ(meshes.Initialize(), kUnitySubsystemErrorCodeSuccess);
    ASSERT_EQ(meshes.Start(), kUnitySubsystemErrorCodeSuccess);
    // A fresh context is not ready until it is given an instance.
    EXPECT_EQ(meshes.SetMeshDensity(1.0f), kUnitySubsystemErrorCodeFailure);

    const XrInstance instance = runtime.MakeInstance();
    const XrSession session = runtime.MakeSession(instance);
    // A fresh context binds this lookup function and looks the scene functions up again.
    PFN_xrGetInstanceProcAddr lookup = kelbrin.GetInterceptedInstanceProcAddr(&Runtime::GetInstanceProcAddr);
    ASSERT_NE(lookup, nullptr);
    runtime.ClearCalls();
    kelbrin.SetInstanceHandle(HandleValue(instance));
    EXPECT_EQ(runtime.CallCount("xrGetInstanceProcAddr"), 9u);
    kelbrin.SetSessionHandle(HandleValue(session));
    kelbrin.SetSpaceHandle(HandleValue(runtime.MakeSpace(session)));
    kelbrin.RegisterProviderWithSceneObserver("Planes", 1);
    EXPECT_EQ(meshes.SetMeshDensity(1.0f), kUnitySubsystemErrorCodeSuccess);

    PFN_xrVoidFunction wait = nullptr;
    ASSERT_EQ(lookup(instance, "xrWaitFrame", &wait), XR_SUCCESS);
    XrFrameState state{XR_TYPE_FRAME_STATE};
    ASSERT_EQ(reinterpret_cast<PFN_xrWaitFrame>(wait)(session, nullptr, &state), XR_SUCCESS);

    meshes.Stop();
    meshes.Shutdown();
    kelbrin.UnityPluginUnload();
    // Unloading unregistered "Planes", the last provider, which released the scene objects once.
    EXPECT_EQ(runtime.CallCount("xrDestroySceneObserverMSFT"), 1u);
    EXPECT_TRUE(runtime.LiveHandles(HandleKind::SceneObserver).empty());
    std::vector<std::pair<int, std::string>> messages;
    for (size_t i = messagesBefore; i < trace.Size(); ++i) {
        messages.emplace_back(trace.Messages()[i].level, trace.Messages()[i].text);
    }
    const std::vector<std::pair<int, std::string>> expected{
        {5, "Kelbrin::UnityPluginLoad"},
        {0, "OpenXr not ready"},
        // Stop removed the subsystem's provider; shut-down finds only "Planes".
        {2, "Could not remove provider Quenra-MeshSubsystem"},
        {5, "Kelbrin::UnityPluginUnload"}};
    EXPECT_EQ(messages, expected);
    EXPECT_TRUE(runtime.DestroyHandle(HandleKind::Instance, HandleValue(instance)));
}

class LoadedLibrary : public ::testing::Test {
protected:
    LoadedLibrary()
    {
        registry.Provide<IUnityXRTrace>(trace.Interface());
        registry.Provide<IUnityXRMeshInterface>(meshes.Interface());
    }

    Runtime runtime;
    quenra::simruntime::FrameLoop frames{runtime};
    quenra::simruntime::SceneUnderstanding sceneUnderstanding{runtime};
    quenra::simengine::TraceRecorder trace;
    quenra::simengine::FakeMeshSubsystem meshes;
    quenra::simengine::EngineRegistry registry;
};

TEST_F(LoadedLibrary, EveryExportResolvesByNameAndWorks)
{
    const quenra::simengine::PluginLibrary library(KELBRIN_LIBRARY_PATH);
    ASSERT_TRUE(library.Loaded()) << library.Error();
    const KelbrinExports kelbrin = ResolveAll(library);
    ASSERT_FALSE(::testing::Test::HasFailure());
    RunSession(kelbrin, runtime, trace, meshes, registry.Interfaces());
}

TEST_F(LoadedLibrary, HundredLoadsAndUnloadsEachStartFresh)
{
    // The editor keeps the library mapped and calls load and unload again and again.
    const quenra::simengine::PluginLibrary library(KELBRIN_LIBRARY_PATH);
    ASSERT_TRUE(library.Loaded()) << library.Error();
    const KelbrinExports kelbrin = ResolveAll(library);
    ASSERT_FALSE(::testing::Test::HasFailure());
    for (int i = 0; i < 100 && !::testing::Test::HasFailure(); ++i) {
        SCOPED_TRACE("session " + std::to_string(i));
        RunSession(kelbrin, runtime, trace, meshes, registry.Interfaces());
    }
    EXPECT_EQ(trace.Count("Kelbrin::UnityPluginLoad"), 100u);
    EXPECT_EQ(trace.Count("Kelbrin::UnityPluginUnload"), 100u);
    EXPECT_TRUE(runtime.LiveHandles().empty());
}

} // namespace
} // namespace kelbrin::test

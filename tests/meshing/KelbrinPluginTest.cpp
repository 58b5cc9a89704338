#include <cstdarg>
#include <cstdio>
#include <functional>
#include <stdexcept>

#include "LoadedPlugin.h"

namespace kelbrin::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const Message kLoaded{5, "Kelbrin::UnityPluginLoad"};

using PluginEntry = LoadedPlugin;

TEST_F(PluginEntry, LoadLogsItsNoticeAndRegistersNothing)
{
    EXPECT_THAT(Messages(), ElementsAre(kLoaded));
    EXPECT_THAT(meshes.LifecycleRegistrations(), IsEmpty());
    EXPECT_FALSE(Observer().HasProviders());
    EXPECT_FALSE(Bindings().IsOpenXrReady());

    UnityPluginUnload();
    EXPECT_THAT(Messages(), ElementsAre(kLoaded, Message{5, "Kelbrin::UnityPluginUnload"}));
    EXPECT_EQ(GetProviderContext(), nullptr);
}

TEST_F(PluginEntry, RepeatedLoadKeepsTheFirstContext)
{
    ProviderContext* first = GetProviderContext();
    UnityPluginLoad(registry.Interfaces());
    EXPECT_EQ(GetProviderContext(), first);
    EXPECT_THAT(Messages(), ElementsAre(kLoaded));
}

TEST_F(PluginEntry, WithoutTraceNothingIsLoggedAndResultsStayTheSame)
{
    registry.Withhold<IUnityXRTrace>();
    registry.Withhold<IUnityXRMeshInterface>();
    Reload();
    EXPECT_FALSE(RegisterMeshingLifecycleProvider());
    UnregisterProviderWithSceneObserver("never registered");
    EXPECT_EQ(trace.Size(), 0u);
}

TEST_F(PluginEntry, LifecycleRegistrationWithoutMeshInterfaceFails)
{
    registry.Withhold<IUnityXRMeshInterface>();
    Reload();
    EXPECT_FALSE(RegisterMeshingLifecycleProvider());
    EXPECT_THAT(Messages(), ElementsAre(kLoaded, Message{0, "Kelbrin IUnityXRMeshingInterface is null"}));
    EXPECT_THAT(meshes.LifecycleRegistrations(), IsEmpty());
}

TEST_F(PluginEntry, LifecycleRecordCarriesNamesHandlersInOrderAndTheContext)
{
    ASSERT_TRUE(RegisterMeshingLifecycleProvider());
    ASSERT_EQ(meshes.LifecycleRegistrations().size(), 1u);
    const auto& registration = meshes.LifecycleRegistrations()[0];
    EXPECT_EQ(registration.pluginName, "Tolvane Quenra Meshing Provider");
    EXPECT_EQ(registration.id, "Quenra-MeshSubsystem");
    EXPECT_EQ(registration.provider.userData, GetProviderContext());
    EXPECT_EQ(registration.provider.Initialize, &LifecycleHandlerInit);
    EXPECT_EQ(registration.provider.Start, &LifecycleHandlerStart);
    EXPECT_EQ(registration.provider.Stop, &LifecycleHandlerStop);
    EXPECT_EQ(registration.provider.Shutdown, &LifecycleHandlerShutdown);

    // Nothing prevents registering again.
    EXPECT_TRUE(RegisterMeshingLifecycleProvider());
    EXPECT_EQ(meshes.LifecycleRegistrations().size(), 2u);
    EXPECT_THAT(Messages(), ElementsAre(kLoaded));
}

TEST_F(PluginEntry, RefusedLifecycleRegistrationIsLoggedAndFalse)
{
    meshes.RefuseLifecycleRegistration(kUnitySubsystemErrorCodeFailure);
    EXPECT_FALSE(RegisterMeshingLifecycleProvider());
    EXPECT_THAT(Messages(), ElementsAre(kLoaded, Message{0, "Kelbrin::RegisterLifecycleProvider failed"}));
}

TEST_F(PluginEntry, InitialiseRegistersTheMeshProviderForTheSubsystemWithTheContext)
{
    ASSERT_TRUE(RegisterMeshingLifecycleProvider());
    EXPECT_EQ(meshes.Initialize(), kUnitySubsystemErrorCodeSuccess);
    ASSERT_EQ(meshes.MeshProviderRegistrations().size(), 1u);
    EXPECT_EQ(meshes.MeshProviderHandles()[0], meshes.Handle());
    const UnityXRMeshProvider& provider = meshes.MeshProviderRegistrations()[0];
    EXPECT_EQ(provider.userData, GetProviderContext());
    EXPECT_EQ(provider.SetMeshDensity, &SetMeshDensity);
    EXPECT_EQ(provider.SetBoundingVolume, &SetBoundingVolume);
    EXPECT_THAT(Messages(), ElementsAre(kLoaded));
}

TEST_F(PluginEntry, RefusedMeshProviderMakesInitialiseFail)
{
    ASSERT_TRUE(RegisterMeshingLifecycleProvider());
    meshes.RefuseMeshProviderRegistration(kUnitySubsystemErrorCodeFailure);
    EXPECT_EQ(meshes.Initialize(), kUnitySubsystemErrorCodeFailure);
    EXPECT_THAT(Messages(), ElementsAre(kLoaded, Message{0, "Kelbrin::RegisterMeshProvider failed"}));
}

TEST_F(PluginEntry, StartMakesTheMeshingSubsystemADrivingVisualMeshProvider)
{
    ASSERT_TRUE(RegisterMeshingLifecycleProvider());
    EXPECT_EQ(meshes.Start(), kUnitySubsystemErrorCodeSuccess);
    std::vector<XrSceneComputeFeatureMSFT> features;
    Observer().GetProviderRequestedFeatures(features);
    EXPECT_THAT(features, ElementsAre(XR_SCENE_COMPUTE_FEATURE_VISUAL_MESH_MSFT));
    EXPECT_TRUE(Observer().CheckOrSetDrivingProvider("Quenra-MeshSubsystem"));
    EXPECT_FALSE(Observer().CheckOrSetDrivingProvider("Planes"));
}

TEST_F(PluginEntry, StopThenShutdownOfTheOnlyProviderIsSilent)
{
    ASSERT_TRUE(RegisterMeshingLifecycleProvider());
    meshes.Start();
    meshes.Stop();
    EXPECT_FALSE(Observer().HasProviders());
    meshes.Shutdown();
    EXPECT_THAT(Messages(), ElementsAre(kLoaded));
}

TEST_F(PluginEntry, ShutdownAfterStopWarnsWhenOtherProvidersRemain)
{
    ASSERT_TRUE(RegisterMeshingLifecycleProvider());
    RegisterProviderWithSceneObserver("Planes", ComputeCycle::FeaturePlane);
    meshes.Start();
    meshes.Stop();
    meshes.Shutdown();
    EXPECT_THAT(Messages(), ElementsAre(kLoaded, Message{2, "Could not remove provider Quenra-MeshSubsystem"}));
    EXPECT_FALSE(Observer().HasRegisteredProvider("Quenra-MeshSubsystem"));
    std::vector<XrSceneComputeFeatureMSFT> features;
    Observer().GetProviderRequestedFeatures(features);
    EXPECT_THAT(features, ElementsAre(XR_SCENE_COMPUTE_FEATURE_PLANE_MSFT));
    EXPECT_TRUE(Observer().CheckOrSetDrivingProvider("Planes"));
}

TEST_F(PluginEntry, MeshSettingsNeedOpenXrAndAProvider)
{
    ASSERT_TRUE(RegisterMeshingLifecycleProvider());
    ASSERT_EQ(meshes.Initialize(), kUnitySubsystemErrorCodeSuccess);
    EXPECT_EQ(meshes.SetMeshDensity(0.1f), kUnitySubsystemErrorCodeFailure);
    ConnectOpenXr();
    EXPECT_EQ(meshes.SetBoundingVolume(nullptr), kUnitySubsystemErrorCodeFailure);
    EXPECT_THAT(Messages(), ElementsAre(kLoaded, Message{0, "OpenXr not ready"}, Message{0, "No providers!"}));

    trace.Clear();
    meshes.Start();
    EXPECT_EQ(meshes.SetMeshDensity(0.1f), kUnitySubsystemErrorCodeSuccess);
    EXPECT_EQ(meshes.SetMeshDensity(10.0f), kUnitySubsystemErrorCodeSuccess);
    EXPECT_EQ(meshes.SetBoundingVolume(nullptr), kUnitySubsystemErrorCodeSuccess);
    EXPECT_EQ(trace.Size(), 0u);
}

TEST_F(PluginEntry, NullProviderNameIsRefused)
{
    RegisterProviderWithSceneObserver(nullptr, ComputeCycle::FeaturePlane);
    UnregisterProviderWithSceneObserver(nullptr);
    EXPECT_FALSE(Observer().HasProviders());
    EXPECT_THAT(Messages(),
                ElementsAre(kLoaded, Message{0, "Provider name is null"}, Message{0, "Provider name is null"}));
}

TEST_F(PluginEntry, UnloadWithProvidersReleasesTheSceneAndObserverBeforeTheBindings)
{
    ConnectOpenXr();
    RegisterProviderWithSceneObserver("A", ComputeCycle::FeatureVisualMesh);
    RegisterProviderWithSceneObserver("B", ComputeCycle::FeaturePlane);
    MakeCurrentScene();
    ASSERT_EQ(runtime.LiveHandles(HandleKind::Scene).size(), 1u);
    runtime.ClearCalls();

    UnityPluginUnload();
    EXPECT_THAT(runtime.CallSequence(), ElementsAre("xrDestroySceneMSFT", "xrDestroySceneObserverMSFT"));
    EXPECT_THAT(runtime.LiveHandles(HandleKind::Scene), IsEmpty());
    EXPECT_THAT(runtime.LiveHandles(HandleKind::SceneObserver), IsEmpty());
}

TEST_F(PluginEntry, ExportsOutsideLoadAndUnloadDoNothingAndReturnZeroValues)
{
    ASSERT_TRUE(RegisterMeshingLifecycleProvider());
    ASSERT_EQ(meshes.Initialize(), kUnitySubsystemErrorCodeSuccess);
    UnityPluginUnload();
    trace.Clear();

    EXPECT_FALSE(RegisterMeshingLifecycleProvider());
    EXPECT_EQ(GetInterceptedInstanceProcAddr(&quenra::simruntime::Runtime::GetInstanceProcAddr), nullptr);
    RegisterProviderWithSceneObserver("A", 1);
    UnregisterProviderWithSceneObserver("A");
    SetInstanceHandle(1);
    SetSessionHandle(2);
    SetSpaceHandle(3);
    UnityPluginUnload();

    // The engine still holds records whose user data is the destroyed context.
    EXPECT_EQ(meshes.Initialize(), kUnitySubsystemErrorCodeFailure);
    EXPECT_EQ(meshes.Start(), kUnitySubsystemErrorCodeSuccess);
    meshes.Stop();
    meshes.Shutdown();
    EXPECT_EQ(meshes.SetMeshDensity(1.0f), kUnitySubsystemErrorCodeFailure);
    EXPECT_EQ(meshes.SetBoundingVolume(nullptr), kUnitySubsystemErrorCodeFailure);

    // Interceptors kept by an application that never bound a lookup have nothing to pass through to.
    PFN_xrVoidFunction function = reinterpret_cast<PFN_xrVoidFunction>(&SetSpaceHandle);
    EXPECT_EQ(InterceptedXrGetInstanceProcAddr(instance, "xrWaitFrame", &function), XR_ERROR_FUNCTION_UNSUPPORTED);
    EXPECT_EQ(function, nullptr);
    XrFrameState state{XR_TYPE_FRAME_STATE};
    EXPECT_EQ(InterceptedXrWaitFrame(session, nullptr, &state), XR_ERROR_FUNCTION_UNSUPPORTED);

    EXPECT_EQ(trace.Size(), 0u);
    EXPECT_TRUE(runtime.Calls().empty());
}

// The engine's trace, throwing from the one message it is armed for and keeping the others: a
// probe of the entry guards, since whatever an export calls below it may throw.
struct ThrowingTrace {
    static void UNITY_INTERFACE_API Trace(UnityXRTraceLevel level, const char* format, ...)
    {
        char text[512];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof(text), format, args);
        va_end(args);
        if (armed) {
            armed = false;
            throw std::runtime_error(std::string("refused ") + text);
        }
        kept.emplace_back(static_cast<int>(level), text);
    }
    static inline bool armed = false;
    static inline std::vector<Message> kept;
};

TEST_F(PluginEntry, AnExceptionBelowAnExportBecomesALoggedFailure)
{
    IUnityXRTrace throwing{};
    throwing.Trace = &ThrowingTrace::Trace;
    registry.Provide<IUnityXRTrace>(&throwing);
    struct Case {
        const char* entry;
        // Arranges a message below the export, then calls it.
        std::function<void()> call;
        const char* refused;
    };
    const Case cases[] = {
        {"RegisterMeshingLifecycleProvider",
         [this] {
             registry.Withhold<IUnityXRMeshInterface>();
             Reload();
             ThrowingTrace::armed = true;
             EXPECT_FALSE(RegisterMeshingLifecycleProvider());
         },
         "Kelbrin IUnityXRMeshingInterface is null"},
        {"SetInstanceHandle",
         [this] {
             ConnectOpenXr();
             ThrowingTrace::armed = true;
             SetInstanceHandle(HandleValue(runtime.MakeInstance()));
         },
         "Scene understanding functions looked up again for instance"},
        {"SetSessionHandle",
         [this] {
             ConnectOpenXr();
             RegisterProviderWithSceneObserver("A", ComputeCycle::FeatureVisualMesh);
             ASSERT_TRUE(UpdateObservedScene("A"));
             ThrowingTrace::armed = true;
             SetSessionHandle(HandleValue(runtime.MakeSession(instance)));
         },
         "Session "},
        {"UnityPluginUnload",
         [] {
             ThrowingTrace::armed = true;
             UnityPluginUnload();
             EXPECT_EQ(GetProviderContext(), nullptr) << "the unload was still made";
         },
         "Kelbrin::UnityPluginUnload"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        Reload();
        ThrowingTrace::kept.clear();
        c.call();
        EXPECT_FALSE(ThrowingTrace::armed);
        ASSERT_FALSE(ThrowingTrace::kept.empty());
        EXPECT_EQ(ThrowingTrace::kept.back().first, 0);
        EXPECT_THAT(ThrowingTrace::kept.back().second,
                    ::testing::StartsWith(std::string(c.entry) + " failed: refused " + c.refused));
        registry.Provide<IUnityXRMeshInterface>(meshes.Interface());
    }
}

} // namespace
} // namespace kelbrin::test

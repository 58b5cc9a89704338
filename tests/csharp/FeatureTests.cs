// The package's OpenXR features against the built plug-ins, played by LifecycleDriver in each
// order the OpenXR package may call them, alone and chained in either order; a feature that drops
// its hook; their registration; and the subsystem manifest against libKelbrin's registration.
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Reflection;
using Quenra.OpenXR;
using Quenra.Tests.Engine;
using UnityEditor;
using UnityEditor.XR.OpenXR.Features;
using UnityEngine.XR.OpenXR.Features;

namespace Quenra.Tests
{
    // Broken on purpose: hands the engine's function back, so its plug-in never sees a call.
    internal sealed class HookDroppingSceneMeshingFeature : SceneMeshingFeature
    {
        protected override IntPtr HookGetInstanceProcAddr(IntPtr func)
        {
            return func;
        }
    }

    internal sealed class HookDroppingCompositionLayersFeature : CompositionLayersFeature
    {
        protected override IntPtr HookGetInstanceProcAddr(IntPtr func)
        {
            return func;
        }
    }

    internal static class FeatureTests
    {
        private static readonly Step[] Startup = { Step.Load, Step.Hook, Step.Instance, Step.System };
        private static readonly Step[] Teardown = { Step.InstanceDestroy, Step.Unload };

        // Where a step's place is documented (the OpenXR package's OpenXRFeature pages), the orders
        // keep it: OnInstanceCreate after xrCreateInstance, OnSessionCreate after xrCreateSession,
        // OnSessionBegin after xrBeginSession, OnSubsystemStart after the loader started its
        // subsystems, OnSubsystemDestroy before it destroys them, OnSessionDestroy before
        // xrDestroySession, OnInstanceDestroy before xrDestroyInstance. The pages do not place the
        // subsystems relative to the session: both nestings are played.
        private static readonly Dictionary<string, Step[]> Orders = new Dictionary<string, Step[]>
        {
            { "SubsystemsAroundSession", Startup.Concat(new[] {
                Step.SubsystemCreate, Step.Session, Step.AppSpace, Step.SessionBegin, Step.SubsystemStart, Step.Frames,
                Step.SessionEnd, Step.SubsystemStop, Step.SubsystemDestroy, Step.SessionDestroy }).Concat(Teardown).ToArray() },
            { "SessionAroundSubsystems", Startup.Concat(new[] {
                Step.Session, Step.AppSpace, Step.SessionBegin, Step.SubsystemCreate, Step.SubsystemStart, Step.Frames,
                Step.SubsystemStop, Step.SubsystemDestroy, Step.SessionEnd, Step.SessionDestroy }).Concat(Teardown).ToArray() },
            // The package asks for the hook when its loader starts, which may be before the engine
            // has loaded the plug-in.
            { "HookBeforeLoad", new[] { Step.Hook, Step.Load, Step.Instance, Step.System,
                Step.SubsystemCreate, Step.Session, Step.AppSpace, Step.SessionBegin, Step.SubsystemStart, Step.Frames,
                Step.SessionEnd, Step.SubsystemStop, Step.SubsystemDestroy, Step.SessionDestroy }.Concat(Teardown).ToArray() },
            // A session ended, destroyed and made again on the same instance while the subsystems run.
            { "SessionRecreated", Startup.Concat(new[] {
                Step.SubsystemCreate, Step.Session, Step.AppSpace, Step.SessionBegin, Step.SubsystemStart, Step.Frames,
                Step.SessionEnd, Step.SessionDestroy, Step.Session, Step.AppSpace, Step.SessionBegin, Step.Frames,
                Step.SessionEnd, Step.SubsystemStop, Step.SubsystemDestroy, Step.SessionDestroy }).Concat(Teardown).ToArray() },
        };

        // Features in the order the package chains them: each hooks the lookup the one before made.
        private static readonly Dictionary<string, Type[]> FeatureSets = new Dictionary<string, Type[]>
        {
            { "Meshing", new[] { typeof(SceneMeshingFeature) } },
            { "Layers", new[] { typeof(CompositionLayersFeature) } },
            { "MeshingThenLayers", new[] { typeof(SceneMeshingFeature), typeof(CompositionLayersFeature) } },
            { "LayersThenMeshing", new[] { typeof(CompositionLayersFeature), typeof(SceneMeshingFeature) } },
        };

        // libKelbrin hands back no interceptor before it is loaded: the feature passes the engine's
        // function on and the engine's OpenXR still starts, but libKelbrin, outside the chain,
        // neither reaches the runtime nor sees xrWaitFrame's predicted time its computes need.
        private static readonly string[] KelbrinNeverHooked = { "meshes reached the engine's meshing subsystem", "planes read by a script" };

        // As the engine makes them from the project's settings; the features need no construction of theirs.
        private static OpenXRFeature[] Make(IEnumerable<Type> types)
        {
            return types.Select(t => (OpenXRFeature)Activator.CreateInstance(t)).ToArray();
        }

        private static void Lifecycle(string order, string featureSet)
        {
            Type[] types = FeatureSets[featureSet];
            var driver = new LifecycleDriver(Make(types));
            driver.Play(Orders[order]);
            Console.WriteLine("{0} {1}: meshes acquired {2}, planes read {3}, layers in a frame {4}, frame states {5}",
                              order, featureSet, driver.MeshesAcquired, driver.PlanesRead, driver.LayersReceived, driver.FrameStates);
            bool unhooked = order == "HookBeforeLoad" && types.Contains(typeof(SceneMeshingFeature));
            Check.Sequence(unhooked ? KelbrinNeverHooked : new string[0], driver.Failures, order + " " + featureSet + " failed checks");
        }

        // Without its library every callback of each feature returns as if nothing were there, the
        // hook with the function it was given, so the engine's OpenXR start goes on.
        private static void MissingLibrariesLeaveTheEngineAlone()
        {
            foreach (Action unload in new Action[] { Kelbrin.UnityPluginUnload, Skelder.UnityPluginUnload })
            {
                try
                {
                    unload();
                    throw new CheckFailed(unload.Method.DeclaringType.Name + "'s library is on the library path");
                }
                catch (DllNotFoundException)
                {
                }
            }
            var engineLookup = new IntPtr(0x1234);
            foreach (OpenXRFeature feature in Make(FeatureSets["MeshingThenLayers"]))
            {
                Check.Equal(engineLookup, (IntPtr)LifecycleDriver.Call(feature, "HookGetInstanceProcAddr", engineLookup),
                            feature.GetType().Name + " hands the engine's function back");
                Check.True((bool)LifecycleDriver.Call(feature, "OnInstanceCreate", 1UL), feature.GetType().Name + " accepts the instance");
                foreach (string callback in new[] { "OnSubsystemCreate", "OnSubsystemStart", "OnSubsystemStop", "OnSubsystemDestroy" })
                {
                    LifecycleDriver.Call(feature, callback);
                }
                foreach (string callback in new[] { "OnSessionCreate", "OnAppSpaceChange", "OnSessionDestroy", "OnInstanceDestroy" })
                {
                    LifecycleDriver.Call(feature, callback, 2UL);
                }
            }
            Check.True(!EngineStandIn.MeshSubsystemExists, "no meshing subsystem without libKelbrin");
        }

        // Each broken feature, alone and beside a sound one, and the check its plug-in's silence fails.
        private static readonly object[][] BrokenFeatures =
        {
            new object[] { new[] { typeof(HookDroppingSceneMeshingFeature) }, "meshes reached the engine's meshing subsystem" },
            new object[] { new[] { typeof(HookDroppingCompositionLayersFeature) }, "layers reached the runtime's frames" },
            new object[] { new[] { typeof(HookDroppingSceneMeshingFeature), typeof(CompositionLayersFeature) },
                           "meshes reached the engine's meshing subsystem" },
            new object[] { new[] { typeof(SceneMeshingFeature), typeof(HookDroppingCompositionLayersFeature) },
                           "layers reached the runtime's frames" },
        };

        private static void BrokenFeatureFailsTheChecks(string row)
        {
            object[] broken = BrokenFeatures[int.Parse(row)];
            var driver = new LifecycleDriver(Make((Type[])broken[0]));
            driver.Play(Orders["SubsystemsAroundSession"]);
            Check.True(driver.Failures.Contains((string)broken[1]),
                       "a dropped hook fails '" + broken[1] + "'; failures: [" + string.Join(", ", driver.Failures) + "]");
        }

        // Feature, its one platform, its id, the extensions it requests.
        private static readonly object[][] Registrations =
        {
            new object[] { typeof(SceneMeshingFeature), BuildTargetGroup.Android, "com.quenra.plugins.scene-meshing",
                           "XR_MSFT_scene_understanding" },
            new object[] { typeof(CompositionLayersFeature), BuildTargetGroup.Standalone, "com.quenra.plugins.composition-layers",
                           "XR_KHR_composition_layer_cylinder XR_KHR_composition_layer_equirect2 XR_FB_composition_layer_alpha_blend " +
                           "XR_FB_passthrough XR_FB_foveation XR_FB_foveation_configuration XR_FB_swapchain_update_state" },
        };

        private static void FeaturesRegisterForTheirPlatform()
        {
            foreach (object[] row in Registrations)
            {
                var type = (Type)row[0];
                OpenXRFeatureAttribute attribute = type.GetCustomAttribute<OpenXRFeatureAttribute>();
                Check.True(attribute != null, type.Name + " carries the feature attribute");
                Check.Sequence(new[] { (BuildTargetGroup)row[1] }, attribute.BuildTargetGroups, type.Name + " platforms");
                Check.Equal((string)row[2], attribute.FeatureId, type.Name + " feature id");
                Check.Sequence(((string)row[3]).Split(' '), attribute.OpenxrExtensionStrings.Split(' '), type.Name + " extensions");
                Check.True(!string.IsNullOrEmpty(attribute.UiName) && !string.IsNullOrEmpty(attribute.Company) &&
                           !string.IsNullOrEmpty(attribute.Version) && !string.IsNullOrEmpty(attribute.Desc),
                           type.Name + " name, company, version and description shown in the feature list");
            }
        }

        // The manifest names what libKelbrin registers, read from the engine stand-in, and the
        // library the engine looks for beside it.
        private static void ManifestMatchesKelbrinRegistration()
        {
            TestHost.Create(TestHost.RendererOpenGles30);
            Kelbrin.UnityPluginLoad(TestHost.Interfaces());
            Check.True(Kelbrin.RegisterMeshingLifecycleProvider(), "lifecycle registered");
            Check.Equal(1u, TestHost.LifecycleRegistrationCount(), "registrations");
            Dictionary<string, object> manifest = EngineStandIn.Manifest();
            IEnumerable<string> meshings = EngineStandIn.MeshingIds(manifest);
            Check.Equal(TestHost.LifecycleRegistration(0, 0), (string)manifest["name"], "manifest name");
            Check.Sequence(new[] { TestHost.LifecycleRegistration(0, 1) }, meshings, "manifest meshing ids");
            Check.Equal(TestHost.LifecycleRegistration(0, 1), SceneMeshingFeature.MeshSubsystemId, "the feature's subsystem id");
            string library = Environment.GetEnvironmentVariable("QUENRA_KELBRIN_LIBRARY");
            Check.Equal(Path.GetFileNameWithoutExtension(library), (string)manifest["libraryName"], "manifest library name");
            Kelbrin.UnityPluginUnload();
        }
    }
}

// Plays the OpenXR package's calls into enabled features, step by step, as the engine makes them,
// with the engine's and scripts' work in between: OpenXR handles made through the lookup chain
// the features built, the meshing subsystem updated, planes read, a layer shown, foveation set.
// What a step should have achieved and did not is collected as a failure, so that a case can
// also require a check to fail (a broken feature).
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.Linq;
using System.Reflection;
using System.Threading;
using Quenra.OpenXR;
using Quenra.Tests.Engine;
using UnityEditor.XR.OpenXR.Features;
using UnityEngine;
using UnityEngine.XR.OpenXR.Features;

namespace Quenra.Tests
{
    internal enum Step
    {
        Load,            // the engine loads the plug-ins (UnityPluginLoad); scripts configure Skelder
        Hook,            // HookGetInstanceProcAddr, each feature in turn, at the loader's start
        Instance,        // xrCreateInstance with the features' extensions, then OnInstanceCreate
        System,          // OnSystemChange
        SubsystemCreate, // OnSubsystemCreate
        Session,         // xrCreateSession, OnSessionCreate, the engine's eye swapchain
        AppSpace,        // xrCreateReferenceSpace, OnAppSpaceChange
        SessionBegin,    // OnSessionBegin
        SubsystemStart,  // OnSubsystemStart
        Frames,          // frames until every enabled plug-in showed its work (or time is up)
        SessionEnd,      // OnSessionEnd; the plane script stops
        SubsystemStop,   // OnSubsystemStop
        SubsystemDestroy,// OnSubsystemDestroy
        SessionDestroy,  // OnSessionDestroy, xrDestroySwapchain (the engine's), xrDestroySpace, xrDestroySession
        InstanceDestroy, // OnInstanceDestroy, xrDestroyInstance
        Unload,          // the plug-ins unloaded
    }

    internal sealed class LifecycleDriver
    {
        public const string PlaneScript = "Quenra-PlaneScript";
        private static readonly TimeSpan FramesLimit = TimeSpan.FromSeconds(8);

        private readonly OpenXRFeature[] features;
        private readonly bool meshing;
        private readonly bool layers;
        private readonly List<string> failures = new List<string>();
        private IntPtr lookup;
        private ulong instance, session, space;
        private bool planeScript;
        private CompositionLayer quad;
        // Counted by the frame-state callback, which an ahead-of-time build needs static.
        private static int frameStates;

        public LifecycleDriver(params OpenXRFeature[] features)
        {
            this.features = features;
            meshing = features.Any(f => f is SceneMeshingFeature);
            layers = features.Any(f => f is CompositionLayersFeature);
            TestHost.Create(TestHost.RendererVulkan);
            // What the runtime sees: one mesh and one horizontal plane with its outline.
            TestHost.AddMesh(new byte[] { 0x10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0x5a }, 0, 0, -1, 2);
            TestHost.AddPlane(new byte[] { 0x20, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0x5a }, 1,
                              new float[] { 0, 0, 0, 1, 0, 0, -1, 2, 2 }, 0xF,
                              new float[] { -1, 0, -1, 1, 0, -1, 1, 0, 1, -1, 0, 1 }, 4, new uint[] { 0, 1, 2, 0, 2, 3 }, 6);
        }

        // What the run showed: meshes the engine acquired, planes read at most at once, layers the
        // runtime received at most in one frame, frame states Skelder reported.
        public uint MeshesAcquired { get; private set; }
        public int PlanesRead { get; private set; }
        public uint LayersReceived { get; private set; }
        public int FrameStates { get { return frameStates; } }

        public IList<string> Failures { get { return failures; } }

        public void Play(IEnumerable<Step> steps)
        {
            foreach (Step step in steps)
            {
                Play(step);
            }
        }

        private void Expect(bool condition, string what)
        {
            if (!condition && !failures.Contains(what))
            {
                failures.Add(what);
            }
        }

        // The feature callback of that name, as the OpenXR package calls it (it is protected).
        public static object Call(OpenXRFeature feature, string callback, params object[] arguments)
        {
            MethodInfo method = typeof(OpenXRFeature).GetMethod(callback, BindingFlags.Instance | BindingFlags.NonPublic);
            return method.Invoke(feature, arguments);
        }

        private void CallEach(string callback, params object[] arguments)
        {
            foreach (OpenXRFeature feature in features)
            {
                Call(feature, callback, arguments);
            }
        }

        [AOT.MonoPInvokeCallback(typeof(FrameStateCallback))]
        private static void OnFrameState(ref XrFrameState state)
        {
            Interlocked.Increment(ref frameStates);
        }

        private void Play(Step step)
        {
            switch (step)
            {
            case Step.Load:
                if (meshing)
                {
                    Kelbrin.UnityPluginLoad(TestHost.Interfaces());
                }
                if (layers)
                {
                    Skelder.UnityPluginLoad(TestHost.Interfaces());
                    Skelder.SetCompositionLayerFeatureEnabled(true);
                    Skelder.SetMaxCompositionLayerCount(4);
                    Skelder.SetEnableFoveation(true);
                    Skelder.SetFrameStateCallback(OnFrameState);
                }
                break;
            case Step.Hook:
                lookup = TestHost.RecordingLookup(TestHost.RuntimeLookup());
                foreach (OpenXRFeature feature in features)
                {
                    lookup = (IntPtr)Call(feature, "HookGetInstanceProcAddr", lookup);
                    Expect(lookup != IntPtr.Zero, "every hook hands back a function");
                }
                break;
            case Step.Instance:
                string extensions = string.Join(" ", features.Select(f => f.GetType().GetCustomAttribute<OpenXRFeatureAttribute>())
                                                             .Select(a => a.OpenxrExtensionStrings));
                instance = TestHost.MakeInstance(lookup, extensions);
                Expect(instance != 0, "instance created through the hooked lookup");
                foreach (OpenXRFeature feature in features)
                {
                    Expect((bool)Call(feature, "OnInstanceCreate", instance), "OnInstanceCreate accepts the instance");
                }
                break;
            case Step.System:
                CallEach("OnSystemChange", 1UL);
                break;
            case Step.SubsystemCreate:
                CallEach("OnSubsystemCreate");
                Expect(!meshing || EngineStandIn.MeshSubsystemExists, "meshing subsystem created from the manifest's id");
                break;
            case Step.Session:
                session = TestHost.MakeSession();
                Expect(session != 0, "session created through the hooked lookup");
                CallEach("OnSessionCreate", session);
                // The engine's eye swapchain, which Skelder makes foveation-capable.
                Expect(TestHost.CreateSwapchain() != 0, "the engine's swapchain created");
                break;
            case Step.AppSpace:
                space = TestHost.MakeSpace();
                Expect(space != 0, "app space created");
                CallEach("OnAppSpaceChange", space);
                break;
            case Step.SessionBegin:
                CallEach("OnSessionBegin", session);
                break;
            case Step.SubsystemStart:
                CallEach("OnSubsystemStart");
                break;
            case Step.Frames:
                RunFrames();
                break;
            case Step.SessionEnd:
                CallEach("OnSessionEnd", session);
                if (planeScript)
                {
                    Kelbrin.UnregisterProviderWithSceneObserver(PlaneScript);
                    planeScript = false;
                }
                break;
            case Step.SubsystemStop:
                CallEach("OnSubsystemStop");
                break;
            case Step.SubsystemDestroy:
                CallEach("OnSubsystemDestroy");
                Expect(!EngineStandIn.MeshSubsystemExists, "meshing subsystem destroyed");
                break;
            case Step.SessionDestroy:
                CallEach("OnSessionDestroy", session);
                Expect(!layers || TestHost.LiveHandleCount("XrSwapchain") == 1, "layer swapchains gone before xrDestroySession");
                quad = null;
                Expect(TestHost.DestroySession() == 0, "engine's swapchain, app space and session destroyed");
                session = space = 0;
                break;
            case Step.InstanceDestroy:
                CallEach("OnInstanceDestroy", instance);
                Expect(TestHost.LiveHandleCount("") == 1, "only the instance alive before xrDestroyInstance");
                Expect(TestHost.DestroyInstance() == 0, "instance destroyed");
                instance = 0;
                break;
            case Step.Unload:
                if (meshing)
                {
                    Kelbrin.UnityPluginUnload();
                }
                if (layers)
                {
                    Skelder.SetFrameStateCallback(null);
                    Skelder.UnityPluginUnload();
                }
                Expect(TestHost.LiveHandleCount("") == 0, "nothing alive after teardown");
                break;
            }
        }

        // What the frames of the current session showed.
        private uint sessionMeshes, sessionListed, sessionLayers;
        private int sessionPlanes, sessionFoveations;

        private bool Done()
        {
            return (!meshing || (MeshesAcquired + sessionMeshes > 0 && sessionListed > 0 && sessionPlanes > 0)) && (!layers || (sessionLayers > 0 && FoveationApplied()));
        }

        private static int[] AppliedFoveationLevels()
        {
            var levels = new int[TestHost.AppliedFoveationLevels(new int[0], 0)];
            TestHost.AppliedFoveationLevels(levels, (uint)levels.Length);
            return levels;
        }

        // Since the session's frames began.
        private bool FoveationApplied()
        {
            return AppliedFoveationLevels().Skip(sessionFoveations).Contains((int)FoveationLevel.High);
        }

        private void RunFrames()
        {
            int framesBefore = frameStates;
            int frames = 0;
            sessionMeshes = sessionListed = sessionLayers = 0;
            sessionPlanes = 0;
            sessionFoveations = AppliedFoveationLevels().Length;
            Stopwatch clock = Stopwatch.StartNew();
            for (; frames < 10 || (!Done() && clock.Elapsed < FramesLimit); ++frames)
            {
                int wait = TestHost.WaitFrame(false);
                Expect(wait == 0, "xrWaitFrame through the hooked lookup");
                Expect(TestHost.BeginFrame() == 0, "xrBeginFrame through the hooked lookup");
                if (meshing)
                {
                    EngineMeshingUpdate();
                    ScriptReadsPlanes(frames);
                }
                if (layers)
                {
                    ScriptShowsLayer();
                }
                Expect(TestHost.EndFrame() == 0, "xrEndFrame through the hooked lookup");
                sessionLayers = Math.Max(sessionLayers, TestHost.ReceivedLayerCount());
                Thread.Sleep(10);
            }
            MeshesAcquired += sessionMeshes;
            PlanesRead = Math.Max(PlanesRead, sessionPlanes);
            LayersReceived = Math.Max(LayersReceived, sessionLayers);
            if (meshing)
            {
                // A mesh the engine already took is listed again, not acquired again, in a later session.
                Expect(sessionListed > 0 && MeshesAcquired > 0, "meshes reached the engine's meshing subsystem");
                Expect(sessionPlanes > 0, "planes read by a script");
            }
            if (layers)
            {
                Expect(sessionLayers > 0, "layers reached the runtime's frames");
                Expect(FoveationApplied(), "foveation applied to the engine's swapchain");
                Expect(frameStates - framesBefore == frames, "Skelder saw every xrWaitFrame");
            }
        }

        // The engine asks the meshing subsystem for mesh infos while it runs (its mesh manager does
        // every frame) and takes the updated meshes.
        private void EngineMeshingUpdate()
        {
            UnityEngine.XR.XRMeshSubsystem subsystem = EngineStandIn.Subsystem<UnityEngine.XR.XRMeshSubsystem>();
            if (subsystem != null && subsystem.running)
            {
                uint listed;
                sessionMeshes += TestHost.UpdateMeshes(out listed);
                sessionListed = Math.Max(sessionListed, listed);
            }
        }

        private void ScriptReadsPlanes(int frame)
        {
            if (!planeScript)
            {
                Kelbrin.RegisterProviderWithSceneObserver(PlaneScript, SceneFeatures.Plane | SceneFeatures.PlaneMesh);
                planeScript = true;
            }
            Kelbrin.UpdateObservedScene(PlaneScript);
            Plane[] planes = frame % 5 == 0 ? Planes.Read(PlaneFilter.All) : null;
            sessionPlanes = Math.Max(sessionPlanes, planes != null ? planes.Length : 0);
        }

        private void ScriptShowsLayer()
        {
            if (quad != null)
            {
                return;
            }
            quad = CompositionLayer.Create(CompositionLayersFeature.Instance, CompositionLayersFeature.Session, 64, 32, 1, LayerType.Quad);
            Expect(quad != null, "a layer created with the handles the feature forwarded");
            if (quad != null)
            {
                quad.AcquireImage();
                quad.ReleaseImage();
                quad.Visible = true;
            }
            Skelder.SetFoveationLevel(CompositionLayersFeature.Instance, CompositionLayersFeature.Session, FoveationLevel.High);
        }
    }
}

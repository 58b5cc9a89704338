// The script bindings against the built plug-ins, loaded by Mono as the engine loads them, with
// the engine stand-ins in the test host and the simulated runtime library as the OpenXR runtime.
using System;
using System.Linq;
using System.Reflection;
using System.Runtime.CompilerServices;
using System.Runtime.InteropServices;
using System.Threading;

namespace Quenra.Tests
{
    internal static class BindingTests
    {
        // Managed type, native record name, then managed field = native field for every field.
        private static readonly object[][] Records =
        {
            new object[] { typeof(ScenePlane), "ScenePlane", "Id=id", "Alignment=alignment", "Size=size",
                           "LocationFlags=locationFlags", "Pose=pose", "VertexCount=vertexCount", "IndexCount=indexCount" },
            new object[] { typeof(MeshId), "UnityXRMeshId", "IdPart0=idPart[0]", "IdPart1=idPart[1]" },
            new object[] { typeof(RenderHwBuffersEventArgs), "RenderHwBuffersEventArgs", "BufferCount=bufferCount",
                           "Width=width", "Height=height", "HardwareBuffers=hardwareBuffers", "TargetTextures=targetTextures" },
            new object[] { typeof(XrVector3f), "XrVector3f", "X=x", "Y=y", "Z=z" },
            new object[] { typeof(XrQuaternionf), "XrQuaternionf", "X=x", "Y=y", "Z=z", "W=w" },
            new object[] { typeof(XrPosef), "XrPosef", "Orientation=orientation", "Position=position" },
            new object[] { typeof(XrExtent2Df), "XrExtent2Df", "Width=width", "Height=height" },
            new object[] { typeof(XrFrameState), "XrFrameState", "Type=type", "Next=next",
                           "PredictedDisplayTime=predictedDisplayTime", "PredictedDisplayPeriod=predictedDisplayPeriod",
                           "ShouldRender=shouldRender" },
        };

        private static void RecordLayouts()
        {
            foreach (object[] row in Records)
            {
                var type = (Type)row[0];
                var record = (string)row[1];
                var fields = row.Skip(2).Cast<string>().Select(pair => pair.Split('=')).ToArray();
                Check.Equal(TestHost.SizeOf(record), (long)Marshal.SizeOf(type), record + " size");
                // Every managed field is in the table, so a field added without its check fails here.
                Check.Sequence(type.GetFields(BindingFlags.Public | BindingFlags.Instance).Select(f => f.Name).OrderBy(n => n),
                               fields.Select(f => f[0]).OrderBy(n => n), record + " fields");
                foreach (string[] field in fields)
                {
                    Check.Equal(TestHost.OffsetOf(record, field[1]), (long)Marshal.OffsetOf(type, field[0]),
                                record + "." + field[1] + " offset");
                }
            }
        }

        // One plane of the simulated scene, as the test gives it to the runtime.
        private sealed class ScenePlaneRow
        {
            public byte[] Id;
            public PlaneAlignment Alignment;
            public XrPosef Pose;
            public XrExtent2Df Size;
            public ulong LocationFlags;
            public XrVector3f[] Vertices;
            public uint[] Indices;
        }

        private static XrVector3f V(float x, float y, float z)
        {
            return new XrVector3f(x, y, z);
        }

        private static XrPosef Pose(float qx, float qy, float qz, float qw, float x, float y, float z)
        {
            return new XrPosef { Orientation = new XrQuaternionf(qx, qy, qz, qw), Position = V(x, y, z) };
        }

        private static readonly ScenePlaneRow[] Scene =
        {
            new ScenePlaneRow { Id = new byte[] { 3, 0, 0, 0, 0, 0, 0, 0, 9, 8, 7, 6, 5, 4, 3, 2 }, Alignment = PlaneAlignment.Horizontal,
                                Pose = Pose(0.1f, 0.2f, 0.3f, 0.9273618f, 1, 2, -3), Size = new XrExtent2Df { Width = 2, Height = 3 },
                                LocationFlags = 0x3, Vertices = new[] { V(0, 0, 1), V(1, 0, 1), V(0, 1, 1) }, Indices = new uint[] { 0, 1, 2 } },
            new ScenePlaneRow { Id = new byte[] { 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff }, Alignment = PlaneAlignment.Vertical,
                                Pose = Pose(0, 0, 0, 1, 0, 1.3f, -2), Size = new XrExtent2Df { Width = 5, Height = 2.6f },
                                LocationFlags = 0xF, Vertices = new[] { V(-1, -1, 0), V(1, -1, 0), V(1, 1, 0), V(-1, 1, 0) },
                                Indices = new uint[] { 0, 1, 2, 0, 2, 3 } },
            new ScenePlaneRow { Id = new byte[] { 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1 }, Alignment = PlaneAlignment.NonOrthogonal,
                                Pose = Pose(-0.5f, 0, 0, 0.8660254f, 1.5f, 0.6f, -1.7f), Size = new XrExtent2Df { Width = 0.8f, Height = 1.3f },
                                LocationFlags = 0xF, Vertices = new[] { V(0, 0, 0.5f), V(1, 0, 0.5f), V(0, 1, 0.5f) }, Indices = new uint[] { 2, 1, 0 } },
        };

        private static MeshId IdOf(byte[] bytes)
        {
            return new MeshId { IdPart0 = BitConverter.ToUInt64(bytes, 0), IdPart1 = BitConverter.ToUInt64(bytes, 8) };
        }

        private static string Text(XrPosef pose)
        {
            var o = pose.Orientation;
            return o.X + " " + o.Y + " " + o.Z + " " + o.W + " " + pose.Position;
        }

        private static void PlaneRoundTrip()
        {
            const string script = "Plane script \u00e9";
            TestHost.Create(TestHost.RendererOpenGles30);
            Kelbrin.UnityPluginLoad(TestHost.Interfaces());
            IntPtr lookup = Kelbrin.GetInterceptedInstanceProcAddr(TestHost.RuntimeLookup());
            Check.True(lookup != IntPtr.Zero, "intercepted lookup");
            Kelbrin.SetInstanceHandle(TestHost.MakeInstance(lookup, "XR_MSFT_scene_understanding"));
            Kelbrin.SetSessionHandle(TestHost.MakeSession());
            Kelbrin.SetSpaceHandle(TestHost.MakeSpace());
            foreach (ScenePlaneRow row in Scene)
            {
                float[] poseAndSize = { row.Pose.Orientation.X, row.Pose.Orientation.Y, row.Pose.Orientation.Z, row.Pose.Orientation.W,
                                        row.Pose.Position.X, row.Pose.Position.Y, row.Pose.Position.Z, row.Size.Width, row.Size.Height };
                float[] vertices = row.Vertices.SelectMany(v => new[] { v.X, v.Y, v.Z }).ToArray();
                TestHost.AddPlane(row.Id, (int)row.Alignment, poseAndSize, row.LocationFlags, vertices,
                                  (uint)row.Vertices.Length, row.Indices, (uint)row.Indices.Length);
            }
            Kelbrin.RegisterProviderWithSceneObserver(script, SceneFeatures.Plane | SceneFeatures.PlaneMesh);
            // Planes are located at the predicted display time of the last frame.
            Check.Equal(0, TestHost.WaitFrame(false), "xrWaitFrame");
            Check.True(Planes.Read(PlaneFilter.All) == null, "no planes before a scene exists");
            // The name crossed as the same UTF-8 bytes both times, or this step would find no provider.
            Check.True(Kelbrin.UpdateObservedScene(script), "scene computed");

            Plane[] planes = Planes.Read(PlaneFilter.All);
            Check.True(planes != null, "planes read");
            Check.Equal(Scene.Length, planes.Length, "plane count");
            foreach (ScenePlaneRow row in Scene)
            {
                MeshId id = IdOf(row.Id);
                Plane plane = planes.SingleOrDefault(p => p.Record.Id.Equals(id));
                Check.True(plane != null, "plane " + id + " read");
                Check.Equal(row.Alignment, plane.Record.Alignment, id + " alignment");
                Check.Equal(row.Size.Width, plane.Record.Size.Width, id + " width");
                Check.Equal(row.Size.Height, plane.Record.Size.Height, id + " height");
                Check.Equal(row.LocationFlags, plane.Record.LocationFlags, id + " location flags");
                Check.Equal(Text(row.Pose), Text(plane.Record.Pose), id + " pose");
                Check.Sequence(row.Vertices.Select(v => v.ToString()), plane.Vertices.Select(v => v.ToString()), id + " vertices");
                Check.Sequence(row.Indices, plane.Indices, id + " indices");
            }

            Plane[] vertical = Planes.Read(PlaneFilter.Vertical);
            Check.Sequence(new[] { PlaneAlignment.Vertical }, vertical.Select(p => p.Record.Alignment), "vertical planes only");
            // Removing the name twice while another provider stays: the plug-in names it in its warning.
            Kelbrin.RegisterProviderWithSceneObserver("other", SceneFeatures.Plane);
            Kelbrin.UnregisterProviderWithSceneObserver(script);
            Kelbrin.UnregisterProviderWithSceneObserver(script);
            Check.Equal(1u, TestHost.TraceCount("Could not remove provider " + script), "the name's bytes in the plug-in's warning");
            Kelbrin.UnregisterProviderWithSceneObserver("other");
            Kelbrin.UnityPluginUnload();
            Check.Equal(0u, TestHost.LiveHandleCount("XrSceneObserverMSFT"), "scene observer released");
        }

        // The last frame's layers as (type, first values) text, for comparing whole frames.
        private static string[] Frame(params int[] valueCounts)
        {
            return TestHost.ReceivedLayers().Select((layer, i) =>
                layer.Item1 + ":" + string.Join(" ", layer.Item2.Take(i < valueCounts.Length ? valueCounts[i] : 0))).ToArray();
        }

        private static string Layer(int type, params float[] values)
        {
            return type + ":" + string.Join(" ", values);
        }

        private const int QuadType = 36;        // XR_TYPE_COMPOSITION_LAYER_QUAD
        private const int CylinderType = 1000017000;
        private const int EquirectType = 1000091000;

        private static CompositionLayer MakeLayer(ulong instance, ulong session, int sortingOrder, LayerType type)
        {
            CompositionLayer layer = CompositionLayer.Create(instance, session, 64, 32, sortingOrder, type);
            Check.True(layer != null, type + " layer created");
            // The runtime takes a layer only once an image of its swapchain was released.
            Check.True(layer.AcquireImage() != IntPtr.Zero, type + " image acquired");
            layer.ReleaseImage();
            return layer;
        }

        // Skelder loaded by the engine (Vulkan), in the OpenXR chain, with an instance and a session.
        private static void LoadSkelder(out ulong instance, out ulong session)
        {
            TestHost.Create(TestHost.RendererVulkan);
            Skelder.UnityPluginLoad(TestHost.Interfaces());
            instance = TestHost.MakeInstance(Skelder.GetInterceptedInstanceProcAddr(TestHost.RuntimeLookup()), "");
            session = TestHost.MakeSession();
        }

        private static void SkelderLayersReachTheRuntime()
        {
            ulong instance, session;
            LoadSkelder(out instance, out session);
            Skelder.SetCompositionLayerFeatureEnabled(true);
            Skelder.SetMaxCompositionLayerCount(8);
            // The engine's first free render-event id (the stand-in starts at 1000).
            Check.Equal(1000, Skelder.ReserveEventIndices(4), "reserved event ids");

            CompositionLayer quad = MakeLayer(instance, session, 2, LayerType.Quad);
            CompositionLayer cylinder = MakeLayer(instance, session, 1, LayerType.Cylinder);
            CompositionLayer equirect = MakeLayer(instance, session, 3, LayerType.Equirect);
            Check.Equal(3u, TestHost.LiveHandleCount("XrSwapchain"), "one swapchain per layer");
            quad.SetPose(Pose(0, 0.6f, 0, 0.8f, 1, 2, -3));
            quad.SetQuadSize(2, 1.5f);
            cylinder.SetPose(Pose(0, 0, 0, 1, 0, 1.25f, 0));
            cylinder.SetCylinder(3, 1.2f);
            equirect.SetPose(Pose(0, 0, 0.28f, 0.96f, -1, 0, 0));
            equirect.SetEquirect(10, 2.5f, 0.75f, -0.5f);
            TestHost.RunFrame();
            Check.Sequence(new[] { Layer(CylinderType, 0, 0, 0, 1, 0, 1.25f, 0, 3, 1.2f),
                                   Layer(QuadType, 0, 0.6f, 0, 0.8f, 1, 2, -3, 2, 1.5f),
                                   Layer(EquirectType, 0, 0, 0.28f, 0.96f, -1, 0, 0, 10, 2.5f, 0.75f, -0.5f) },
                           Frame(9, 9, 11), "layers in sorting order with the values given");

            // Moved, resized, re-sorted and one hidden.
            quad.SetPose(Pose(0, 0, 0, 1, -4, 0.5f, 2));
            quad.SetQuadSize(0.25f, 4);
            quad.SortingOrder = 0;
            equirect.Visible = false;
            TestHost.RunFrame();
            Check.Sequence(new[] { Layer(QuadType, 0, 0, 0, 1, -4, 0.5f, 2, 0.25f, 4), Layer(CylinderType, 0, 0, 0, 1, 0, 1.25f, 0, 3, 1.2f) },
                           Frame(9, 9), "moved, resized and re-sorted quad; hidden equirect left out");
            equirect.Visible = true;
            TestHost.RunFrame();
            Check.Equal(3u, TestHost.ReceivedLayerCount(), "shown again");

            int cylinderId = cylinder.Id;
            cylinder.Dispose();
            Check.Equal(2u, TestHost.LiveHandleCount("XrSwapchain"), "disposing destroyed the swapchain");
            Check.True(!Skelder.DestroyCompositionLayer(cylinderId), "a destroyed layer is unknown");
            TestHost.RunFrame();
            Check.Sequence(new[] { QuadType, EquirectType }, TestHost.ReceivedLayers().Select(l => l.Item1), "destroyed layer gone");

            Skelder.DestroyCompositionLayersInSession(session);
            Check.Equal(0u, TestHost.LiveHandleCount("XrSwapchain"), "session's layers destroyed");
            Check.True(!quad.Destroy(), "quad already destroyed with its session");
            Skelder.UnityPluginUnload();
        }

        // What the callbacks saw. They are static methods carrying the attribute an ahead-of-time
        // build needs; each delegate is a new object, which only the binding keeps alive.
        private static class CallbackRecorder
        {
            public static int TestThread;
            public static int FrameStateCalls;
            public static bool FrameStateOnOtherThread;
            public static long FrameStateTime;
            public static ulong CreatedSwapchain;

            [AOT.MonoPInvokeCallback(typeof(FrameStateCallback))]
            public static void OnFrameState(ref XrFrameState state)
            {
                Interlocked.Increment(ref FrameStateCalls);
                FrameStateOnOtherThread = Thread.CurrentThread.ManagedThreadId != TestThread;
                FrameStateTime = state.PredictedDisplayTime;
            }

            [AOT.MonoPInvokeCallback(typeof(CreateSwapchainCallback))]
            public static void OnSwapchain(ulong swapchain)
            {
                CreatedSwapchain = swapchain;
            }
        }

        // No reference to the delegates stays on the test's side once this returns.
        [MethodImpl(MethodImplOptions.NoInlining)]
        private static void SetCallbacks()
        {
            Skelder.SetFrameStateCallback(new FrameStateCallback(CallbackRecorder.OnFrameState));
            Skelder.SetCreateSwapchainCallback(new CreateSwapchainCallback(CallbackRecorder.OnSwapchain));
        }

        private static void CallbacksSurviveCollection()
        {
            ulong instance, session;
            LoadSkelder(out instance, out session);
            CallbackRecorder.TestThread = Thread.CurrentThread.ManagedThreadId;
            SetCallbacks();
            GC.Collect();
            GC.WaitForPendingFinalizers();
            GC.Collect();

            Check.Equal(0, TestHost.WaitFrame(true), "xrWaitFrame on a frame thread");
            Check.Equal(1, CallbackRecorder.FrameStateCalls, "callback calls");
            Check.True(CallbackRecorder.FrameStateOnOtherThread, "called on the frame thread");
            Check.Equal(TestHost.LastPredictedDisplayTime(), CallbackRecorder.FrameStateTime, "the runtime's frame state");

            ulong swapchain = TestHost.CreateSwapchain();
            Check.True(swapchain != 0, "swapchain created");
            Check.Equal(swapchain, CallbackRecorder.CreatedSwapchain, "swapchain callback on the creating thread");

            Skelder.SetFrameStateCallback(null);
            Skelder.SetCreateSwapchainCallback(null);
            GC.Collect();
            Check.Equal(0, TestHost.WaitFrame(true), "xrWaitFrame without callback");
            Check.Equal(1, CallbackRecorder.FrameStateCalls, "switched off");
            Skelder.UnityPluginUnload();
        }

        // Each class declares exactly the exports of its library's native export table (typed from the
        // plug-in's own declarations), each resolves in the built library,
        // with the C calling convention, every bool crosses as one byte and every string as UTF-8
        // (on x86-64 a four-byte bool, and on Linux an ANSI string, would still pass the calls of
        // the other cases: the declarations are what can be checked).
        private static void EveryExportDeclaredAsTheLibraryExportsIt()
        {
            foreach (Type library in new[] { typeof(Kelbrin), typeof(Skelder), typeof(Wendrath) })
            {
                var imports = library.GetMethods(BindingFlags.Public | BindingFlags.NonPublic | BindingFlags.Static)
                                  .Where(m => m.IsDefined(typeof(DllImportAttribute), false)).ToArray();
                Check.Sequence(TestHost.ExportNames(library.Name).OrderBy(n => n, StringComparer.Ordinal),
                               imports.Select(m => m.GetCustomAttribute<DllImportAttribute>().EntryPoint ?? m.Name).Distinct()
                                      .OrderBy(n => n, StringComparer.Ordinal),
                               library.Name + " exports");
                foreach (MethodInfo import in imports)
                {
                    Marshal.Prelink(import);
                    Check.Equal(CallingConvention.Cdecl, import.GetCustomAttribute<DllImportAttribute>().CallingConvention, import.Name);
                    foreach (ParameterInfo value in import.GetParameters().Concat(new[] { import.ReturnParameter }))
                    {
                        var marshalAs = (MarshalAsAttribute)value.GetCustomAttributes(typeof(MarshalAsAttribute), false).SingleOrDefault();
                        string what = import.Name + " " + (value.Name ?? "result");
                        if (value.ParameterType == typeof(bool))
                        {
                            Check.True(marshalAs != null && marshalAs.Value == UnmanagedType.U1, what + " crosses as one byte");
                        }
                        if (value.ParameterType == typeof(string))
                        {
                            Check.True(marshalAs != null && marshalAs.Value == UnmanagedType.LPUTF8Str, what + " crosses as UTF-8");
                        }
                    }
                }
            }
        }

        private static void BooleansCrossAsOneByte()
        {
            ulong instance, session;
            LoadSkelder(out instance, out session);
            // Returned: constant true, then values that change with the frame.
            Check.True(Skelder.UseNativeTexture(), "UseNativeTexture");
            Skelder.SetCompositionLayerFeatureEnabled(true);
            Skelder.SetMaxCompositionLayerCount(4);
            using (CompositionLayer quad = MakeLayer(instance, session, 0, LayerType.Quad))
            {
                Check.Equal(0, TestHost.WaitFrame(false), "xrWaitFrame");
                Check.True(!Skelder.IsXrFrameInProgress(), "no frame in progress before xrBeginFrame");
                Check.Equal(0, TestHost.BeginFrame(), "xrBeginFrame");
                Check.True(Skelder.IsXrFrameInProgress(), "frame in progress");
                Check.Equal(0, TestHost.EndFrame(), "xrEndFrame");
                Check.True(!Skelder.IsXrFrameInProgress(), "frame over");

                // Passed: each flag off and on again.
                foreach (bool enabled in new[] { false, true })
                {
                    Skelder.SetCompositionLayerFeatureEnabled(enabled);
                    TestHost.RunFrame();
                    Check.Equal(enabled ? 1u : 0u, TestHost.ReceivedLayerCount(), "layers with the feature " + enabled);
                }
                foreach (bool visible in new[] { false, true })
                {
                    quad.Visible = visible;
                    TestHost.RunFrame();
                    Check.Equal(visible ? 1u : 0u, TestHost.ReceivedLayerCount(), "layers with the quad visible " + visible);
                }
                Check.True(Skelder.DestroyCompositionLayer(quad.Id), "a live layer is destroyed");
            }
            Skelder.UnityPluginUnload();

            TestHost.Create(TestHost.RendererOpenGles30);
            Kelbrin.UnityPluginLoad(TestHost.Interfaces());
            Check.True(Kelbrin.RegisterMeshingLifecycleProvider(), "lifecycle registered");
            Check.True(!Kelbrin.UpdateObservedScene("nobody"), "no such provider");
            Kelbrin.UnityPluginUnload();
            Check.True(!Kelbrin.RegisterMeshingLifecycleProvider(), "unloaded");
        }

        private static void WendrathRenderEventFromAScriptRecord()
        {
            TestHost.Create(TestHost.RendererOpenGles30);
            Wendrath.UnityPluginLoad(TestHost.Interfaces());
            TestHost.FireDeviceEvent(TestHost.DeviceEventInitialize);
            IntPtr renderEvent = Wendrath.GetRenderEventFuncPtr();
            Check.True(renderEvent != IntPtr.Zero, "render-event function");

            using (var cameraEvent = new CameraRenderEvent(new[] { new IntPtr(0x5000), new IntPtr(0x5100) }, new uint[] { 100, 101 }, 64, 48))
            {
                // A script holds the mutex while it changes the event's buffers; the render thread runs after.
                Wendrath.LockMutex();
                Wendrath.UnlockMutex();
                TestHost.RunRenderEvent(renderEvent, Wendrath.RenderHwBuffersEventId, cameraEvent.Data);
            }
            Check.Equal(2u, TestHost.GlCallCount("glDrawElements("), "one draw per frame");
            Check.Equal(1u, TestHost.GlCallCount("eglGetNativeClientBufferANDROID(0x5000)"), "first buffer");
            Check.Equal(1u, TestHost.GlCallCount("eglGetNativeClientBufferANDROID(0x5100)"), "second buffer");
            Check.Equal(1u, TestHost.GlCallCount(", 100, 0)"), "first target texture attached");
            Check.Equal(1u, TestHost.GlCallCount(", 101, 0)"), "second target texture attached");
            Check.True(TestHost.GlCallCount("glViewport(0, 0, 64, 48)") > 0, "viewport of the record's size");
            TestHost.FireDeviceEvent(TestHost.DeviceEventShutdown);
            Check.Equal(0u, TestHost.GlMisuseCount(), "GL misuses");
        }
    }
}

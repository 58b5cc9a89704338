// The native test host (libquenra_binding_test_host.so): engine stand-ins, the OpenXR runtime
// (the simulated runtime library it opens) and recording GL, reached as a script reaches a plug-in.
using System;
using System.Runtime.InteropServices;

namespace Quenra.Tests
{
    internal static class TestHost
    {
        private const string Library = "quenra_binding_test_host";

        public const int RendererOpenGles30 = 11;
        public const int RendererVulkan = 21;
        public const int DeviceEventInitialize = 0;
        public const int DeviceEventShutdown = 1;

        [DllImport(Library, EntryPoint = "TestHost_Create", CallingConvention = CallingConvention.Cdecl)]
        public static extern void Create(int renderer);

        [DllImport(Library, EntryPoint = "TestHost_Destroy", CallingConvention = CallingConvention.Cdecl)]
        public static extern void Destroy();

        [DllImport(Library, EntryPoint = "TestHost_Interfaces", CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr Interfaces();

        [DllImport(Library, EntryPoint = "TestHost_FireDeviceEvent", CallingConvention = CallingConvention.Cdecl)]
        public static extern void FireDeviceEvent(int type);

        [DllImport(Library, EntryPoint = "TestHost_TraceCount", CallingConvention = CallingConvention.Cdecl)]
        public static extern uint TraceCount([MarshalAs(UnmanagedType.LPUTF8Str)] string text);

        [DllImport(Library, EntryPoint = "TestHost_SizeOf", CallingConvention = CallingConvention.Cdecl)]
        public static extern long SizeOf(string record);

        [DllImport(Library, EntryPoint = "TestHost_OffsetOf", CallingConvention = CallingConvention.Cdecl)]
        public static extern long OffsetOf(string record, string field);

        [DllImport(Library, EntryPoint = "TestHost_ExportName", CallingConvention = CallingConvention.Cdecl)]
        private static extern IntPtr ExportName(string plugin, uint index);

        // The plug-in's exports as the native export table names them (plugin: its binding class's name).
        public static string[] ExportNames(string plugin)
        {
            var names = new System.Collections.Generic.List<string>();
            for (IntPtr name; (name = ExportName(plugin, (uint)names.Count)) != IntPtr.Zero;)
            {
                names.Add(Marshal.PtrToStringAnsi(name));
            }
            return names.ToArray();
        }

        [DllImport(Library, EntryPoint = "TestHost_RuntimeLookup", CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr RuntimeLookup();

        [DllImport(Library, EntryPoint = "TestHost_RecordingLookup", CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr RecordingLookup(IntPtr next);

        [DllImport(Library, EntryPoint = "TestHost_AppliedFoveationLevels", CallingConvention = CallingConvention.Cdecl)]
        public static extern uint AppliedFoveationLevels([Out] int[] levels, uint capacity);

        // Starts the application from `lookup` with an instance of these extensions (separated by
        // spaces); the application's other calls go through the same lookup.
        [DllImport(Library, EntryPoint = "TestHost_MakeInstance", CallingConvention = CallingConvention.Cdecl)]
        public static extern ulong MakeInstance(IntPtr lookup, [MarshalAs(UnmanagedType.LPUTF8Str)] string extensions);

        [DllImport(Library, EntryPoint = "TestHost_MakeSession", CallingConvention = CallingConvention.Cdecl)]
        public static extern ulong MakeSession();

        [DllImport(Library, EntryPoint = "TestHost_MakeSpace", CallingConvention = CallingConvention.Cdecl)]
        public static extern ulong MakeSpace();

        // With its swapchains and space; the first failed result, or 0.
        [DllImport(Library, EntryPoint = "TestHost_DestroySession", CallingConvention = CallingConvention.Cdecl)]
        public static extern int DestroySession();

        [DllImport(Library, EntryPoint = "TestHost_DestroyInstance", CallingConvention = CallingConvention.Cdecl)]
        public static extern int DestroyInstance();

        [DllImport(Library, EntryPoint = "TestHost_LiveHandleCount", CallingConvention = CallingConvention.Cdecl)]
        public static extern uint LiveHandleCount(string kind);

        [DllImport(Library, EntryPoint = "TestHost_AddMesh", CallingConvention = CallingConvention.Cdecl)]
        public static extern void AddMesh(byte[] id, float x, float y, float z, float size);

        [DllImport(Library, EntryPoint = "TestHost_LifecycleRegistrationCount", CallingConvention = CallingConvention.Cdecl)]
        public static extern uint LifecycleRegistrationCount();

        // field 0: plugin name, 1: subsystem id.
        [DllImport(Library, EntryPoint = "TestHost_LifecycleRegistration", CallingConvention = CallingConvention.Cdecl)]
        private static extern IntPtr LifecycleRegistrationText(uint index, int field);

        public static string LifecycleRegistration(uint index, int field)
        {
            return Marshal.PtrToStringAnsi(LifecycleRegistrationText(index, field));
        }

        // One engine update of the meshing subsystem: the meshes acquired whole.
        [DllImport(Library, EntryPoint = "TestHost_UpdateMeshes", CallingConvention = CallingConvention.Cdecl)]
        public static extern uint UpdateMeshes(out uint listed);

        [DllImport(Library, EntryPoint = "TestHost_LastPredictedDisplayTime", CallingConvention = CallingConvention.Cdecl)]
        public static extern long LastPredictedDisplayTime();

        [DllImport(Library, EntryPoint = "TestHost_AddPlane", CallingConvention = CallingConvention.Cdecl)]
        public static extern void AddPlane(byte[] id, int alignment, float[] poseAndSize, ulong locationFlags,
                                           float[] vertices, uint vertexCount, uint[] indices, uint indexCount);

        [DllImport(Library, EntryPoint = "TestHost_WaitFrame", CallingConvention = CallingConvention.Cdecl)]
        public static extern int WaitFrame([MarshalAs(UnmanagedType.U1)] bool onOtherThread);

        [DllImport(Library, EntryPoint = "TestHost_BeginFrame", CallingConvention = CallingConvention.Cdecl)]
        public static extern int BeginFrame();

        [DllImport(Library, EntryPoint = "TestHost_EndFrame", CallingConvention = CallingConvention.Cdecl)]
        public static extern int EndFrame();

        [DllImport(Library, EntryPoint = "TestHost_CreateSwapchain", CallingConvention = CallingConvention.Cdecl)]
        public static extern ulong CreateSwapchain();

        [DllImport(Library, EntryPoint = "TestHost_ReceivedLayerCount", CallingConvention = CallingConvention.Cdecl)]
        public static extern uint ReceivedLayerCount();

        [DllImport(Library, EntryPoint = "TestHost_ReceivedLayer", CallingConvention = CallingConvention.Cdecl)]
        public static extern int ReceivedLayer(uint index, [Out] float[] values, uint capacity);

        [DllImport(Library, EntryPoint = "TestHost_RunRenderEvent", CallingConvention = CallingConvention.Cdecl)]
        public static extern void RunRenderEvent(IntPtr function, int eventId, IntPtr data);

        [DllImport(Library, EntryPoint = "TestHost_GlCallCount", CallingConvention = CallingConvention.Cdecl)]
        public static extern uint GlCallCount(string text);

        [DllImport(Library, EntryPoint = "TestHost_GlMisuseCount", CallingConvention = CallingConvention.Cdecl)]
        public static extern uint GlMisuseCount();

        // Waits, begins and ends one frame; every step must succeed.
        public static void RunFrame()
        {
            Check.Equal(0, WaitFrame(false), "xrWaitFrame");
            Check.Equal(0, BeginFrame(), "xrBeginFrame");
            Check.Equal(0, EndFrame(), "xrEndFrame");
        }

        // The last ended frame's layers: structure type and values.
        public static Tuple<int, float[]>[] ReceivedLayers()
        {
            var layers = new Tuple<int, float[]>[ReceivedLayerCount()];
            for (uint i = 0; i < layers.Length; ++i)
            {
                var values = new float[16];
                int type = ReceivedLayer(i, values, (uint)values.Length);
                layers[i] = Tuple.Create(type, values);
            }
            return layers;
        }
    }
}

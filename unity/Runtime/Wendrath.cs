// libWendrath: camera frames from Android hardware buffers drawn into engine GL ES textures on
// the render thread. Scripts issue render event 0 with a RenderHwBuffersEventArgs record.
using System;
using System.Runtime.InteropServices;

namespace Quenra
{
    // The record of a camera render event, 32 bytes: entry i of the two arrays belong together.
    [StructLayout(LayoutKind.Explicit, Size = 32)]
    public struct RenderHwBuffersEventArgs
    {
        [FieldOffset(0)] public int BufferCount;
        // Size in pixels of every target texture.
        [FieldOffset(4)] public int Width;
        [FieldOffset(8)] public int Height;
        // AHardwareBuffer* [BufferCount]: the camera frames.
        [FieldOffset(16)] public IntPtr HardwareBuffers;
        // uint [BufferCount]: GL texture names to draw into.
        [FieldOffset(24)] public IntPtr TargetTextures;
    }

    public static class Wendrath
    {
        // libWendrath.so on Android and Linux.
        public const string Library = "Wendrath";

        // The event id the render-event function handles.
        public const int RenderHwBuffersEventId = 0;

        // Called by the engine itself.
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void UnityPluginLoad(IntPtr unityInterfaces);

        // The function to pass to CommandBuffer.IssuePluginEventAndData.
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr GetRenderEventFuncPtr();

        // Keeps the render thread from drawing while a script changes an event's buffers or
        // textures. One UnlockMutex per LockMutex, from the same thread.
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void LockMutex();

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void UnlockMutex();
    }

    // A render event's record and arrays in memory the collector does not move, for as long as the
    // render thread may read them: dispose only after the event ran (or under LockMutex).
    public sealed class CameraRenderEvent : IDisposable
    {
        private GCHandle buffers;
        private GCHandle textures;

        public CameraRenderEvent(IntPtr[] hardwareBuffers, uint[] targetTextures, int width, int height)
        {
            if (hardwareBuffers.Length != targetTextures.Length)
            {
                throw new ArgumentException("one target texture per hardware buffer");
            }
            buffers = GCHandle.Alloc(hardwareBuffers, GCHandleType.Pinned);
            textures = GCHandle.Alloc(targetTextures, GCHandleType.Pinned);
            var args = new RenderHwBuffersEventArgs
            {
                BufferCount = hardwareBuffers.Length,
                Width = width,
                Height = height,
                HardwareBuffers = buffers.AddrOfPinnedObject(),
                TargetTextures = textures.AddrOfPinnedObject(),
            };
            Data = Marshal.AllocHGlobal(Marshal.SizeOf(typeof(RenderHwBuffersEventArgs)));
            Marshal.StructureToPtr(args, Data, false);
        }

        // The record's address: the data argument of IssuePluginEventAndData.
        public IntPtr Data { get; private set; }

        public void Dispose()
        {
            if (Data == IntPtr.Zero)
            {
                return;
            }
            Marshal.FreeHGlobal(Data);
            Data = IntPtr.Zero;
            buffers.Free();
            textures.Free();
        }
    }
}

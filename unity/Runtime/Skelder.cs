// Skelder: composition layers added to every OpenXR frame, and foveation. The library sits
// in the application's OpenXR chain (GetInterceptedInstanceProcAddr, before the instance is
// created); scripts then set flags and create layers once a session exists.
using System;
using System.Runtime.InteropServices;

namespace Quenra
{
    // The layer kinds CreateCompositionLayer takes.
    public enum LayerType : uint
    {
        Quad = 1,
        Cube = 2,
        Cylinder = 3,
        Equirect = 4,
        Passthrough = 5,
    }

    // OpenXR's XrFoveationLevelFB.
    public enum FoveationLevel : int
    {
        None = 0,
        Low = 1,
        Medium = 2,
        High = 3,
    }

    // Called on the thread that waits for frames, with the state the runtime wrote; the
    // callback may read and change it before the application sees it.
    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
    public delegate void FrameStateCallback(ref XrFrameState frameState);

    // Called with the handle of every swapchain the application creates (0 if creation failed).
    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
    public delegate void CreateSwapchainCallback(ulong swapchain);

    // The library's 32 exports. OpenXR handles are ulong; booleans cross as one byte.
    // The per-layer functions (CreateCompositionLayer to SetMaxCompositionLayerCount) and
    // ReserveEventIndices do nothing before the engine loaded the library and after it
    // unloaded it; the flags, callbacks and RequestLayers work at any time.
    public static class Skelder
    {
        // Skelder.dll on Windows, libSkelder.so on Linux.
        public const string Library = "Skelder";

        // Called by the engine itself; scripts do not call the two below.
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void UnityPluginLoad(IntPtr unityInterfaces);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void UnityPluginUnload();

        // Takes the next xrGetInstanceProcAddr of the chain, returns the one to hand to the application.
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr GetInterceptedInstanceProcAddr(IntPtr next);

        // OpenXR API layer names separated by single spaces, enabled at the next instance creation.
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void RequestLayers([MarshalAs(UnmanagedType.LPUTF8Str)] string names);

        // The new layer's id, 0 on failure. The last argument is not used.
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int CreateCompositionLayer(ulong instance, ulong session, uint width, uint height,
                                                        int sortingOrder, LayerType layerType,
                                                        [MarshalAs(UnmanagedType.U1)] bool unused);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool DestroyCompositionLayer(int layerId);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void DestroyCompositionLayersInSession(ulong session);

        // The native texture of the acquired image, or IntPtr.Zero.
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr AcquireSwapchainImageForLayer(int layerId);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void ReleaseSwapchainImageForLayer(int layerId);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SendToSwapchain(int layerId, IntPtr texture, uint first, uint second);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetLayerVisible(int layerId, [MarshalAs(UnmanagedType.U1)] bool visible);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetSortingOrderForLayer(int layerId, int sortingOrder);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetPositionForLayer(int layerId, float x, float y, float z);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetOrientationForLayer(int layerId, float x, float y, float z, float w);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetSizeForQuadLayer(int layerId, float width, float height);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetRadiusForCylinderLayer(int layerId, float radius);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetCentralAngleForCylinderLayer(int layerId, float angle);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetRadiusForEquirectLayer(int layerId, float radius);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetCentralHorizontalAngleForEquirectLayer(int layerId, float angle);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetUpperVerticalAngleForEquirectLayer(int layerId, float angle);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetLowerVerticalAngleForEquirectLayer(int layerId, float angle);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetMaxCompositionLayerCount(uint count);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetCompositionLayerFeatureEnabled([MarshalAs(UnmanagedType.U1)] bool enabled);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetEnableFoveation([MarshalAs(UnmanagedType.U1)] bool enabled);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetFoveationLevel(ulong instance, ulong session, FoveationLevel level);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetFusionSupported([MarshalAs(UnmanagedType.U1)] bool supported);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, EntryPoint = "SetFrameStateCallback")]
        private static extern void SetFrameStateCallbackNative(FrameStateCallback callback);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, EntryPoint = "SetCreateSwapchainCallback")]
        private static extern void SetCreateSwapchainCallbackNative(CreateSwapchainCallback callback);

        // The first of count render-event ids reserved with the engine.
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int ReserveEventIndices(int count);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool IsXrFrameInProgress();

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool IsPassthroughSupported();

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool UseNativeTexture();

        // The library keeps only a function pointer: the delegates it calls are held here for as
        // long as they are set, or the collector could free them under the frame thread.
        private static readonly object CallbackLock = new object();
#pragma warning disable 414 // held, never read: the references are what keeps the delegates alive
        private static FrameStateCallback frameStateCallback;
        private static CreateSwapchainCallback createSwapchainCallback;
#pragma warning restore 414

        // Null switches the callback off. In an AOT engine build, pass a delegate of a static
        // method marked [Quenra.Aot.MonoPInvokeCallback(typeof(FrameStateCallback))].
        public static void SetFrameStateCallback(FrameStateCallback callback)
        {
            lock (CallbackLock)
            {
                // The old delegate stays referenced until the library holds the new one.
                SetFrameStateCallbackNative(callback);
                frameStateCallback = callback;
            }
        }

        // As SetFrameStateCallback, with [Quenra.Aot.MonoPInvokeCallback(typeof(CreateSwapchainCallback))].
        public static void SetCreateSwapchainCallback(CreateSwapchainCallback callback)
        {
            lock (CallbackLock)
            {
                SetCreateSwapchainCallbackNative(callback);
                createSwapchainCallback = callback;
            }
        }
    }

    // A layer made through Skelder; Dispose destroys it.
    public sealed class CompositionLayer : IDisposable
    {
        private CompositionLayer(int id)
        {
            Id = id;
        }

        // The layer, or null when the library could not make it.
        public static CompositionLayer Create(ulong instance, ulong session, uint width, uint height, int sortingOrder,
                                              LayerType type)
        {
            int id = Skelder.CreateCompositionLayer(instance, session, width, height, sortingOrder, type, false);
            return id != 0 ? new CompositionLayer(id) : null;
        }

        // The library's id of the layer; 0 once disposed.
        public int Id { get; private set; }

        public bool Visible
        {
            set { Skelder.SetLayerVisible(Id, value); }
        }

        public int SortingOrder
        {
            set { Skelder.SetSortingOrderForLayer(Id, value); }
        }

        public void SetPose(XrPosef pose)
        {
            Skelder.SetPositionForLayer(Id, pose.Position.X, pose.Position.Y, pose.Position.Z);
            Skelder.SetOrientationForLayer(Id, pose.Orientation.X, pose.Orientation.Y, pose.Orientation.Z,
                                           pose.Orientation.W);
        }

        public void SetQuadSize(float width, float height)
        {
            Skelder.SetSizeForQuadLayer(Id, width, height);
        }

        public void SetCylinder(float radius, float centralAngle)
        {
            Skelder.SetRadiusForCylinderLayer(Id, radius);
            Skelder.SetCentralAngleForCylinderLayer(Id, centralAngle);
        }

        public void SetEquirect(float radius, float centralHorizontalAngle, float upperVerticalAngle,
                                float lowerVerticalAngle)
        {
            Skelder.SetRadiusForEquirectLayer(Id, radius);
            Skelder.SetCentralHorizontalAngleForEquirectLayer(Id, centralHorizontalAngle);
            Skelder.SetUpperVerticalAngleForEquirectLayer(Id, upperVerticalAngle);
            Skelder.SetLowerVerticalAngleForEquirectLayer(Id, lowerVerticalAngle);
        }

        // The native texture of the next swapchain image to draw into; Release hands it back.
        public IntPtr AcquireImage()
        {
            return Skelder.AcquireSwapchainImageForLayer(Id);
        }

        public void ReleaseImage()
        {
            Skelder.ReleaseSwapchainImageForLayer(Id);
        }

        // Whether the library still had the layer.
        public bool Destroy()
        {
            bool destroyed = Id != 0 && Skelder.DestroyCompositionLayer(Id);
            Id = 0;
            return destroyed;
        }

        public void Dispose()
        {
            Destroy();
        }
    }
}

// libKelbrin: scene understanding. The engine loads the library and drives its meshing
// subsystem; scripts connect OpenXR, register as scene providers and read planes.
using System;
using System.Runtime.InteropServices;

namespace Quenra
{
    // What a scene provider asks the runtime to compute.
    [Flags]
    public enum SceneFeatures : int
    {
        Plane = 1,
        PlaneMesh = 2,
        VisualMesh = 4,
    }

    // Which plane alignments a plane read keeps.
    [Flags]
    public enum PlaneFilter : uint
    {
        None = 0,
        Horizontal = 1,
        Vertical = 2,
        NonOrthogonal = 4,
        All = Horizontal | Vertical | NonOrthogonal,
    }

    // OpenXR's XrScenePlaneAlignmentTypeMSFT.
    public enum PlaneAlignment : int
    {
        NonOrthogonal = 0,
        Horizontal = 1,
        Vertical = 2,
    }

    // The engine's mesh identifier: the plane component's 16-byte OpenXR identifier.
    [StructLayout(LayoutKind.Sequential)]
    public struct MeshId : IEquatable<MeshId>
    {
        public ulong IdPart0;
        public ulong IdPart1;

        public bool Equals(MeshId other)
        {
            return IdPart0 == other.IdPart0 && IdPart1 == other.IdPart1;
        }

        public override bool Equals(object other)
        {
            return other is MeshId && Equals((MeshId)other);
        }

        public override int GetHashCode()
        {
            return IdPart0.GetHashCode() ^ (IdPart1.GetHashCode() * 31);
        }

        public override string ToString()
        {
            return IdPart0.ToString("x16") + IdPart1.ToString("x16");
        }
    }

    // One plane, in the OpenXR convention (right-handed, metres), 80 bytes.
    [StructLayout(LayoutKind.Explicit, Size = 80)]
    public struct ScenePlane
    {
        [FieldOffset(0)] public MeshId Id;
        [FieldOffset(16)] public PlaneAlignment Alignment;
        [FieldOffset(20)] public XrExtent2Df Size;
        // XrSpaceLocationFlags of the pose.
        [FieldOffset(32)] public ulong LocationFlags;
        [FieldOffset(40)] public XrPosef Pose;
        // What the plane's mesh held when the record was fetched.
        [FieldOffset(68)] public uint VertexCount;
        [FieldOffset(72)] public uint IndexCount;
    }

    // The library's exports. Every one does nothing and returns false or zero before the
    // engine loaded the library (UnityPluginLoad) and after it unloaded it.
    public static class Kelbrin
    {
        // libKelbrin.so on Android and Linux, Kelbrin.dll on Windows.
        public const string Library = "Kelbrin";

        // Called by the engine itself; scripts do not call the two below.
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void UnityPluginLoad(IntPtr unityInterfaces);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void UnityPluginUnload();

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool RegisterMeshingLifecycleProvider();

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void RegisterProviderWithSceneObserver([MarshalAs(UnmanagedType.LPUTF8Str)] string name,
                                                                    SceneFeatures features);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void UnregisterProviderWithSceneObserver([MarshalAs(UnmanagedType.LPUTF8Str)] string name);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetInstanceHandle(ulong instance);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetSessionHandle(ulong session);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetSpaceHandle(ulong space);

        // Takes the loader's xrGetInstanceProcAddr, returns the one to hand to the application.
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr GetInterceptedInstanceProcAddr(IntPtr loaderFunction);

        // One step of the scene compute cycle for the named provider.
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool UpdateObservedScene([MarshalAs(UnmanagedType.LPUTF8Str)] string name);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool UpdatePlanes();

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool CountScenePlanes(out uint count);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool FetchScenePlanes(uint count, [Out] ScenePlane[] planes);

        // The arrays must hold at least plane.VertexCount and plane.IndexCount elements.
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool FetchPlaneVertices([In] ref ScenePlane plane, [Out] XrVector3f[] vertices,
                                                     [Out] uint[] indices);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetPlanesFilterFlags(PlaneFilter flags);
    }

    // A plane with its mesh.
    public sealed class Plane
    {
        public ScenePlane Record;
        public XrVector3f[] Vertices;
        public uint[] Indices;
    }

    public static class Planes
    {
        // Reads the current scene's planes of the given alignments with their meshes, in the
        // order the library requires: filter, update, count, fetch, then each plane's mesh.
        // Null when there is no current scene (the scene compute has not completed yet).
        public static Plane[] Read(PlaneFilter filter)
        {
            Kelbrin.SetPlanesFilterFlags(filter);
            uint count;
            if (!Kelbrin.UpdatePlanes() || !Kelbrin.CountScenePlanes(out count))
            {
                return null;
            }
            var records = new ScenePlane[count];
            if (count > 0 && !Kelbrin.FetchScenePlanes(count, records))
            {
                return null;
            }
            var planes = new Plane[count];
            for (int i = 0; i < records.Length; ++i)
            {
                var plane = new Plane
                {
                    Record = records[i],
                    Vertices = new XrVector3f[records[i].VertexCount],
                    Indices = new uint[records[i].IndexCount],
                };
                // A plane without a mesh (none asked for, or none read) keeps empty arrays.
                if (plane.Vertices.Length > 0 && !Kelbrin.FetchPlaneVertices(ref records[i], plane.Vertices, plane.Indices))
                {
                    plane.Vertices = new XrVector3f[0];
                    plane.Indices = new uint[0];
                }
                planes[i] = plane;
            }
            return planes;
        }
    }
}

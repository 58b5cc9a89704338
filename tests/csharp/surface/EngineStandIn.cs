// The engine behind the declared surface: subsystem descriptors from the package's
// UnitySubsystemsManifest.json (as the engine finds native providers), and the meshing subsystem
// run by the test host's stand-in with the lifecycle the plug-in registered.
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Runtime.InteropServices;
using System.Web.Script.Serialization;
using UnityEngine;
using UnityEngine.XR;

namespace Quenra.Tests.Engine
{
    public static class EngineStandIn
    {
        private const string Host = "quenra_binding_test_host";

        // Where the package's manifest is; set by the test's environment.
        public const string ManifestVariable = "QUENRA_SUBSYSTEMS_MANIFEST";

        private static readonly Dictionary<Type, ISubsystem> Created = new Dictionary<Type, ISubsystem>();

        [DllImport(Host, EntryPoint = "TestHost_CreateMeshSubsystem", CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        private static extern bool HostCreateMeshSubsystem([MarshalAs(UnmanagedType.LPUTF8Str)] string pluginName,
                                                           [MarshalAs(UnmanagedType.LPUTF8Str)] string id);

        [DllImport(Host, EntryPoint = "TestHost_StartMeshSubsystem", CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        private static extern bool HostStartMeshSubsystem();

        [DllImport(Host, EntryPoint = "TestHost_StopMeshSubsystem", CallingConvention = CallingConvention.Cdecl)]
        private static extern void HostStopMeshSubsystem();

        [DllImport(Host, EntryPoint = "TestHost_DestroyMeshSubsystem", CallingConvention = CallingConvention.Cdecl)]
        private static extern void HostDestroyMeshSubsystem();

        // The manifest as the engine reads it.
        public static Dictionary<string, object> Manifest()
        {
            string path = Environment.GetEnvironmentVariable(ManifestVariable);
            return new JavaScriptSerializer().Deserialize<Dictionary<string, object>>(File.ReadAllText(path));
        }

        // The ids of the manifest's "meshings" list.
        public static IEnumerable<string> MeshingIds(Dictionary<string, object> manifest)
        {
            object meshings;
            return manifest.TryGetValue("meshings", out meshings)
                       ? ((System.Collections.IEnumerable)meshings).Cast<Dictionary<string, object>>().Select(m => (string)m["id"])
                       : Enumerable.Empty<string>();
        }

        private static IEnumerable<XRMeshSubsystemDescriptor> MeshDescriptors()
        {
            Dictionary<string, object> manifest = Manifest();
            return MeshingIds(manifest).Select(id => new XRMeshSubsystemDescriptor((string)manifest["name"], id)).ToList();
        }

        // As the OpenXR loader does: fills the list with the engine's descriptors of that type and
        // creates the subsystem of the one with that id, if any.
        public static void CreateSubsystem<TDescriptor, TSubsystem>(List<TDescriptor> descriptors, string id)
            where TDescriptor : ISubsystemDescriptor where TSubsystem : ISubsystem
        {
            descriptors.Clear();
            descriptors.AddRange(MeshDescriptors().OfType<TDescriptor>());
            foreach (TDescriptor descriptor in descriptors.Where(d => string.Equals(d.id, id, StringComparison.OrdinalIgnoreCase)))
            {
                ISubsystem subsystem = descriptor.Create();
                if (subsystem != null)
                {
                    Created[typeof(TSubsystem)] = subsystem;
                }
                return;
            }
        }

        public static T Subsystem<T>() where T : class, ISubsystem
        {
            ISubsystem subsystem;
            return Created.TryGetValue(typeof(T), out subsystem) ? (T)subsystem : null;
        }

        public static bool MeshSubsystemExists
        {
            get { return Created.ContainsKey(typeof(XRMeshSubsystem)); }
        }

        internal static XRMeshSubsystem CreateMeshSubsystem(XRMeshSubsystemDescriptor descriptor)
        {
            return HostCreateMeshSubsystem(descriptor.PluginName, descriptor.id) ? new XRMeshSubsystem() : null;
        }

        internal static bool StartMeshSubsystem()
        {
            return HostStartMeshSubsystem();
        }

        internal static void StopMeshSubsystem()
        {
            HostStopMeshSubsystem();
        }

        internal static void DestroyMeshSubsystem(XRMeshSubsystem subsystem)
        {
            HostDestroyMeshSubsystem();
            Created.Remove(typeof(XRMeshSubsystem));
        }
    }
}

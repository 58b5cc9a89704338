// Wires libKelbrin into the engine's OpenXR start on Android: its interceptor into the lookup
// chain, the OpenXR handles as the engine reports them, and the engine's meshing subsystem that
// libKelbrin provides, created by the id libKelbrin registers it under.
using System;
using System.Collections.Generic;
using UnityEngine.XR;
using UnityEngine.XR.OpenXR.Features;
#if UNITY_EDITOR
using UnityEditor;
using UnityEditor.XR.OpenXR.Features;
#endif

namespace Quenra.OpenXR
{
#if UNITY_EDITOR
    [OpenXRFeature(UiName = "Quenra Scene Meshing",
                   Desc = "Scene understanding meshes for the engine's meshing subsystem, and planes for scripts (libKelbrin).",
                   Company = "Quenra",
                   Version = "1.0.0",
                   BuildTargetGroups = new[] { BuildTargetGroup.Android },
                   OpenxrExtensionStrings = Extensions,
                   FeatureId = FeatureId)]
#endif
    public class SceneMeshingFeature : OpenXRFeature
    {
        public const string FeatureId = "com.quenra.plugins.scene-meshing";
        public const string Extensions = "XR_MSFT_scene_understanding";
        // The id libKelbrin registers its meshing lifecycle provider under, as the package's
        // UnitySubsystemsManifest.json lists it.
        public const string MeshSubsystemId = "Quenra-MeshSubsystem";

        private static readonly List<XRMeshSubsystemDescriptor> MeshDescriptors = new List<XRMeshSubsystemDescriptor>();

        protected override IntPtr HookGetInstanceProcAddr(IntPtr func)
        {
            return PluginLibrary.Chain(Kelbrin.GetInterceptedInstanceProcAddr, func);
        }

        protected override bool OnInstanceCreate(ulong xrInstance)
        {
            PluginLibrary.Call(() => Kelbrin.SetInstanceHandle(xrInstance));
            return true;
        }

        protected override void OnSessionCreate(ulong xrSession)
        {
            PluginLibrary.Call(() => Kelbrin.SetSessionHandle(xrSession));
        }

        protected override void OnAppSpaceChange(ulong xrSpace)
        {
            PluginLibrary.Call(() => Kelbrin.SetSpaceHandle(xrSpace));
        }

        // Called before xrDestroySession: libKelbrin releases what it made on the session while
        // the session still exists, and makes it anew on the next one.
        protected override void OnSessionDestroy(ulong xrSession)
        {
            PluginLibrary.Call(() => Kelbrin.SetSpaceHandle(0));
            PluginLibrary.Call(() => Kelbrin.SetSessionHandle(0));
        }

        protected override void OnInstanceDestroy(ulong xrInstance)
        {
            PluginLibrary.Call(() => Kelbrin.SetInstanceHandle(0));
        }

        protected override void OnSubsystemCreate()
        {
            bool registered = false;
            PluginLibrary.Call(() => registered = Kelbrin.RegisterMeshingLifecycleProvider());
            if (registered)
            {
                CreateSubsystem<XRMeshSubsystemDescriptor, XRMeshSubsystem>(MeshDescriptors, MeshSubsystemId);
            }
        }

        protected override void OnSubsystemStart()
        {
            StartSubsystem<XRMeshSubsystem>();
        }

        protected override void OnSubsystemStop()
        {
            StopSubsystem<XRMeshSubsystem>();
        }

        protected override void OnSubsystemDestroy()
        {
            DestroySubsystem<XRMeshSubsystem>();
        }
    }
}

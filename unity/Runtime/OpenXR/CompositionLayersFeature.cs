// Wires Skelder into the engine's OpenXR start on Windows: its interceptor into the lookup chain,
// the extensions its layers need, and the OpenXR handles scripts create layers with.
using System;
using UnityEngine.XR.OpenXR.Features;
#if UNITY_EDITOR
using UnityEditor;
using UnityEditor.XR.OpenXR.Features;
#endif

namespace Quenra.OpenXR
{
#if UNITY_EDITOR
    [OpenXRFeature(UiName = "Quenra Composition Layers",
                   Desc = "Quad, cylinder, equirect and passthrough layers added to every frame, and foveation (Skelder).",
                   Company = "Quenra",
                   Version = "1.0.0",
                   BuildTargetGroups = new[] { BuildTargetGroup.Standalone },
                   OpenxrExtensionStrings = Extensions,
                   FeatureId = FeatureId)]
#endif
    public class CompositionLayersFeature : OpenXRFeature
    {
        public const string FeatureId = "com.quenra.plugins.composition-layers";

        // Each extension with the structure Skelder chains that needs it; the feature requests
        // exactly these.
        public const string CylinderExtension = "XR_KHR_composition_layer_cylinder";        // XrCompositionLayerCylinderKHR
        public const string EquirectExtension = "XR_KHR_composition_layer_equirect2";       // XrCompositionLayerEquirect2KHR
        public const string AlphaBlendExtension = "XR_FB_composition_layer_alpha_blend";    // XrCompositionLayerAlphaBlendFB
        public const string PassthroughExtension = "XR_FB_passthrough";                     // XrCompositionLayerPassthroughFB
        public const string FoveationExtension = "XR_FB_foveation";                         // XrSwapchainCreateInfoFoveationFB
        public const string FoveationConfigurationExtension = "XR_FB_foveation_configuration"; // XrFoveationLevelProfileCreateInfoFB
        public const string SwapchainUpdateStateExtension = "XR_FB_swapchain_update_state"; // XrSwapchainStateFoveationFB
        public const string Extensions = CylinderExtension + " " + EquirectExtension + " " + AlphaBlendExtension + " " +
                                         PassthroughExtension + " " + FoveationExtension + " " +
                                         FoveationConfigurationExtension + " " + SwapchainUpdateStateExtension;

        // The handles of the engine's OpenXR instance and session, 0 while there is none: what
        // CompositionLayer.Create and Skelder.SetFoveationLevel take.
        public static ulong Instance { get; private set; }
        public static ulong Session { get; private set; }

        protected override IntPtr HookGetInstanceProcAddr(IntPtr func)
        {
            return PluginLibrary.Chain(Skelder.GetInterceptedInstanceProcAddr, func);
        }

        protected override bool OnInstanceCreate(ulong xrInstance)
        {
            Instance = xrInstance;
            return true;
        }

        protected override void OnSessionCreate(ulong xrSession)
        {
            Session = xrSession;
        }

        // Called before xrDestroySession: the session's layers and their swapchains go first.
        protected override void OnSessionDestroy(ulong xrSession)
        {
            PluginLibrary.Call(() => Skelder.DestroyCompositionLayersInSession(xrSession));
            Session = 0;
        }

        protected override void OnInstanceDestroy(ulong xrInstance)
        {
            Instance = 0;
        }
    }
}

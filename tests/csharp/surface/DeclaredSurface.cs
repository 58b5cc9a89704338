// The engine's and its OpenXR package's public API as the OpenXR features use it, declared for the
// tests only (never shipped): each declaration has the signature its documentation page gives
// (DocumentedSurface.tsv, checked by reflection), and each body plays the engine through
// EngineStandIn. Intermediate engine base classes the features never name are left out.
using System;
using System.Collections.Generic;
using Quenra.Tests.Engine;

namespace UnityEngine
{
    public class ScriptableObject
    {
    }

    public interface ISubsystemDescriptor
    {
        string id { get; }
        ISubsystem Create();
    }

    public interface ISubsystem
    {
        bool running { get; }
        void Start();
        void Stop();
        void Destroy();
    }
}

namespace UnityEngine.XR
{
    public class XRMeshSubsystemDescriptor : ISubsystemDescriptor
    {
        internal XRMeshSubsystemDescriptor(string pluginName, string subsystemId)
        {
            PluginName = pluginName;
            id = subsystemId;
        }

        internal string PluginName { get; private set; }

        public string id { get; private set; }

        public ISubsystem Create()
        {
            return EngineStandIn.CreateMeshSubsystem(this);
        }
    }

    public class XRMeshSubsystem : ISubsystem
    {
        internal XRMeshSubsystem()
        {
        }

        public bool running { get; private set; }

        public void Start()
        {
            running = EngineStandIn.StartMeshSubsystem();
        }

        public void Stop()
        {
            EngineStandIn.StopMeshSubsystem();
            running = false;
        }

        // A running subsystem is stopped first, as the engine does.
        public void Destroy()
        {
            if (running)
            {
                Stop();
            }
            EngineStandIn.DestroyMeshSubsystem(this);
            running = false;
        }
    }
}

namespace UnityEngine.XR.OpenXR.Features
{
    public abstract class OpenXRFeature : ScriptableObject
    {
        protected virtual IntPtr HookGetInstanceProcAddr(IntPtr func)
        {
            return func;
        }

        protected virtual bool OnInstanceCreate(ulong xrInstance)
        {
            return true;
        }

        protected virtual void OnSystemChange(ulong xrSystem)
        {
        }

        protected virtual void OnSubsystemCreate()
        {
        }

        protected virtual void OnSubsystemStart()
        {
        }

        protected virtual void OnSubsystemStop()
        {
        }

        protected virtual void OnSubsystemDestroy()
        {
        }

        protected virtual void OnSessionCreate(ulong xrSession)
        {
        }

        protected virtual void OnAppSpaceChange(ulong xrSpace)
        {
        }

        protected virtual void OnSessionBegin(ulong xrSession)
        {
        }

        protected virtual void OnSessionEnd(ulong xrSession)
        {
        }

        protected virtual void OnSessionDestroy(ulong xrSession)
        {
        }

        protected virtual void OnInstanceDestroy(ulong xrInstance)
        {
        }

        protected void CreateSubsystem<TDescriptor, TSubsystem>(List<TDescriptor> descriptors, string id)
            where TDescriptor : ISubsystemDescriptor where TSubsystem : ISubsystem
        {
            EngineStandIn.CreateSubsystem<TDescriptor, TSubsystem>(descriptors, id);
        }

        protected void StartSubsystem<T>() where T : class, ISubsystem
        {
            EngineStandIn.Subsystem<T>()?.Start();
        }

        protected void StopSubsystem<T>() where T : class, ISubsystem
        {
            EngineStandIn.Subsystem<T>()?.Stop();
        }

        protected void DestroySubsystem<T>() where T : class, ISubsystem
        {
            EngineStandIn.Subsystem<T>()?.Destroy();
        }
    }
}

namespace UnityEditor
{
    public enum BuildTargetGroup
    {
        Standalone,
        Android,
    }
}

namespace UnityEditor.XR.OpenXR.Features
{
    [AttributeUsage(AttributeTargets.Class)]
    public class OpenXRFeatureAttribute : Attribute
    {
        public string UiName;
        public string Desc;
        public string Company;
        public string Version;
        public BuildTargetGroup[] BuildTargetGroups;
        public string OpenxrExtensionStrings;
        public string FeatureId;
    }
}

namespace AOT
{
    [AttributeUsage(AttributeTargets.Method)]
    public class MonoPInvokeCallbackAttribute : Attribute
    {
        public MonoPInvokeCallbackAttribute(Type type)
        {
        }
    }
}

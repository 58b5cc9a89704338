// How both features reach their plug-in: a library missing from the build (a package installed
// without its binaries) or not loaded yet must never fail the engine's OpenXR start. The hook
// then hands the engine's xrGetInstanceProcAddr back unchanged, and calls do nothing.
using System;

namespace Quenra.OpenXR
{
    internal static class PluginLibrary
    {
        // The plug-in's interceptor in front of next, or next when the plug-in gives none.
        public static IntPtr Chain(Func<IntPtr, IntPtr> intercept, IntPtr next)
        {
            IntPtr intercepted = IntPtr.Zero;
            Call(() => intercepted = intercept(next));
            return intercepted != IntPtr.Zero ? intercepted : next;
        }

        public static void Call(Action call)
        {
            try
            {
                call();
            }
            catch (DllNotFoundException)
            {
            }
            catch (EntryPointNotFoundException)
            {
            }
        }
    }
}

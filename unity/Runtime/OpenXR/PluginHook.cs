// What both features do with the engine's xrGetInstanceProcAddr: put their plug-in's interceptor
// in front of it, or hand it back unchanged when the plug-in has none to give (not loaded yet,
// or missing from this build), so a feature never fails the engine's OpenXR start.
using System;

namespace Quenra.OpenXR
{
    internal static class PluginHook
    {
        public static IntPtr Chain(Func<IntPtr, IntPtr> intercept, IntPtr next)
        {
            try
            {
                IntPtr intercepted = intercept(next);
                return intercepted != IntPtr.Zero ? intercepted : next;
            }
            catch (DllNotFoundException)
            {
                return next;
            }
            catch (EntryPointNotFoundException)
            {
                return next;
            }
        }
    }
}

// Ahead-of-time engine builds (IL2CPP) make a native entry point only for static methods that
// carry an attribute of this name, naming the delegate type. The bindings reference no engine
// assembly, so they declare it here; the AOT compiler matches it by name.
using System;

namespace Quenra.Aot
{
    [AttributeUsage(AttributeTargets.Method)]
    public sealed class MonoPInvokeCallbackAttribute : Attribute
    {
        public MonoPInvokeCallbackAttribute(Type delegateType)
        {
            DelegateType = delegateType;
        }

        public Type DelegateType { get; private set; }
    }
}

// Assertions of the binding tests: a failure throws, naming what was checked.
using System;
using System.Collections.Generic;
using System.Linq;

namespace Quenra.Tests
{
    internal sealed class CheckFailed : Exception
    {
        public CheckFailed(string message) : base(message)
        {
        }
    }

    internal static class Check
    {
        public static void Equal<T>(T expected, T actual, string what)
        {
            if (!EqualityComparer<T>.Default.Equals(expected, actual))
            {
                throw new CheckFailed(what + ": expected " + expected + ", got " + actual);
            }
        }

        public static void True(bool condition, string what)
        {
            if (!condition)
            {
                throw new CheckFailed(what);
            }
        }

        public static void Sequence<T>(IEnumerable<T> expected, IEnumerable<T> actual, string what)
        {
            if (!expected.SequenceEqual(actual))
            {
                throw new CheckFailed(what + ": expected [" + string.Join(", ", expected) + "], got [" +
                                      string.Join(", ", actual) + "]");
            }
        }
    }
}

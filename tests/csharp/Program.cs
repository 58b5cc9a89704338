// Runs one test case in a process of its own: `mono CSharpTests.exe <class>.<case> [arguments]`,
// a case being a private static method of a test class taking the arguments as strings.
using System;
using System.Linq;
using System.Reflection;

namespace Quenra.Tests
{
    internal static class Program
    {
        public static int Main(string[] args)
        {
            string[] name = args.Length > 0 ? args[0].Split('.') : new string[0];
            Type suite = name.Length == 2 ? typeof(Program).Assembly.GetType("Quenra.Tests." + name[0]) : null;
            MethodInfo test = suite != null ? suite.GetMethod(name[1], BindingFlags.Static | BindingFlags.NonPublic) : null;
            object[] arguments = args.Skip(1).Cast<object>().ToArray();
            if (test == null || test.GetParameters().Length != arguments.Length)
            {
                Console.Error.WriteLine("usage: CSharpTests.exe <class>.<case> [arguments]");
                return 2;
            }
            string title = string.Join(" ", args);
            try
            {
                test.Invoke(null, arguments);
            }
            catch (TargetInvocationException failure)
            {
                Console.Error.WriteLine(title + " FAILED: " + failure.InnerException);
                return 1;
            }
            finally
            {
                TestHost.Destroy();
            }
            Console.WriteLine(title + " passed");
            return 0;
        }
    }
}

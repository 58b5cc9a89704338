// The declared engine surface against the documented signatures: every type and member the
// surface declares, rendered by reflection as a C# declaration, must be a row of
// DocumentedSurface.tsv, and every row must be declared; each row names its documentation page.
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Reflection;

namespace Quenra.Tests
{
    internal static class SurfaceTests
    {
        private static readonly Dictionary<Type, string> Aliases = new Dictionary<Type, string>
        {
            { typeof(void), "void" }, { typeof(bool), "bool" }, { typeof(int), "int" }, { typeof(ulong), "ulong" },
            { typeof(string), "string" }, { typeof(object), "object" },
        };

        private static string Name(Type type)
        {
            string alias;
            if (Aliases.TryGetValue(type, out alias))
            {
                return alias;
            }
            if (type.IsArray)
            {
                return Name(type.GetElementType()) + "[]";
            }
            if (!type.IsGenericType)
            {
                return type.Name;
            }
            return type.Name.Substring(0, type.Name.IndexOf('`')) + "<" + string.Join(", ", type.GetGenericArguments().Select(Name)) + ">";
        }

        private static string Access(MethodBase method)
        {
            return method.IsPublic ? "public" : method.IsFamilyOrAssembly ? "protected internal" : method.IsFamily ? "protected" : null;
        }

        private static string Constraints(Type[] arguments)
        {
            return string.Concat(arguments.Select(argument =>
            {
                var parts = new List<string>();
                if ((argument.GenericParameterAttributes & GenericParameterAttributes.ReferenceTypeConstraint) != 0)
                {
                    parts.Add("class");
                }
                parts.AddRange(argument.GetGenericParameterConstraints().Select(Name));
                return parts.Count == 0 ? "" : " where " + argument.Name + " : " + string.Join(", ", parts);
            }));
        }

        private static string Method(MethodInfo method)
        {
            string modifiers = method.IsStatic ? " static" : method.IsAbstract && !method.DeclaringType.IsInterface ? " abstract"
                             : method.IsVirtual && !method.IsFinal && !method.DeclaringType.IsInterface ? " virtual" : "";
            Type[] generics = method.GetGenericArguments();
            string access = method.DeclaringType.IsInterface ? "" : Access(method) + modifiers + " ";
            return access + Name(method.ReturnType) + " " + method.Name +
                   (generics.Length > 0 ? "<" + string.Join(", ", generics.Select(g => g.Name)) + ">" : "") +
                   "(" + string.Join(", ", method.GetParameters().Select(p => Name(p.ParameterType) + " " + p.Name)) + ")" +
                   Constraints(generics);
        }

        private static string TypeDeclaration(Type type)
        {
            string kind = type.IsInterface ? "interface" : type.IsEnum ? "enum" : "class";
            string modifiers = type.IsAbstract && !type.IsInterface && !type.IsSealed ? "abstract " : "";
            var bases = new List<string>();
            if (type.IsClass && type.BaseType != typeof(object))
            {
                bases.Add(Name(type.BaseType));
            }
            if (!type.IsEnum)
            {
                bases.AddRange(type.GetInterfaces().Select(Name));
            }
            return "public " + modifiers + kind + " " + type.Name + (bases.Count > 0 ? " : " + string.Join(", ", bases) : "");
        }

        // Each public or protected declaration of the type, as "Type\tdeclaration".
        private static IEnumerable<string> Declarations(Type type)
        {
            yield return type.Name + "\t" + TypeDeclaration(type);
            const BindingFlags declared = BindingFlags.DeclaredOnly | BindingFlags.Public | BindingFlags.NonPublic |
                                          BindingFlags.Instance | BindingFlags.Static;
            if (type.IsEnum)
            {
                foreach (FieldInfo value in type.GetFields(BindingFlags.Public | BindingFlags.Static))
                {
                    // The pages name the values, not their numbers.
                    yield return type.Name + "\t" + value.Name;
                }
                yield break;
            }
            // A parameterless constructor is left out: C# gives one to every class that declares none.
            foreach (ConstructorInfo constructor in type.GetConstructors(declared).Where(c => Access(c) != null && c.GetParameters().Length > 0))
            {
                yield return type.Name + "\t" + Access(constructor) + " " + type.Name + "(" +
                             string.Join(", ", constructor.GetParameters().Select(p => Name(p.ParameterType) + " " + p.Name)) + ")";
            }
            foreach (FieldInfo field in type.GetFields(declared).Where(f => f.IsPublic))
            {
                yield return type.Name + "\tpublic " + Name(field.FieldType) + " " + field.Name;
            }
            foreach (PropertyInfo property in type.GetProperties(declared))
            {
                MethodInfo getter = property.GetGetMethod();
                if (getter != null)
                {
                    yield return type.Name + "\t" + (type.IsInterface ? "" : "public ") + Name(property.PropertyType) + " " + property.Name + " { get; }";
                }
            }
            foreach (MethodInfo method in type.GetMethods(declared).Where(m => !m.IsSpecialName && (type.IsInterface || Access(m) != null)))
            {
                yield return type.Name + "\t" + Method(method);
            }
        }

        private static void SurfaceMatchesDocumentation()
        {
            string table = Environment.GetEnvironmentVariable("QUENRA_DOCUMENTED_SURFACE");
            string[][] rows = File.ReadAllLines(table).Where(l => l.Length > 0 && !l.StartsWith("#"))
                                  .Select(l => l.Split('\t')).ToArray();
            Check.True(rows.All(r => r.Length == 3 && r[2].StartsWith("https://")), "every row: type, declaration, page");
            Assembly surface = typeof(UnityEngine.ScriptableObject).Assembly;
            string[] declared = surface.GetTypes()
                                       .Where(t => t.IsPublic && (t.Namespace.StartsWith("Unity") || t.Namespace == "AOT"))
                                       .SelectMany(Declarations).OrderBy(d => d, StringComparer.Ordinal).ToArray();
            string[] documented = rows.Select(r => r[0] + "\t" + r[1]).OrderBy(d => d, StringComparer.Ordinal).ToArray();
            Check.Sequence(documented.Except(declared), new string[0], "documented but not declared");
            Check.Sequence(declared.Except(documented), new string[0], "declared but not documented");
        }
    }
}

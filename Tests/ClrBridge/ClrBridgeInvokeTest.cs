using System;
using System.Collections.Generic;
using System.Reflection;

namespace Quillmend.ClrBridge.Tests
{
    // Runs the bridge's two methods under Mono against the stand-in interop
    // assembly, which records the calls it receives. The stand-in is loaded
    // first and handed to the bridge when it asks for its reference, as in the
    // IDE where the interop assembly is already loaded.
    // Arguments: <QuillmendClr.dll> <stand-in Borland.Studio.Interop.dll>
    static class ClrBridgeInvokeTest
    {
        static int Main(string[] args)
        {
            Assembly standIn = Assembly.LoadFrom(args[1]);
            AppDomain.CurrentDomain.AssemblyResolve += (sender, e) =>
                new AssemblyName(e.Name).Name == standIn.GetName().Name ? standIn : null;
            Assembly bridge = Assembly.LoadFrom(args[0]);

            Type manager = standIn.GetType("Borland.Studio.Interop.InteropCacheManager", true);
            var calls = (List<string>)manager.GetField("Calls").GetValue(null);
            FieldInfo throwOnNext = manager.GetField("ThrowOnNextCall");
            Type exports = bridge.GetType("Quillmend.InteropCacheExports", true);
            MethodInfo begin = exports.GetMethod("BeginInteropCache");
            MethodInfo end = exports.GetMethod("EndInteropCache");

            Checks.Group("stand-in matches the reference", () =>
            {
                AssemblyName referenced = Array.Find(bridge.GetReferencedAssemblies(),
                                                     r => r.Name == standIn.GetName().Name);
                Checks.That(referenced != null, "bridge references the stand-in's name");
                Checks.Equal(referenced.Version, standIn.GetName().Version, "stand-in version");
            });

            Checks.Group("begin then end", () =>
            {
                calls.Clear();
                begin.Invoke(null, null);
                Checks.Equal("BeginCaching", string.Join(",", calls), "after BeginInteropCache");
                end.Invoke(null, null);
                Checks.Equal("BeginCaching,EndCaching", string.Join(",", calls), "after EndInteropCache");
            });

            // The bridge has no handler of its own: the manager's exception
            // reaches the caller unchanged, after exactly one call.
            Checks.Group("exception leaves through the bridge", () =>
            {
                foreach (MethodInfo bridgeMethod in new[] { begin, end })
                {
                    calls.Clear();
                    var thrown = new InvalidOperationException("cache manager failed");
                    throwOnNext.SetValue(null, thrown);
                    Exception caught = null;
                    try { bridgeMethod.Invoke(null, null); }
                    catch (TargetInvocationException e) { caught = e.InnerException; }
                    Checks.That(ReferenceEquals(thrown, caught), bridgeMethod.Name + ": same exception reaches the caller");
                    Checks.Equal(1, calls.Count, bridgeMethod.Name + ": calls made");
                }
            });

            return Checks.Finish();
        }
    }
}

using System;

namespace Quillmend.ClrBridge.Tests
{
    // Minimal check runner: a failed check or an exception inside a group is
    // reported and counted, and the other groups still run.
    static class Checks
    {
        static int passed, failed;
        static string group;

        public static void Group(string name, Action body)
        {
            group = name;
            try { body(); }
            catch (Exception e) { Fail("threw " + e); }
        }

        public static void That(bool ok, string what)
        {
            if (ok) passed++;
            else Fail(what);
        }

        public static void Equal<T>(T expected, T actual, string what)
        {
            if (Equals(expected, actual)) passed++;
            else Fail(what + ": expected <" + expected + "> but was <" + actual + ">");
        }

        static void Fail(string what)
        {
            failed++;
            Console.WriteLine("FAILED [" + group + "] " + what);
        }

        public static int Finish()
        {
            Console.WriteLine(passed + " passed, " + failed + " failed");
            return failed == 0 && passed > 0 ? 0 : 1;
        }
    }
}

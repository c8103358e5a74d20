using System;
using System.Collections.Generic;

namespace Borland.Studio.Interop
{
    // Stand-in for the IDE's interop cache manager: records each call so the
    // tests can see which methods the bridge reached and in what order.
    public static class InteropCacheManager
    {
        public static readonly List<string> Calls = new List<string>();

        // When set, the next call records itself and then throws this.
        public static Exception ThrowOnNextCall;

        public static void BeginCaching() { Record("BeginCaching"); }
        public static void EndCaching() { Record("EndCaching"); }

        static void Record(string call)
        {
            Calls.Add(call);
            Exception e = ThrowOnNextCall;
            ThrowOnNextCall = null;
            if (e != null)
                throw e;
        }
    }
}

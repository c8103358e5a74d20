using System;
using System.Security.Cryptography;
using System.Text;
using dnlib.DotNet;
using dnlib.DotNet.Emit;

namespace Quillmend.ClrBridge
{
    // Builds the in-memory module of QuillmendClr.dll: one static class whose
    // two methods are exported to native code and each forward to one static
    // method of the IDE's interop cache manager.
    public static class BridgeModuleBuilder
    {
        public const string AssemblyName = "QuillmendClr";
        public const string ModuleFileName = "QuillmendClr.dll";
        public const string RuntimeVersion = "v2.0.50727";
        public const string BridgeNamespace = "Quillmend";
        public const string BridgeTypeName = "InteropCacheExports";
        public const string CacheManagerNamespace = "Borland.Studio.Interop";
        public const string CacheManagerTypeName = "InteropCacheManager";

        // Export name, bridge method name and the cache manager method it calls.
        public static readonly string[,] Exports =
        {
            { "BeginInteropCache", "BeginInteropCache", "BeginCaching" },
            { "EndInteropCache", "EndInteropCache", "EndCaching" },
        };

        static readonly Version CorLibVersion = new Version(2, 0, 0, 0);
        const string CorLibToken = "b77a5c561934e089";

        public static ModuleDef Build(AssemblyIdentityFile interop, Version bridgeVersion)
        {
            var corLib = new AssemblyRefUser("mscorlib", CorLibVersion, new PublicKeyToken(CorLibToken));
            var module = new ModuleDefUser(ModuleFileName, StableMvid(interop, bridgeVersion), corLib);
            module.Kind = ModuleKind.Dll;
            module.RuntimeVersion = RuntimeVersion;

            var assembly = new AssemblyDefUser(AssemblyName, bridgeVersion);
            assembly.Modules.Add(module);

            var interopRef = new AssemblyRefUser(interop.Name, interop.Version,
                interop.PublicKeyToken == null ? null : new PublicKeyToken(interop.PublicKeyToken));
            var cacheManager = new TypeRefUser(module, CacheManagerNamespace, CacheManagerTypeName, interopRef);

            // Static class: abstract + sealed, no constructor.
            var bridge = new TypeDefUser(BridgeNamespace, BridgeTypeName, module.CorLibTypes.Object.TypeDefOrRef);
            bridge.Attributes = TypeAttributes.Public | TypeAttributes.Abstract | TypeAttributes.Sealed
                              | TypeAttributes.AutoLayout | TypeAttributes.AnsiClass | TypeAttributes.BeforeFieldInit;
            module.Types.Add(bridge);

            // The return type carries modopt(CallConvStdcall) so that the runtime's
            // export stub uses stdcall explicitly rather than by platform default.
            var stdcall = new TypeRefUser(module, "System.Runtime.CompilerServices", "CallConvStdcall", corLib);

            for (int i = 0; i < Exports.GetLength(0); i++)
            {
                var target = new MemberRefUser(module, Exports[i, 2],
                    MethodSig.CreateStatic(module.CorLibTypes.Void), cacheManager);

                var method = new MethodDefUser(Exports[i, 1],
                    MethodSig.CreateStatic(new CModOptSig(stdcall, module.CorLibTypes.Void)),
                    MethodImplAttributes.IL | MethodImplAttributes.Managed,
                    MethodAttributes.Public | MethodAttributes.Static | MethodAttributes.HideBySig);
                method.Body = new CilBody();
                method.Body.Instructions.Add(OpCodes.Call.ToInstruction(target));
                method.Body.Instructions.Add(OpCodes.Ret.ToInstruction());
                method.ExportInfo = new MethodExportInfo(Exports[i, 0]);
                bridge.Methods.Add(method);
            }
            return module;
        }

        // The same inputs give the same module id, so rebuilding does not change
        // the file the installer carries.
        static Guid StableMvid(AssemblyIdentityFile interop, Version bridgeVersion)
        {
            string key = AssemblyName + "/" + bridgeVersion + "/" + interop.Name + "/" + interop.Version + "/"
                       + (interop.PublicKeyToken == null ? "null" : BitConverter.ToString(interop.PublicKeyToken));
            using (var md5 = MD5.Create())
                return new Guid(md5.ComputeHash(Encoding.UTF8.GetBytes(key)));
        }
    }
}

using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using dnlib.DotNet;
using dnlib.DotNet.Emit;
using dnlib.DotNet.MD;
using dnlib.PE;

namespace Quillmend.ClrBridge.Tests
{
    // Checks the file QuillmendClr.dll without running it: PE and CLI headers,
    // assembly references, and that each native export leads through its stub
    // and vtable fixup slot to a method that makes exactly one call to the
    // interop cache manager. The export, relocation and fixup tables are read
    // from the raw bytes here, not through the writer's library.
    // Arguments: <QuillmendClr.dll> <interop name> <interop version> <interop token>
    static class ClrBridgeImageTest
    {
        const ushort FixupSlot32 = 0x01, FixupFromUnmanaged = 0x04;

        static byte[] image;
        static PEImage pe;

        static int Main(string[] args)
        {
            image = File.ReadAllBytes(args[0]);
            pe = new PEImage(image, ImageLayout.File, true);
            var module = ModuleDefMD.Load(image, new ModuleCreationOptions());

            Checks.Group("headers", () =>
            {
                Checks.Equal(Machine.I386, pe.ImageNTHeaders.FileHeader.Machine, "machine");
                Checks.Equal((ushort)0x10B, pe.ImageNTHeaders.OptionalHeader.Magic, "PE32 optional header");
                var c = pe.ImageNTHeaders.FileHeader.Characteristics;
                Checks.That((c & Characteristics.Dll) != 0, "DLL flag");
                Checks.That((c & Characteristics._32BitMachine) != 0, "32-bit machine flag");
                Checks.That((module.Cor20HeaderFlags & ComImageFlags._32BitRequired) != 0, "COR flags: 32-bit required");
                Checks.That((module.Cor20HeaderFlags & ComImageFlags.ILOnly) == 0, "COR flags: not IL-only");
                Checks.Equal("v2.0.50727", module.MetaData.MetaDataHeader.VersionString, "metadata version");
            });

            Checks.Group("references", () =>
            {
                var refs = module.GetAssemblyRefs().ToDictionary(r => r.Name.String);
                Checks.Equal(2, refs.Count, "number of assembly references");
                CheckReference(refs, "mscorlib", "2.0.0.0", "b77a5c561934e089");
                CheckReference(refs, args[1], args[2], args[3]);
            });

            Checks.Group("exports", () =>
            {
                var exports = ReadExports();
                Checks.Equal("BeginInteropCache,EndInteropCache", string.Join(",", exports.Keys.OrderBy(k => k)), "export names");
                var relocated = ReadHighLowRelocations();
                var fixups = ReadVTableFixups();
                CheckExport(module, exports, relocated, fixups, "BeginInteropCache", "BeginCaching", args[1]);
                CheckExport(module, exports, relocated, fixups, "EndInteropCache", "EndCaching", args[1]);
            });

            return Checks.Finish();
        }

        static void CheckReference(Dictionary<string, AssemblyRef> refs, string name, string version, string token)
        {
            AssemblyRef r;
            if (!refs.TryGetValue(name, out r)) { Checks.That(false, "reference to " + name); return; }
            Checks.Equal(version, r.Version.ToString(), name + " version");
            Checks.Equal(token, PublicKeyBase.ToPublicKeyToken(r.PublicKeyOrToken).ToString(), name + " public key token");
        }

        static void CheckExport(ModuleDefMD module, Dictionary<string, uint> exports, HashSet<uint> relocated,
                                List<uint[]> fixups, string export, string callee, string interopName)
        {
            uint stub;
            if (!exports.TryGetValue(export, out stub)) return;

            // x86 export stub: jmp dword ptr [slot]; the absolute slot address must be rebased.
            Checks.That(U8(stub) == 0xFF && U8(stub + 1) == 0x25, export + ": stub is an indirect jmp");
            Checks.That(relocated.Contains(stub + 2), export + ": stub's slot address is relocated");
            uint slot = U32(stub + 2) - (uint)pe.ImageNTHeaders.OptionalHeader.ImageBase;

            var fixup = fixups.FirstOrDefault(f => slot >= f[0] && slot < f[0] + 4 * f[1] && (slot - f[0]) % 4 == 0);
            if (fixup == null) { Checks.That(false, export + ": slot lies in a vtable fixup"); return; }
            Checks.Equal((uint)(FixupSlot32 | FixupFromUnmanaged), fixup[2], export + ": fixup type");
            // The runtime overwrites the token in the slot with its thunk's address.
            var section = pe.ImageSectionHeaders.FirstOrDefault(
                h => slot >= (uint)h.VirtualAddress && slot < (uint)h.VirtualAddress + h.VirtualSize);
            Checks.That(section != null && (section.Characteristics & 0x80000000u) != 0, export + ": slot is writable");

            var method = module.ResolveToken(U32(slot)) as MethodDef;
            if (method == null) { Checks.That(false, export + ": slot holds a method token"); return; }
            Checks.That(method.IsStatic && method.Parameters.Count == 0, export + ": static, no parameters");
            var ret = method.MethodSig.RetType as CModOptSig;
            Checks.That(ret != null && ret.Modifier.FullName == "System.Runtime.CompilerServices.CallConvStdcall"
                        && ret.Next.ElementType == ElementType.Void, export + ": returns void, stdcall");

            var body = method.Body;
            Checks.That(body.Variables.Count == 0 && body.ExceptionHandlers.Count == 0, export + ": no locals or handlers");
            Checks.Equal("call,ret", string.Join(",", body.Instructions.Select(i => i.OpCode.Name)), export + ": IL");
            var target = body.Instructions[0].Operand as IMethod;
            Checks.That(target != null && target.Name == callee && target.MethodSig.Params.Count == 0
                        && !target.MethodSig.HasThis && target.MethodSig.RetType.ElementType == ElementType.Void,
                        export + ": calls static void " + callee + "()");
            Checks.Equal("Borland.Studio.Interop.InteropCacheManager", target.DeclaringType.FullName, export + ": callee's class");
            Checks.Equal(interopName, target.DeclaringType.DefinitionAssembly.Name.String, export + ": callee's assembly");
        }

        // Export name -> RVA of its code, from the export directory. The
        // directory's size must cover its tables so that any PE reader accepts them.
        static Dictionary<string, uint> ReadExports()
        {
            var dd = pe.ImageNTHeaders.OptionalHeader.DataDirectories[0];
            uint dir = (uint)dd.VirtualAddress, end = dir + dd.Size;
            uint baseOrdinal = U32(dir + 16), count = U32(dir + 24);
            uint functions = U32(dir + 28), names = U32(dir + 32), ordinals = U32(dir + 36);
            Checks.That(baseOrdinal >= 1, "ordinals start at 1 or above");
            Checks.That(functions + 4 * U32(dir + 20) <= end && names + 4 * count <= end && ordinals + 2 * count <= end,
                        "export directory size covers its tables");
            // A size running past the section makes readers drop the exports.
            var section = pe.ImageSectionHeaders.FirstOrDefault(
                h => dir >= (uint)h.VirtualAddress && dir < (uint)h.VirtualAddress + SectionSize(h));
            Checks.That(section != null && end <= (uint)section.VirtualAddress + SectionSize(section),
                        "export directory ends inside the section that holds it");
            var result = new Dictionary<string, uint>();
            for (uint i = 0; i < count; i++)
                result[CString(U32(names + 4 * i))] = U32(functions + 4 * (uint)U16(ordinals + 2 * i));
            return result;
        }

        // A section's extent in memory (its raw size where the virtual one is not given).
        static uint SectionSize(ImageSectionHeader h)
        {
            return h.VirtualSize != 0 ? h.VirtualSize : h.SizeOfRawData;
        }

        static HashSet<uint> ReadHighLowRelocations()
        {
            var dd = pe.ImageNTHeaders.OptionalHeader.DataDirectories[5];
            var result = new HashSet<uint>();
            for (uint block = (uint)dd.VirtualAddress; block < (uint)dd.VirtualAddress + dd.Size; )
            {
                uint page = U32(block), size = U32(block + 4);
                if (size < 8) break;
                for (uint e = block + 8; e < block + size; e += 2)
                    if (U16(e) >> 12 == 3)
                        result.Add(page + (uint)(U16(e) & 0xFFF));
                block += size;
            }
            return result;
        }

        // Entries {slots RVA, slot count, type} from the CLI header's vtable fixup directory.
        static List<uint[]> ReadVTableFixups()
        {
            uint cli = (uint)pe.ImageNTHeaders.OptionalHeader.DataDirectories[14].VirtualAddress;
            uint rva = U32(cli + 48), size = U32(cli + 52);
            var result = new List<uint[]>();
            for (uint e = rva; e + 8 <= rva + size; e += 8)
                result.Add(new uint[] { U32(e), U16(e + 4), U16(e + 6) });
            return result;
        }

        static long At(uint rva) { return (long)pe.ToFileOffset((RVA)rva); }
        static byte U8(uint rva) { return image[At(rva)]; }
        static ushort U16(uint rva) { return BitConverter.ToUInt16(image, (int)At(rva)); }
        static uint U32(uint rva) { return BitConverter.ToUInt32(image, (int)At(rva)); }

        static string CString(uint rva)
        {
            long start = At(rva), p = start;
            while (image[p] != 0) p++;
            return System.Text.Encoding.ASCII.GetString(image, (int)start, (int)(p - start));
        }
    }
}

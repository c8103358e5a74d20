using System;
using System.IO;
using dnlib.DotNet;
using dnlib.DotNet.MD;
using dnlib.DotNet.Writer;
using dnlib.PE;

namespace Quillmend.ClrBridge
{
    // Writes a bridge module as a 32-bit x86 PE image whose native exports
    // reach the managed methods through vtable fixups.
    public static class BridgeImageWriter
    {
        // Native exports need a mixed image: not IL-only, and tied to 32 bits
        // because the fixup slots are 32-bit.
        public const ComImageFlags CorFlags = ComImageFlags._32BitRequired;

        public static void Write(ModuleDef module, string path)
        {
            var options = new ModuleWriterOptions(module);
            options.PEHeadersOptions.Machine = Machine.I386;
            options.PEHeadersOptions.Characteristics =
                Characteristics.ExecutableImage | Characteristics._32BitMachine | Characteristics.Dll;
            options.Cor20HeaderOptions.Flags = CorFlags;
            options.MetaDataOptions.MetaDataHeaderOptions.VersionString = module.RuntimeVersion;

            byte[] image;
            using (var stream = new MemoryStream())
            {
                new ModuleWriter(module, options).Write(stream);
                image = stream.ToArray();
            }
            ExportDirectoryNormalizer.Normalize(image);

            // Written aside and moved into place, so an interrupted build leaves
            // no half-written file that looks up to date.
            string temp = path + ".tmp";
            File.WriteAllBytes(temp, image);
            if (File.Exists(path))
                File.Delete(path);
            File.Move(temp, path);
        }
    }
}

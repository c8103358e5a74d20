using System;
using dnlib.PE;

namespace Quillmend.ClrBridge
{
    // Brings the export directory that dnlib writes into the form linkers give it:
    // - dnlib sizes the export data directory to the 40-byte directory table
    //   alone; PE readers such as binutils take that size as the extent of all
    //   export data and reject the tables past it. The size is widened to cover
    //   every table and string the directory refers to.
    // - dnlib numbers named exports from ordinal 0, which GetProcAddress cannot
    //   ask for. The base becomes 1; lookups by name are unaffected because the
    //   name ordinal table holds unbiased indexes.
    public static class ExportDirectoryNormalizer
    {
        const int DirectoryTableSize = 40;

        public static void Normalize(byte[] image)
        {
            using (var pe = new PEImage(image, ImageLayout.File, true))
            {
                ImageDataDirectory entry = pe.ImageNTHeaders.OptionalHeader.DataDirectories[0];
                uint start = (uint)entry.VirtualAddress;
                if (start == 0)
                    return;

                Func<uint, uint> at = rva => ReadUInt32(image, (long)pe.ToFileOffset((RVA)rva));
                uint dir = start;
                uint nameRva = at(dir + 12);
                if (at(dir + 16) == 0)
                    WriteUInt32(image, (long)pe.ToFileOffset((RVA)(dir + 16)), 1);
                uint functionCount = at(dir + 20);
                uint nameCount = at(dir + 24);
                uint functionsRva = at(dir + 28);
                uint namesRva = at(dir + 32);
                uint ordinalsRva = at(dir + 36);

                uint end = start + DirectoryTableSize;
                end = Math.Max(end, functionsRva + 4 * functionCount);
                end = Math.Max(end, namesRva + 4 * nameCount);
                end = Math.Max(end, ordinalsRva + 2 * nameCount);
                end = Math.Max(end, EndOfString(image, pe, nameRva));
                for (uint i = 0; i < nameCount; i++)
                    end = Math.Max(end, EndOfString(image, pe, at(namesRva + 4 * i)));

                // The entry is VirtualAddress then Size.
                WriteUInt32(image, (long)entry.StartOffset + 4, end - start);
            }
        }

        static uint EndOfString(byte[] image, PEImage pe, uint rva)
        {
            long offset = (long)pe.ToFileOffset((RVA)rva);
            long p = offset;
            while (image[p] != 0)
                p++;
            return rva + (uint)(p - offset) + 1;
        }

        static uint ReadUInt32(byte[] b, long o)
        {
            return (uint)(b[o] | b[o + 1] << 8 | b[o + 2] << 16 | b[o + 3] << 24);
        }

        static void WriteUInt32(byte[] b, long o, uint v)
        {
            b[o] = (byte)v; b[o + 1] = (byte)(v >> 8); b[o + 2] = (byte)(v >> 16); b[o + 3] = (byte)(v >> 24);
        }
    }
}

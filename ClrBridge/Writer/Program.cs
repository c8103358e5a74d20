using System;

namespace Quillmend.ClrBridge
{
    // Command line: QuillmendClrWriter <interop reference file> <bridge version> <output file>
    public static class Program
    {
        public static int Main(string[] args)
        {
            if (args.Length != 3)
            {
                Console.Error.WriteLine("usage: QuillmendClrWriter <interop reference file> <bridge version> <output file>");
                return 2;
            }
            try
            {
                var interop = AssemblyIdentityFile.Read(args[0]);
                var module = BridgeModuleBuilder.Build(interop, Version.Parse(args[1]));
                BridgeImageWriter.Write(module, args[2]);
                return 0;
            }
            catch (Exception e)
            {
                Console.Error.WriteLine("QuillmendClrWriter: " + e.Message);
                return 1;
            }
        }
    }
}

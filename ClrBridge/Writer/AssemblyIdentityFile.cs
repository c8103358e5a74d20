using System;
using System.Collections.Generic;
using System.Globalization;
using System.IO;

namespace Quillmend.ClrBridge
{
    // Name, version and public key token of a referenced assembly, read from a
    // "Key=Value" text file ('#' starts a comment line). A token of "null"
    // stands for an assembly without a strong name.
    public sealed class AssemblyIdentityFile
    {
        public string Name { get; private set; }
        public Version Version { get; private set; }
        public byte[] PublicKeyToken { get; private set; }

        public static AssemblyIdentityFile Read(string path)
        {
            return Parse(File.ReadAllLines(path), path);
        }

        public static AssemblyIdentityFile Parse(IEnumerable<string> lines, string origin)
        {
            var values = new Dictionary<string, string>(StringComparer.Ordinal);
            int lineNumber = 0;
            foreach (string raw in lines)
            {
                lineNumber++;
                string line = raw.Trim();
                if (line.Length == 0 || line[0] == '#')
                    continue;
                int eq = line.IndexOf('=');
                if (eq <= 0)
                    throw Error(origin, lineNumber, "expected Key=Value");
                string key = line.Substring(0, eq).Trim();
                if (key != "Name" && key != "Version" && key != "PublicKeyToken")
                    throw Error(origin, lineNumber, "unknown key '" + key + "'");
                if (values.ContainsKey(key))
                    throw Error(origin, lineNumber, "'" + key + "' given twice");
                values[key] = line.Substring(eq + 1).Trim();
            }

            var identity = new AssemblyIdentityFile();
            identity.Name = Required(values, "Name", origin);
            if (identity.Name.IndexOfAny(new[] { ',', '=', '"', '\'' }) >= 0)
                throw new FormatException(origin + ": Name '" + identity.Name + "' is not a plain assembly name");

            string version = Required(values, "Version", origin);
            Version parsed;
            if (!System.Version.TryParse(version, out parsed) || parsed.Build < 0 || parsed.Revision < 0
                || parsed.Major > ushort.MaxValue || parsed.Minor > ushort.MaxValue
                || parsed.Build > ushort.MaxValue || parsed.Revision > ushort.MaxValue)
                throw new FormatException(origin + ": Version '" + version + "' is not four 16-bit numbers");
            identity.Version = parsed;

            string token = Required(values, "PublicKeyToken", origin);
            identity.PublicKeyToken = token == "null" ? null : ParseToken(token, origin);
            return identity;
        }

        static string Required(Dictionary<string, string> values, string key, string origin)
        {
            string value;
            if (!values.TryGetValue(key, out value) || value.Length == 0)
                throw new FormatException(origin + ": '" + key + "' is missing");
            return value;
        }

        static byte[] ParseToken(string text, string origin)
        {
            if (text.Length != 16)
                throw new FormatException(origin + ": PublicKeyToken must be 16 hex digits or null");
            var bytes = new byte[8];
            for (int i = 0; i < 8; i++)
            {
                if (!byte.TryParse(text.Substring(2 * i, 2), NumberStyles.AllowHexSpecifier,
                                   CultureInfo.InvariantCulture, out bytes[i]))
                    throw new FormatException(origin + ": PublicKeyToken must be 16 hex digits or null");
            }
            return bytes;
        }

        static FormatException Error(string origin, int line, string what)
        {
            return new FormatException(origin + ":" + line + ": " + what);
        }
    }
}

// Byte patterns of the IDE's collection routines, as the IDE's packages
// have them ("??" matches any byte).
#pragma once

namespace Quillmend::IdeCollectionsPatterns {

// TBasePaletteGroup.Clear, from its first byte: the item list field's offset at +5.
constexpr const char* PaletteGroupClear = "53 8B D8 8B 43 ?? 85 C0 74 0D E8 ?? ?? ?? ?? 8B 43 ?? E8 ?? ?? ?? ?? 5B C3";

// TCustomStringHashTable's constructor choosing its hash functions: the
// case-sensitive one at +5, the case-insensitive one at +23, stored into the
// field whose offset is at +29.
constexpr const char* StringHashTableCreate =
    "84 DB 74 12 B8 ?? ?? ?? ?? 89 46 ?? B8 ?? ?? ?? ?? 89 46 ?? EB 10 B8 ?? ?? ?? ?? 89 46 ?? B8 ?? ?? ?? ?? 89 46 ??";

// TUsesList's constructor making its index object (the call at +7) and
// setting it up (+17 .. +32).
constexpr const char* UsesListCreateIndex =
    "B2 01 A1 ?? ?? ?? ?? E8 ?? ?? ?? ?? 8B F0 89 77 10 8B C6 B2 01 E8 ?? ?? ?? ?? 8B 47 10 C6 40 ?? 01";

// TItemGroup.AddItem and TPropertyGroup.AddProperty formatting the
// arguments of the empty CheckAndWarn (68 and 116 bytes).
constexpr const char* AddItemCheckAndWarn =
    "8B DF 85 DB 74 18 8B 56 ?? 8B C7 FF 52 ?? 8B C8 8B 46 ?? 8B D3 E8 ?? ?? ?? ?? 8B D8 EB 02 33 DB 8D 45 F8 50 89 7D "
    "F0 C6 45 F4 11 8D 55 F0 33 C9 B8 ?? ?? ?? ?? E8 ?? ?? ?? ?? 8B 55 F8 8B C3 E8 ?? ?? ?? ??";
constexpr const char* AddPropertyCheckAndWarn =
    "8D 45 F4 50 8B 4D FC 8B D7 8B C3 E8 ?? ?? ?? ?? 8B 75 F4 89 75 F0 83 7D F0 00 74 21 8B 53 ?? 89 75 F0 8B 45 F0 FF "
    "52 ?? 8B C8 8B 43 ?? 89 75 F0 8B 55 F0 E8 ?? ?? ?? ?? 88 45 FB EB 04 C6 45 FB 00 8D 45 EC 50 89 7D DC C6 45 E0 11 "
    "8B 45 FC 89 45 E4 C6 45 E8 11 8D 55 DC B9 01 00 00 00 B8 ?? ?? ?? ?? E8 ?? ?? ?? ?? 8B 55 EC 0F B6 45 FB E8 ?? ?? "
    "?? ??";

}  // namespace Quillmend::IdeCollectionsPatterns

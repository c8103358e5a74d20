// "Compiler.DbkGetFileIndex": the debugger asks the compiler's file table
// for the index of a source path, and the compiler answers by walking
// every entry, comparing names. Here each entry array gets an index of its
// entries by file name (the name part hashed, equal names chained in array
// order), so a lookup only looks at the entries of the path's file name,
// with the compiler's own rule: the entry whose full name is the path
// wins, else the first one sharing the longest tail with the path (ASCII
// letters upper-cased); none: 0. The index learns entries added after a
// lookup, follows an array the table moved, and is dropped when the table
// is freed. Installed at the expert entry.
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

namespace DbgFileIndexPatterns {
// F, frees a file table (searched within 16 MB of the library's base).
inline constexpr const char* FreeTable =
    "53 56 8B F0 33 DB EB 14 8D 04 5B 8B 56 08 8B 44 C2 08 85 C0 74 05 E8 ?? ?? ?? ?? 43 3B 1E 7C E8 33 D2 89 16 "
    "89 56 04";
inline constexpr int32_t FreeTableSize = 0x10000;
// G, adds an entry; within this many bytes after F.
inline constexpr const char* AddEntry = "53 56 57 51 8B F2 89 04 24 8B 3E 8B 04 24";
inline constexpr int32_t AddEntryWindow = 0x100;
// I, the file-index lookup; within this many bytes after G.
inline constexpr const char* FileIndex =
    "53 56 57 55 81 C4 E8 FB FF FF 8B EA 8B F8 8B C5 8D 54 24 08 E8 ?? ?? ?? ?? 8D 94 24 0C 01 00 00 8B C5 E8 ?? "
    "?? ?? ?? 8D 94 24 0C 01 00 00 8D 44 24 08 E8 ?? ?? ?? ?? 33 C9 89 0C 24 89 4C 24 04";
inline constexpr int32_t FileIndexWindow = 0x500;
// N, inside I within this many bytes: +2 calls the entry's full name.
inline constexpr const char* FullNameCall = "8B C3 E8 ?? ?? ?? ?? 8B D5 E8 ?? ?? ?? ?? 85 C0 75 ??";
inline constexpr int32_t FullNameCallWindow = 0x100;
inline constexpr int32_t FullNameCallOffset = 0x02;
} // namespace DbgFileIndexPatterns

// The compiler's file table: count 0x00, entry array 0x08 of 24-byte
// entries {name record 0x04 (its text 11 bytes in), index 0x10}.
struct TDbgFileTable {
  int32_t Count;
  int32_t Host04;
  uint8_t* Entries;
};
namespace DbgFileEntryLayout {
inline constexpr int32_t Size = 24;
inline constexpr int32_t NameRecord = 0x04;
inline constexpr int32_t NameText = 11;  // into the name record
inline constexpr int32_t Index = 0x10;
} // namespace DbgFileEntryLayout

// The text of entry `position`'s name record, and its file name part.
const char* DbgFileEntryText(const uint8_t* entries, int32_t position);
// The answer for entry `position`: its index, or its 1-based position
// when the index is 0 or less.
int32_t DbgFileEntryAnswer(const uint8_t* entries, int32_t position);

// The entries of one array by file name: groups of equal names (hashed,
// compared ignoring case as the comparisons of the library do), each a
// chain of positions in array order.
// File names differing in a digit or two often share their hash; a second
// key tells most of them apart without comparing: a name of ASCII
// characters only equals only such names, so those carry a hash of their
// upper-cased bytes (odd), every other name 0.
uint32_t NameCheck(const char* name);
class TDbgFileNameIndex {
public:
  // Takes in the entries from Count() up to `count` (the array may have
  // moved: positions stay).
  void CatchUp(const uint8_t* entries, int32_t count);
  // The first position whose name part equals `name`, or -1.
  int32_t First(const uint8_t* entries, const char* name) const;
  int32_t Next(int32_t position) const { return FNext[size_t(position)]; }
  int32_t Count() const { return int32_t(FNext.size()); }

private:
  struct TGroup {
    uint32_t Hash;
    uint32_t Check;  // NameCheck of the name
    int32_t First;
    int32_t Last;
    int32_t NextInBucket;  // the next group of the bucket, -1
  };
  void Rehash(size_t buckets);
  int32_t FindGroup(const uint8_t* entries, const char* name, uint32_t hash, uint32_t check) const;
  std::vector<TGroup> FGroups;
  std::vector<int32_t> FBuckets;  // first group of each bucket, -1; a power of two
  std::vector<int32_t> FNext;     // per position: the next with an equal name, -1
};

// I's replacement: the index of the entry for `path` in `table`, 0 for none.
int32_t QM_REGISTER GetFileIndex(TDbgFileTable* table, const char* path);
// Arrays holding a name index now (for tests).
int32_t DbgFileIndexesLive();

std::vector<TPatchPlan> CompilerDbgGetFileIndexOptimizationPlans();
void InstallCompilerDbgGetFileIndexOptimization();

extern const TUnitInfo Unit_CompilerDbgGetFileIndexOptimization;

} // namespace Quillmend

// Records of the stand-in C++ compiler (comp32x.dll): interned name nodes,
// name records, debug-symbol contexts and their symbols, the compiler's
// state record and its locale record, and the variables the searched
// routines use. Shared by the assembly's C++ helpers and the driver.
#pragma once

#include <cstdint>

namespace Comp32x {

// An interned name: next (0), 32-bit at 4, creation serial at 8 (the
// allocator's, for checksums), 32-bit at 12, byte at 16, length byte at 17,
// the name's bytes from 18 followed by a zero byte (length + 19 bytes).
struct NameNode {
  NameNode* Next;
  uint32_t Field4;
  uint32_t Serial;
  int32_t Field12;
  uint8_t Field16;
  uint8_t Length;
  char Name[1];
};
static_assert(__builtin_offsetof(NameNode, Length) == 17, "length byte at 17");
static_assert(__builtin_offsetof(NameNode, Name) == 18, "name bytes from 18");

constexpr int NameBuckets = 32768;
constexpr uint32_t NamePoolTag = 250;

// What the symbol lookup is given: the name's text first.
struct NameRecord {
  const char* Text;
  uint32_t Length;
};

struct Symbol {
  Symbol* Next;
  char* Name;
  uint32_t Flags;
  int32_t Value;
};

// A debug-symbol context: the lookup answers only while the fields at 192
// and 300 are non-zero; the release frees the buffer at 0xB8.
namespace ContextLayout {
constexpr int Serial = 0x00;
constexpr int Symbols = 0x40;
constexpr int SymbolTail = 0x44;
constexpr int SymbolCount = 0x48;
constexpr int Buffer = 0xB8;
constexpr int Loaded = 0xC0;
constexpr int HasDebugInfo = 0x12C;
constexpr int Size = 0x140;
}  // namespace ContextLayout

// The compiler's state record: live contexts at 0x100.
namespace StateLayout {
constexpr int LiveContexts = 0x100;
constexpr int Size = 0x104;
}  // namespace StateLayout

// The C library's locale record: the lower-case table is used while the
// field at 8 is non-zero.
struct LocaleRecord {
  uint32_t Field0;
  uint32_t Field4;
  uint32_t UseTable;
};

}  // namespace Comp32x

// The compiler's variables (their addresses are in the searched code).
extern "C" {
extern uint32_t Comp32xNameHash;
extern uint32_t Comp32xNameLength;
extern Comp32x::NameNode* Comp32xNameTable[Comp32x::NameBuckets];
extern uint8_t* Comp32xCurrentContext;
extern int32_t Comp32xLookupLimit;
extern uint8_t* Comp32xState;
extern Comp32x::LocaleRecord* Comp32xLocale;
extern uint8_t Comp32xLowerTable[256];
extern uint32_t Comp32xLtolowerCalls;

// The searched routines (Comp32xCode.S), cdecl.
Comp32x::NameNode* Comp32xInternName(const char* name);
int32_t Comp32xSymbolLookup(const Comp32x::NameRecord* name, int32_t flag);
void Comp32xReleaseContext();
int32_t Comp32xStricmp(const char* a, const char* b);
int32_t Comp32xScanIntSuffix(const char* text);
int32_t Comp32xLtolower(int32_t c);
}

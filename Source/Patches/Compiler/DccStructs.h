// Records of the compiler library dcc150.dll that the compiler patches read
// and write. The library ships without symbols; these offsets fit the build
// the patterns are made for, and every pattern that embeds one of them is checked against
// the constants here before anything is written.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Hooking/MatchedCode.h"

namespace Quillmend {

// ---- layout constants -----------------------------------------------------------

namespace DccUnitLayout {
constexpr uint32_t Next = 0x04;          // pointer: next unit on the compiler's list
constexpr uint32_t NameHash = 0x11;      // 8 bits: the compiler's one-byte name hash
constexpr uint32_t State = 0x12;         // 8 bits: compile state
constexpr uint32_t Flags = 0x14;         // 16 bits
constexpr uint32_t Imports = 0x74;       // pointer: first import node
constexpr uint32_t UnitSymbol = 0x80;    // pointer: symbol of the unit's own name, or null
constexpr uint32_t UnlinkGuard = 0x160;  // 32 bits: tested by the compiler's unlinking loop
constexpr uint32_t SymbolChains = 0x16C; // 256 pointers: symbol chains by name hash byte
}  // namespace DccUnitLayout

namespace DccImportLayout {
constexpr uint32_t Flags = 0x01;  // 8 bits: bit 0 set when the link is cut
constexpr uint32_t Unit = 0x10;   // pointer: imported unit, null when unlinked
constexpr uint32_t Next = 0x14;   // pointer: next import node
}  // namespace DccImportLayout

namespace DccSymbolLayout {
constexpr uint32_t Kind = 0x00;   // 0x16 unit name, 0x19 excluded from name lookups
constexpr uint32_t Flags = 0x01;  // 0x40: takes part in name lookups
constexpr uint32_t Byte2 = 0x02;  // compared between unit-name symbols before their names
constexpr uint32_t Byte3 = 0x03;  // tested by the scope and import loops
constexpr uint32_t Unit = 0x10;   // for a unit-name symbol: its unit record
constexpr uint32_t Next = 0x18;   // next symbol of the same chain
constexpr uint32_t Name = 0x1E;   // inline zero-terminated UTF-8 name
}  // namespace DccSymbolLayout

// The compiler's memory manager: a context owns a chain of zones; a zone
// descriptor is {Next, Size, Start} as the compiler allocates it (12 bytes),
// enlarged by the unit-of-address index with the two fields after Start.
namespace DccContextLayout {
constexpr uint32_t Next = 0x00;         // pointer: next context of the same chain
constexpr uint32_t FirstZone = 0x08;    // pointer: first zone descriptor
constexpr uint32_t CurrentZone = 0x0C;  // pointer: the zone allocations go to
}  // namespace DccContextLayout

namespace DccZoneLayout {
constexpr uint32_t Next = 0x00;      // pointer: next zone of the context (or of the free ranges)
constexpr uint32_t Size = 0x04;      // 32 bits: bytes
constexpr uint32_t Start = 0x08;     // pointer: first byte
constexpr uint32_t Context = 0x0C;   // added: the context that owns the zone
constexpr uint32_t ZoneUnit = 0x10;  // added: in a context's first zone, the unit record the context belongs to
constexpr uint32_t HostSize = 0x0C;  // bytes of the compiler's own descriptor
constexpr uint32_t EnlargedSize = 0x14;
}  // namespace DccZoneLayout

constexpr uint8_t DccUnitNameSymbolKind = 0x16;
constexpr uint8_t DccUnlookedSymbolKind = 0x19;
constexpr uint8_t DccSymbolLookupFlag = 0x40;

// ---- record views ----------------------------------------------------------------
// Never allocated by us: host records are only read and written in place.

struct TDccUnit;

struct TDccSymbol {
  uint8_t Kind;
  uint8_t Flags;
  uint8_t Byte2;
  uint8_t Byte3;
  uint8_t Reserved04[0x0C];
  TDccUnit* Unit;
  uint8_t Reserved14[0x04];
  TDccSymbol* Next;
  uint8_t Reserved1C[0x02];
  char Name[1];
};

struct TDccImport {
  uint8_t Reserved00;
  uint8_t Flags;
  uint8_t Reserved02[0x0E];
  TDccUnit* Unit;
  TDccImport* Next;
};

struct TDccUnit {
  uint8_t Reserved00[0x04];
  TDccUnit* Next;
  uint8_t Reserved08[0x09];
  uint8_t NameHash;
  uint8_t State;
  uint8_t Reserved13;
  uint16_t Flags;
  uint8_t Reserved16[0x5E];
  TDccImport* Imports;
  uint8_t Reserved78[0x08];
  TDccSymbol* UnitSymbol;
  uint8_t Reserved84[0xDC];
  uint32_t UnlinkGuard;
  uint8_t Reserved164[0x08];
  TDccSymbol* SymbolChains[256];
};

struct TDccContext;

// A zone descriptor, enlarged. Context and ZoneUnit exist only once the
// compiler's pool hands out enlarged descriptors.
struct TDccZone {
  TDccZone* Next;
  uint32_t Size;
  uint8_t* Start;
  TDccContext* Context;
  TDccUnit* ZoneUnit;
};

struct TDccContext {
  TDccContext* Next;
  uint8_t Reserved04[0x04];
  TDccZone* FirstZone;
  TDccZone* CurrentZone;
};

// A run of units the compiler appends to its list in one go.
struct TDccUnitChain {
  uint8_t Reserved00[0x0C];
  TDccUnit* First;
  TDccUnit* Last;
};

// Nodes of the two further lists the compiler's unlinking walks: list 1 holds
// a record at offset 8 of each node; list 2 holds groups whose chain (offset 4)
// is made of such nodes.
struct TDccRecordNode {
  TDccRecordNode* Next;
  uint32_t Reserved04;
  TDccUnit* Record;
};
struct TDccRecordGroup {
  TDccRecordGroup* Next;
  TDccRecordNode* Chain;
};

static_assert(offsetof(TDccSymbol, Name) == DccSymbolLayout::Name, "Invalid Symbol.Name offset");
static_assert(offsetof(TDccSymbol, Unit) == DccSymbolLayout::Unit && offsetof(TDccSymbol, Next) == DccSymbolLayout::Next &&
              offsetof(TDccSymbol, Byte2) == DccSymbolLayout::Byte2 && offsetof(TDccSymbol, Byte3) == DccSymbolLayout::Byte3,
              "symbol record layout");
static_assert(offsetof(TDccImport, Flags) == DccImportLayout::Flags && offsetof(TDccImport, Unit) == DccImportLayout::Unit &&
              offsetof(TDccImport, Next) == DccImportLayout::Next, "import node layout");
static_assert(offsetof(TDccUnit, Next) == DccUnitLayout::Next && offsetof(TDccUnit, NameHash) == DccUnitLayout::NameHash &&
              offsetof(TDccUnit, State) == DccUnitLayout::State && offsetof(TDccUnit, Flags) == DccUnitLayout::Flags &&
              offsetof(TDccUnit, Imports) == DccUnitLayout::Imports &&
              offsetof(TDccUnit, UnitSymbol) == DccUnitLayout::UnitSymbol &&
              offsetof(TDccUnit, UnlinkGuard) == DccUnitLayout::UnlinkGuard &&
              offsetof(TDccUnit, SymbolChains) == DccUnitLayout::SymbolChains, "unit record layout");
static_assert(offsetof(TDccZone, Next) == DccZoneLayout::Next && offsetof(TDccZone, Size) == DccZoneLayout::Size &&
              offsetof(TDccZone, Start) == DccZoneLayout::Start && offsetof(TDccZone, Context) == DccZoneLayout::Context &&
              offsetof(TDccZone, ZoneUnit) == DccZoneLayout::ZoneUnit && sizeof(TDccZone) == DccZoneLayout::EnlargedSize,
              "zone descriptor layout");
static_assert(offsetof(TDccContext, FirstZone) == DccContextLayout::FirstZone &&
              offsetof(TDccContext, CurrentZone) == DccContextLayout::CurrentZone, "context layout");
static_assert(offsetof(TDccUnitChain, First) == 0x0C && offsetof(TDccUnitChain, Last) == 0x10, "unit chain layout");
static_assert(offsetof(TDccRecordNode, Record) == 0x08 && offsetof(TDccRecordGroup, Chain) == 0x04,
              "further list layout");

} // namespace Quillmend

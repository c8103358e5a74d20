// What a unit keeps about the symbols it imports: exported symbols that sit
// in chain [byte 2] of their unit, references an importer makes to them
// (chained per import node), and uses of an imported name that the compiler
// resolves. All of it lies in the memory context of the unit that holds it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "DccRecords.h"

namespace Dcc {

constexpr uint8_t ReferenceKind = 0x3A;
constexpr uint8_t UseKind = 0x3B;

// A reference of an importer to a symbol of an imported unit.
struct TReference {
  uint8_t Kind;          // 0x00: ReferenceKind
  uint8_t Flags;         // 0x01
  uint8_t Index;         // 0x02: the symbol's chain index
  uint8_t Pad03[0x09];
  TSymbol* Symbol;       // 0x0C
  TImport* Node;         // 0x10: the import it was made through
  TReference* Next;      // 0x14: next reference through the same import
  uint32_t Serial;       // 0x18
  uint32_t Pad1C;
  TUnit* Importer;       // 0x20: the unit (or record) that made it
  uint32_t Pad24;
  TUnit* Found;          // 0x28: the unit the symbol was found in, once known
  uint32_t Pad2C;
};
static_assert(offsetof(TReference, Symbol) == 0x0C && offsetof(TReference, Next) == 0x14 &&
              offsetof(TReference, Importer) == 0x20 && offsetof(TReference, Found) == 0x28, "reference layout");

// A use of an imported name, to be resolved.
struct TUse {
  uint8_t Kind;          // 0x00: UseKind
  uint8_t Flags;         // 0x01: bit 0: the unit being compiled's own declarations come first
  uint8_t Pad02[0x0A];
  TReference* Reference; // 0x0C
};
static_assert(offsetof(TUse, Reference) == 0x0C, "use layout");

constexpr int ExportsPerUnit = 4;
constexpr int ReferencedImports = 4;     // imports of a unit that get references
constexpr int ReferencesPerImport = 2;

// What GiveExports made for a unit (or unit-like record).
struct TExports {
  TSymbol* Symbols[ExportsPerUnit];
  TReference* References[ReferencedImports * ReferencesPerImport];
  TUse* Uses[ReferencedImports * ReferencesPerImport];
  int ReferenceCount;
};

// Exported symbols (the last one standing for the first export of the unit's
// first import, byte 3 = 0x80), then references with uses to the exports of
// the units it imports (their exports must exist already).
void GiveExports(TUnit* unit, TExports& made);
TSymbol* ExportOf(TUnit* unit, int index);

} // namespace Dcc

extern "C" {
// Routines of DccImportLookups.S and DccSymbolLookup.S, host register convention.
Dcc::TSymbol* QM_HOST_REGISTER DccSymbolReference(Dcc::TSymbol* symbol) asm("_DccSymbolReference");
Dcc::TUnit* QM_HOST_REGISTER DccReferenceOwner(Dcc::TReference* reference) asm("_DccReferenceOwner");
Dcc::TUnit* QM_HOST_REGISTER DccDeclaringUnit(Dcc::TSymbol* symbol) asm("_DccDeclaringUnit");
Dcc::TSymbol* QM_HOST_REGISTER DccResolveUse(Dcc::TUse* use) asm("_DccResolveUse");
Dcc::TSymbol* QM_HOST_REGISTER DccScopeLookup(uint32_t hashByte, const char* name, uint8_t* byScope)
    asm("_DccScopeLookup");
extern Dcc::TSymbol* DccScopeOwner asm("_DccScopeOwner");
extern int32_t DccScopeCount asm("_DccScopeCount");
extern Dcc::TUnit* DccScopeUnits[32] asm("_DccScopeUnits");

// C++ the lookups call, host register convention.
// The scope a unit's symbols are qualified in: its unit-name symbol.
Dcc::TSymbol* QM_HOST_REGISTER DccUnitScope(Dcc::TUnit* unit, uint32_t flags) asm("DccUnitScope");
// A candidate qualified in a scope: the symbol, or null for an overload that
// does not fit (byte 3 bit 0).
Dcc::TSymbol* QM_HOST_REGISTER DccAcceptSymbol(Dcc::TSymbol* symbol, Dcc::TSymbol* scope, uint32_t index)
    asm("DccAcceptSymbol");
// A symbol provided through an import: null when the import's link was cut.
Dcc::TSymbol* QM_HOST_REGISTER DccImportedThrough(Dcc::TSymbol* symbol, Dcc::TImport* node, uint32_t index)
    asm("DccImportedThrough");
}

// Records of the stand-in compiler library: loaded units, their import nodes
// and symbols, laid out at the offsets the real compiler uses, plus the host
// variables and routines shared between the assembly and the C++ parts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Common/HostLayout.h"

namespace Dcc {

struct TUnit;
struct TContext;
struct TReference;

struct TSymbol {
  uint8_t Kind;          // 0x00: 0x16 unit name, 0x19 excluded from name lookups
  uint8_t Flags;         // 0x01: 0x40 takes part in name lookups
  uint8_t Byte2;         // 0x02
  uint8_t Byte3;         // 0x03
  uint8_t Pad04[0x0C];
  void* Ref;             // 0x10: for a unit-name symbol its unit record
  uint32_t Index;        // 0x14: creation number (not read by the compiler's hot paths)
  TSymbol* Next;         // 0x18: next symbol of the same chain
  uint8_t Pad1C[2];
  char Name[2];          // 0x1E: zero-terminated UTF-8, allocated to length
};
static_assert(offsetof(TSymbol, Ref) == 0x10 && offsetof(TSymbol, Next) == 0x18 &&
              offsetof(TSymbol, Name) == 0x1E, "symbol record layout");

struct TImport {
  uint8_t OwnsName;      // 0x00: Name was copied for this node
  uint8_t Flags;         // 0x01: bit 0 set when the link was cut
  uint8_t Pad02[0x0A];
  TReference* References;  // 0x0C: the importer's references through this import (DccReferences.h)
  TUnit* Unit;           // 0x10: imported unit, null when unlinked
  TImport* Next;         // 0x14
  char* Name;            // 0x18: the name the unit was imported by (re-resolved after a cut)
};
static_assert(offsetof(TImport, References) == 0x0C && offsetof(TImport, Unit) == 0x10 &&
              offsetof(TImport, Next) == 0x14, "import node layout");

struct TUnit {
  uint32_t Magic;        // 0x00
  TUnit* Next;           // 0x04
  uint8_t Pad08[0x09];
  uint8_t NameHash;      // 0x11
  uint8_t State;         // 0x12
  uint8_t Pad13;
  uint16_t Flags;        // 0x14
  uint8_t Pad16[0x5E];
  TImport* Imports;      // 0x74
  uint8_t Pad78[0x08];
  TSymbol* UnitSymbol;   // 0x80
  uint8_t Pad84[0xDC];
  uint32_t Busy;         // 0x160: units with a nonzero value are skipped by the unlinking loop
  uint8_t Pad164[0x08];
  TSymbol* Chains[256];  // 0x16C: symbol chains by one-byte name hash
  uint32_t Serial;       // creation number, for the driver's bookkeeping
  char* SourceName;      // the unit's name, kept for reloading
  void* SymbolBlock;     // one block holding all of the unit's symbols, or null
  TImport* ImportBlock;  // room for the imports known when the unit was loaded
  uint32_t ImportBlockUsed, ImportBlockSize;
  TImport* ImportTail;   // last node of Imports, so that appending is not a walk
  void* SymbolRoom;      // room for the symbol block reserved with the record, until used
  uint32_t SymbolRoomSize;
  uint32_t RecordSize;   // bytes of the record's allocation
  TContext* Context;     // the memory context the record opened (DccContexts.h)
};
static_assert(offsetof(TUnit, Next) == 0x04 && offsetof(TUnit, NameHash) == 0x11 &&
              offsetof(TUnit, State) == 0x12 && offsetof(TUnit, Flags) == 0x14 &&
              offsetof(TUnit, Imports) == 0x74 && offsetof(TUnit, UnitSymbol) == 0x80 &&
              offsetof(TUnit, Busy) == 0x160 && offsetof(TUnit, Chains) == 0x16C, "unit record layout");

// A run of units appended to the unit list in one go (a package's units).
struct TUnitChain {
  uint8_t Pad00[0x0C];
  TUnit* First;          // 0x0C
  TUnit* Last;           // 0x10
};
static_assert(offsetof(TUnitChain, First) == 0x0C && offsetof(TUnitChain, Last) == 0x10, "chain layout");

// Node of the first further list: a unit-like record not on the unit list.
struct TRecordNode {
  TRecordNode* Next;     // 0x00
  uint32_t Pad04;
  TUnit* Record;         // 0x08
};
// Element of the second further list: a group with its own chain of record nodes.
struct TRecordGroup {
  TRecordGroup* Next;    // 0x00
  TRecordNode* Chain;    // 0x04
};

// Unit states the compiler uses.
enum : uint8_t { usParsing = 0, usSourceChanged = 2, usRecompile = 4, usOutdated = 5,
                 usCompiled = 7, usLoaded = 8 };

} // namespace Dcc

// Host variables (defined in DccCode.S).
extern "C" {
extern Dcc::TUnit* DccUnitListHead asm("_DccUnitListHead");
extern Dcc::TUnit* DccUnitListTail asm("_DccUnitListTail");
extern Dcc::TRecordNode* DccRecordList asm("_DccRecordList");
extern Dcc::TRecordGroup* DccRecordGroups asm("_DccRecordGroups");
extern Dcc::TUnit* DccCurrentUnit asm("_DccCurrentUnit");
extern Dcc::TUnit* DccImportUnit asm("_DccImportUnit");
extern Dcc::TUnit* DccLastCompiledUnit asm("_DccLastCompiledUnit");
extern const char* DccOptions[6] asm("_DccOptions");

// Host routines written in assembly (DccCode.S), host register convention.
int QM_HOST_REGISTER DccNameCompare(const char* a, const char* b) asm("_DccNameCompare");
void QM_HOST_REGISTER DccUnlinkImports(Dcc::TUnit* unit) asm("_DccUnlinkImports");
void QM_HOST_REGISTER DccResetUnits(int mode, int a, int b) asm("_DccResetUnits");
void QM_HOST_REGISTER DccKibitzUnitReset() asm("_DccKibitzUnitReset");
void QM_HOST_REGISTER DccUnitFreeAll() asm("_DccUnitFreeAll");
void QM_HOST_REGISTER DccUnitAppend(Dcc::TUnit* unit) asm("_DccUnitAppend");
int QM_HOST_REGISTER DccUnitRemove(Dcc::TUnit* unit) asm("_DccUnitRemove");
void QM_HOST_REGISTER DccUnitChainAppend(Dcc::TUnitChain* chain) asm("_DccUnitChainAppend");
Dcc::TUnit* QM_HOST_REGISTER DccUnitFind(const char* name) asm("_DccUnitFind");
const char* QM_HOST_REGISTER DccResolveAlias(const char* name) asm("_DccResolveAlias");
int QM_HOST_REGISTER DccAfterCompile(int projectChanged, int explicitBuild) asm("_DccAfterCompile");
Dcc::TSymbol* QM_HOST_REGISTER DccSymLookupScope(Dcc::TSymbol** chains, int hashByte, const char* name)
    asm("_DccSymLookupScope");
Dcc::TSymbol* QM_HOST_REGISTER DccImportedSymbol(Dcc::TSymbol* query, Dcc::TSymbol* context)
    asm("_DccImportedSymbol");

// Host routines written in C++ (DccHost.cpp), called from the assembly.
uint32_t QM_HOST_REGISTER HostNameHashByte(const char* name) asm("HostNameHashByte");
void QM_HOST_REGISTER HostUnlinkFromUnit(Dcc::TUnit* unit, Dcc::TUnit* removed) asm("HostUnlinkFromUnit");
void QM_HOST_REGISTER HostUnlinkFinished(Dcc::TUnit* removed) asm("HostUnlinkFinished");
Dcc::TUnit* QM_HOST_REGISTER HostUnitFree(Dcc::TUnit* unit) asm("HostUnitFree");
void QM_HOST_REGISTER HostFreeRecordLists() asm("HostFreeRecordLists");
void QM_HOST_REGISTER HostFreeAllDone() asm("HostFreeAllDone");
int QM_HOST_REGISTER HostIsCoreUnitName(const char* name) asm("HostIsCoreUnitName");
int QM_HOST_REGISTER HostUnitIsLive(Dcc::TUnit* unit) asm("HostUnitIsLive");
const char* const* QM_HOST_REGISTER HostFindAlias(const char* name) asm("HostFindAlias");
int QM_HOST_REGISTER HostOptionStringsDiffer(const char* a, const char* b) asm("HostOptionStringsDiffer");
int QM_HOST_REGISTER HostSymbolVisible(Dcc::TSymbol* candidate, Dcc::TSymbol* context) asm("HostSymbolVisible");
int __stdcall HostCompileCmdLine(const char* commandLine) asm("HostCompileCmdLine");
}

// Creation and release of the stand-in compiler's records.
#pragma once

#include "DccRecords.h"

namespace Dcc {

// How a unit-like record is made: by the compiler's first or second unit
// creation routine, or as a record no unit owns (the further lists).
enum class TRecordMaker { FirstForm, SecondForm, Unowned };

// A unit record with its name hash and name set; not on any list, no
// symbols. The record is the first allocation of a new memory context, and
// room for `importCapacity` import nodes and a symbol block of `symbolBytes`
// is taken from that context right away.
TUnit* NewUnitRecord(const char* name, uint32_t serial, uint32_t importCapacity = 0, size_t symbolBytes = 0,
                     TRecordMaker maker = TRecordMaker::SecondForm);
// A symbol in the compiler's table memory (not a unit's).
TSymbol* NewSymbol(const char* name, uint8_t kind, uint8_t flags, uint8_t byte2, uint8_t byte3,
                   uint32_t index);
// Puts a symbol at the head of the unit's chain for its name's hash byte.
void AddSymbol(TUnit* unit, TSymbol* symbol);
// Appends an import node (imported by `name`, linked to `target`, may be
// null). A name that is not copied must outlive the unit.
TImport* AddImportNode(TUnit* unit, const char* name, TUnit* target, bool copyName = true);
// The block for a unit's symbols, placed one after another and owned by the
// unit (the room reserved with the record if it is large enough); `bytes` is
// the sum of SymbolSize over the symbols.
TSymbol* NewSymbolBlock(TUnit* unit, size_t bytes);
size_t SymbolSize(const char* name);
// Fills a symbol at `at` (zeroed memory of SymbolSize(name) bytes).
TSymbol* PlaceSymbol(void* at, const char* name, uint8_t kind, uint8_t flags, uint8_t byte2, uint8_t byte3,
                     uint32_t index);
// Releases a record that is on no list: its memory context with everything in it.
void FreeUnitRecord(TUnit* unit);

// Raises a host exception if a test armed the unit-free routine for this
// unit (DccRaiseOnFree); the arming is used up.
void RaiseIfArmedForFree(TUnit* unit);

void AddAlias(const char* name, const char* target);
void ClearAliases();

} // namespace Dcc

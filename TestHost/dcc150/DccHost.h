// Creation and release of the stand-in compiler's records.
#pragma once

#include "DccRecords.h"

namespace Dcc {

// A unit record with its name hash and name set; not on any list, no symbols.
TUnit* NewUnitRecord(const char* name, uint32_t serial);
TSymbol* NewSymbol(const char* name, uint8_t kind, uint8_t flags, uint8_t byte2, uint8_t byte3,
                   uint32_t index);
// Puts a symbol at the head of the unit's chain for its name's hash byte.
void AddSymbol(TUnit* unit, TSymbol* symbol);
// Appends an import node (imported by `name`, linked to `target`, may be null).
TImport* AddImportNode(TUnit* unit, const char* name, TUnit* target);
// Releases a record that is on no list (imports, symbols, the record).
void FreeUnitRecord(TUnit* unit);

void AddAlias(const char* name, const char* target);
void ClearAliases();

} // namespace Dcc

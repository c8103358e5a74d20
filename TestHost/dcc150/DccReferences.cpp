#include "DccReferences.h"
#include "DccContexts.h"
#include "DccHost.h"

#include <cstdio>
#include <cstring>

using namespace Dcc;

namespace {

void ExportName(char* out, size_t size, const TUnit* unit, int index) {
  snprintf(out, size, "%s.E%d", unit->SourceName, index);
}

// Export `index` of a unit: a symbol in chain [byte 2] of the unit.
TSymbol* NewExport(TUnit* unit, int index) {
  char name[96];
  ExportName(name, sizeof name, unit, index);
  TSymbol* symbol = PlaceSymbol(Allocate(unit->Context, SymbolSize(name)), name, 0x05, 0x40,
                                uint8_t(HostNameHashByte(name)), 0, unit->Serial * 16 + 10 + uint32_t(index));
  AddSymbol(unit, symbol);
  return symbol;
}

} // namespace

namespace Dcc {

TSymbol* ExportOf(TUnit* unit, int index) {
  char name[96];
  ExportName(name, sizeof name, unit, index);
  for (TSymbol* symbol = unit->Chains[HostNameHashByte(name)]; symbol; symbol = symbol->Next)
    if (symbol->Byte2 == HostNameHashByte(name) && strcmp(symbol->Name, name) == 0) return symbol;
  return nullptr;
}

void GiveExports(TUnit* unit, TExports& made) {
  made = TExports();
  for (int k = 0; k < ExportsPerUnit; ++k) made.Symbols[k] = NewExport(unit, k);
  TSymbol* forwarder = made.Symbols[ExportsPerUnit - 1];
  int imports = 0;
  for (TImport* node = unit->Imports; node && imports < ReferencedImports; node = node->Next) {
    TUnit* target = node->Unit;
    if (!target || !ExportOf(target, 0)) continue;
    if (imports == 0) {
      forwarder->Byte3 = 0x80;  // stands for the first export of the first import
      forwarder->Ref = ExportOf(target, 0);
    }
    for (int r = 0; r < ReferencesPerImport; ++r) {
      TReference* reference = static_cast<TReference*>(Allocate(unit->Context, sizeof(TReference)));
      reference->Kind = ReferenceKind;
      reference->Symbol = ExportOf(target, (imports + r) % (ExportsPerUnit - 1));
      reference->Index = reference->Symbol->Byte2;
      reference->Node = node;
      reference->Importer = unit;
      reference->Serial = unit->Serial * 64 + uint32_t(made.ReferenceCount);
      // Some references know already where their symbol was found.
      if ((unit->Serial + uint32_t(r)) % 3 == 0) reference->Found = target;
      reference->Next = node->References;
      node->References = reference;
      TUse* use = static_cast<TUse*>(Allocate(unit->Context, sizeof(TUse)));
      use->Kind = UseKind;
      use->Flags = uint8_t((unit->Serial + uint32_t(imports)) & 1);
      use->Reference = reference;
      made.References[made.ReferenceCount] = reference;
      made.Uses[made.ReferenceCount] = use;
      ++made.ReferenceCount;
    }
    ++imports;
  }
}

} // namespace Dcc

extern "C" {

TSymbol* QM_HOST_REGISTER DccUnitScope(TUnit* unit, uint32_t) { return unit ? unit->UnitSymbol : nullptr; }

TSymbol* QM_HOST_REGISTER DccAcceptSymbol(TSymbol* symbol, TSymbol*, uint32_t) {
  return symbol && !(symbol->Byte3 & 1) ? symbol : nullptr;
}

TSymbol* QM_HOST_REGISTER DccImportedThrough(TSymbol* symbol, TImport* node, uint32_t) {
  return node->Flags & 1 ? nullptr : symbol;
}


} // extern "C"

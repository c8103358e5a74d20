// The stand-in compiler's own C++ routines: the ones its assembly calls
// (hash byte, unlinking one importer, freeing a unit, aliases, visibility)
// and the creation and release of unit and symbol records.
#include "DccCodeInsight.h"
#include "DccHost.h"
#include "DccContexts.h"
#include "DccMemory.h"

#include <cstdlib>
#include <cstring>
#include <vector>

using namespace Dcc;

namespace {

// Units whose links the current (outermost) unlinking call has cut, in order.
std::vector<TUnit*> g_unlinked;
int g_unlinkDepth = 0;

struct TAlias {
  char* Name;    // 0x00
  char* Target;  // 0x04
};
std::vector<TAlias*> g_aliases;
TContext* g_aliasContext = nullptr;  // the aliases' memory, one of the compiler's tables

constexpr uint32_t UnitMagic = 0x54494E55;  // "UNIT": set while the record is allocated (freed: poisoned)

size_t Align4(size_t n) { return (n + 3) & ~size_t(3); }

void FreeRecordContents(TUnit* unit) {
  TContext* context = unit->Context;
  // Poisoned so that a stale reference to a released unit fails loudly.
  memset(unit, 0xDD, sizeof(TUnit));
  FreeContext(context);
}

// After the outermost unlinking call: units flagged 0x2000|0x4000 lose 0x4000
// when a unit of the same name (and the same byte 2 of the unit symbol) had
// its links cut.
void ClearFlagOfSameNamed() {
  for (TUnit* unit = DccUnitListHead; unit; unit = unit->Next) {
    if ((unit->Flags & 0x6000) != 0x6000 || !unit->UnitSymbol) continue;
    for (TUnit* cut : g_unlinked) {
      TSymbol* symbol = cut->UnitSymbol;
      if (symbol && symbol->Byte2 == unit->UnitSymbol->Byte2 &&
          DccNameCompare(symbol->Name, unit->UnitSymbol->Name) == 0) {
        unit->Flags &= ~0x4000;
        break;
      }
    }
  }
}

} // namespace

extern "C" {

uint32_t QM_HOST_REGISTER HostNameHashByte(const char* name) {
  uint32_t h = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
    unsigned c = *p;
    if (c >= 'a' && c <= 'z') c -= 0x20;
    h = (h * 31 + c) & 0xFF;
  }
  return h;
}

void QM_HOST_REGISTER HostUnlinkFromUnit(TUnit* unit, TUnit* removed) {
  for (TImport* node = unit->Imports; node; node = node->Next) {
    if (node->Unit != removed) continue;
    node->Unit = nullptr;
    node->Flags |= 1;
    if (unit->State == usCompiled || unit->State == usLoaded) {
      unit->State = usRecompile;
      ++g_unlinkDepth;
      DccUnlinkImports(unit);
      --g_unlinkDepth;
    }
  }
}

void QM_HOST_REGISTER HostUnlinkFinished(TUnit* removed) {
  g_unlinked.push_back(removed);
  if (g_unlinkDepth > 0) return;
  ClearFlagOfSameNamed();
  g_unlinked.clear();
}

TUnit* QM_HOST_REGISTER HostUnitFree(TUnit* unit) {
  RaiseIfArmedForFree(unit);
  TUnit* next = unit->Next;
  DccUnlinkImports(unit);
  DccUnitRemove(unit);
  if (DccCurrentUnit == unit) DccCurrentUnit = nullptr;
  if (DccImportUnit == unit) DccImportUnit = nullptr;
  if (DccLastCompiledUnit == unit) DccLastCompiledUnit = nullptr;
  FreeRecordContents(unit);
  return next;
}

// The records of the further lists belong to the loaded units' world too.
void QM_HOST_REGISTER HostFreeRecordLists() {
  for (TRecordNode* node = DccRecordList; node;) {
    TRecordNode* next = node->Next;
    FreeRecordContents(node->Record);
    DccFree(node);
    node = next;
  }
  DccRecordList = nullptr;
  for (TRecordGroup* group = DccRecordGroups; group;) {
    TRecordGroup* nextGroup = group->Next;
    for (TRecordNode* node = group->Chain; node;) {
      TRecordNode* next = node->Next;
      FreeRecordContents(node->Record);
      DccFree(node);
      node = next;
    }
    DccFree(group);
    group = nextGroup;
  }
  DccRecordGroups = nullptr;
  // A compile's scratch memory ends with it.
  while (DccScratchContexts) FreeContext(DccScratchContexts);
}

void QM_HOST_REGISTER HostFreeAllDone() {
  HostFreeRecordLists();
  DccCurrentUnit = nullptr;
  DccImportUnit = nullptr;
}

// Called with the unit symbol's address + 0x1E: a unit that has no symbol yet
// passes 0x1E, and has no name.
int QM_HOST_REGISTER HostIsCoreUnitName(const char* name) {
  if (reinterpret_cast<uintptr_t>(name) < 0x10000) return 0;
  return DccNameCompare(name, "System") == 0 || DccNameCompare(name, "SysInit") == 0;
}

// A link is broken when its unit record is no longer allocated; a unit
// without its symbols yet (still being loaded) is alive.
int QM_HOST_REGISTER HostUnitIsLive(TUnit* unit) { return unit->Magic == UnitMagic; }

const char* const* QM_HOST_REGISTER HostFindAlias(const char* name) {
  RunAliasHook();
  unsigned first = static_cast<unsigned char>(*name) & ~0x20u;
  for (TAlias* alias : g_aliases)
    if ((static_cast<unsigned char>(*alias->Name) & ~0x20u) == first && DccNameCompare(alias->Name, name) == 0)
      return &alias->Name;
  return nullptr;
}

int QM_HOST_REGISTER HostOptionStringsDiffer(const char* a, const char* b) {
  if (!a || !b) return a != b;
  return strcmp(a, b) != 0;
}

int QM_HOST_REGISTER HostSymbolVisible(TSymbol* candidate, TSymbol* context) {
  return candidate->Byte2 == 0 || candidate->Byte2 == context->Byte2;
}

} // extern "C"

namespace Dcc {

TUnit* NewUnitRecord(const char* name, uint32_t serial, uint32_t importCapacity, size_t symbolBytes,
                     TRecordMaker maker) {
  TUnit* unit;
  TContext* context;
  switch (maker) {
    case TRecordMaker::FirstForm:
      unit = DccCreateUnit();
      context = DccCurrentContext;
      break;
    case TRecordMaker::SecondForm:
      unit = DccCreateUnitSaved(0, 0);
      context = DccContexts;  // made at the chain's head
      break;
    default:
      context = NewContext(&DccContexts, ckRecord, 0);
      unit = static_cast<TUnit*>(Allocate(context, sizeof(TUnit)));
      break;
  }
  context->Serial = serial;
  unit->Context = context;
  unit->Magic = UnitMagic;
  unit->NameHash = uint8_t(HostNameHashByte(name));
  unit->Serial = serial;
  unit->RecordSize = sizeof(TUnit);
  unit->SourceName = CopyText(context, name);
  if (importCapacity) {
    unit->ImportBlock = static_cast<TImport*>(Allocate(context, importCapacity * sizeof(TImport)));
    unit->ImportBlockSize = importCapacity;
  }
  if (symbolBytes) {
    unit->SymbolRoom = Allocate(context, Align4(symbolBytes));
    unit->SymbolRoomSize = uint32_t(symbolBytes);
  }
  return unit;
}

size_t SymbolSize(const char* name) {
  size_t size = (offsetof(TSymbol, Name) + strlen(name) + 1 + 3) & ~size_t(3);
  return size < sizeof(TSymbol) ? sizeof(TSymbol) : size;
}

TSymbol* NewSymbolBlock(TUnit* unit, size_t bytes) {
  if (unit->SymbolRoom && bytes <= unit->SymbolRoomSize) {
    unit->SymbolBlock = unit->SymbolRoom;  // zeroed with the record
    unit->SymbolRoom = nullptr;
    return static_cast<TSymbol*>(unit->SymbolBlock);
  }
  unit->SymbolBlock = Allocate(unit->Context, bytes);
  return static_cast<TSymbol*>(unit->SymbolBlock);
}

TSymbol* PlaceSymbol(void* at, const char* name, uint8_t kind, uint8_t flags, uint8_t byte2, uint8_t byte3,
                     uint32_t index) {
  TSymbol* symbol = static_cast<TSymbol*>(at);
  symbol->Kind = kind;
  symbol->Flags = flags;
  symbol->Byte2 = byte2;
  symbol->Byte3 = byte3;
  symbol->Index = index;
  strcpy(symbol->Name, name);
  return symbol;
}

TSymbol* NewSymbol(const char* name, uint8_t kind, uint8_t flags, uint8_t byte2, uint8_t byte3,
                   uint32_t index) {
  return PlaceSymbol(Allocate(TableContext(), SymbolSize(name)), name, kind, flags, byte2, byte3, index);
}

void AddSymbol(TUnit* unit, TSymbol* symbol) {
  TSymbol*& head = unit->Chains[HostNameHashByte(symbol->Name)];
  symbol->Next = head;
  head = symbol;
}

TImport* AddImportNode(TUnit* unit, const char* name, TUnit* target, bool copyName) {
  TImport* node = unit->ImportBlockUsed < unit->ImportBlockSize
                      ? &unit->ImportBlock[unit->ImportBlockUsed++]
                      : static_cast<TImport*>(Allocate(unit->Context, sizeof(TImport)));
  node->Name = copyName ? CopyText(unit->Context, name) : const_cast<char*>(name);
  node->OwnsName = copyName;
  node->Unit = target;
  // Imports keep their declaration order.
  TImport** link = unit->ImportTail ? &unit->ImportTail->Next : &unit->Imports;
  while (*link) link = &(*link)->Next;
  *link = node;
  unit->ImportTail = node;
  return node;
}

void FreeUnitRecord(TUnit* unit) { FreeRecordContents(unit); }

void AddAlias(const char* name, const char* target) {
  if (!g_aliasContext) g_aliasContext = NewContext(&DccTableContexts, ckTable, 0x7AB1E001);
  TAlias* alias = static_cast<TAlias*>(Allocate(g_aliasContext, sizeof(TAlias)));
  alias->Name = CopyText(g_aliasContext, name);
  alias->Target = CopyText(g_aliasContext, target);
  g_aliases.push_back(alias);
}

void ClearAliases() {
  g_aliases.clear();
  FreeContext(g_aliasContext);
  g_aliasContext = nullptr;
}

} // namespace Dcc

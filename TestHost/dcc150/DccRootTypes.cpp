// Around the root-type unit list (DccRootTypes.S): units and their types,
// the lists of the root types, the result's unit names, and what the
// driver reads. Everything from the process heap, freed by DccRootReset.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <vector>

#include "DccRootTypesDriver.h"

using namespace DccRootTypesDriver;

namespace {

constexpr int32_t Roots = 8;

struct TSymbol {
  uint8_t Head[0x10];
  int32_t Root;  // 0x10 (our field)
  uint8_t Pad[0x1E - 0x14];
  char Name[1];  // 0x1E
};
struct TTypeEntry {
  TTypeEntry* Next;
  TSymbol* Symbol;
};
struct TUnitNode {
  TUnitNode* Next;
  uint8_t* Unit;      // its symbol at 0x80
  TTypeEntry* Types;  // 0x08
  TTypeEntry* LastType;
};
struct TItem {
  uint8_t Head[0x0C];
  TSymbol* Symbol;  // 0x0C
};
struct TNode {
  TNode* Next;
  TItem* Item;
};
struct TList {
  int32_t Root;
  TNode* First;  // 0x04
  TNode* Last;   // 0x08
  int32_t Again; // 0x0C
  int32_t Nodes; // 0x10
};
struct TResult {
  uint32_t Units;
  uint32_t Names;  // FNV of the names in order
};

TList g_lists[Roots] = {};
std::vector<void*> g_blocks;
int32_t g_raiseAfter = 0;

void* Block(size_t size) {
  void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
  g_blocks.push_back(block);
  return block;
}

TSymbol* NewSymbol(const char* name, int32_t root) {
  auto* symbol = static_cast<TSymbol*>(Block(0x1E + std::strlen(name) + 1));
  symbol->Root = root;
  std::strcpy(symbol->Name, name);
  return symbol;
}

uint32_t Mix(uint32_t h, uint32_t v) { return (h ^ v) * 16777619u; }

uint32_t MixText(uint32_t h, const char* text) {
  while (*text) h = Mix(h, uint8_t(*text++));
  return Mix(h, 0);
}

void Append(TList* list, TSymbol* symbol) {
  auto* item = static_cast<TItem*>(Block(sizeof(TItem)));
  item->Symbol = symbol;
  auto* node = static_cast<TNode*>(Block(sizeof(TNode)));
  node->Item = item;
  if (list->Last)
    list->Last->Next = node;
  else
    list->First = node;
  list->Last = node;
  ++list->Nodes;
}

}  // namespace

extern "C" {

void* QM_HOST_REGISTER DccRootTypeUnitList(void* firstNode) QM_HOST_SYMBOL(DccRootTypeUnitList);

uint32_t __cdecl DccRootStrLen(const char* text) QM_HOST_SYMBOL(DccRootStrLen);
uint32_t __cdecl DccRootStrLen(const char* text) { return uint32_t(std::strlen(text)); }

// (&result, name, length): the unit's name noted in the result, made first.
TResult* QM_HOST_REGISTER DccRootAddUnit(TResult** result, const char* name, int32_t length)
    QM_HOST_SYMBOL(DccRootAddUnit);
TResult* QM_HOST_REGISTER DccRootAddUnit(TResult** result, const char* name, int32_t length) {
  if (!*result) {
    *result = static_cast<TResult*>(HeapAlloc(GetProcessHeap(), 0, sizeof(TResult)));
    (*result)->Units = 0;
    (*result)->Names = 2166136261u;
  }
  ++(*result)->Units;
  for (int32_t i = 0; i < length; ++i) (*result)->Names = Mix((*result)->Names, uint8_t(name[i]));
  (*result)->Names = Mix((*result)->Names, 0);
  return *result;
}

TList* QM_HOST_REGISTER DccRootListOf(const TSymbol* symbol) QM_HOST_SYMBOL(DccRootListOf);
TList* QM_HOST_REGISTER DccRootListOf(const TSymbol* symbol) { return &g_lists[symbol->Root & (Roots - 1)]; }

void QM_HOST_REGISTER DccRootListAppend(TList* list, TSymbol* symbol) QM_HOST_SYMBOL(DccRootListAppend);
void QM_HOST_REGISTER DccRootListAppend(TList* list, TSymbol* symbol) {
  if (g_raiseAfter > 0 && --g_raiseAfter == 0) {
    // A bare host exception, as the compiler's memory raises one.
    ULONG_PTR params[7] = {};
    params[0] = reinterpret_cast<ULONG_PTR>(__builtin_return_address(0));
    RaiseException(0x0EEDFADE, EXCEPTION_NONCONTINUABLE, 7, params);
  }
  Append(list, symbol);
}

void* __stdcall DccRootNewUnit(void** first, const char* name) {
  auto* node = static_cast<TUnitNode*>(Block(sizeof(TUnitNode)));
  node->Unit = static_cast<uint8_t*>(Block(0x84));
  TSymbol* symbol = NewSymbol(name, 0);
  std::memcpy(node->Unit + 0x80, &symbol, 4);
  void** link = first;
  while (*link) link = reinterpret_cast<void**>(&static_cast<TUnitNode*>(*link)->Next);
  *link = node;
  return node;
}

void __stdcall DccRootAddType(void* unitNode, const char* name, int32_t root) {
  auto* node = static_cast<TUnitNode*>(unitNode);
  auto* entry = static_cast<TTypeEntry*>(Block(sizeof(TTypeEntry)));
  entry->Symbol = NewSymbol(name, root);
  if (node->LastType)
    node->LastType->Next = entry;
  else
    node->Types = entry;
  node->LastType = entry;
}

void __stdcall DccRootSeed(int32_t count) {
  char name[32];
  for (int32_t i = 0; i < count; ++i) {
    std::snprintf(name, sizeof name, "TSeed%d", int(i));
    Append(&g_lists[0], NewSymbol(name, 0));
  }
}

int32_t __stdcall DccRootListNodes(int32_t root) { return g_lists[root & (Roots - 1)].Nodes; }

uint32_t __stdcall DccRootChecksum(const void* result) {
  uint32_t h = 2166136261u;
  for (const TList& list : g_lists) {
    for (const TNode* node = list.First; node; node = node->Next) h = MixText(h, node->Item->Symbol->Name);
    h = Mix(Mix(h, uint32_t(list.Again)), uint32_t(list.Nodes));
  }
  if (const auto* r = static_cast<const TResult*>(result)) h = Mix(Mix(h, r->Units), r->Names);
  return h;
}

void __stdcall DccRootFreeResult(void* result) {
  if (result) HeapFree(GetProcessHeap(), 0, result);
}

void __stdcall DccRootReset() {
  for (void* block : g_blocks) HeapFree(GetProcessHeap(), 0, block);
  g_blocks.clear();
  for (int32_t i = 0; i < Roots; ++i) g_lists[i] = TList{i, nullptr, nullptr, 0, 0};
  g_raiseAfter = 0;
}

void __stdcall DccRootRaiseAfter(int32_t n) { g_raiseAfter = n; }

}  // extern "C"

static_assert(offsetof(TSymbol, Name) == 0x1E && offsetof(TSymbol, Root) == 0x10, "symbol");
static_assert(offsetof(TList, First) == 0x04 && offsetof(TList, Last) == 0x08 && offsetof(TList, Again) == 0x0C, "list");
static_assert(offsetof(TItem, Symbol) == 0x0C && offsetof(TUnitNode, Types) == 0x08, "records");
static_assert(std::is_same_v<decltype(&DccRootTypeUnitList), UnitListFn>, "UnitList");
static_assert(std::is_same_v<decltype(&DccRootNewUnit), NewUnitFn>, "NewUnit");
static_assert(std::is_same_v<decltype(&DccRootAddType), AddTypeFn>, "AddType");
static_assert(std::is_same_v<decltype(&DccRootSeed), SeedFn>, "Seed");
static_assert(std::is_same_v<decltype(&DccRootListNodes), ListNodesFn>, "ListNodes");
static_assert(std::is_same_v<decltype(&DccRootChecksum), ChecksumFn>, "Checksum");
static_assert(std::is_same_v<decltype(&DccRootFreeResult), FreeResultFn>, "FreeResult");
static_assert(std::is_same_v<decltype(&DccRootReset), ResetFn>, "Reset");
static_assert(std::is_same_v<decltype(&DccRootRaiseAfter), RaiseAfterFn>, "RaiseAfter");

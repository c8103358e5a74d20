// Around the RSM store and lookup (DccRsm.S): the element table, the
// lookup's record table and cache, the merge path's routines, the
// compiler's memory (live blocks counted), and what the driver reads.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "DccRsmDriver.h"

using namespace DccRsmDriver;

namespace {

struct TElement {
  int32_t Key;
  int32_t Pad;
  uint8_t* Block;  // 0x08
  int32_t Size;    // 0x0C
};
struct TRecord {
  uint32_t Flags;  // bit 0: merge
  uint32_t Pad[2];
  uint8_t* Block;  // 0x0C
  int32_t Size;    // 0x10
};
struct TSlot {
  uint8_t Head[0x0C];
  void* Record;   // 0x0C
  int32_t Value;  // 0x10
  int32_t Pad;
};

int32_t g_live = 0;
int32_t g_elements = 0;
std::vector<TRecord*> g_records;
std::vector<void*> g_elementRecord;

uint8_t* NewBlock(int32_t size) {
  ++g_live;
  return static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), 0, size_t(size > 0 ? size : 1)));
}

void FreeBlock(uint8_t* block) {
  if (!block) return;
  --g_live;
  HeapFree(GetProcessHeap(), 0, block);
}

uint32_t Mix(uint32_t h, uint32_t v) { return (h ^ v) * 16777619u; }

}  // namespace

extern "C" {

extern TElement* DccRsmTable QM_HOST_SYMBOL(DccRsmTable);
extern uint8_t* DccRsmV1 QM_HOST_SYMBOL(DccRsmV1);
extern int32_t DccRsmV2 QM_HOST_SYMBOL(DccRsmV2);
extern int32_t DccRsmIndex QM_HOST_SYMBOL(DccRsmIndex);
extern int32_t DccRsmLimit QM_HOST_SYMBOL(DccRsmLimit);
extern int32_t DccRsmSlot QM_HOST_SYMBOL(DccRsmSlot);
extern TSlot* DccRsmRecords QM_HOST_SYMBOL(DccRsmRecords);
extern void* DccRsmCurrent QM_HOST_SYMBOL(DccRsmCurrent);
extern int32_t DccRsmCount QM_HOST_SYMBOL(DccRsmCount);
void QM_HOST_REGISTER DccRsmStore(void* record, int32_t index) QM_HOST_SYMBOL(DccRsmStore);
int32_t QM_HOST_REGISTER DccRsmLookup(int32_t key) QM_HOST_SYMBOL(DccRsmLookup);

// R1 (eax = the record's block field): the element's block released unless it is the record's.
void QM_HOST_REGISTER DccRsmMerge1(uint8_t** recordBlock) QM_HOST_SYMBOL(DccRsmMerge1);
void QM_HOST_REGISTER DccRsmMerge1(uint8_t** recordBlock) {
  TElement& element = DccRsmTable[DccRsmIndex];
  if (element.Block && element.Block != *recordBlock) FreeBlock(element.Block);
  element.Block = nullptr;
}

// R2: the element takes V1 and V2.
void QM_HOST_REGISTER DccRsmMerge2() QM_HOST_SYMBOL(DccRsmMerge2);
void QM_HOST_REGISTER DccRsmMerge2() {
  TElement& element = DccRsmTable[DccRsmIndex];
  element.Block = DccRsmV1;
  element.Size = DccRsmV2;
}

// After a store: the element's record noted; the lookup's cache forgotten for its key.
void QM_HOST_REGISTER DccRsmStored(void* record) QM_HOST_SYMBOL(DccRsmStored);
void QM_HOST_REGISTER DccRsmStored(void* record) {
  g_elementRecord[size_t(DccRsmIndex)] = record;
  if (DccRsmIndex == DccRsmCount) DccRsmCurrent = nullptr;
}

int32_t QM_HOST_REGISTER DccRsmLookupSlow(int32_t key) QM_HOST_SYMBOL(DccRsmLookupSlow);
int32_t QM_HOST_REGISTER DccRsmLookupSlow(int32_t key) {
  if (key < 0 || key >= g_elements) return -1;
  TSlot& slot = DccRsmRecords[DccRsmSlot];
  slot.Record = g_elementRecord[size_t(key)];
  slot.Value = DccRsmTable[key].Size;
  DccRsmCurrent = slot.Record;
  DccRsmCount = key;
  DccRsmLimit = 0;
  return slot.Value;
}

void __stdcall DccRsmReset(int32_t elements) {
  if (DccRsmTable)
    for (int32_t i = 0; i < g_elements; ++i) FreeBlock(DccRsmTable[i].Block);
  for (TRecord* record : g_records) HeapFree(GetProcessHeap(), 0, record);
  g_records.clear();
  HeapFree(GetProcessHeap(), 0, DccRsmTable);
  HeapFree(GetProcessHeap(), 0, DccRsmRecords);
  g_elements = elements;
  DccRsmTable = static_cast<TElement*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TElement) * size_t(elements + 1)));
  DccRsmRecords = static_cast<TSlot*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TSlot)));
  g_elementRecord.assign(size_t(elements), nullptr);
  DccRsmSlot = 0;
  DccRsmCurrent = nullptr;
  DccRsmCount = 0;
  DccRsmLimit = 0x7FFFFFFF;
  g_live = 0;
}

void __stdcall DccRsmStoreNew(int32_t index, int32_t size, int32_t merge) {
  auto* record = static_cast<TRecord*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TRecord)));
  g_records.push_back(record);
  record->Flags = merge ? 1 : 0;
  record->Block = NewBlock(size);
  record->Size = size;
  for (int32_t i = 0; i < size; ++i) record->Block[i] = uint8_t(index * 31 + size + i);
  DccRsmStore(record, index);
}

int32_t __stdcall DccRsmLive() { return g_live; }

uint32_t __stdcall DccRsmChecksum() {
  uint32_t h = 2166136261u;
  for (int32_t i = 0; i < g_elements; ++i) {
    const TElement& element = DccRsmTable[i];
    h = Mix(h, uint32_t(element.Size));
    for (int32_t b = 0; element.Block && b < element.Size; ++b) h = Mix(h, element.Block[b]);
  }
  return h;
}

}  // extern "C"

static_assert(offsetof(TElement, Block) == 0x08 && offsetof(TElement, Size) == 0x0C && sizeof(TElement) == 16, "element");
static_assert(offsetof(TRecord, Block) == 0x0C && offsetof(TRecord, Size) == 0x10, "record");
static_assert(offsetof(TSlot, Record) == 0x0C && offsetof(TSlot, Value) == 0x10 && sizeof(TSlot) == 24, "slot");
static_assert(std::is_same_v<decltype(&DccRsmStore), StoreFn>, "Store");
static_assert(std::is_same_v<decltype(&DccRsmLookup), LookupFn>, "Lookup");
static_assert(std::is_same_v<decltype(&DccRsmReset), ResetFn>, "Reset");
static_assert(std::is_same_v<decltype(&DccRsmStoreNew), StoreNewFn>, "StoreNew");
static_assert(std::is_same_v<decltype(&DccRsmLive), LiveFn>, "Live");
static_assert(std::is_same_v<decltype(&DccRsmChecksum), ChecksumFn>, "Checksum");

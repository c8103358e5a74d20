#include "DccContexts.h"
#include "DccMemory.h"

#include <cstdlib>
#include <cstring>
#include <windows.h>

using namespace Dcc;

static_assert(sizeof(TUnit) == 0x598, "DCC_UNIT_RECORD_SIZE in DccZones.S");

namespace {

// Memory the manager takes from the system at a time; never given back.
constexpr uint32_t SegmentSize = 1024 * 1024;
constexpr uint32_t ZoneGranularity = 16;

TContext* g_tables = nullptr;

uint32_t RoundUp(uint32_t n, uint32_t to) { return (n + to - 1) / to * to; }

// Carves `size` bytes from the start of the free range behind `link`.
TZone* Carve(TZone** link, uint32_t size) {
  TZone* range = *link;
  TZone* zone = DccAllocDescriptor();
  zone->Next = nullptr;
  zone->Size = size;
  zone->Start = range->Start;
  range->Start += size;
  range->Size -= size;
  if (range->Size == 0) {
    *link = range->Next;
    DccFreeDescriptor(range);
  }
  return zone;
}

} // namespace

extern "C" {

void* QM_HOST_REGISTER HostSysAlloc(uint32_t bytes) {
  void* block = calloc(1, bytes);
  if (!block) abort();
  return block;
}

// A zone of the context's zone size, or larger for a larger need: the first
// free range that is large enough, else a new segment.
TZone* QM_HOST_REGISTER HostTakeZone(uint32_t zoneSize, uint32_t bytes) {
  uint32_t size = RoundUp(bytes > zoneSize ? bytes : zoneSize, ZoneGranularity);
  for (TZone** link = &DccFreeRanges; *link; link = &(*link)->Next)
    if ((*link)->Size >= size) return Carve(link, size);
  uint32_t segment = size > SegmentSize ? size : SegmentSize;
  TZone* range = DccAllocDescriptor();
  range->Start = static_cast<uint8_t*>(HostSysAlloc(segment));
  range->Size = segment;
  range->Next = DccFreeRanges;
  DccFreeRanges = range;
  return Carve(&DccFreeRanges, size);
}

TContext* QM_HOST_REGISTER HostNewUnitContext() { return NewContext(&DccContexts, ckUnit, 0); }

void* QM_HOST_REGISTER HostAllocate(TContext* context, uint32_t bytes) {
  bytes = RoundUp(bytes ? bytes : 1, 4);
  uint8_t* at;
  TZone* zone = context->CurrentZone;
  if (zone && zone->Size - context->Used >= bytes) {
    at = zone->Start + context->Used;
  } else {
    zone = DccNewZone(context, bytes);
    at = zone->Start;
  }
  context->Used += bytes;
  memset(at, 0, bytes);
  return at;
}

void* QM_HOST_REGISTER HostAllocateCurrent(uint32_t bytes) { return HostAllocate(DccCurrentContext, bytes); }

void* __cdecl DccFillBytes(void* at, int value, size_t count) { return memset(at, value, count); }

// The compiler's internal error: a host exception without an object; its
// parameters carry the raise address, the code, the line and the routine's name.
void __cdecl DccInternalError(uint32_t code, uint32_t line, const char* where) {
  ULONG_PTR params[7] = {};
  params[0] = reinterpret_cast<ULONG_PTR>(__builtin_return_address(0));
  params[3] = code;
  params[4] = line;
  params[5] = reinterpret_cast<ULONG_PTR>(where);
  RaiseException(0x0EEDFADE, EXCEPTION_NONCONTINUABLE, 7, params);
  abort();
}

} // extern "C"

namespace Dcc {

TContext* NewContext(TContext** chain, uint32_t kind, uint32_t serial, uint32_t zoneSize) {
  TContext* context = static_cast<TContext*>(DccAlloc(sizeof(TContext)));
  context->Chain = chain;
  context->Kind = kind;
  context->Serial = serial;
  context->ZoneSize = zoneSize;
  context->Next = *chain;
  *chain = context;
  return context;
}

void* Allocate(TContext* context, size_t bytes) { return HostAllocate(context, uint32_t(bytes)); }

char* CopyText(TContext* context, const char* text) {
  size_t n = strlen(text) + 1;
  char* copy = static_cast<char*>(Allocate(context, n));
  memcpy(copy, text, n);
  return copy;
}

void FreeContext(TContext* context) {
  if (!context) return;
  // A context of one zone is released with the single-zone routine.
  if (context->FirstZone && !context->FirstZone->Next)
    DccFreeZone(context->FirstZone);
  else
    DccFreeZoneChain(context->FirstZone);
  for (TContext** link = context->Chain; *link; link = &(*link)->Next)
    if (*link == context) {
      *link = context->Next;
      break;
    }
  if (DccCurrentContext == context) DccCurrentContext = nullptr;
  if (g_tables == context) g_tables = nullptr;
  DccFree(context);
}

TZone* ZoneHolding(const TContext* context, const void* address) {
  for (TZone* zone = context->FirstZone; zone; zone = zone->Next)
    if (uintptr_t(address) - uintptr_t(zone->Start) < zone->Size) return zone;
  return nullptr;
}

TContext* TableContext() {
  if (!g_tables) g_tables = NewContext(&DccTableContexts, ckTable, 0x7AB1E000);
  return g_tables;
}

} // namespace Dcc

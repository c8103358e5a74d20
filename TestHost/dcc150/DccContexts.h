// The stand-in compiler's memory contexts: each owns a chain of zones taken
// from free ranges; a unit's record is the first allocation of its own
// context, and everything of the unit comes from that context, so releasing
// the unit releases its context. The routines the pack searches for are in
// DccZones.S; this is the C++ the compiler calls from them and the helpers
// its other parts use.
#pragma once

#include <cstddef>
#include <cstdint>

#include "DccRecords.h"

namespace Dcc {

// A zone descriptor as the compiler allocates it: 12 bytes from a pool.
struct TZone {
  TZone* Next;       // 0x00: next zone of the same context
  uint32_t Size;     // 0x04
  uint8_t* Start;    // 0x08
};

enum TContextKind : uint32_t { ckUnit = 1, ckRecord = 2, ckScratch = 3, ckTable = 4 };

struct TContext {
  TContext* Next;       // 0x00: next context of the same chain
  TContext** Chain;     // 0x04: the chain's head variable
  TZone* FirstZone;     // 0x08
  TZone* CurrentZone;   // 0x0C: the last zone, where allocations go
  uint32_t Used;        // 0x10: bytes used in the current zone
  uint32_t Serial;      // 0x14: what the context was made for (a unit's or record's number)
  uint32_t ZoneSize;    // 0x18: bytes of a new zone (more for a larger allocation)
  uint32_t Kind;        // 0x1C: TContextKind
};
static_assert(offsetof(TContext, FirstZone) == 0x08 && offsetof(TContext, CurrentZone) == 0x0C &&
              offsetof(TContext, ZoneSize) == 0x18, "context layout");

// Bytes of a unit context's zones: a unit takes about four of them.
constexpr uint32_t UnitZoneSize = 1024;

// A new context at the head of a chain (no zone yet).
TContext* NewContext(TContext** chain, uint32_t kind, uint32_t serial, uint32_t zoneSize = UnitZoneSize);
// `bytes` zeroed bytes from the context (4-byte aligned); a new zone when the current one is full.
void* Allocate(TContext* context, size_t bytes);
char* CopyText(TContext* context, const char* text);
// Releases every zone (through the compiler's chain release, or its
// single-zone release for a context of one zone) and the context.
void FreeContext(TContext* context);
// The zone of a context that holds `address`, or null (the stand-in's own walk).
TZone* ZoneHolding(const TContext* context, const void* address);

// The compiler's table context, made when first needed; it lives as long as the library.
TContext* TableContext();

} // namespace Dcc

extern "C" {
// Host variables (DccZones.S).
extern Dcc::TContext* DccContexts asm("_DccContexts");
extern Dcc::TContext* DccScratchContexts asm("_DccScratchContexts");
extern Dcc::TContext* DccTableContexts asm("_DccTableContexts");
extern Dcc::TContext* DccCurrentContext asm("_DccCurrentContext");
extern Dcc::TZone* DccFreeDescriptors asm("_DccFreeDescriptors");
extern Dcc::TZone* DccFreeRanges asm("_DccFreeRanges");
extern uint8_t DccCompileMode asm("_DccCompileMode");

// Host routines (DccZones.S), host register convention.
Dcc::TZone* QM_HOST_REGISTER DccAllocDescriptor() asm("_DccAllocDescriptor");
void QM_HOST_REGISTER DccFreeDescriptor(Dcc::TZone* descriptor) asm("_DccFreeDescriptor");
Dcc::TZone* QM_HOST_REGISTER DccNewZone(Dcc::TContext* context, uint32_t bytes) asm("_DccNewZone");
void QM_HOST_REGISTER DccFreeZone(Dcc::TZone* zone) asm("_DccFreeZone");
void QM_HOST_REGISTER DccFreeZoneChain(Dcc::TZone* first) asm("_DccFreeZoneChain");
int QM_HOST_REGISTER DccContextHolds(Dcc::TContext* context, const void* address) asm("_DccContextHolds");
Dcc::TUnit* QM_HOST_REGISTER DccGetUnitOf(const void* address) asm("_DccGetUnitOf");
Dcc::TContext* QM_HOST_REGISTER DccContextOf(const void* address) asm("_DccContextOf");
Dcc::TUnit* QM_HOST_REGISTER DccUnitOfAddress(const void* address) asm("_DccUnitOfAddress");
Dcc::TUnit* QM_HOST_REGISTER DccUnitOfEntity(const void* address, int isReference) asm("_DccUnitOfEntity");
int QM_HOST_REGISTER DccOfCurrentUnit(const void* address, int isReference) asm("_DccOfCurrentUnit");
Dcc::TContext* QM_HOST_REGISTER DccTargetContext(const Dcc::TSymbol* symbol, const void* address) asm("_DccTargetContext");
Dcc::TUnit* QM_HOST_REGISTER DccCreateUnit() asm("_DccCreateUnit");
Dcc::TUnit* QM_HOST_REGISTER DccCreateUnitSaved(uint32_t flags, uint32_t state) asm("_DccCreateUnitSaved");

// C++ the routines call.
void* QM_HOST_REGISTER HostSysAlloc(uint32_t bytes) asm("HostSysAlloc");
Dcc::TZone* QM_HOST_REGISTER HostTakeZone(uint32_t zoneSize, uint32_t bytes) asm("HostTakeZone");
Dcc::TContext* QM_HOST_REGISTER HostNewUnitContext() asm("HostNewUnitContext");
void* QM_HOST_REGISTER HostAllocate(Dcc::TContext* context, uint32_t bytes) asm("HostAllocate");
void* QM_HOST_REGISTER HostAllocateCurrent(uint32_t bytes) asm("HostAllocateCurrent");
void* __cdecl DccFillBytes(void* at, int value, size_t count) asm("DccFillBytes");
[[noreturn]] void __cdecl DccInternalError(uint32_t code, uint32_t line, const char* where) asm("DccInternalError");
}

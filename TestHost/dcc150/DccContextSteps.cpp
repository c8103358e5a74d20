// Single steps on the stand-in compiler's memory, for tests: contexts made,
// filled and released through the compiler's own routines.
#include "DccContexts.h"
#include "DccDriver.h"

#include <type_traits>

using namespace Dcc;

#define DCC_EXPORT extern "C"

namespace {

TContext** Chain(int chain) {
  switch (chain) {
    case 1: return &DccContexts;
    case 2: return &DccScratchContexts;
    default: return &DccTableContexts;
  }
}

} // namespace

// A context on chain 1 (DccContexts), 2 (scratch) or 3 (tables) with zones of
// `zoneSize` bytes; `serial` is what the checksums name it by.
DCC_EXPORT TContext* __stdcall DccNewContext(int chain, uint32_t zoneSize, uint32_t serial) {
  return NewContext(Chain(chain), chain == 1 ? ckRecord : chain == 2 ? ckScratch : ckTable, serial,
                    zoneSize ? zoneSize : UnitZoneSize);
}

// `bytes` zeroed bytes from the context (a new zone when the current one is full).
DCC_EXPORT void* __stdcall DccAllocate(TContext* context, uint32_t bytes) { return HostAllocate(context, bytes); }

// Releases the context and all its zones.
DCC_EXPORT void __stdcall DccFreeContext(TContext* context) { FreeContext(context); }

// The context a unit's record opened.
DCC_EXPORT TContext* __stdcall DccUnitContext(TUnit* unit) { return unit->Context; }

// The definitions agree with the driver header.
using Declared = DccDriver::Driver<TUnit, TContext, TSymbol>;
static_assert(std::is_same_v<decltype(&DccNewContext), Declared::NewContextFn> &&
                  std::is_same_v<decltype(&DccAllocate), Declared::AllocateFn> &&
                  std::is_same_v<decltype(&DccFreeContext), Declared::FreeContextFn> &&
                  std::is_same_v<decltype(&DccUnitContext), Declared::UnitContextFn> &&
                  std::is_same_v<decltype(&DccGetUnitOf), Declared::GetUnitOfFn> &&
                  std::is_same_v<decltype(&DccContextOf), Declared::ContextOfFn>,
              "memory exports differ from DccDriver.h");

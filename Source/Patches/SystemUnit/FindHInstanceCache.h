// "RTL.FindHInstance": the host run-time's FindHInstance (which module holds
// an address: a VirtualQuery per call) answered on the main thread from a
// ring of the 16 address ranges found last; other threads ask the system.
// Installed at unit initialization.
#pragma once

#include <cstdint>
#include <vector>
#include <windows.h>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

constexpr int FindHInstanceRingSize = 16;

// One ring entry: [Start, End) lies in Module. Start = End = 0: empty.
struct TModuleRangeEntry {
  TModuleRangeEntry* Prev;
  TModuleRangeEntry* Next;
  uintptr_t Start;
  uintptr_t End;
  HINSTANCE Module;
};

// function FindHInstance(Address: Pointer): LongWord, EAX = Address.
HINSTANCE QM_REGISTER FindHInstanceReplacement(const void* address);

// The ring's ranges, from the one filled last (tests).
std::vector<TModuleRangeEntry> FindHInstanceRing();

std::vector<TPatchPlan> FindHInstanceCachePlans();
void InstallFindHInstanceCache();

extern const TUnitInfo Unit_FindHInstanceCache;

}  // namespace Quillmend

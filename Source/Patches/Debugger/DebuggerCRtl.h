// "Debugger.CRTL": the debugger kernel bordbk150N.dll carries its own
// byte-wise copies of memcpy, memmove, memset and a case-insensitive string
// compare; they are found by their exact code after the export
// "SENTHOOKPROC" and redirected to the fast move, a fill and an ASCII
// compare. Installed at the expert entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

constexpr const wchar_t* DebuggerKernelModule = L"bordbk150N.dll";

// Where the scan found the kernel's routines (null: not found).
struct TKernelRoutines {
  uint8_t* Memcpy = nullptr;
  uint8_t* StrICmp = nullptr;
  uint8_t* Memchr = nullptr;
  uint8_t* Memmove = nullptr;
  uint8_t* Memset = nullptr;
  bool All() const { return Memcpy && StrICmp && Memchr && Memmove && Memset; }
};

// The kernel's reference code, compared byte for byte at routine starts.
struct TKernelReference {
  const char* Name;
  std::vector<uint8_t> Bytes;
  size_t SkipAfterMatch;  // where the scan resumes, from the match's start
};
const TKernelReference& MemcpyReference();
const TKernelReference& StrICmpReference();
const TKernelReference& MemchrReference();
const TKernelReference& MemmoveReference();
const TKernelReference& MemsetReference();

// Scans [start, end) at every 55 8B EC for the routines still missing (memmove
// and memset only once memcpy is found), comparing only where the whole
// reference lies inside the range.
TKernelRoutines ScanKernelRoutines(const uint8_t* start, const uint8_t* end);

// The replacements, cdecl as the kernel calls them.
void* __cdecl KernelMemcpyReplacement(void* dst, const void* src, size_t n);
// The fill: 16-byte stores where the processor has SSE2, dwords otherwise.
void* __cdecl KernelMemsetReplacement(void* dst, int c, size_t n);
// Equal bytes go on (a 0 ends with 0); otherwise both bytes, sign-extended
// as the kernel loads them, with "a".."z" mapped to upper case; the first
// pair still different gives their difference.
int __cdecl KernelStrICmpReplacement(const char* a, const char* b);

std::vector<TPatchPlan> DebuggerCRtlPlans();
void InstallDebuggerCRtl();
// Whether the patch holds a reference of its own to the kernel (released at finalization).
bool DebuggerCRtlHoldsKernel();

extern const TUnitInfo Unit_DebuggerCRtl;

}  // namespace Quillmend

#include "Patches/Debugger/DebuggerCRtl.h"

#include <cstring>
#include <emmintrin.h>
#include <memory>
#include <windows.h>

#include "Framework/LibraryEntry.h"
#include "Hooking/PatternSearch.h"
#include "Patches/SystemUnit/FastMove.h"
#include "Patches/SystemUnit/FastcodeCPUID.h"

namespace Quillmend {

namespace {

HMODULE g_kernelReference = nullptr;  // our own reference, released at finalization
TMoveProc g_move = nullptr;

std::vector<uint8_t> Bytes(const char* hex) {
  std::vector<uint8_t> bytes;
  for (int16_t entry : ParsePattern(hex)) bytes.push_back(uint8_t(entry));
  return bytes;
}

// The kernel, with a reference of ours: it stays mapped while its routines
// are redirected, whoever loaded it first.
HMODULE TakeKernel() {
  if (g_kernelReference) return g_kernelReference;
  HMODULE kernel = nullptr;
  if (!GetModuleHandleExW(0, DebuggerKernelModule, &kernel)) kernel = LoadLibraryW(DebuggerKernelModule);
  g_kernelReference = kernel;
  return kernel;
}

bool StartsWith(const uint8_t* at, const uint8_t* end, const TKernelReference& reference) {
  return size_t(end - at) >= reference.Bytes.size() &&
         std::memcmp(at, reference.Bytes.data(), reference.Bytes.size()) == 0;
}

// The memory region holding the export: the scan does not leave it.
const uint8_t* RegionEnd(const uint8_t* at) {
  MEMORY_BASIC_INFORMATION info;
  if (VirtualQuery(at, &info, sizeof info) != sizeof info) return at;
  return static_cast<const uint8_t*>(info.BaseAddress) + info.RegionSize;
}

TPatchPlan DebuggerCRtlPlan() {
  TPatchPlan plan(L"Debugger.CRTL", L"Replace slow C-RTL functions in the Debugger", TInstallMoment::WizardInit);
  plan.LoadedModule(DebuggerKernelModule, &TakeKernel);
  TSiteRef hook = plan.Export(L"SENTHOOKPROC", DebuggerKernelModule, "SENTHOOKPROC");
  auto found = std::make_shared<TKernelRoutines>();
  TSiteRef memcpySite = plan.Computed(L"memcpy", [=](const TPlanValues& v) {
    *found = ScanKernelRoutines(v.Site(hook), RegionEnd(v.Site(hook)));
    return found->Memcpy;
  });
  TSiteRef strICmp = plan.Computed(L"stricmp", [=](const TPlanValues&) { return found->StrICmp; });
  plan.Computed(L"memchr", [=](const TPlanValues&) { return found->Memchr; });
  TSiteRef memmoveSite = plan.Computed(L"memmove", [=](const TPlanValues&) { return found->Memmove; });
  TSiteRef memsetSite = plan.Computed(L"memset", [=](const TPlanValues&) { return found->Memset; });
  plan.Redirect(memmoveSite, &KernelMemcpyReplacement);
  plan.Redirect(memcpySite, &KernelMemcpyReplacement);
  plan.Redirect(memsetSite, &KernelMemsetReplacement);
  plan.Redirect(strICmp, &KernelStrICmpReplacement);
  plan.OnCommit([](const TPlanValues&) { g_move = FastMoveProc(); });
  return plan;
}

void InitializeDebuggerCRtl() { AddWizardInitProc(&InstallDebuggerCRtl); }

void FinalizeDebuggerCRtl() {
  // The library's undo has put the four routines back; now the kernel may go.
  HMODULE kernel = g_kernelReference;
  g_kernelReference = nullptr;
  if (kernel) FreeLibrary(kernel);
}

}  // namespace

const TKernelReference& MemcpyReference() {
  static const TKernelReference reference{
      "memcpy",
      Bytes("55 8b ec 56 57 8b 7d 08 8b c7 8b 75 0c 8b 4d 10 8b d1 d1 e9 d1 e9 fc f3 a5 8b ca 83 e1 03 f3 a4 5f 5e "
            "5d c3"),
      36};
  return reference;
}

const TKernelReference& StrICmpReference() {
  static const TKernelReference reference{
      "stricmp", Bytes("55 8b ec 51 53 56 57 eb 06 ff 45 08 ff 45 0c 8b 45 08 0f be 30 56 e8"), 71};
  return reference;
}

const TKernelReference& MemchrReference() {
  static const TKernelReference reference{
      "memchr", Bytes("55 8b ec 57 8b 7d 08 8b 4d 10 e3 0e 8a 45 0c fc f2 ae 75 06 8d 47 ff 5f 5d c3 33 c0 eb f9"),
      30};
  return reference;
}

const TKernelReference& MemmoveReference() {
  static const TKernelReference reference{
      "memmove",
      Bytes("55 8b ec 56 57 8b 7d 08 8b 75 0c 8b 4d 10 8b d1 3b fe 72 21 74 2d fd 8d 74 0e ff 8d 7c 0f ff 83 e1 03 "
            "f3 a4 8b ca d1 e9 d1 e9 83 ee 03 83 ef 03 f3 a5 fc eb 0e fc d1 e9 d1 e9 f3 a5 8b ca 83 e1 03 f3 a4 8b 45 "
            "08 5f 5e 5d c3"),
      74};
  return reference;
}

const TKernelReference& MemsetReference() {
  static const TKernelReference reference{
      "memset",
      Bytes("55 8b ec 57 8a 45 0c 8b 55 10 8b 7d 08 8a e0 f7 c2 fc ff ff ff 74 5d 66 89 07 8d 4c 17 fc 66 89 47 02 "
            "8b 07 c1 ea 03 74 43 89 07 89 47"),
      138};
  return reference;
}

TKernelRoutines ScanKernelRoutines(const uint8_t* start, const uint8_t* end) {
  TKernelRoutines found;
  auto match = [&](const uint8_t*& at, uint8_t*& slot, const TKernelReference& reference) {
    if (slot || !StartsWith(at, end, reference)) return false;
    slot = const_cast<uint8_t*>(at);
    at += reference.SkipAfterMatch;
    return true;
  };
  for (const uint8_t* at = start; at + 3 <= end && !found.All();) {
    if (at[0] == 0x55 && at[1] == 0x8B && at[2] == 0xEC) {
      if (match(at, found.Memcpy, MemcpyReference()) || match(at, found.StrICmp, StrICmpReference()) ||
          match(at, found.Memchr, MemchrReference()))
        continue;
      if (found.Memcpy &&
          (match(at, found.Memmove, MemmoveReference()) || match(at, found.Memset, MemsetReference())))
        continue;
    }
    ++at;
  }
  return found;
}

void* __cdecl KernelMemcpyReplacement(void* dst, const void* src, size_t n) {
  (g_move ? g_move : FastMoveProc())(src, dst, int32_t(n));
  return dst;
}

namespace {

// 16-byte stores: the first and last 16 unaligned, the middle aligned.
__attribute__((target("sse2"))) void FillWide(uint8_t* dst, uint8_t value, size_t n) {
  const __m128i v = _mm_set1_epi8(char(value));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), v);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + n - 16), v);
  uint8_t* p = reinterpret_cast<uint8_t*>((uintptr_t(dst) + 16) & ~uintptr_t(15));
  for (uint8_t* end = dst + n - 16; p < end; p += 16) _mm_store_si128(reinterpret_cast<__m128i*>(p), v);
}

}  // namespace

void* __cdecl KernelMemsetReplacement(void* dst, int c, size_t n) {
  auto* p = static_cast<uint8_t*>(dst);
  if (n >= 32 && (CpuInfo().Features & CpuFeature::SSE2)) {
    FillWide(p, uint8_t(c), n);
  } else if (n >= 8) {
    // Dwords: the last one may overlap the one before it.
    const uint32_t word = 0x01010101u * uint8_t(c);
    size_t i = 0;
    for (; i + 4 <= n; i += 4) std::memcpy(p + i, &word, 4);
    std::memcpy(p + n - 4, &word, 4);
  } else {
    for (size_t i = 0; i < n; ++i) p[i] = uint8_t(c);
  }
  return dst;
}

int __cdecl KernelStrICmpReplacement(const char* a, const char* b) {
  for (;; ++a, ++b) {
    if (*a == *b) {
      if (!*a) return 0;
      continue;
    }
    int x = static_cast<signed char>(*a), y = static_cast<signed char>(*b);
    if (x >= 'a' && x <= 'z') x -= 'a' - 'A';
    if (y >= 'a' && y <= 'z') y -= 'a' - 'A';
    if (x != y) return x - y;
  }
}

std::vector<TPatchPlan> DebuggerCRtlPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(DebuggerCRtlPlan());
  return plans;
}

void InstallDebuggerCRtl() {
  TPatchPlan plan = DebuggerCRtlPlan();
  InstallPlan(plan);
}

bool DebuggerCRtlHoldsKernel() { return g_kernelReference != nullptr; }

const TUnitInfo Unit_DebuggerCRtl = {"DebuggerCRtl", &InitializeDebuggerCRtl, &FinalizeDebuggerCRtl,
                                     &DebuggerCRtlPlans};

}  // namespace Quillmend

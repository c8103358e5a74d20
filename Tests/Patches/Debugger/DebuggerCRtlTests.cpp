// "Debugger.CRTL" against the stand-in kernel: each reference matches once,
// at its routine; the scan never compares past its region; the
// replacements agree with the kernel's own routines on random inputs
// (overlaps, bytes of 0x80 and above in compares), called through the
// kernel's callers before and after the patch; a kernel the patch loaded
// goes again at finalization.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "Hooking/CodeTransaction.h"
#include "Patches/Debugger/DbgTruncArgsFix.h"
#include "Patches/Debugger/DbkDefaultErrorModeFix.h"
#include "Patches/Debugger/DebuggerCRtl.h"
#include "StandInDebugger.h"
#include "TestPaths.h"

using namespace Quillmend;
using DebuggerTest::Kernel;

namespace {

std::vector<const TKernelReference*> References() {
  return {&MemcpyReference(), &StrICmpReference(), &MemchrReference(), &MemmoveReference(), &MemsetReference()};
}

const char* SiteOf(const TKernelReference& reference) {
  const std::string name = reference.Name;
  if (name == "memcpy") return DebuggerKernelDriver::Site::Memcpy;
  if (name == "stricmp") return DebuggerKernelDriver::Site::StrICmp;
  if (name == "memchr") return DebuggerKernelDriver::Site::Memchr;
  if (name == "memmove") return DebuggerKernelDriver::Site::Memmove;
  return DebuggerKernelDriver::Site::Memset;
}

// Every executable section of the module.
std::vector<std::pair<uint8_t*, size_t>> CodeSections(HMODULE module) {
  auto* base = reinterpret_cast<uint8_t*>(module);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  std::vector<std::pair<uint8_t*, size_t>> sections;
  IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section)
    if (section->Characteristics & IMAGE_SCN_MEM_EXECUTE)
      sections.push_back({base + section->VirtualAddress, section->Misc.VirtualSize});
  return sections;
}

TEST(DebuggerKernel, EachReferenceMatchesOnceAtItsRoutine) {
  HMODULE kernel = DebuggerTest::LoadKernel();
  for (const TKernelReference* reference : References()) {
    std::vector<uint8_t*> matches;
    for (auto [start, size] : CodeSections(kernel))
      for (size_t i = 0; i + reference->Bytes.size() <= size; ++i)
        if (std::memcmp(start + i, reference->Bytes.data(), reference->Bytes.size()) == 0) matches.push_back(start + i);
    ASSERT_EQ(matches.size(), 1u) << reference->Name;
    EXPECT_EQ(matches[0], Kernel().patternSite(SiteOf(*reference))) << reference->Name;
  }
  // The scan from the export finds them there too.
  auto* hook = reinterpret_cast<uint8_t*>(GetProcAddress(kernel, "SENTHOOKPROC"));
  MEMORY_BASIC_INFORMATION info;
  ASSERT_EQ(VirtualQuery(hook, &info, sizeof info), sizeof info);
  const TKernelRoutines found = ScanKernelRoutines(hook, static_cast<uint8_t*>(info.BaseAddress) + info.RegionSize);
  EXPECT_EQ(found.Memcpy, Kernel().patternSite("Memcpy"));
  EXPECT_EQ(found.StrICmp, Kernel().patternSite("StrICmp"));
  EXPECT_EQ(found.Memchr, Kernel().patternSite("Memchr"));
  EXPECT_EQ(found.Memmove, Kernel().patternSite("Memmove"));
  EXPECT_EQ(found.Memset, Kernel().patternSite("Memset"));
}

// A region ending in the middle of a reference, followed by a page no one
// may read: the scan must not compare there (it would fault), and finds a
// reference that ends exactly at the region's end.
TEST(DebuggerKernel, TheScanComparesOnlyWhereTheReferenceFits) {
  auto* page = static_cast<uint8_t*>(VirtualAlloc(nullptr, 0x2000, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  DWORD old;
  VirtualProtect(page + 0x1000, 0x1000, PAGE_NOACCESS, &old);
  uint8_t* end = page + 0x1000;
  std::memset(page, 0x90, 0x1000);
  const TKernelReference& memcpyRef = MemcpyReference();
  const TKernelReference& memsetRef = MemsetReference();
  std::memcpy(page, memcpyRef.Bytes.data(), memcpyRef.Bytes.size());
  // memmove's first 40 bytes at the very end: 34 of its bytes would lie beyond.
  std::memcpy(end - 40, MemmoveReference().Bytes.data(), 40);
  TKernelRoutines found = ScanKernelRoutines(page, end);
  EXPECT_EQ(found.Memcpy, page);
  EXPECT_EQ(found.Memmove, nullptr);
  // memset's whole reference ending at the region's end is found.
  std::memcpy(end - memsetRef.Bytes.size(), memsetRef.Bytes.data(), memsetRef.Bytes.size());
  found = ScanKernelRoutines(page, end);
  EXPECT_EQ(found.Memset, end - memsetRef.Bytes.size());
  VirtualFree(page, 0, MEM_RELEASE);
}

// What the kernel's routines compute for a set of random inputs, through
// its exported callers (whatever code they reach now).
std::string KernelResults(uint32_t seed) {
  std::mt19937 random(seed);
  std::string out;
  std::vector<uint8_t> buffer(4096);
  for (int round = 0; round < 400; ++round) {
    for (uint8_t& b : buffer) b = uint8_t(random());
    const size_t n = random() % 600, from = random() % 1500, to = random() % 1500;
    void* r = nullptr;
    switch (round % 4) {
      case 0: r = Kernel().memmove(buffer.data() + to, buffer.data() + from, n); break;  // overlaps either way
      case 1: r = Kernel().memcpy(buffer.data() + 2048 + to % 1000, buffer.data() + from, n); break;
      case 2: r = Kernel().memset(buffer.data() + to, int(random()), n); break;
      case 3: r = Kernel().memchr(buffer.data() + from, buffer[from + n / 2], n); break;
    }
    out += std::to_string(reinterpret_cast<uint8_t*>(r) - buffer.data()) + ":";
    out.append(buffer.begin(), buffer.end());
  }
  // Compares: equal texts in other cases, a first difference in letters,
  // digits, punctuation or bytes of 0x80 and above, either side shorter.
  const char alphabet[] = "aAzZ09_@[`{\x7f\x80\xa5\xc3\xff";
  for (int round = 0; round < 2000; ++round) {
    std::string a, b;
    const size_t length = random() % 12;
    for (size_t i = 0; i < length; ++i) a += alphabet[random() % (sizeof alphabet - 1)];
    b = a;
    for (char& c : b)
      if (random() % 3 == 0 && c >= 'a' && c <= 'z') c = char(c - 32);
    if (!b.empty() && random() % 2) b[random() % b.size()] = alphabet[random() % (sizeof alphabet - 1)];
    if (random() % 5 == 0) b.resize(random() % (b.size() + 1));
    out += std::to_string(Kernel().stricmp(a.c_str(), b.c_str())) + ",";
  }
  return out;
}

TEST(DebuggerCRtl, ReplacementsAgreeWithTheKernelsRoutines) {
  DebuggerTest::LoadKernel();
  const std::string kernel = KernelResults(1234);
  DebuggerTest::InstallPatches();
  ASSERT_EQ(DebuggerTest::Status(L"Debugger.CRTL"), L"applied") << testing::PrintToString(DebuggerTest::Reason(L"Debugger.CRTL"));
  const std::string replaced = KernelResults(1234);
  EXPECT_TRUE(kernel == replaced) << "the replacements computed something else";
  // The routines now start with a jump; memchr is left as it is.
  EXPECT_EQ(*static_cast<uint8_t*>(Kernel().patternSite("Memcpy")), 0xE9);
  EXPECT_EQ(*static_cast<uint8_t*>(Kernel().patternSite("Memchr")), 0x55);
}

TEST(DebuggerCRtl, TheCompareGivesTheKernelsDifferenceOfSignExtendedBytes) {
  const struct {
    const char* A;
    const char* B;
    int Expected;
  } cases[] = {
      {"abc", "ABC", 0}, {"", "", 0}, {"a", "", 'A'}, {"", "b", -'B'}, {"abc", "abd", 'C' - 'D'},
      {"\x80", "a", -128 - 'A'}, {"a", "\xff", 'A' + 1}, {"\xe9", "\xc9", -23 - -55}, {"[", "{", '[' - '{'},
  };
  for (const auto& c : cases) EXPECT_EQ(KernelStrICmpReplacement(c.A, c.B), c.Expected) << c.A << " / " << c.B;
}

TEST(DebuggerCRtl, AKernelThePatchLoadedIsFreedAtFinalization) {
  ASSERT_EQ(GetModuleHandleW(L"bordbk150N.dll"), nullptr);
  SetDllDirectoryW((BuildDirectory() + L"\\host").c_str());
  DebuggerTest::InstallPatches();
  ASSERT_EQ(DebuggerTest::Status(L"Debugger.CRTL"), L"applied");
  EXPECT_NE(GetModuleHandleW(L"bordbk150N.dll"), nullptr);
  UndoAllTransactions();
  Unit_DebuggerCRtl.Finalize();
  // The process-start fixes took the kernel too (their import slots).
  Unit_DbkDefaultErrorModeFix.Finalize();
  Unit_DbgTruncArgsFix.Finalize();
  EXPECT_EQ(GetModuleHandleW(L"bordbk150N.dll"), nullptr);
  SetDllDirectoryW(nullptr);
}

TEST(DebuggerCRtl, AKernelLoadedBeforeStaysLoadedAfterFinalization) {
  HMODULE kernel = DebuggerTest::LoadKernel();
  DebuggerTest::InstallPatches();
  ASSERT_TRUE(DebuggerCRtlHoldsKernel());
  UndoAllTransactions();
  Unit_DebuggerCRtl.Finalize();
  EXPECT_EQ(GetModuleHandleW(L"bordbk150N.dll"), kernel);
}

TEST(DebuggerCRtl, AMissingKernelLeavesThePatchFailed) {
  ASSERT_EQ(GetModuleHandleW(L"bordbk150N.dll"), nullptr);
  DebuggerTest::InstallPatches();
  EXPECT_EQ(DebuggerTest::Status(L"Debugger.CRTL"), L"failed");
  EXPECT_EQ(DebuggerTest::Reason(L"Debugger.CRTL"), L"bordbk150N.dll: module not loaded");
}

}  // namespace

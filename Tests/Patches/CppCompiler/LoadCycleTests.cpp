// The C++ compiler loaded and unloaded three times through bccide.dll's
// CppLoadCompiler, intercepted as the library's entry intercepts it: the
// patches are applied once per load, the edits inside the unloaded compiler
// are dropped (never written back into its former range), GetDebugHook is
// redirected once for all loads and restored byte for byte at the end.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "CppStandIns.h"
#include "Framework/LibraryEntry.h"
#include "Hooking/CodeTransaction.h"
#include "Patches/CppCompiler/DebuggerCppSymbolOptimization.h"

namespace {

using CppStandIns::Compiler;

const std::vector<std::wstring> Patches = {L"CppCompiler.Optimizations", L"Debugger.CppDebugSymbolReader",
                                           L"bcc.stricmp", L"bcc.ltolowerCalls", L"bcc.DoKibitzProgress"};

size_t RangesIn(const void* base, size_t size, const std::wstring& owner = L"") {
  size_t count = 0;
  const auto* start = static_cast<const uint8_t*>(base);
  for (const Quillmend::TCommittedRange& r : Quillmend::CommittedRanges())
    if (r.Address < start + size && r.Address + r.Size > start && (owner.empty() || r.Owner == owner)) ++count;
  return count;
}

size_t ImageSize(HMODULE module) {
  const auto* base = reinterpret_cast<const uint8_t*>(module);
  return reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew)
      ->OptionalHeader.SizeOfImage;
}

TEST(CppCompilerLoadCycles, PatchedOncePerLoadDroppedAtUnloadRestoredAtTheEnd) {
  HMODULE bccide = LoadLibraryW(CppStandIns::ModulePath(L"bccide.dll").c_str());
  HMODULE debugger = LoadLibraryW(CppStandIns::ModulePath(L"win32debugide150.bpl").c_str());
  ASSERT_TRUE(bccide && debugger && LoadLibraryW(CppStandIns::ModulePath(L"coreide150.bpl").c_str()) &&
              LoadLibraryW(CppStandIns::ModulePath(L"delphicoreide150.bpl").c_str()));
  auto load = reinterpret_cast<int32_t(__stdcall*)(int32_t, uint32_t)>(
      reinterpret_cast<void*>(GetProcAddress(bccide, "CppLoadCompiler")));
  auto* getDebugHook = reinterpret_cast<uint8_t*>(GetProcAddress(debugger, Quillmend::GetDebugHookExport));
  const std::vector<uint8_t> debugHookCode = CppStandIns::Bytes(getDebugHook, 16);
  CppStandIns::QueueCppProcs();
  Quillmend::RunWizardInitProcs();  // the expert entry: intercepts CppLoadCompiler

  const void* formerBase = nullptr;
  size_t formerSize = 0;
  uint32_t firstChecksum = 0;
  for (int cycle = 0; cycle < 3; ++cycle) {
    SCOPED_TRACE("load " + std::to_string(cycle + 1));
    ASSERT_EQ(load(1, 0), 1);
    HMODULE compiler = GetModuleHandleW(L"comp32x.dll");
    ASSERT_NE(compiler, nullptr);
    for (const std::wstring& patch : Patches) EXPECT_EQ(CppStandIns::Status(patch), L"applied");
    EXPECT_EQ(RangesIn(compiler, ImageSize(compiler), L"CppCompiler.Optimizations"), 1u);
    EXPECT_EQ(RangesIn(compiler, ImageSize(compiler)), 5u) << "intern, lookup, release, stricmp, ltolower";
    EXPECT_EQ(RangesIn(debugger, ImageSize(debugger)), 1u) << "GetDebugHook redirected once";
    CppStandIns::Bind();
    const std::vector<std::string> names = CppStandIns::Identifiers(500, 2);
    std::vector<const char*> texts;
    for (const std::string& n : names) texts.push_back(n.c_str());
    const uint32_t checksum = Compiler().InternMany(texts.data(), int32_t(texts.size()));
    if (cycle == 0) firstChecksum = checksum;
    EXPECT_EQ(checksum, firstChecksum);
    void* context = Compiler().NewContext(50, 3);
    Compiler().SetCurrentContext(context);
    EXPECT_EQ(Compiler().Lookup(Compiler().SymbolName(context, 9), 0), 0x1000 + 9);
    EXPECT_EQ(Quillmend::CppDebugSymbolCache()->Count(), 1) << "a new, empty cache per load";

    formerBase = compiler;
    formerSize = ImageSize(compiler);
    ASSERT_EQ(load(0, 0), 0);
    ASSERT_EQ(GetModuleHandleW(L"comp32x.dll"), nullptr);
    EXPECT_EQ(RangesIn(formerBase, formerSize), 0u) << "the unloaded compiler's edits are dropped";
  }

  // Whatever now lies in the compiler's former range is not ours to write.
  void* reused = VirtualAlloc(const_cast<void*>(formerBase), formerSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (reused) std::memset(reused, 0xCC, formerSize);
  Quillmend::UndoAllTransactions();
  EXPECT_TRUE(Quillmend::UndoReports().empty());
  EXPECT_EQ(CppStandIns::Bytes(getDebugHook, 16), debugHookCode);
  if (reused) {
    const std::vector<uint8_t> filled(formerSize, 0xCC);
    EXPECT_EQ(CppStandIns::Bytes(reused, formerSize), filled);
  }
}

}  // namespace

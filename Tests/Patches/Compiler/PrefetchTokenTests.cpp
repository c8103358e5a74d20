// "Compiler.PrefetchToken" and "Compiler.StrLenCalls" against the stand-in
// compiler: three ways, their patterns once at their sites (the inner ones
// within their routines, though the same bytes follow elsewhere), the token
// buffers from our free list (the same tokens, no allocation of the
// compiler's per token), the free list's order, nil ignored, and the stored
// text lengths answered without strlen.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>
#include <windows.h>

#include "Framework/PatchRegistry.h"
#include "Hooking/PatternSearch.h"
#include "Patches/Compiler/PrefetchTokenOptimization.h"
#include "DccStandIn.h"
#include "TestPaths.h"
#include "ThreeWayHarness.h"
#include "dcc150/DccTokensDriver.h"

namespace {

using namespace DccTokensDriver;
namespace Patterns = Quillmend::PrefetchTokenPatterns;

const wchar_t* const Prefetch = L"Compiler.PrefetchToken";
const wchar_t* const StrLen = L"Compiler.StrLenCalls";

TCounters Counters() {
  TCounters counters = {};
  DccExport<CountersFn>(Export::Counters)(&counters);
  return counters;
}

// A symbol record: first byte, its text at 0x30, the stored length at 0x28.
std::vector<uint8_t> Record(uint8_t first, const char* text, int32_t stored) {
  std::vector<uint8_t> record(SymbolLayout::Size, 0);
  record[0] = first;
  std::memcpy(&record[SymbolLayout::StoredLength], &stored, 4);
  std::strcpy(reinterpret_cast<char*>(&record[SymbolLayout::Text]), text);
  return record;
}

// Tokens read with buffers of a few lengths, the text lengths of records of
// both kinds: what the patches must not change.
std::string Exercise() {
  std::string trace;
  auto next = DccExport<NextTokenFn>(Export::NextToken);
  auto setLength = DccExport<SetTokenLengthFn>(Export::SetTokenLength);
  DccExport<ResetFn>(Export::Reset)();
  for (int32_t length : {1019, 40, 3000, 1019}) {
    setLength(length);
    for (int i = 0; i < 5; ++i) trace += std::to_string(next()) + " ";
  }
  setLength(1019);
  trace += std::to_string(Counters().Checksum);
  for (auto* measure : {DccExport<TextLengthFn>(Export::TextLength1), DccExport<TextLengthFn>(Export::TextLength2)})
    for (uint8_t first : {uint8_t(0), uint8_t(7)}) {
      const std::vector<uint8_t> record = Record(first, "TForm1.Button1Click", 19);
      trace += " " + std::to_string(measure(record.data()));
    }
  return trace;
}

const std::vector<TPatchRow> PatchRows = {{Prefetch, {}}, {StrLen, {}}};
const std::vector<TVariantRow> VariantRows = {
    {"prefetch", {Prefetch}}, {"tokenalloc", {Prefetch}}, {"tokenfree", {Prefetch}},
    {"strlen1", {StrLen}},    {"strlen2", {StrLen}},
};

const TThreeWaySubsystem& Tokens() {
  static const TThreeWaySubsystem subsystem{
      {L"dcc150.dll"}, nullptr, [] { Quillmend::InstallPrefetchTokenOptimization(); }, &Exercise, {Prefetch, StrLen},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(PrefetchToken, Tokens(), PatchRows, VariantRows)

class PrefetchTokenBehaviour : public testing::Test {
protected:
  void Load(const wchar_t* variant = nullptr) {
    const std::wstring path = BuildDirectory() + (variant ? L"\\host-variants\\" + std::wstring(variant) : L"\\host") +
                              L"\\dcc150.dll";
    ASSERT_NE(LoadLibraryW(path.c_str()), nullptr);
    SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
  }
  static uint8_t* Site(const char* name) { return DccSite(name); }
};

} // namespace

// T and the length sites once; the inner patterns first found where the
// routines T calls hold them; the same bytes again in the identifier
// buffers' routines, beyond the window.
TEST_F(PrefetchTokenBehaviour, ThePatternsAreFoundOnceAtTheirSites) {
  Load();
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  for (const auto& [pattern, site] : {std::pair{Patterns::Prefetch, "PrefetchToken"},
                                      std::pair{Patterns::StrLenSymbol, "StrLenSymbol"},
                                      std::pair{Patterns::StrLenMember, "StrLenMember"}}) {
    SCOPED_TRACE(site);
    const Quillmend::TBytePattern parsed = Quillmend::ParsePattern(pattern);
    auto* found = static_cast<uint8_t*>(Quillmend::FindMethodPtr(dcc, parsed, 0));
    EXPECT_EQ(found, Site(site));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(Quillmend::FindMethodPtr(found + 1, parsed, 0), nullptr);
  }
  const struct {
    const char* Pattern;
    const char* Routine;
    const char* Site;
    const char* Other;
  } inner[] = {{Patterns::Alloc, Export::BufAlloc, "TokenBufAlloc", "DccIdentBufAlloc"},
               {Patterns::Release, Export::BufRelease, "TokenBufFree", "DccIdentBufRelease"}};
  for (const auto& row : inner) {
    SCOPED_TRACE(row.Site);
    const Quillmend::TBytePattern parsed = Quillmend::ParsePattern(row.Pattern);
    auto* routine = DccExport<uint8_t*>(row.Routine);
    auto* found = static_cast<uint8_t*>(Quillmend::FindMethodPtr(routine, parsed, Patterns::InnerWindow));
    EXPECT_EQ(found, Site(row.Site));
    ASSERT_NE(found, nullptr);
    auto* other = static_cast<uint8_t*>(Quillmend::FindMethodPtr(found + 1, parsed, 0));
    EXPECT_GE(other, DccExport<uint8_t*>(row.Other));
    EXPECT_GT(other - routine, Patterns::InnerWindow);
  }
}

// A build whose token routines differ: searched without a bound, the other
// buffers' routines would be re-aimed; within the routines nothing is found.
TEST_F(PrefetchTokenBehaviour, AnotherBuildsInnerRoutinesAreNotSoughtElsewhere) {
  Load(L"tokenalloc");
  const Quillmend::TBytePattern parsed = Quillmend::ParsePattern(Patterns::Alloc);
  auto* routine = DccExport<uint8_t*>(Export::BufAlloc);
  EXPECT_EQ(Quillmend::FindMethodPtr(routine, parsed, Patterns::InnerWindow), nullptr);
  EXPECT_NE(Quillmend::FindMethodPtr(routine, parsed, 0), nullptr);
  auto* other = DccExport<uint8_t*>("DccIdentBufAlloc");
  std::vector<uint8_t> before(other, other + 32);
  Quillmend::InstallPrefetchTokenOptimization();
  EXPECT_NE(Quillmend::FailedPatchReasons().find(L"TokenBufAlloc"), std::wstring::npos);
  EXPECT_EQ(std::vector<uint8_t>(other, other + 32), before);
}

// The same tokens; unpatched one allocation and one free of the compiler's
// per token, patched none: one block of ours serves them all.
TEST_F(PrefetchTokenBehaviour, TokenBuffersComeFromTheFreeList) {
  Load();
  auto next = DccExport<NextTokenFn>(Export::NextToken);
  const TCounters start = Counters();
  for (int i = 0; i < 50; ++i) next();
  const TCounters plain = Counters();
  EXPECT_EQ(plain.Allocations - start.Allocations, 50u);
  EXPECT_EQ(plain.Frees - start.Frees, 50u);
  Quillmend::InstallPrefetchTokenOptimization();
  ASSERT_TRUE(Quillmend::FailedPatchReasons().empty());
  uint32_t last = 0;
  for (int i = 0; i < 50; ++i) last = next();
  const TCounters patched = Counters();
  EXPECT_EQ(last, 100u);
  EXPECT_EQ(patched.Tokens - plain.Tokens, 50u);
  EXPECT_EQ(patched.Allocations, plain.Allocations);
  EXPECT_EQ(patched.Frees, plain.Frees);
  EXPECT_EQ(Quillmend::TokenBufMadeCount(), 1u);
  EXPECT_EQ(Quillmend::TokenBufFreeCount(), 1u);
  // The compiler's release with nil, and ours with nil: nothing linked.
  DccExport<ReleaseNilFn>(Export::ReleaseNil)();
  Quillmend::TokenBufFree(nullptr);
  EXPECT_EQ(Quillmend::TokenBufFreeCount(), 1u);
}

// The free list: the first block large enough, in list order; a block
// freed twice in a row is linked once.
TEST_F(PrefetchTokenBehaviour, TheFreeListGivesTheFirstBlockLargeEnough) {
  using Quillmend::TokenBufAlloc;
  using Quillmend::TokenBufFree;
  void* a = TokenBufAlloc(100);    // 2040 bytes
  void* b = TokenBufAlloc(3000);   // 3000 bytes
  ASSERT_NE(a, b);
  TokenBufFree(a);
  TokenBufFree(b);                 // list: b, a
  TokenBufFree(b);                 // already the head
  EXPECT_EQ(Quillmend::TokenBufFreeCount(), 2u);
  EXPECT_EQ(TokenBufAlloc(2500), b);
  EXPECT_EQ(TokenBufAlloc(100), a);
  const size_t made = Quillmend::TokenBufMadeCount();
  void* c = TokenBufAlloc(100);
  EXPECT_NE(c, a);
  EXPECT_EQ(Quillmend::TokenBufMadeCount(), made + 1);
  std::memset(c, 0xAB, 2040);      // the whole minimum is usable
  TokenBufFree(c);
  EXPECT_NE(TokenBufAlloc(2041), c);  // too small: a new block
  EXPECT_EQ(TokenBufAlloc(2040), c);
}

// Records whose first byte is 0 answer their stored length without strlen;
// the others are measured, as before.
TEST_F(PrefetchTokenBehaviour, StoredLengthsAreAnsweredWithoutStrlen) {
  Load();
  const struct {
    uint8_t First;
    const char* Text;
    int32_t Stored;
  } rows[] = {{0, "", 0}, {0, "a", 1}, {0, "TForm1.FormCreate", 17}, {1, "Unit1", 5}, {0xFF, "x.y.z", 5}};
  for (bool patched : {false, true}) {
    if (patched) {
      Quillmend::InstallPrefetchTokenOptimization();
      ASSERT_TRUE(Quillmend::FailedPatchReasons().empty());
    }
    for (auto* measure : {DccExport<TextLengthFn>(Export::TextLength1), DccExport<TextLengthFn>(Export::TextLength2)}) {
      for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << (patched ? "patched " : "plain ") << int(row.First) << " " << row.Text);
        const std::vector<uint8_t> record = Record(row.First, row.Text, row.Stored);
        const uint32_t before = Counters().StrLens;
        EXPECT_EQ(measure(record.data()), int32_t(std::strlen(row.Text)));
        EXPECT_EQ(Counters().StrLens - before, patched && row.First == 0 ? 0u : 1u);
      }
    }
  }
}

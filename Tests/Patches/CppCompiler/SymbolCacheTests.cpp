// The debug-symbol cache through the patch: the same answers as the
// compiler's own lookup over random questions, emptied exactly when a
// context it refers to is released, System's debug-hook names answered 0
// only while GetDebugHook runs, the patched release keeping every register
// but EDX, and the cache's own storage rules.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Common/HostGuard.h"
#include "Common/HostRtl.h"
#include "CppStandIns.h"
#include "Patches/CppCompiler/DebugSymbolCache.h"
#include "Patches/CppCompiler/DebuggerCppSymbolOptimization.h"

extern "C" uint32_t QmTestCallWithRegisters(const void* fn, uint32_t* regs);

namespace {

using CppStandIns::Compiler;
using Quillmend::CppDebugSymbolCache;

const wchar_t* const Patch = L"Debugger.CppDebugSymbolReader";

void Install() {
  CppStandIns::RunCppProcs();
  ASSERT_EQ(CppStandIns::Status(Patch), L"applied");
}

struct TQuestion {
  void* Context;
  int32_t Flag;
  std::string Name;
};

TEST(CppSymbolCache, AnswersAsTheCompilersLookupOverRandomQuestions) {
  CppStandIns::Load();
  std::vector<void*> contexts = {Compiler().NewContext(200, 1), Compiler().NewContext(200, 2),
                                 Compiler().NewContext(200, 3), Compiler().NewContext(50, 4), nullptr};
  Compiler().SetContextFields(contexts[3], 0, 1);  // a context whose symbols are not loaded answers 0
  Compiler().AddSymbol(contexts[0], "@System@DebugHook", 0, 0x4242);
  std::mt19937 random(9);
  std::vector<TQuestion> questions;
  for (int i = 0; i < 20000; ++i) {
    void* context = contexts[random() % contexts.size()];
    void* from = contexts[random() % 4];
    const int pick = int(random() % 10);
    std::string name = pick == 0 ? "absent" + std::to_string(random() % 5)
                       : pick == 1 ? "@System@DebugHook"
                                   : Compiler().SymbolName(from, int32_t(random() % 50));
    questions.push_back({context, int32_t(random() % 4), name});
  }
  auto answers = [&] {
    std::vector<int32_t> result;
    for (const TQuestion& q : questions) {
      Compiler().SetCurrentContext(q.Context);
      result.push_back(Compiler().Lookup(q.Name.c_str(), q.Flag));
    }
    return result;
  };
  const std::vector<int32_t> unpatched = answers();
  Install();
  EXPECT_EQ(answers(), unpatched);
  EXPECT_EQ(answers(), unpatched) << "answered from the cache";
  const Quillmend::TCppSymbolLookupCounts counts = Quillmend::CppSymbolLookupCounts();
  EXPECT_GT(counts.Hits, counts.Misses * 5);
}

TEST(CppSymbolCache, ReleasingAContextItRefersToEmptiesItAndOthersKeepIt) {
  CppStandIns::Load();
  Install();
  void* first = Compiler().NewContext(100, 1);
  void* second = Compiler().NewContext(100, 2);
  Compiler().SetCurrentContext(first);
  std::vector<std::string> firstNames;
  for (int i = 0; i < 100; i += 10) firstNames.push_back(Compiler().SymbolName(first, i));
  for (const std::string& n : firstNames) EXPECT_NE(Compiler().Lookup(n.c_str(), 0), 0);
  const int32_t cached = CppDebugSymbolCache()->Count();
  EXPECT_EQ(cached, int32_t(firstNames.size()));

  Compiler().SetCurrentContext(second);
  Compiler().ReleaseContext();
  EXPECT_EQ(CppDebugSymbolCache()->Count(), cached) << "no item refers to the released context";

  Compiler().SetCurrentContext(first);
  Compiler().ReleaseContext();
  EXPECT_EQ(CppDebugSymbolCache()->Count(), 0);
  EXPECT_FALSE(CppDebugSymbolCache()->RefersTo(first));

  // The next context takes the last freed one's address and has other symbols.
  void* third = Compiler().NewContext(100, 3);
  ASSERT_EQ(third, first) << "the compiler hands out the last freed context first";
  Compiler().SetCurrentContext(third);
  for (const std::string& n : firstNames) EXPECT_EQ(Compiler().Lookup(n.c_str(), 0), 0) << n;
  EXPECT_EQ(Compiler().Lookup(Compiler().SymbolName(third, 7), 0), 0x1000 + 7);
}

TEST(CppSymbolCache, DebugHookNamesAreZeroOnlyWhileGetDebugHookRuns) {
  const std::pair<const char*, bool> names[] = {
      {"@System@DebugHook", true},    {"@System@_DebugHook", true},  {"@System@DebugHookX", false},
      {"@System@Debughook", false},   {"@Systems@DebugHook", false}, {"@Sys@DebugHook", false},
      {"System@DebugHook", false},    {"@System@", false},           {"@System@DebugHook@", false},
      {"@System@@DebugHook", false},  {"", false},
  };
  for (const auto& [name, expected] : names) EXPECT_EQ(Quillmend::IsDebugHookName(name), expected) << name;

  CppStandIns::Load();
  void* context = Compiler().NewContext(20, 8);
  Compiler().AddSymbol(context, "@System@DebugHook", 0, 0x1234);
  Compiler().AddSymbol(context, "@System@_DebugHook", 0, 0x5678);
  Compiler().SetCurrentContext(context);
  EXPECT_EQ(CppStandIns::GetDebugHook(), reinterpret_cast<void*>(0x1234));
  Install();
  EXPECT_EQ(CppStandIns::GetDebugHook(), nullptr) << "by design: answered without a lookup";
  EXPECT_EQ(Compiler().Lookup("@System@DebugHook", 0), 0x1234) << "outside GetDebugHook the lookup answers";

  // A host exception out of GetDebugHook clears the flag all the same.
  CppStandIns::RaiseInGetDebugHook();
  QmHost::HostExceptionReport report;
  EXPECT_FALSE(QmHost::CallHostGuarded([] { CppStandIns::GetDebugHook(); }, report, nullptr));
  EXPECT_EQ(Compiler().Lookup("@System@_DebugHook", 0), 0x5678);
}

TEST(CppSymbolCache, ThePatchedReleaseKeepsEveryRegisterButEdx) {
  CppStandIns::Load();
  Install();
  void* context = Compiler().NewContext(10, 1);
  Compiler().SetCurrentContext(context);
  Compiler().Lookup(Compiler().SymbolName(context, 3), 0);
  ASSERT_TRUE(CppDebugSymbolCache()->RefersTo(context));
  uint32_t regs[8] = {uint32_t(reinterpret_cast<uintptr_t>(context)), 0xB0B0B0B0, 0xC0C0C0C0, 0xD0D0D0D0,
                      0x51515151, 0xD1D1D1D1, 0xB9B9B9B9, 0};
  const uint32_t expected[8] = {regs[0], regs[1], regs[2],
                                *reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(context) + 0xB8), regs[4],
                                regs[5], regs[6], 0};
  QmTestCallWithRegisters(reinterpret_cast<const void*>(&Quillmend::QmCppSymbolCacheInvalidation), regs);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(regs[i], expected[i]) << "register " << i;
  EXPECT_EQ(CppDebugSymbolCache()->Count(), 0);
  // And the whole patched release, called as the compiler calls it.
  const int32_t live = Compiler().LiveContexts();
  Compiler().ReleaseContext();
  EXPECT_EQ(Compiler().LiveContexts(), live - 1);
  EXPECT_EQ(*Compiler().CurrentContext, nullptr);
}

TEST(CppSymbolCache, GrowsByDoublingAndComparesNamesInFull) {
  Quillmend::TDebugSymbolCache cache(10);
  EXPECT_EQ(cache.Capacity(), 16);
  EXPECT_EQ(cache.BucketCount(), 17);
  const std::string longName(300, 'n');
  std::string other = longName;
  other[299] = 'm';  // differs past 255 bytes
  int dummy = 0;
  for (int i = 0; i < 100; ++i) cache.Insert(&dummy, uint32_t(i % 3), ("s" + std::to_string(i)).c_str(),
                                             uint32_t(("s" + std::to_string(i)).size()), i);
  cache.Insert(&dummy, 0, longName.c_str(), uint32_t(longName.size()), 0);
  cache.Insert(&dummy, 0, other.c_str(), uint32_t(other.size()), 7);
  EXPECT_EQ(cache.Capacity(), 128);
  EXPECT_EQ(cache.BucketCount() % 2, 1);
  int32_t result = -1;
  for (int i = 0; i < 100; ++i) {
    const std::string name = "s" + std::to_string(i);
    ASSERT_TRUE(cache.Find(&dummy, uint32_t(i % 3), name.c_str(), uint32_t(name.size()), result));
    EXPECT_EQ(result, i);
    EXPECT_FALSE(cache.Find(&dummy, uint32_t(i % 3 + 1), name.c_str(), uint32_t(name.size()), result));
  }
  ASSERT_TRUE(cache.Find(&dummy, 0, longName.c_str(), uint32_t(longName.size()), result));
  EXPECT_EQ(result, 0) << "a 0 answer is kept";
  ASSERT_TRUE(cache.Find(&dummy, 0, other.c_str(), uint32_t(other.size()), result));
  EXPECT_EQ(result, 7);
  cache.Insert(&dummy, 0, other.c_str(), uint32_t(other.size()), 8);
  cache.Find(&dummy, 0, other.c_str(), uint32_t(other.size()), result);
  EXPECT_EQ(result, 8) << "inserted again: replaced";
  EXPECT_EQ(cache.Count(), 102);
  EXPECT_FALSE(cache.Find(nullptr, 0, "s1", 2, result)) << "the context is part of the key";
}

}  // namespace

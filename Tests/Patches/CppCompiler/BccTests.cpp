// The small tool-chain patches against the compiler's own routines: stricmp
// keeps the sign of every comparison without calling the locale helpers,
// the inline ltolower reads every byte and suffix as the call did, and the
// progress procedure answers by Canceled without PeekMessage, registered once.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "CppStandIns.h"
#include "Framework/PatchRegistry.h"
#include "Hooking/CodeTransaction.h"
#include "Patches/CppCompiler/BccOptimizations.h"

namespace {

using CppStandIns::Compiler;

int Sign(int32_t v) { return (v > 0) - (v < 0); }

TEST(BccStricmp, KeepsTheSignOfEveryByteAndStringComparisonWithoutLocaleCalls) {
  CppStandIns::Load();
  std::vector<std::pair<std::string, std::string>> pairs;
  for (int a = 0; a < 256; ++a)
    for (int b = 0; b < 256; ++b) pairs.push_back({std::string(1, char(a)).c_str(), std::string(1, char(b)).c_str()});
  std::mt19937 random(4);
  const std::string letters = "abcXYZaz_[`@{\xC4\xE4\x7F";
  for (int i = 0; i < 20000; ++i) {
    std::string s, t;
    for (size_t n = random() % 8; n > 0; --n) s += letters[random() % letters.size()];
    t = s;
    for (char& c : t)
      if (random() % 3 == 0) c = char(c ^ 0x20);  // case flips, and non-letters changed
    if (random() % 4 == 0) t += letters[random() % letters.size()];
    pairs.push_back({s, t});
  }
  std::vector<int> unpatched;
  for (const auto& [s, t] : pairs) unpatched.push_back(Sign(Compiler().Stricmp(s.c_str(), t.c_str())));

  CppStandIns::RunCppProcs();
  ASSERT_EQ(CppStandIns::Status(L"bcc.stricmp"), L"applied");
  const uint32_t helperCalls = Compiler().LocaleHelperCalls();
  for (size_t i = 0; i < pairs.size(); ++i)
    ASSERT_EQ(Compiler().Stricmp(pairs[i].first.c_str(), pairs[i].second.c_str()), unpatched[i])
        << testing::PrintToString(pairs[i].first) << " vs " << testing::PrintToString(pairs[i].second);
  EXPECT_EQ(Compiler().LocaleHelperCalls(), helperCalls);
  EXPECT_EQ(Compiler().Stricmp("abc", "ABD"), -1);
  EXPECT_EQ(Compiler().Stricmp("ABD", "abc"), 1);
  EXPECT_EQ(Compiler().Stricmp("Abc", "aBC"), 0);
  const char* same = "same";
  EXPECT_EQ(Quillmend::StricmpReplacement(same, same), 0);
}

TEST(BccLtolower, TheInlineLookupReadsEveryByteAndSuffixAsTheCallDid) {
  CppStandIns::Load();
  std::vector<std::string> texts;
  for (int b = 1; b < 256; ++b) texts.push_back(std::string(1, char(b)) + "L");
  for (const char* s : {"u", "U", "l", "L", "ul", "UL", "lu", "LLU", "ull", "uLL", "lll", "uu", "lul", "Lx", "i64", ""})
    texts.push_back(s);
  auto scan = [&] {
    std::vector<int32_t> results;
    for (const std::string& t : texts) results.push_back(Compiler().ScanIntSuffix(t.c_str()));
    return results;
  };
  Compiler().UseLocaleTable(1);
  const std::vector<int32_t> withTable = scan();
  Compiler().UseLocaleTable(0);
  const uint32_t calls = Compiler().LocaleHelperCalls();
  const std::vector<int32_t> withoutTable = scan();
  EXPECT_EQ(withoutTable, withTable) << "ltolower's two branches agree";
  EXPECT_GT(Compiler().LocaleHelperCalls(), calls);
  for (int c = 0; c < 256; ++c) EXPECT_EQ(Compiler().Ltolower(c), c >= 'A' && c <= 'Z' ? c + 32 : c);
  EXPECT_EQ(Compiler().Ltolower(-1), -1);

  CppStandIns::RunCppProcs();
  ASSERT_EQ(CppStandIns::Status(L"bcc.ltolowerCalls"), L"applied");
  const std::vector<uint8_t> code = Quillmend::InlineLtolowerCode(Compiler().LowerTable);
  EXPECT_EQ(CppStandIns::Bytes(Compiler().PatternSite("LtolowerCallSite"), 15), code);
  const uint32_t before = Compiler().LocaleHelperCalls();
  for (int useTable : {0, 1}) {
    Compiler().UseLocaleTable(useTable);
    EXPECT_EQ(scan(), withTable);
  }
  EXPECT_EQ(Compiler().LocaleHelperCalls(), before) << "no call of ltolower is left";
}

TEST(BccDoKibitzProgress, AnswersByCanceledWithoutPeekMessageAndIsRegisteredOnce) {
  CppStandIns::Load();
  void* running = CppStandIns::NewMonitor(false);
  void* canceled = CppStandIns::NewMonitor(true);
  EXPECT_EQ(CppStandIns::RunKibitzProgress(running, 4), 4);
  EXPECT_EQ(CppStandIns::PeekMessageCalls(), 4u);
  CppStandIns::RunCppProcs();
  ASSERT_EQ(CppStandIns::Status(L"bcc.DoKibitzProgress"), L"applied");
  EXPECT_EQ(CppStandIns::RunKibitzProgress(running, 5), 5);
  EXPECT_EQ(CppStandIns::RunKibitzProgress(canceled, 3), -3);
  EXPECT_EQ(CppStandIns::PeekMessageCalls(), 4u);
  void* replacement = *CppStandIns::DoKibitzProgressVariable();

  // The next compiler load runs the procedures again: the compiler's
  // patches are registered anew, this one is not touched.
  CppStandIns::RunCppProcs();
  EXPECT_EQ(CppStandIns::Status(L"bcc.DoKibitzProgress"), L"applied");
  EXPECT_EQ(*CppStandIns::DoKibitzProgressVariable(), replacement);
  size_t edits = 0;
  for (const Quillmend::TCommittedRange& r : Quillmend::CommittedRanges()) edits += r.Owner == L"bcc.DoKibitzProgress";
  EXPECT_EQ(edits, 1u);
}

}  // namespace

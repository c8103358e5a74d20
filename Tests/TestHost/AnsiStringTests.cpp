// The host run-time's bounded 8-bit string comparison, called the host's way.
#include <gtest/gtest.h>

#include <windows.h>

#include "BdsRun.h"
#include "Common/HostLayout.h"

namespace {

using TStrLComp = int(QM_HOST_REGISTER*)(const char* str1, const char* str2, unsigned maxLen);

TStrLComp StrLComp() {
  HMODULE rtl = LoadLibraryW((QmHostTest::HostDir() + L"rtl150.bpl").c_str());
  return reinterpret_cast<TStrLComp>(reinterpret_cast<void*>(GetProcAddress(rtl, "@Sysutils@StrLComp$qqrpxct1ui")));
}

struct TCompareCase {
  const char* A;
  const char* B;
  unsigned MaxLen;
  int Result;
};

const TCompareCase CompareCases[] = {
    {"abc", "abc", 3, 0},
    {"abc", "abd", 3, 'c' - 'd'},
    {"abc", "abd", 2, 0},        // only MaxLen characters count
    {"abc", "abcdef", 10, -'d'}, // the shorter one ends first
    {"ab", "ab", 10, 0},         // both end at the same zero
    {"x", "y", 0, 0},
    {"\xE9", "e", 1, 0xE9 - 'e'},  // unsigned bytes
    {"(*)", "(*", 2, 0},
};

} // namespace

TEST(HostAnsiStrings, StrLCompComparesAtMostMaxLenUnsignedBytes) {
  TStrLComp compare = StrLComp();
  ASSERT_NE(compare, nullptr);
  for (const TCompareCase& c : CompareCases) {
    SCOPED_TRACE(std::string(c.A) + " / " + c.B + " / " + std::to_string(c.MaxLen));
    EXPECT_EQ(compare(c.A, c.B, c.MaxLen), c.Result);
  }
}

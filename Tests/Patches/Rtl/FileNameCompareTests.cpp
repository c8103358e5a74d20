// File-name comparison: the replacement's order is the system's ordinal,
// case-folding one (its sign equals CompareStringOrdinal's), SameFileName
// agrees with the host's on realistic names, the empty string (nil) is an
// empty text, and the emulation on RtlCompareUnicodeString answers as
// CompareStringOrdinal does, beyond one chunk of 0x7FF0 characters too.
#include <gtest/gtest.h>

#include "Patches/Rtl/IDEAnsiCompareFileName.h"
#include "StandInRuntime.h"

namespace {

using namespace RtlTest;

int Compare(const std::wstring& a, const std::wstring& b) {
  THostText x(a), y(b);
  return Runtime().Calls.ansiCompareFileName(x.Get(), y.Get());
}

bool Same(const std::wstring& a, const std::wstring& b) {
  THostText x(a), y(b);
  return Runtime().Calls.sameFileName(x.Get(), y.Get()) != 0;
}

int OrdinalSign(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) - CSTR_EQUAL;
}

const std::pair<const wchar_t*, const wchar_t*> RealisticPairs[] = {
    {L"C:\\Projects\\Unit1.pas", L"c:\\projects\\UNIT1.PAS"},
    {L"C:\\Projects\\Unit1.pas", L"C:\\Projects\\Unit2.pas"},
    {L"C:\\Users\\M\u00FCller\\\u00C4.pas", L"c:\\users\\m\u00DCLLER\\\u00E4.PAS"},
    {L"\\\\server\\share\\a.dfm", L"\\\\SERVER\\SHARE\\A.DFM"},
    {L"a/b.pas", L"a\\b.pas"},
    {L"Unit1.pas", L"Unit1.pas "},
    {L"", L""},
    {L"", L"x"},
    {L"x", L""},
    {L"abc", L"ABD"},
    {L"Form1.dfm", L"Form1.dfm"},
    {L"\u0130stanbul.pas", L"istanbul.pas"},
    {L"file.tar.gz", L"FILE.TAR.GZ"},
};

TEST(FileNameCompare, SameFileNameAgreesWithTheHostOnRealisticNames) {
  Load();
  std::vector<bool> host;
  for (const auto& [a, b] : RealisticPairs) host.push_back(Same(a, b));
  InstallPatches();
  for (size_t i = 0; i < std::size(RealisticPairs); ++i)
    EXPECT_EQ(Same(RealisticPairs[i].first, RealisticPairs[i].second), host[i]) << ToUtf8(RealisticPairs[i].first);
}

TEST(FileNameCompare, OrderIsTheOrdinalCaseFoldingOne) {
  Load();
  // The host orders by the user locale: "a_b" before "aB".
  EXPECT_EQ(Compare(L"a_b", L"aB"), -1);
  InstallPatches();
  const std::pair<const wchar_t*, const wchar_t*> pairs[] = {
      {L"a_b", L"aB"}, {L"abc", L"ABD"}, {L"\u00C4.pas", L"\u00E4.PAS"}, {L"a/b", L"a\\b"}, {L"Z", L"a"},
      {L"a", L"a1"},   {L"\u00E9", L"f"},  {L"", L"x"},                   {L"", L""},         {L"x", L""},
  };
  for (const auto& [a, b] : pairs) EXPECT_EQ(Compare(a, b), OrdinalSign(a, b)) << ToUtf8(a) << " / " << ToUtf8(b);
  EXPECT_EQ(Compare(L"a_b", L"aB"), 1);
  EXPECT_EQ(Compare(L"abc", L"ABD"), -1);
  EXPECT_TRUE(Same(L"\u00C4.pas", L"\u00E4.PAS"));
  EXPECT_FALSE(Same(L"a/b", L"a\\b"));
  // The empty string is nil: an empty text, equal to itself and first in order.
  EXPECT_TRUE(Same(L"", L""));
  EXPECT_EQ(Compare(L"", L""), 0);
  EXPECT_EQ(Compare(L"", L"a"), -1);
  EXPECT_EQ(Compare(L"a", L""), 1);
}

// ---- the emulation -------------------------------------------------------------------

TEST(FileNameCompare, EmulationAnswersAsCompareStringOrdinal) {
  using Quillmend::CompareStringOrdinalEmulation;
  // Long texts that differ only behind the first chunk of 0x7FF0 characters.
  std::wstring a(0x7FF0 + 100, L'x'), b = a;
  b[0x7FF0 + 50] = L'Y';
  std::wstring upper = a;
  for (wchar_t& c : upper) c = L'X';
  const struct {
    std::wstring A, B;
  } texts[] = {{a, b}, {b, a}, {a, upper}, {a, a + L"z"}, {a + L"z", a}, {L"abc", L"ABD"},
               {L"\u00C4", L"\u00E4"}, {L"a_b", L"aB"}, {L"", L""}, {L"", L"a"}};
  for (const auto& t : texts)
    for (BOOL ignoreCase : {FALSE, TRUE}) {
      const int expected = CompareStringOrdinal(t.A.c_str(), int(t.A.size()), t.B.c_str(), int(t.B.size()), ignoreCase);
      EXPECT_EQ(CompareStringOrdinalEmulation(t.A.c_str(), int(t.A.size()), t.B.c_str(), int(t.B.size()), ignoreCase),
                expected)
          << t.A.size() << "/" << t.B.size() << " ignore case " << ignoreCase;
    }
  // A negative length runs to the NUL; one text against itself compares its lengths.
  EXPECT_EQ(CompareStringOrdinalEmulation(L"abc", -1, L"ABC", 3, TRUE), CSTR_EQUAL);
  EXPECT_EQ(CompareStringOrdinalEmulation(a.c_str(), 5, a.c_str(), 7, FALSE), CSTR_LESS_THAN);
  // Invalid arguments: 0 and last error 87, as CompareStringOrdinal answers them.
  for (const auto& call : {std::make_tuple(static_cast<const wchar_t*>(nullptr), L"a", BOOL(TRUE)),
                           std::make_tuple(L"a", static_cast<const wchar_t*>(nullptr), BOOL(TRUE)),
                           std::make_tuple(L"a", L"a", BOOL(2))}) {
    SetLastError(0);
    EXPECT_EQ(CompareStringOrdinalEmulation(std::get<0>(call), 1, std::get<1>(call), 1, std::get<2>(call)), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  }
}

TEST(FileNameCompare, ReplacementsWorkOnTheEmulationToo) {
  Load();
  InstallPatches();
  Quillmend::OrdinalCompareProc = &Quillmend::CompareStringOrdinalEmulation;
  EXPECT_EQ(Compare(L"abc", L"ABD"), -1);
  EXPECT_EQ(Compare(L"", L""), 0);
  EXPECT_TRUE(Same(L"C:\\A\\\u00C4.pas", L"c:\\a\\\u00E4.PAS"));
  EXPECT_EQ(Call(Runtime().Calls.extractRelativePath, L"C:\\a\\b\\x.pas", L"c:\\A\\c\\y.pas"), L"..\\c\\y.pas");
  const std::wstring longName(0x9000, L'n');
  EXPECT_TRUE(Same(longName + L"A", longName + L"a"));
  EXPECT_EQ(Compare(longName + L"a", longName + L"B"), -1);
}

}  // namespace

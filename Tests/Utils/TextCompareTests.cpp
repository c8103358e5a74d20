#include "Hooking/TextCompare.h"
#include "Hooking/Utils.h"

#include <gtest/gtest.h>

#include <string>

using namespace Quillmend;

TEST(TextCompare, Utf8CompareTextOrdersWithoutAsciiCase) {
  InitializeUtils();
  InitializeUtils();  // run-once: a second call changes nothing
  EXPECT_EQ(Utf8CompareText("abc", "ABD"), -1);
  EXPECT_EQ(Utf8CompareText("ABD", "abc"), 1);
  EXPECT_EQ(Utf8CompareText("C:\\Src\\Unit1.pas", "c:\\SRC\\unit1.PAS"), 0);
  EXPECT_EQ(Utf8CompareText("", ""), 0);
  EXPECT_EQ(Utf8CompareText("Unit", "Unit1"), -1);  // the string that ends first is smaller
  EXPECT_EQ(Utf8CompareText("Unit1", "unit"), 1);
  // Letters are compared upper-cased: 'a' (as 'A') sorts before '_'.
  EXPECT_EQ(Utf8CompareText("a", "_"), -1);
  // An ASCII byte sorts before any non-ASCII one.
  EXPECT_EQ(Utf8CompareText("z", "\xC3\xA4"), -1);
}

TEST(TextCompare, NonAsciiDifferencesGoThroughUtf16) {
  // "Äpfel.pas" / "äPFEL.pas": the first bytes differ and both are non-ASCII.
  EXPECT_EQ(Utf8CompareText("\xC3\x84pfel.pas", "\xC3\xA4PFEL.pas"), 0);
  EXPECT_EQ(Utf8CompareTextWide("\xC3\x84pfel.pas", "\xC3\xA4PFEL.pas"), 0);
  // "Ä" vs "Ö" ordered by UTF-16, whole strings compared.
  EXPECT_EQ(Utf8CompareText("x\xC3\x84", "X\xC3\x96"), -1);
  EXPECT_EQ(Utf8CompareText("x\xC3\x96", "X\xC3\xA4"), 1);
  EXPECT_EQ(Utf8CompareTextWide("abc", "ab"), 1);
  // Past the stack buffer the conversion moves to the heap; a difference at the end still counts.
  std::string a(5000, 'a'), b(5000, 'A');
  EXPECT_EQ(Utf8CompareTextWide((a + "\xC3\xA4").c_str(), (b + "\xC3\x84").c_str()), 0);
  EXPECT_EQ(Utf8CompareTextWide((a + "x").c_str(), (b + "Y").c_str()), -1);
}

TEST(TextCompare, CompareUnicodeTextSpansChunksOf0x7FF0) {
  std::wstring a(0x7FF0 * 2 + 10, L'a');
  std::wstring b(0x7FF0 * 2 + 10, L'A');
  EXPECT_EQ(CompareUnicodeText(a.c_str(), int32_t(a.size()), b.c_str(), true, int32_t(b.size())), 0);
  EXPECT_NE(CompareUnicodeText(a.c_str(), int32_t(a.size()), b.c_str(), false, int32_t(b.size())), 0);
  // Differences only in the second and in the last chunk.
  std::wstring c = a;
  c[0x7FF0 + 5] = L'b';
  EXPECT_LT(CompareUnicodeText(a.c_str(), int32_t(a.size()), c.c_str(), true, int32_t(c.size())), 0);
  c = a;
  c.back() = L'B';
  EXPECT_GT(CompareUnicodeText(c.c_str(), int32_t(c.size()), b.c_str(), true, int32_t(b.size())), 0);
  // Equal prefixes: the length difference decides.
  EXPECT_EQ(CompareUnicodeText(a.c_str(), int32_t(a.size()), b.c_str(), true, 0x7FF0 + 3), 0x7FF0 + 7);
  EXPECT_EQ(CompareUnicodeText(a.c_str(), 0, b.c_str(), true, 0), 0);
}

TEST(TextCompare, ExtractFileNameAndExt) {
  const char* path = "C:\\Src/Lib.d\\Unit1.tmp.pas";
  EXPECT_STREQ(Utf8ExtractFileName(path), "Unit1.tmp.pas");
  EXPECT_STREQ(Utf8ExtractFileExt(path), ".pas");
  const char* plain = "Unit1";
  EXPECT_EQ(Utf8ExtractFileName(plain), plain);
  EXPECT_EQ(Utf8ExtractFileExt(plain), plain + 5);  // the terminating zero
  const char* dotInDir = "C:\\My.Dir\\Unit1";
  EXPECT_EQ(Utf8ExtractFileExt(dotInDir), dotInDir + 15);
  const char* trailing = "C:\\Src\\";
  EXPECT_EQ(Utf8ExtractFileName(trailing), trailing + 7);
  EXPECT_STREQ(Utf8ExtractFileExt("dir/.hidden"), ".hidden");
  EXPECT_EQ(Utf8ExtractFileName(static_cast<const char*>(nullptr)), nullptr);
  EXPECT_EQ(Utf8ExtractFileExt(static_cast<const char*>(nullptr)), nullptr);
}

TEST(TextCompare, AsciiLengthLimitedComparisons) {
  EXPECT_EQ(StrLICompAscii("abcX", "ABCy", 3), 0);
  EXPECT_EQ(StrLICompAscii("abcX", "ABCy", 4), 'X' - 'Y');
  EXPECT_EQ(StrLICompAscii("ab", "AB", 10), 0);  // common terminator ends the comparison
  EXPECT_EQ(StrLICompAscii("ab", "ABC", 10), -'C');
  EXPECT_EQ(StrLICompAscii("a\xE9", "A\x41", 2), 0xE9 - 0x41);  // unsigned bytes
  EXPECT_EQ(StrLICompAscii("@", "`", 1), '@' - '`');
  EXPECT_EQ(StrLICompAscii("x", "y", 0), 0);

  EXPECT_TRUE(SameTextAsciiLen("SysUtils", "SYSUTILSX", 8));
  EXPECT_FALSE(SameTextAsciiLen("SysUtils", "SYSUTILX", 8));
  EXPECT_FALSE(SameTextAsciiLen("Sys", "SYS", 4));  // S1 ends inside the length
  EXPECT_FALSE(SameTextAsciiLen("@", "`", 1));
  EXPECT_TRUE(SameTextAsciiLen("", "", 0));
}

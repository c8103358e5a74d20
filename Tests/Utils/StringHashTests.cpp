#include "Hooking/StringHash.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace Quillmend;

namespace {

// A plain model of the hashes: tables drawn from start value 0x10101010 with the
// LCG x * 134775813 + 1, each draw (high half of 0xFFFF * x) + 1; the hash
// adds table entries and rotates left by 6 after every fourth character.
struct TModel {
  uint32_t Identifier[256] = {};
  uint32_t Wide[256] = {};
  uint32_t WideI[256] = {};

  static uint32_t Draw(uint32_t& x) {
    x = x * 134775813u + 1u;
    return static_cast<uint32_t>((0xFFFFull * x) >> 32) + 1;
  }
  TModel() {
    uint32_t x = 0x10101010;
    for (char c : std::string("0123456789")) Identifier[uint8_t(c)] = Draw(x);
    for (char c = 'A'; c <= 'Z'; ++c) Identifier[uint8_t(c)] = Identifier[uint8_t(c + 32)] = Draw(x);
    Identifier[uint8_t('_')] = Draw(x);
    Identifier[uint8_t('\\')] = Draw(x);
    x = 0x10101010;
    Wide[0] = 1;
    for (int c = 1; c < 128; ++c) Wide[c] = Draw(x);
    for (int c = 0; c < 256; ++c) WideI[c] = (c >= 'a' && c <= 'z') ? Wide[c - 32] : Wide[c];
  }
  static uint32_t Step(uint32_t h, size_t i, uint32_t add) {
    h += add;
    return i % 4 == 3 ? (h << 6 | h >> 26) : h;
  }
  uint32_t Hash8(const std::string& s) const {  // ASCII only
    uint32_t h = 0;
    for (size_t i = 0; i < s.size(); ++i) h = Step(h, i, Identifier[uint8_t(s[i])]);
    return h;
  }
  uint32_t Hash16(const std::wstring& s, const uint32_t* table) const {
    uint32_t h = 0;
    for (size_t i = 0; i < s.size(); ++i) h = Step(h, i, s[i] < 0x20AC ? table[s[i] & 0xFF] : 0);
    return h;
  }
};

const TModel Model;

}  // namespace

TEST(StringHash, FixedValuesFromTheFixedSeed) {
  uint32_t randomSeed = 0x10101010;
  EXPECT_EQ(NextHashRandom(randomSeed, 0xFFFF), 0x9917u);
  EXPECT_EQ(randomSeed, 0x10101010u * 134775813u + 1u);

  // Values computed independently from the table and hash definitions.
  EXPECT_EQ(Utf8HashText("a"), 0xB152u);
  EXPECT_EQ(Utf8HashText("System"), 0x006215CBu);
  EXPECT_EQ(Utf8HashText("SysUtils.pas"), 0xC32B0007u);
  EXPECT_EQ(Utf8HashText("_1\\x.dcu"), 0x1A115A40u);
  EXPECT_EQ(UnicodeHashTextI(L"a"), 0x4850u);
  EXPECT_EQ(UnicodeHashText(L"SysUtils.pas"), 0xD6CCDD8Au);
  EXPECT_EQ(UnicodeHashTextI(L"SysUtils.pas"), 0xB168680Cu);
  EXPECT_EQ(UnicodeHashTextI(L"_1\\x.dcu"), 0x192BA280u);
  EXPECT_EQ(Utf8HashTextWide("\xC3\x9Cnit"), 0x91C0u);  // "Ünit" lower-cased
}

TEST(StringHash, UnrolledLoopsMatchThePlainModelAtEveryLength) {
  std::mt19937 random(5);
  const std::string chars8 = "abcxyzABCXYZ0189_\\.-$ @~\x7F";
  const std::wstring extra16 = L"\x00E9\x0141\x2041\x20AB\x20AC\x2100\x4E2D\xFFFF";
  for (int length = 0; length <= 40; ++length) {
    for (int round = 0; round < 20; ++round) {
      std::string s;
      std::wstring w;
      for (int i = 0; i < length; ++i) {
        s += chars8[random() % chars8.size()];
        w += random() % 3 ? wchar_t(uint8_t(s.back())) : extra16[random() % extra16.size()];
      }
      ASSERT_EQ(Utf8HashText(s.c_str()), Model.Hash8(s)) << s;
      ASSERT_EQ(UnicodeHashText(w.c_str()), Model.Hash16(w, Model.Wide)) << length;
      ASSERT_EQ(UnicodeHashTextI(w.c_str()), Model.Hash16(w, Model.WideI)) << length;
    }
  }
}

TEST(StringHash, AsciiCaseIsIgnoredWhereIntended) {
  EXPECT_EQ(Utf8HashText("SysUtils.Exception_1"), Utf8HashText("SYSUTILS.EXCEPTION_1"));
  EXPECT_EQ(UnicodeHashTextI(L"SysUtils.Exception_1"), UnicodeHashTextI(L"SYSUTILS.EXCEPTION_1"));
  EXPECT_NE(UnicodeHashText(L"SysUtils.Exception_1"), UnicodeHashText(L"SYSUTILS.EXCEPTION_1"));
  // Only ASCII letters fold: '@' and '`' are not the case pair of anything.
  EXPECT_NE(UnicodeHashTextI(L"@"), UnicodeHashTextI(L"`"));
}

TEST(StringHash, NonAsciiNamesFallBackToTheLowerCasedWideHash) {
  const char* upper = "\xC3\x9Cnit\xC3\x84.pas";  // "ÜnitÄ.pas"
  const char* lower = "\xC3\xBCnit\xC3\xA4.PAS";  // "ünitä.PAS"
  EXPECT_EQ(Utf8HashText(upper), Utf8HashTextWide(upper));
  EXPECT_EQ(Utf8HashText(upper), Utf8HashText(lower));
  EXPECT_NE(Utf8HashText(upper), Utf8HashText("Unita.pas"));

  // Past the first run of eight bytes only the run of eight holding the
  // first non-ASCII byte onwards is hashed; case still does not matter.
  const char* longUpper = "Project1.pas\xC3\x9C";
  const char* longLower = "PROJECT1.PAS\xC3\xBC";
  EXPECT_EQ(Utf8HashText(longUpper), Utf8HashTextWide(longUpper + 8));
  EXPECT_EQ(Utf8HashText(longUpper), Utf8HashText(longLower));

  std::string tooLong(300, 'a');
  EXPECT_EQ(Utf8HashTextWide(tooLong.c_str()), 0u);
}

TEST(StringHash, EmptyAndNullHashToZero) {
  EXPECT_EQ(Utf8HashText(""), 0u);
  EXPECT_EQ(Utf8HashText(nullptr), 0u);
  EXPECT_EQ(Utf8HashTextWide(""), 0u);
  EXPECT_EQ(UnicodeHashText(L""), 0u);
  EXPECT_EQ(UnicodeHashText(nullptr), 0u);
  EXPECT_EQ(UnicodeHashTextI(nullptr), 0u);
  // Characters outside every table add nothing.
  EXPECT_EQ(Utf8HashText("..--"), 0u);
  EXPECT_EQ(UnicodeHashText(L"\x20AC\x2100\xFFFF"), 0u);
}

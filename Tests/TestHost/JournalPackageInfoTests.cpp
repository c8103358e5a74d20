// Journal escaping, the PACKAGEINFO layout parser, and the package graph's
// root, rtl150.bpl.
#include <gtest/gtest.h>

#include "BdsRun.h"
#include "Common/Journal.h"
#include "Common/PackageInfo.h"

using namespace QmHost;

TEST(JournalEscaping, LineBreaksAndBackslashesRoundTrip) {
  struct Case {
    std::wstring text, escaped;
  } const cases[] = {
      {L"plain", L"plain"},
      {L"a\r\nb", L"a\\r\\nb"},
      {L"a\nb", L"a\\nb"},
      {L"C:\\dir\\new", L"C:\\\\dir\\\\new"},
      {L"\\n literal", L"\\\\n literal"},
      {L"end\\", L"end\\\\"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.escaped, JournalEscape(c.text));
    EXPECT_EQ(c.text, JournalUnescape(JournalEscape(c.text)));
  }
  EXPECT_EQ("\xC3\xA4\xE2\x82\xAC", ToUtf8(L"\u00E4\u20AC"));
}

TEST(JournalFile, OneUtf8LinePerWrite) {
  wchar_t dir[MAX_PATH], path[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  GetTempFileNameW(dir, L"jt", 0, path);
  {
    Journal journal;
    ASSERT_TRUE(journal.Open(path));
    journal.Write(L"FIRST " + JournalEscape(L"x\ny"));
    journal.Write(L"SECOND \u00E4");
  }
  EXPECT_EQ((std::vector<std::wstring>{L"FIRST x\\ny", L"SECOND \u00E4"}), ReadJournalLines(path));
  DeleteFileW(path);
}

TEST(PackageInfoLayout, ParsesExactlyAndRejectsMalformedResources) {
  PackageInfo info;
  info.flags = 0x10;
  info.requiredPackages = {"rtl150"};
  info.units = {"UnitA", "UnitB"};
  std::vector<unsigned char> bytes = BuildPackageInfo(info);
  const unsigned char expected[] = {0x10, 0, 0, 0, 1, 0, 0, 0, 'r', 't', 'l', '1', '5', '0', 0,
                                    2,    0, 0, 0, 'U', 'n', 'i', 't', 'A', 0, 'U', 'n', 'i', 't', 'B', 0};
  ASSERT_EQ(std::vector<unsigned char>(std::begin(expected), std::end(expected)), bytes);

  PackageInfo parsed;
  std::wstring error;
  ASSERT_TRUE(ParsePackageInfo(bytes.data(), bytes.size(), parsed, error)) << error;
  EXPECT_EQ(info.flags, parsed.flags);
  EXPECT_EQ(info.requiredPackages, parsed.requiredPackages);
  EXPECT_EQ(info.units, parsed.units);

  auto rejects = [&](std::vector<unsigned char> b) { return !ParsePackageInfo(b.data(), b.size(), parsed, error); };
  EXPECT_TRUE(rejects({}));
  EXPECT_TRUE(rejects(std::vector<unsigned char>(bytes.begin(), bytes.end() - 1)));  // unterminated name
  std::vector<unsigned char> trailing = bytes;
  trailing.push_back(0);
  EXPECT_TRUE(rejects(trailing));
  std::vector<unsigned char> huge = bytes;
  huge[4] = 0xFF, huge[5] = 0xFF, huge[6] = 0xFF, huge[7] = 0x7F;
  EXPECT_TRUE(rejects(huge));
  PackageInfo twice;
  twice.units = {"Same", "SAME"};
  EXPECT_TRUE(rejects(BuildPackageInfo(twice)));
  std::vector<unsigned char> emptyName = {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
  EXPECT_TRUE(rejects(emptyName));
}

// The run-time package heads the graph: it requires nothing, and it holds
// the units that exist once per process.
TEST(PackageInfoLayout, RunTimePackageRequiresNothing) {
  HMODULE rtl = LoadLibraryW((QmHostTest::HostDir() + L"rtl150.bpl").c_str());
  ASSERT_NE(rtl, nullptr);
  PackageInfo info;
  std::wstring error;
  ASSERT_TRUE(ReadPackageInfo(rtl, info, error)) << error;
  EXPECT_TRUE(info.requiredPackages.empty());
  EXPECT_EQ(info.units,
            (std::vector<std::string>{"System", "SysInit", "SysUtils", "Classes", "Contnrs", "Variants"}));
}

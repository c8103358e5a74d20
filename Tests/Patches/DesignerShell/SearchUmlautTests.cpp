// Search in files with non-ASCII letters: unpatched, the dialog's ANSI
// text is labelled UTF-8 unconverted and never found; patched, it is
// converted first. The expected bytes are Python's codecs' ("cp1252" and
// "utf-8" encodings of each text).
#include <gtest/gtest.h>

#include <windows.h>

#include "DesignerStandIns.h"
#include "Patches/DesignerShell/SearchUmlautInFilesFix.h"

namespace {

const wchar_t* const SearchUmlaut = L"IDE.SearchUmlautInFiles";

struct TCodePageCase {
  const char* Ansi;  // code page 1252
  const char* Utf8;
  const wchar_t* Text;
};

const TCodePageCase CodePageCases[] = {
    {"M\xFCller", "M\xC3\xBCller", L"M\u00FCller"},
    {"Stra\xDF" "e", "Stra\xC3\x9F" "e", L"Stra\u00DFe"},
    {"\xC4rger", "\xC3\x84rger", L"\u00C4rger"},
    {"\x80uro", "\xE2\x82\xACuro", L"\u20ACuro"},  // where 1252 is no Latin-1
    {"na\xEFve", "na\xC3\xAFve", L"na\u00EFve"},
    {"plain", "plain", L"plain"},
};

void RequireCodePage1252() {
  if (GetACP() != 1252) GTEST_SKIP() << "the system's ANSI code page is " << GetACP() << ", not 1252";
}

std::string Utf8Of(const wchar_t* text) {
  char out[256] = {};
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, nullptr, nullptr);
  return out;
}

TEST(DesignerSearchUmlaut, AnsiTextsBecomeTheirUtf8Bytes) {
  RequireCodePage1252();
  for (const TCodePageCase& c : CodePageCases) {
    SCOPED_TRACE(c.Utf8);
    EXPECT_EQ(Quillmend::AnsiToUtf8(c.Ansi), c.Utf8);
  }
  EXPECT_EQ(Quillmend::AnsiToUtf8(""), "");
  EXPECT_EQ(Quillmend::AnsiToUtf8(nullptr), "");
}

TEST(DesignerSearchUmlaut, UnpatchedANonAsciiTextIsNeverFound) {
  RequireCodePage1252();
  DesignerStandIns::Load();
  const std::vector<std::wstring> files = {L"Herr M\u00FCller", L"Herr Mueller"};
  // The lone 0xFC byte decodes as a replacement character.
  EXPECT_EQ(DesignerStandIns::SearchFor("M\xFCller", files), "0 M\xEF\xBF\xBDller");
}

TEST(DesignerSearchUmlaut, PatchedEveryTextIsFoundWhereItIs) {
  RequireCodePage1252();
  DesignerStandIns::Load();
  DesignerStandIns::Install();
  ASSERT_EQ(DesignerStandIns::Status(SearchUmlaut), L"applied") << DesignerStandIns::Reasons();
  for (const TCodePageCase& c : CodePageCases) {
    SCOPED_TRACE(c.Utf8);
    const std::vector<std::wstring> files = {std::wstring(L"x := '") + c.Text + L"';", L"nothing here",
                                             std::wstring(c.Text) + L" again"};
    EXPECT_EQ(DesignerStandIns::SearchFor(c.Ansi, files), "2 " + Utf8Of(c.Text));
  }
}

} // namespace

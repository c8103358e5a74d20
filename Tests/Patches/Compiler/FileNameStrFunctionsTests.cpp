// "Compiler.FileNameStringFunctions" against the stand-in compiler's four
// file-name routines: three ways; the patterns found in their order, each
// from the one before; a table of answers the host gives (one-character
// texts, ':' as a delimiter) that the replacements must give too; and the
// replacements against the host's routines over generated texts (every
// text of up to four characters from delimiters, dots, letters and the
// bytes of longer characters, cut where a character is not finished, and
// random longer ones).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>
#include <windows.h>

#include "Hooking/CallSites.h"
#include "Hooking/PatternSearch.h"
#include "Patches/Compiler/CompilerFileNameStrFunctions.h"
#include "DccStandIn.h"
#include "TestPaths.h"
#include "ThreeWayHarness.h"
#include "dcc150/DccFileNamesDriver.h"

namespace {

using namespace DccFileNamesDriver;
namespace Patterns = Quillmend::FileNameStrPatterns;

const wchar_t* const FileNames = L"Compiler.FileNameStringFunctions";

uint8_t* Site(const char* name) {
  return static_cast<uint8_t*>(DccSite(name));
}

// The call at site + offset aimed at another routine, as another build might have it.
void RetargetCall(const char* site, int32_t offset, const char* target) {
  uint8_t* call = Site(site) + offset;
  const int32_t rel = int32_t(Site(target) - (call + 5));
  DWORD old = 0;
  VirtualProtect(call + 1, 4, PAGE_EXECUTE_READWRITE, &old);
  std::memcpy(call + 1, &rel, 4);
  VirtualProtect(call + 1, 4, old, &old);
  FlushInstructionCache(GetCurrentProcess(), call, 5);
}

// What the four routines answer for a text of `length` bytes (the buffer
// holds the text and a zero): X1 and X2 for the length and for one less and
// -1; X3's offset, also from the text's second to fourth byte (other
// alignments); X4 into another buffer and in place.
std::string Answers(const std::string& text) {
  const int32_t length = int32_t(text.size());
  std::string answers;
  for (int32_t n : {length, length - 1, -1})
    answers += std::to_string(DccExport<BaseNameLengthFn>(Export::BaseNameLength)(text.c_str(), n)) + "," +
               std::to_string(DccExport<DirLengthFn>(Export::DirLength)(text.c_str(), n)) + ",";
  for (size_t from = 0; from <= 3 && from <= text.size(); ++from)
    answers += std::to_string(DccExport<FileExtFn>(Export::FileExt)(text.c_str() + from) - text.c_str()) + ",";
  std::string dest(text.size() + 2, '#');
  DccExport<ExtractDirFn>(Export::ExtractDir)(text.c_str(), &dest[0]);
  std::string inPlace = text;
  DccExport<ExtractDirFn>(Export::ExtractDir)(inPlace.c_str(), &inPlace[0]);
  return answers + dest + "|" + inPlace.c_str();
}

// Every text of up to four bytes from these, then random texts of up to 60.
std::vector<std::string> GeneratedTexts() {
  const char alphabet[] = {'a', '.', '\\', '/', ':', 'x', char(0xC3), char(0xA9), char(0xE2)};
  std::vector<std::string> texts = {""};
  for (size_t from = 0, length = 1; length <= 4; ++length) {
    const size_t to = texts.size();
    for (size_t i = from; i < to; ++i)
      for (char c : alphabet) texts.push_back(texts[i] + c);
    from = to;
  }
  uint32_t seed = 12345;
  for (int i = 0; i < 3000; ++i) {
    seed = seed * 1103515245u + 12345u;
    std::string text;
    for (uint32_t n = (seed >> 8) % 61; n > 0; --n) {
      seed = seed * 1103515245u + 12345u;
      text += alphabet[(seed >> 12) % sizeof alphabet];
    }
    texts.push_back(text);
  }
  for (int i = 0; i < 64; ++i) texts.push_back(ProjectPath(i, 30 + i * 4));
  return texts;
}

std::string Exercise() {
  std::vector<std::string> paths;
  for (int i = 0; i < 40; ++i) paths.push_back(ProjectPath(i, ShortestPath + i * 7));
  for (const char* edge : {"a", "\\", "C:x.pas", "a.b:c", "\xC3.\xC3\\x"}) paths.push_back(edge);
  std::vector<const char*> texts;
  for (const std::string& path : paths) texts.push_back(path.c_str());
  return std::to_string(DccExport<RunFn>(Export::Run)(texts.data(), int32_t(texts.size()), 4 * int32_t(texts.size())));
}

const std::vector<TPatchRow> PatchRows = {{FileNames, {}}};
const std::vector<TVariantRow> VariantRows = {
    {"basename", {FileNames}},
    {"dirlength", {FileNames}},
    {"fileext", {FileNames}},
    {"extractdir", {FileNames}},
    // Builds whose X3 or X4 reach another routine than X1 or X2.
    {"fileext-call", {FileNames}, [] { RetargetCall("FileExt", Patterns::FileExtBaseNameCall, "DirLength"); }},
    {"extractdir-call", {FileNames},
     [] { RetargetCall("ExtractDir", Patterns::ExtractDirDirLengthCall, "BaseNameLength"); }},
};

const TThreeWaySubsystem& Subsystem() {
  static const TThreeWaySubsystem subsystem{
      {L"dcc150.dll"}, nullptr, [] { Quillmend::InstallCompilerFileNameStrFunctions(); }, &Exercise, {FileNames},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(FileNameStrFunctions, Subsystem(), PatchRows, VariantRows)

class FileNameFunctions : public TDccPatchBehaviour {
protected:
  static void Install() {
    Quillmend::InstallCompilerFileNameStrFunctions();
    ASSERT_EQ(Quillmend::PatchReports().size(), 1u);
    ASSERT_EQ(Quillmend::PatchReports()[0].Status, Quillmend::psApplied) << FailedReasonsText();
  }
};

// The answers the host gives, which the replacements give as well: X2 of
// a single character is 1 only for a delimiter; ':' ends a directory part
// and a name for X3 and X4 too.
struct TAnswerRow {
  const char* Text;
  int32_t BaseName;     // X1 over the whole text
  int32_t Dir;          // X2 over the whole text
  int32_t Ext;          // X3's offset
  const char* Extract;  // X4's text
};

const TAnswerRow AnswerRows[] = {
    {"", 0, 0, 0, ""},
    {"a", 1, 0, 1, ""},
    {"\\", 1, 1, 1, "\\"},
    {":", 1, 1, 1, ":"},
    {".", 0, 0, 0, ""},
    {"a.", 1, 0, 1, ""},
    {"C:x.pas", 3, 2, 3, "C:"},
    {"a.b:c", 5, 4, 5, "a.b:"},
    {"C:", 2, 2, 2, "C:"},
    {"dir.d\\name", 10, 6, 10, "dir.d\\"},
    {"d/x.tar.gz", 7, 2, 7, "d/"},
    {"\xC3\xA9.\xE2\\b", 6, 5, 6, "\xC3\xA9.\xE2\\"},
    {"\xC3.\xC3x", 1, 0, 1, ""},
};

}  // namespace

TEST_F(FileNameFunctions, PatternsFoundInTurnWithinTheirWindows) {
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  const char* const sites[] = {"BaseNameLength", "DirLength", "FileExt", "ExtractDir"};
  const char* const patterns[] = {Patterns::BaseNameLength, Patterns::DirLength, Patterns::FileExt,
                                  Patterns::ExtractDir};
  void* from = dcc;
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(sites[i]);
    const Quillmend::TBytePattern pattern = Quillmend::ParsePattern(patterns[i]);
    void* found = Quillmend::FindMethodPtr(from, pattern, i == 0 ? 0x10000 : Patterns::Window);
    ASSERT_EQ(found, Site(sites[i]));
    EXPECT_EQ(Quillmend::FindMethodPtr(static_cast<uint8_t*>(found) + 1, pattern, 0), nullptr);
    from = found;
  }
  EXPECT_EQ(Site("BaseNameLength"), DccExport<uint8_t*>(Export::BaseNameLength));
  EXPECT_EQ(Site("ExtractDir"), DccExport<uint8_t*>(Export::ExtractDir));
  // X1 and X2 end with their searched bytes; X3 and X4 call X1 and X2.
  EXPECT_EQ(Site("BaseNameLength")[Quillmend::ParsePattern(Patterns::BaseNameLength).size() - 1], 0xC3);
  EXPECT_EQ(Site("DirLength")[Quillmend::ParsePattern(Patterns::DirLength).size() - 1], 0xC3);
  EXPECT_EQ(Quillmend::GetCallTargetAddress(Site("FileExt") + Patterns::FileExtBaseNameCall), Site("BaseNameLength"));
  EXPECT_EQ(Quillmend::GetCallTargetAddress(Site("ExtractDir") + Patterns::ExtractDirDirLengthCall),
            Site("DirLength"));
}

TEST_F(FileNameFunctions, AnswersAsTheHostBeforeAndAfter) {
  for (bool patched : {false, true}) {
    if (patched) Install();
    for (const TAnswerRow& row : AnswerRows) {
      SCOPED_TRACE(testing::Message() << (patched ? "patched " : "host ") << '"' << row.Text << '"');
      const int32_t length = int32_t(std::strlen(row.Text));
      EXPECT_EQ(DccExport<BaseNameLengthFn>(Export::BaseNameLength)(row.Text, length), row.BaseName);
      EXPECT_EQ(DccExport<DirLengthFn>(Export::DirLength)(row.Text, length), row.Dir);
      EXPECT_EQ(DccExport<FileExtFn>(Export::FileExt)(row.Text), row.Text + row.Ext);
      char dest[32];
      std::memset(dest, '#', sizeof dest);
      DccExport<ExtractDirFn>(Export::ExtractDir)(row.Text, dest);
      EXPECT_STREQ(dest, row.Extract);
      EXPECT_EQ(dest[std::strlen(row.Extract) + 1], '#');
    }
  }
}

TEST_F(FileNameFunctions, GeneratedTextsAsTheHostsRoutines) {
  const std::vector<std::string> texts = GeneratedTexts();
  std::vector<std::string> host;
  for (const std::string& text : texts) host.push_back(Answers(text));
  Install();
  ASSERT_NE(Site("BaseNameLength")[0], 0x53);
  size_t differing = 0;
  for (size_t i = 0; i < texts.size(); ++i) {
    const std::string patched = Answers(texts[i]);
    if (patched != host[i] && ++differing <= 10) ADD_FAILURE() << '"' << texts[i] << "\": " << patched << " host " << host[i];
  }
  EXPECT_EQ(differing, 0u);
}

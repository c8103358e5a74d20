// "RTL.XmlIniFile": random ini scripts read the same as an independent
// model (ini_model.py) before and after the patch; a removed key or section
// takes the blank text that indented it along (the document is then what it
// would be had the item never been written) and a document edited again and
// again keeps its size, where the original grows; the ini objects are made
// as our subclass and nothing they hold is left behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "Common/HostRtl.h"
#include "Framework/HostObjectModel.h"
#include "Framework/PatchRegistry.h"
#include "Hooking/CodeTransaction.h"
#include "Patches/Xml/XMLIniFilePerformance.h"
#include "Patches/Xml/XmlIniFile.h"
#include "TestPaths.h"
#include "xmlrtl150/XmlIniScript.h"

namespace {

struct TIniStep {
  char Op;
  const wchar_t* Section;
  const wchar_t* Key;
  const wchar_t* Value;
  const wchar_t* Expected;
};
struct TIniScript {
  const TIniStep* Steps;
  size_t Count;
};
#include "IniScriptCases.inc"

const wchar_t* const IniPatch = L"RTL.XmlIniFile";

XmlIniScript::THost g_host;

void LoadHost() {
  const std::wstring host = BuildDirectory() + L"\\host\\";
  if (!LoadLibraryW((host + L"rtl150.bpl").c_str()) || !LoadLibraryW((host + L"xmlrtl150.bpl").c_str()))
    throw std::runtime_error("cannot load the stand-in packages");
  if (!g_host.Bind()) throw std::runtime_error("the stand-in packages lack the ini file's exports");
}

void Install() {
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
  Quillmend::Unit_XMLIniFilePerformance.Initialize();
  if (!Quillmend::IsPatchApplied(IniPatch)) throw std::runtime_error("RTL.XmlIniFile not applied");
}

std::wstring SavedText(void* root) {
  wchar_t folder[MAX_PATH], file[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"ini", 0, file);
  g_host.SaveDocument(root, file);
  std::string bytes;
  HANDLE handle = CreateFileW(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  bytes.resize(GetFileSize(handle, nullptr));
  DWORD read = 0;
  if (!bytes.empty()) ReadFile(handle, &bytes[0], DWORD(bytes.size()), &read, nullptr);
  CloseHandle(handle);
  DeleteFileW(file);
  std::wstring text(bytes.size(), L'\0');
  text.resize(size_t(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), int(bytes.size()), &text[0], int(text.size()))));
  return text;
}

struct TStep {
  wchar_t Op;
  std::wstring Section, Key, Value;
};

// A fresh document ("ini" root) and an ini file over it.
class TIni {
public:
  TIni() : FRoot(g_host.NewDocument(L"ini")), FIni(g_host.NewIni(FRoot)) {}
  ~TIni() {
    g_host.FreeIni(FIni);
    g_host.ReleaseNode(FRoot);
  }
  std::wstring Do(const TStep& s) const { return g_host.Step(FIni, s.Op, s.Section, s.Key, s.Value); }
  void Do(const std::vector<TStep>& steps) const {
    for (const TStep& s : steps) Do(s);
  }
  std::wstring Saved() const { return SavedText(FRoot); }
  void* Object() const { return FIni; }

private:
  void* FRoot;
  void* FIni;
};

// Every script's reads against the model's; the first difference reported.
void ExpectScriptsMatchTheModel(const char* when) {
  for (size_t n = 0; n < sizeof IniScripts / sizeof *IniScripts; ++n) {
    TIni ini;
    for (size_t i = 0; i < IniScripts[n].Count; ++i) {
      const TIniStep& s = IniScripts[n].Steps[i];
      const std::wstring got = ini.Do({wchar_t(s.Op), s.Section, s.Key, s.Value});
      if (got != s.Expected) {
        ADD_FAILURE() << when << ": script " << n << " step " << i << " (" << s.Op << "): got \""
                      << testing::PrintToString(got) << "\", the model " << testing::PrintToString(std::wstring(s.Expected));
        return;
      }
    }
  }
}

TEST(XmlIniFile, RandomScriptsReadAsTheModelBeforeAndAfter) {
  LoadHost();
  ExpectScriptsMatchTheModel("unpatched");
  Install();
  ExpectScriptsMatchTheModel("patched");
}

// ---- edge cases ----------------------------------------------------------------------

struct TEdgeCase {
  const char* Name;
  std::vector<TStep> Setup;
  TStep Read;
  std::wstring Expected;
};
void PrintTo(const TEdgeCase& c, std::ostream* out) { *out << c.Name; }

const std::vector<TEdgeCase> EdgeCases = {
    {"KeyNameWithBlankAndBackslash", {{L'W', L"S", L"My Key\\Sub", L"v"}}, {L'R', L"S", L"My Key\\Sub", L"d"}, L"v"},
    {"SanitizedKeyNameIsAnotherKey", {{L'W', L"S", L"My Key\\Sub", L"v"}}, {L'R', L"S", L"My_Key_Sub", L"d"}, L"d"},
    {"SanitizedSectionNameIsTheSameSection", {{L'W', L"My Sect\\ion", L"k", L"v"}}, {L'R', L"My_Sect_ion", L"k", L""}, L"v"},
    {"KeysAreCaseSensitive", {{L'W', L"S", L"Key", L"v"}}, {L'R', L"S", L"key", L"d"}, L"d"},
    {"ReadBoolOfUpperCaseTrue", {{L'W', L"S", L"b", L"TRUE"}}, {L'B', L"S", L"b", L"0"}, L"1"},
    {"ReadBoolOfOneIsFalse", {{L'W', L"S", L"b", L"1"}}, {L'B', L"S", L"b", L"1"}, L"0"},
    {"ReadBoolOfMissingIsTheDefault", {}, {L'B', L"S", L"b", L"1"}, L"1"},
    {"ReadBoolOfEmptyIsTheDefault", {{L'W', L"S", L"b", L""}}, {L'B', L"S", L"b", L"1"}, L"1"},
    {"WriteBoolReadsBack", {{L'F', L"S", L"b", L"1"}}, {L'R', L"S", L"b", L""}, L"True"},
    {"WriteIntegerReadsBack", {{L'N', L"S", L"i", L"-42"}}, {L'I', L"S", L"i", L"0"}, L"-42"},
    {"ReadIntegerOfTextIsTheDefault", {{L'W', L"S", L"i", L"abc"}}, {L'I', L"S", L"i", L"9"}, L"9"},
    {"ReadIntegerBeyond32BitsIsTheDefault", {{L'W', L"S", L"i", L"2147483648"}}, {L'I', L"S", L"i", L"9"}, L"9"},
    {"ReadIntegerOfHexadecimal", {{L'W', L"S", L"i", L"$1F"}}, {L'I', L"S", L"i", L"9"}, L"31"},
    {"ValueExistsForAnEmptyValue", {{L'W', L"S", L"k", L""}}, {L'V', L"S", L"k", L""}, L"1"},
    {"ValueExistsAfterTheValueWasEmptied", {{L'W', L"S", L"k", L"v"}, {L'W', L"S", L"k", L""}}, {L'V', L"S", L"k", L""}, L"1"},
    {"ValueExistsNotForADeletedKey", {{L'W', L"S", L"k", L""}, {L'D', L"S", L"k", L""}}, {L'V', L"S", L"k", L""}, L"0"},
    {"ReadSectionListsKeyNamesUnchanged", {{L'W', L"S", L"a b", L"1"}, {L'W', L"S", L"c\\d", L""}}, {L'S', L"S", L"", L""}, L"a b\nc\\d"},
    {"ReadSectionValues", {{L'W', L"S", L"a", L"1"}, {L'W', L"S", L"b", L""}}, {L'Q', L"S", L"", L""}, L"a=1\nb="},
    {"ReadSectionsGivesElementNames", {{L'W', L"a b", L"k", L"1"}, {L'W', L"c", L"k", L"1"}}, {L'T', L"", L"", L""}, L"a_b\nc"},
    {"ReadSectionOfAMissingSectionIsEmpty", {}, {L'S', L"S", L"", L""}, L""},
    {"ReadAfterEraseSection", {{L'W', L"S", L"k", L"v"}, {L'E', L"S", L"", L""}}, {L'R', L"S", L"k", L"d"}, L"d"},
};

class XmlIniFileEdge : public testing::TestWithParam<TEdgeCase> {};

TEST_P(XmlIniFileEdge, SameBeforeAndAfter) {
  LoadHost();
  const TEdgeCase& c = GetParam();
  std::wstring before;
  {
    TIni ini;
    ini.Do(c.Setup);
    before = ini.Do(c.Read);
  }
  Install();
  TIni ini;
  ini.Do(c.Setup);
  EXPECT_EQ(ini.Do(c.Read), c.Expected);
  EXPECT_EQ(before, c.Expected) << "unpatched";
}

INSTANTIATE_TEST_SUITE_P(XmlIniFile, XmlIniFileEdge, testing::ValuesIn(EdgeCases),
                         [](const testing::TestParamInfo<TEdgeCase>& info) { return std::string(info.param.Name); });

TEST(XmlIniFile, KeyElementCarriesItsNameUnchanged) {
  LoadHost();
  Install();
  TIni ini;
  ini.Do({{L'W', L"My Section", L"My Key\\Sub", L"a<b"}});
  EXPECT_NE(ini.Saved().find(L"<My_Section>\r\n    <My_Key_Sub Name=\"My Key\\Sub\">a&lt;b</My_Key_Sub>\r\n  </My_Section>"),
            std::wstring::npos)
      << testing::PrintToString(ini.Saved());
}

// ---- removals ----------------------------------------------------------------------------

struct TRemoval {
  const char* Name;
  std::vector<TStep> Written;     // then the removal
  TStep Removal;
  std::vector<TStep> AsIfNever;   // the same document written without the removed item
  std::wstring Saved = L"";       // or the saved text itself (a section left empty)
};

void PrintTo(const TRemoval& r, std::ostream* out) { *out << r.Name; }


const std::vector<TStep> ThreeKeys = {{L'W', L"A", L"k1", L"1"}, {L'W', L"A", L"k2", L"2"}, {L'W', L"A", L"k3", L"3"}};
const std::vector<TStep> ThreeSections = {{L'W', L"A", L"k", L"1"}, {L'W', L"B", L"k", L"2"}, {L'W', L"C", L"k", L"3"}};

const std::vector<TRemoval> Removals = {
    {"OnlyKey", {{L'W', L"A", L"k", L"v"}}, {L'D', L"A", L"k", L""}, {},
     L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<ini>\r\n  <A/>\r\n</ini>\r\n"},
    {"FirstKey", ThreeKeys, {L'D', L"A", L"k1", L""}, {{L'W', L"A", L"k2", L"2"}, {L'W', L"A", L"k3", L"3"}}},
    {"MiddleKey", ThreeKeys, {L'D', L"A", L"k2", L""}, {{L'W', L"A", L"k1", L"1"}, {L'W', L"A", L"k3", L"3"}}},
    {"LastKey", ThreeKeys, {L'D', L"A", L"k3", L""}, {{L'W', L"A", L"k1", L"1"}, {L'W', L"A", L"k2", L"2"}}},
    {"KeyWithAnEmptyValue", {{L'W', L"A", L"k1", L"1"}, {L'W', L"A", L"k2", L""}}, {L'D', L"A", L"k2", L""},
     {{L'W', L"A", L"k1", L"1"}}},
    {"OnlySection", {{L'W', L"A", L"k", L"v"}}, {L'E', L"A", L"", L""}, {}},
    {"FirstSection", ThreeSections, {L'E', L"A", L"", L""}, {{L'W', L"B", L"k", L"2"}, {L'W', L"C", L"k", L"3"}}},
    {"MiddleSection", ThreeSections, {L'E', L"B", L"", L""}, {{L'W', L"A", L"k", L"1"}, {L'W', L"C", L"k", L"3"}}},
    {"LastSection", ThreeSections, {L'E', L"C", L"", L""}, {{L'W', L"A", L"k", L"1"}, {L'W', L"B", L"k", L"2"}}},
};

class XmlIniFileRemoval : public testing::TestWithParam<TRemoval> {};

TEST_P(XmlIniFileRemoval, LeavesTheDocumentAsIfNeverWritten) {
  LoadHost();
  const TRemoval& r = GetParam();
  std::wstring unpatched;
  {
    TIni ini;
    ini.Do(r.Written);
    ini.Do(r.Removal);
    unpatched = ini.Saved();
  }
  Install();
  TIni ini, never;
  ini.Do(r.Written);
  ini.Do(r.Removal);
  never.Do(r.AsIfNever);
  const std::wstring expected = r.Saved.empty() ? never.Saved() : r.Saved;
  EXPECT_EQ(ini.Saved(), expected);
  EXPECT_NE(unpatched, expected) << "the original leaves the indentation behind";
}

INSTANTIATE_TEST_SUITE_P(XmlIniFile, XmlIniFileRemoval, testing::ValuesIn(Removals),
                         [](const testing::TestParamInfo<TRemoval>& info) { return std::string(info.param.Name); });

// Sizes after 1, 10 and 100 cycles of writing and removing a key and a section.
std::vector<size_t> SizesOverEditCycles() {
  TIni ini;
  ini.Do({{L'W', L"Keep", L"k", L"1"}, {L'W', L"Edit", L"stay", L"1"}});
  std::vector<size_t> sizes;
  for (int cycle = 1; cycle <= 100; ++cycle) {
    ini.Do({{L'W', L"Edit", L"key", L"value"}, {L'D', L"Edit", L"key", L""}, {L'W', L"Gone", L"k", L"v"},
            {L'E', L"Gone", L"", L""}});
    if (cycle == 1 || cycle == 10 || cycle == 100) sizes.push_back(ini.Saved().size());
  }
  return sizes;
}

TEST(XmlIniFile, EditCyclesKeepTheSize) {
  LoadHost();
  const std::vector<size_t> unpatched = SizesOverEditCycles();
  EXPECT_LT(unpatched[0], unpatched[1]);
  EXPECT_LT(unpatched[1], unpatched[2]);
  Install();
  const std::vector<size_t> patched = SizesOverEditCycles();
  EXPECT_EQ(patched, std::vector<size_t>(3, patched[0]));
}

// ---- the objects ----------------------------------------------------------------------------

TEST(XmlIniFile, ObjectsAreOurSubclassAndLeaveNothingBehind) {
  LoadHost();
  const int nodesBefore = g_host.LiveNodes();
  auto liveBlocks = reinterpret_cast<int(__stdcall*)()>(GetProcAddress(GetModuleHandleW(L"rtl150.bpl"), "RtlLiveBlockCount"));
  ASSERT_NE(liveBlocks, nullptr);
  Install();
  const int blocksBefore = liveBlocks();
  {
    TIni ini;
    void* cls = Quillmend::HostClassOf(ini.Object());
    EXPECT_NE(cls, g_host.IniClass());
    EXPECT_EQ(Quillmend::HostClassParent(cls), g_host.IniClass());
    EXPECT_EQ(Quillmend::HostInstanceSize(cls), Quillmend::HostInstanceSize(g_host.IniClass()));
    EXPECT_EQ(QmHost::HostClassName(ini.Object()), L"TXmlIniFile");
    EXPECT_EQ(Quillmend::LiveXmlIniFiles(), 1);
    // Every operation, conversion errors included, many times over.
    for (int i = 0; i < 50; ++i) {
      for (wchar_t op : std::wstring(L"WRIBVSQTNFD")) ini.Do({op, L"Sec tion", L"k " + std::to_wstring(i % 5), L"abc"});
      ini.Do({L'E', L"Sec tion", L"", L""});
    }
  }
  EXPECT_EQ(Quillmend::LiveXmlIniFiles(), 0);
  EXPECT_EQ(g_host.LiveNodes(), nodesBefore);
  EXPECT_EQ(liveBlocks(), blocksBefore) << "host strings or exception objects left";
}

// The host class's NewInstance slot: untouched while the patch is disabled;
// put back by the library's undo, but left in place while an object of our
// subclass lives (its methods are ours), until it is gone.
void* HostNewInstanceSlot() { return Quillmend::HostClassSlot(g_host.IniClass(), -12); }
void* ObjectNewInstance() {
  return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"rtl150.bpl"), "@System@TObject@NewInstance$qqrv"));
}

TEST(XmlIniFile, DisabledLeavesTheNewInstanceSlot) {
  LoadHost();
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", IniPatch);
  Quillmend::Unit_XMLIniFilePerformance.Initialize();
  EXPECT_FALSE(Quillmend::IsPatchApplied(IniPatch));
  EXPECT_EQ(HostNewInstanceSlot(), ObjectNewInstance());
  TIni ini;
  EXPECT_EQ(Quillmend::HostClassOf(ini.Object()), g_host.IniClass());
}

TEST(XmlIniFile, UndoPutsTheSlotBackOnceNoObjectLives) {
  LoadHost();
  ASSERT_EQ(HostNewInstanceSlot(), ObjectNewInstance());
  Install();
  EXPECT_NE(HostNewInstanceSlot(), ObjectNewInstance());
  auto* live = new TIni;
  Quillmend::UndoAllTransactions();
  EXPECT_NE(HostNewInstanceSlot(), ObjectNewInstance()) << "kept while an object of the subclass lives";
  EXPECT_EQ(live->Do({L'R', L"S", L"k", L"d"}), L"d");
  delete live;
  Quillmend::UndoAllTransactions();
  EXPECT_EQ(HostNewInstanceSlot(), ObjectNewInstance());
  TIni after;
  EXPECT_EQ(Quillmend::HostClassOf(after.Object()), g_host.IniClass());
}

TEST(XmlIniFile, NameHelpers) {
  struct {
    const wchar_t* Text;
    const wchar_t* Sanitized;
    bool Blank;
  } const rows[] = {
      {L"", L"", true},        {L" \t\r\n", L"_\t\r\n", true}, {L"a b\\c", L"a_b_c", false},
      {L"\x00A0", L"\x00A0", false}, {L"My_Key", L"My_Key", false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Quillmend::SanitizeName(row.Text), row.Sanitized);
    EXPECT_EQ(Quillmend::IsBlankText(row.Text, int32_t(wcslen(row.Text))), row.Blank);
  }
}

}  // namespace

// A short script's reads, for the three-way fingerprint.
std::string XmlIniFingerprint() {
  if (!g_host.Bind()) return "no ini file";
  std::string results;
  TIni ini;
  for (size_t i = 0; i < IniScripts[0].Count; ++i) {
    const TIniStep& s = IniScripts[0].Steps[i];
    for (wchar_t c : ini.Do({wchar_t(s.Op), s.Section, s.Key, s.Value})) results += char(c < 0x80 ? c : '?');
    results += '|';
  }
  return results;
}

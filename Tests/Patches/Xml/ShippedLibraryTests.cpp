// The shipped Quillmend.dll in the stand-in IDE: an ini script of reads,
// writes and removals run by bds.exe's ini workload with the pack disabled
// and enabled reads the same; enabled, the ini object is our subclass and
// the saved document keeps its size over edit cycles, also when it is read
// back and edited again.
#include "Tests/Support/IdeRun.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <string>

namespace {

TIdeRun RunIni(const std::wstring& name, const std::wstring& disabled, const std::wstring& script,
               const std::wstring& document) {
  TIdeSetup setup;
  setup.Name = name;
  setup.Suite = L"Xml";
  setup.Library = BuildDirectory() + L"\\out\\Quillmend.dll";
  setup.Environment = {{L"Quillmend.DisabledPatches", disabled}};
  setup.Arguments = {L"-run", L"ini", script, document};
  TIdeRun run = RunIde(setup);
  EXPECT_EQ(run.ExitCode, 0u);
  EXPECT_TRUE(run.Saw(L"SHUTDOWN"));
  EXPECT_TRUE(run.Lines(L"EXCEPTION ").empty());
  return run;
}

std::wstring Field(const TIdeRun& run, const std::wstring& name) {
  const std::vector<std::wstring> lines = run.Lines(L"INI-SCRIPT ");
  if (lines.size() != 1) return L"";
  const size_t at = lines[0].find(L" " + name + L"=");
  if (at == std::wstring::npos) return L"";
  const size_t start = at + name.size() + 2;
  return lines[0].substr(start, lines[0].find(L' ', start) - start);
}

bool AboutLists(const TIdeRun& run, const std::wstring& entry) {
  for (const std::wstring& added : run.Lines(L"ABOUT-ADD "))
    if (added.find(entry) != std::wstring::npos) return true;
  return false;
}

}  // namespace

TEST(XmlShipped, IniScriptsReadTheSameAndEditedDocumentsKeepTheirSize) {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  const std::wstring base = std::wstring(folder) + L"QmIniShipped";
  const std::wstring script = base + L"-script.txt";
  {
    std::ofstream out(script.c_str(), std::ios::binary);
    out << "W\tMy Section\tMy Key\\Sub\tvalue\nW\tMy Section\tEmpty\t\nV\tMy Section\tEmpty\t\n";
    for (int cycle = 0; cycle < 20; ++cycle)
      out << "W\tMy Section\tRecent\tfile.pas\nD\tMy Section\tRecent\t\nW\tSession\tOpen\t1\nE\tSession\t\t\n";
    out << "R\tMy_Section\tMy Key\\Sub\tnone\nQ\tMy Section\t\t\nT\t\t\t\nI\tMy Section\tMy Key\\Sub\t7\n";
  }
  const std::wstring off = base + L"-off.xml", on = base + L"-on.xml";
  DeleteFileW(off.c_str());
  DeleteFileW(on.c_str());
  const TIdeRun disabled = RunIni(L"IniOff", L"*", script, off);
  const TIdeRun enabled = RunIni(L"IniOn", L"", script, on);
  EXPECT_TRUE(AboutLists(enabled, L"applied: TXmlIniFile optimization/indention fix [RTL.XmlIniFile]"));
  EXPECT_FALSE(AboutLists(disabled, L"[RTL.XmlIniFile]"));
  const std::vector<std::wstring> reads = enabled.Lines(L"INI-READ ");
  ASSERT_EQ(reads.size(), 5u);
  EXPECT_EQ(reads, disabled.Lines(L"INI-READ "));
  EXPECT_EQ(reads[0], L"3 1") << "a key with an empty value exists";
  EXPECT_EQ(Field(disabled, L"own-class"), L"1");
  EXPECT_EQ(Field(enabled, L"own-class"), L"0");
  EXPECT_EQ(Field(enabled, L"class"), L"TXmlIniFile");
  const int grown = std::stoi(Field(disabled, L"bytes")), kept = std::stoi(Field(enabled, L"bytes"));
  EXPECT_LT(kept, grown);
  // The saved document read back and edited again keeps its size.
  const TIdeRun again = RunIni(L"IniOnAgain", L"", script, on);
  EXPECT_EQ(std::stoi(Field(again, L"bytes")), kept);
  DeleteFileW(script.c_str());
  DeleteFileW(off.c_str());
  DeleteFileW(on.c_str());
}

// QuillmendCheck.exe as a user runs it: exit codes and messages for the
// command line and the IDE root, a clear "fails:" line for every kind of
// unusable compiler module, the probe checked without any of it running,
// and /JSON read back by a strict reader.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <windows.h>

#include "CheckRun.h"
#include "JsonReader.h"
#include "TestFiles.h"
#include "TestPaths.h"

namespace {

std::wstring Host() { return BuildDirectory() + L"\\host"; }
std::wstring Probe() { return ProgramDirectory() + L"\\CheckFixtures\\probe"; }

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The line of one patch, without the name's padding.
std::string PatchLine(const TCheckRun& run, const std::string& name) {
  for (const std::string& line : run.OutLines())
    if (line.compare(0, name.size() + 1, name + " ") == 0) return line.substr(line.find_first_not_of(' ', name.size()));
  return "<no line for " + name + ">";
}

}  // namespace

TEST(CheckProgram, CommandLineAndRootErrorsHaveTheirExitCodes) {
  TCheckInstallation noBin(L"NoBin", {});
  RemoveDirectoryW(noBin.Bin.c_str());
  TCheckInstallation version14(L"Version14", {Host()});
  version14.SetRootValue(L"ProductVersion", L"14");
  const struct {
    std::vector<std::wstring> Arguments;
    unsigned long ExitCode;
    std::string Says;  // on standard error, or output for /?
  } cases[] = {
      {{L"/RQmCheck-NoSuchKey"}, 3, "HKCU\\Software\\Embarcadero\\QmCheck-NoSuchKey\\8.0 does not exist"},
      {{L"-rQmCheck-NoBin", L"/json"}, 3, "RAD Studio\\bin does not exist"},
      {{L"/RQmCheck-Version14"}, 3, "is not a RAD Studio XE root"},
      {{L"/INSTALL"}, 2, "Unknown command line parameter \"/INSTALL\""},
      {{L"/R"}, 2, "names no registry key"},
      {{L"/RQmCheck-NoBin", L"/RQmCheck-Version14"}, 2, "only one registry key"},
      {{L"/?"}, 0, "Usage: QuillmendCheck.exe [/R<regkey>] [/JSON]"},
  };
  for (const auto& c : cases) {
    const TCheckRun run = RunCheck(c.Arguments);
    EXPECT_EQ(run.ExitCode, c.ExitCode) << c.Says;
    EXPECT_TRUE(Contains(c.ExitCode == 0 ? run.Out : run.Err, c.Says)) << run.Err << run.Out;
    if (c.ExitCode == 2) {
      EXPECT_TRUE(Contains(run.Err, "Usage: QuillmendCheck.exe")) << c.Says;
    }
  }
}

// Whatever is wrong with the compiler library, the check names it on a
// "fails:" line and exits with 1, never with a crash.
TEST(CheckProgram, AnUnusableCompilerLibraryFailsItsPatchesWithTheReason) {
  const std::string dcc = QuillmendTest::ReadFileBytes(Host() + L"\\dcc150.dll");
  std::string sixtyFourBit = dcc;
  uint32_t nt;
  std::memcpy(&nt, dcc.data() + 0x3C, 4);
  sixtyFourBit[nt + 4] = char(0x64), sixtyFourBit[nt + 5] = char(0x86);
  const struct {
    const wchar_t* Name;
    const char* Bytes;  // null: the file is removed
    size_t Size;
    std::string Reason;
  } cases[] = {
      {L"Truncated", dcc.data(), dcc.size() / 3, "dcc150.dll: truncated (section .text"},
      {L"NotPe", "just some text", 14, "dcc150.dll: not a PE image (no MZ header)"},
      {L"SixtyFourBit", sixtyFourBit.data(), sixtyFourBit.size(), "dcc150.dll: a 64-bit image"},
      {L"Missing", nullptr, 0, "dcc150.dll: not found in "},
  };
  for (const auto& c : cases) {
    TCheckInstallation ide(std::wstring(L"Unusable") + c.Name, {Host()});
    if (c.Bytes)
      ide.WriteBinFile(L"dcc150.dll", std::string(c.Bytes, c.Size));
    else
      ide.RemoveBinFile(L"dcc150.dll");
    const TCheckRun run = RunCheck({L"/R" + ide.RegKey});
    EXPECT_EQ(run.ExitCode, 1u) << run.Err;
    EXPECT_EQ(PatchLine(run, "Compiler.Optimization").substr(0, 7 + c.Reason.size()), "fails: " + c.Reason) << run.Out;
    EXPECT_EQ(PatchLine(run, "Compiler.UnlinkImports"), "fails: needs Compiler.Optimization");
    EXPECT_TRUE(run.Err.empty()) << run.Err;
  }
}

TEST(CheckProgram, TheProbeIsCheckedWithoutAnyOfItsCodeRunning) {
  TCheckInstallation ide(L"Probe", {Probe()});
  const TCheckRun run = RunCheck({L"/R" + ide.RegKey});
  EXPECT_EQ(run.ExitCode, 1u);  // it has none of the compiler's routines
  EXPECT_EQ(PatchLine(run, "Compiler.Optimization"), "applies");
  EXPECT_EQ(PatchLine(run, "Compiler.UnlinkImports"), "fails: UnlinkImports: pattern not found");
  EXPECT_TRUE(Contains(run.Out, "module dcc150.dll: version 15.0.3953.35171, ")) << run.Out;
  EXPECT_TRUE(Contains(run.Out, "module CheckProbeImport.dll: no version resource, ")) << run.Out;
  for (const std::wstring& file : FilesIn(ide.Bin))
    EXPECT_EQ(file.find(L"-ran"), std::wstring::npos) << "ran: " << std::string(file.begin(), file.end());
}

TEST(CheckProgram, JsonOutputParsesAndAgreesWithItsSummary) {
  TCheckInstallation ide(L"Json", {Host()});
  const TCheckRun run = RunCheck({L"/JSON", L"/R" + ide.RegKey},
                                 {{L"Quillmend.DisabledPatches", L"Compiler.SymLookupScope"}});
  EXPECT_EQ(run.ExitCode, 0u) << run.Out << run.Err;
  TJson json;
  std::string error;
  ASSERT_TRUE(ParseJson(run.Out, json, error)) << error << "\n" << run.Out;
  EXPECT_EQ(json["regKey"].Text, "QmCheck-Json");
  EXPECT_EQ(json["bin"].Text, std::string(ide.Bin.begin(), ide.Bin.end()));
  const TJson& patches = json["patches"];
  ASSERT_EQ(patches.Kind, TJson::Array);
  std::map<std::string, double> counted;
  for (const TJson& patch : patches.Items) {
    EXPECT_EQ(patch["name"].Kind, TJson::String);
    EXPECT_FALSE(patch["description"].Text.empty());
    counted[patch["verdict"].Text] += 1;
    if (patch["name"].Text == "Compiler.SymLookupScope") {
      EXPECT_EQ(patch["verdict"].Text, "disabled");
    }
  }
  EXPECT_EQ(json["summary"]["patches"].Value, double(patches.Items.size()));
  EXPECT_EQ(json["summary"]["applies"].Value, counted["applies"]);
  EXPECT_EQ(json["summary"]["disabled"].Value, 1.0);
  EXPECT_EQ(json["modules"][0]["name"].Text, "dcc150.dll");
  EXPECT_EQ(json["modules"][0]["version"].Kind, TJson::Null);
  EXPECT_EQ(json["errors"].Items.size(), 0u);
}

// The check's verdicts agree with a real installation: for the stand-in
// installation and for every variant in <build>/host-variants (each laid
// over a copy of it), the check runs first, then the stand-in IDE with the
// shipped pack (its IDE packages registered, and loading the C++ compiler
// too, so every moment installs);
// each patch must be applied where the check says it applies, failed with
// the same reason where it says it fails, and absent where it is disabled or
// ignored, and the IDE must list no patch the check did not.
#include <gtest/gtest.h>

#include <map>
#include <windows.h>

#include "CheckRun.h"
#include "IdeRun.h"
#include "JsonReader.h"
#include "TestPaths.h"

namespace {

std::string Utf8(const std::wstring& text) {
  std::string bytes(size_t(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), bytes.data(), int(bytes.size()), nullptr, nullptr);
  return bytes;
}

// "" for the stand-in installation itself, then every variant directory.
std::vector<std::wstring> Installations() {
  std::vector<std::wstring> names = {L""};
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((BuildDirectory() + L"\\host-variants\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && found.cFileName[0] != L'.') names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  return names;
}

struct TInstalled {
  std::string Status;  // "applied" or "failed"
  std::string Reason;
};

// The about box's status lines and the failure reasons the IDE journaled.
std::map<std::string, TInstalled> InstalledPatches(const TIdeRun& run) {
  std::map<std::string, TInstalled> patches;
  for (const std::wstring& added : run.Lines(L"ABOUT-ADD ")) {
    const std::wstring text = added.substr(added.find(L'|') + 1);
    for (size_t start = 0; start < text.size();) {
      size_t end = text.find(L"\r\n", start);
      if (end == std::wstring::npos) end = text.size();
      const std::wstring line = text.substr(start, end - start);
      const size_t open = line.rfind(L" ["), colon = line.find(L": ");
      if (open != std::wstring::npos && colon != std::wstring::npos && line.back() == L']') {
        std::wstring status = line.substr(0, colon);
        while (!status.empty() && status.back() == L' ') status.pop_back();
        patches[Utf8(line.substr(open + 2, line.size() - open - 3))].Status = Utf8(status);
      }
      start = end + 2;
    }
  }
  for (const std::wstring& failed : run.Lines(L"PATCH-FAILED ")) {
    const size_t colon = failed.find(L": ");
    patches[Utf8(failed.substr(0, colon))].Reason = Utf8(failed.substr(colon + 2));
  }
  return patches;
}

class InstallationAgreement : public testing::TestWithParam<std::wstring> {};

}  // namespace

TEST_P(InstallationAgreement, CheckVerdictsMatchTheInstalledPack) {
  const std::wstring variant = GetParam();
  std::vector<std::wstring> layers = {BuildDirectory() + L"\\host"};
  if (!variant.empty()) layers.push_back(BuildDirectory() + L"\\host-variants\\" + variant);
  const std::wstring name = L"Agree-" + (variant.empty() ? std::wstring(L"standin") : variant);
  TCheckInstallation ide(name, layers);

  const TCheckRun check = RunCheck({L"/JSON", L"/R" + ide.RegKey});
  TJson json;
  std::string error;
  ASSERT_TRUE(ParseJson(check.Out, json, error)) << error << check.Err;
  ASSERT_LE(check.ExitCode, 1u) << check.Err;

  TIdeSetup setup;
  setup.Name = name;
  setup.Suite = L"Check";
  setup.Library = BuildDirectory() + L"\\out\\Quillmend.dll";
  setup.HostDirectory = ide.Bin;
  setup.Arguments = {L"-comp32x"};
  // The installation's IDE packages are registered, as an installed IDE has
  // them (the run-time package is loaded by bds.exe itself).
  for (const std::wstring& file : FilesIn(ide.Bin))
    if (file.size() > 4 && _wcsicmp(file.c_str() + file.size() - 4, L".bpl") == 0 && _wcsicmp(file.c_str(), L"rtl150.bpl") != 0)
      setup.Packages.push_back({ide.Bin + L"\\" + file, file});
  const TIdeRun run = RunIde(setup);
  ASSERT_EQ(run.ExitCode, 0u);
  std::map<std::string, TInstalled> installed = InstalledPatches(run);
  ASSERT_FALSE(installed.empty());

  size_t failing = 0;
  for (const TJson& patch : json["patches"].Items) {
    const std::string& patchName = patch["name"].Text;
    const std::string& verdict = patch["verdict"].Text;
    const auto found = installed.find(patchName);
    if (verdict == "applies") {
      ASSERT_NE(found, installed.end()) << patchName;
      EXPECT_EQ(found->second.Status, "applied") << patchName << ": " << found->second.Reason;
    } else if (verdict == "fails") {
      ++failing;
      ASSERT_NE(found, installed.end()) << patchName;
      EXPECT_EQ(found->second.Status, "failed") << patchName;
      EXPECT_EQ(found->second.Reason, patch["reason"].Text) << patchName;
    } else if (verdict == "disabled" || verdict == "ignored") {
      EXPECT_EQ(found, installed.end()) << patchName;
    }
    if (found != installed.end()) installed.erase(found);
  }
  EXPECT_TRUE(installed.empty()) << "the IDE lists a patch the check does not: " << installed.begin()->first;
  EXPECT_EQ(check.ExitCode, failing ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Check, InstallationAgreement, testing::ValuesIn(Installations()),
                         [](const testing::TestParamInfo<std::wstring>& info) {
                           std::string name = info.param.empty() ? "standin" : Utf8(info.param);
                           for (char& c : name)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

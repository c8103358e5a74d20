// The XML ini file with the pack disabled and enabled, side by side:
// 10,000 look-ups (ReadString of keys spread over the section) in sections
// of 100, 1,000 and 5,000 keys, the values read compared; and the saved
// document's size after 100 cycles of writing and removing a key and a
// section, the values left compared. Prints the table; not a test.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "Common/BenchTimer.h"
#include "Common/PackSwitch.h"
#include "Patches/Xml/XMLIniFilePerformance.h"
#include "xmlrtl150/XmlIniScript.h"

using Quillmend::Bench::Now;

namespace {

Quillmend::Bench::TPackSwitch g_pack;
XmlIniScript::THost g_host;

std::wstring BuildDirectory() {
  wchar_t path[MAX_PATH];
  std::wstring self(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  std::wstring bin = self.substr(0, self.find_last_of(L"\\/"));
  return bin.substr(0, bin.find_last_of(L"\\/"));
}

std::wstring Key(int i) { return L"Key " + std::to_wstring(i); }

// Milliseconds for the look-ups through a new ini file over root; *values:
// a digest of what they read.
double LookUps(void* root, int keys, int lookUps, std::wstring* values) {
  void* ini = g_host.NewIni(root);
  values->clear();
  const double start = Now();
  for (int i = 0; i < lookUps; ++i) {
    const std::wstring value = g_host.Step(ini, L'R', L"Big Section", Key(int((i * 7919LL) % keys)), L"none");
    if (i % 997 == 0) *values += value + L";";
  }
  const double ms = (Now() - start) * 1000.0;
  g_host.FreeIni(ini);
  return ms;
}



// Bytes of the saved document after the cycles; *values: what it holds.
size_t SizeAfterCycles(int cycles, const std::wstring& path, std::wstring* values) {
  void* root = g_host.NewDocument(L"ini");
  void* ini = g_host.NewIni(root);
  for (const wchar_t* section : {L"Environment", L"Editor", L"Debugger"})
    for (int k = 0; k < 10; ++k) g_host.Step(ini, L'W', section, Key(k), L"value " + std::to_wstring(k));
  for (int cycle = 0; cycle < cycles; ++cycle) {
    g_host.Step(ini, L'W', L"Editor", L"Recent", L"file.pas");
    g_host.Step(ini, L'D', L"Editor", L"Recent", L"");
    g_host.Step(ini, L'W', L"Session", L"Open", L"1");
    g_host.Step(ini, L'E', L"Session", L"", L"");
  }
  *values = g_host.Step(ini, L'T', L"", L"", L"");
  for (const wchar_t* section : {L"Environment", L"Editor", L"Debugger"}) *values += g_host.Step(ini, L'Q', section, L"", L"");
  g_host.FreeIni(ini);
  g_host.SaveDocument(root, path.c_str());
  g_host.ReleaseNode(root);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  return data.nFileSizeLow;
}

}  // namespace

int main() {
  const std::wstring build = BuildDirectory();
  if (!LoadLibraryW((build + L"\\host\\rtl150.bpl").c_str()) || !LoadLibraryW((build + L"\\host\\xmlrtl150.bpl").c_str()) ||
      !g_host.Bind()) {
    std::printf("cannot load the stand-in packages\n");
    return 1;
  }
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
  for (Quillmend::TPatchPlan& plan : Quillmend::XMLIniFilePerformancePlans()) g_pack.Add(Quillmend::InstallPlanVerdict(plan));

  int failures = 0;
  constexpr int lookUps = 10000;
  std::printf("== XML ini file (RTL.XmlIniFile): %d look-ups in one section, pack disabled and enabled\n", lookUps);
  std::printf("   %-8s %12s %12s %9s  %s\n", "keys", "disabled", "enabled", "speed-up", "values");
  for (int keys : {100, 1000, 5000}) {
    void* root = g_host.NewDocument(L"ini");
    {
      void* ini = g_host.NewIni(root);
      for (int k = 0; k < keys; ++k) g_host.Step(ini, L'W', L"Big Section", Key(k), L"value " + std::to_wstring(k));
      g_host.FreeIni(ini);
    }
    double best[2] = {1e30, 1e30};
    std::wstring values[2];
    const int rounds = keys >= 5000 ? 1 : 3;
    for (int round = 0; round < rounds; ++round)
      for (int enabled = 0; enabled < 2; ++enabled) {
        g_pack.Enable(enabled != 0);
        best[enabled] = std::min(best[enabled], LookUps(root, keys, lookUps, &values[enabled]));
      }
    g_host.ReleaseNode(root);
    const bool same = values[0] == values[1] && values[0].find(L"none") == std::wstring::npos;
    if (!same) ++failures;
    std::printf("   %-8d %9.1f ms %9.1f ms %8.1fx  %s\n", keys, best[0], best[1], best[0] / best[1],
                same ? "identical" : "DIFFERENT");
  }

  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  const std::wstring path = std::wstring(folder) + L"QuillmendIniBench.xml";
  std::printf("== XML ini file (RTL.XmlIniFile): saved size after edit cycles (a key and a section written and removed)\n");
  std::printf("   %-8s %12s %12s %9s  %s\n", "cycles", "disabled", "enabled", "ratio", "values");
  for (int cycles : {0, 1, 10, 100}) {
    size_t size[2];
    std::wstring values[2];
    for (int enabled = 0; enabled < 2; ++enabled) {
      g_pack.Enable(enabled != 0);
      size[enabled] = SizeAfterCycles(cycles, path, &values[enabled]);
    }
    const bool same = values[0] == values[1] && !values[0].empty();
    if (!same) ++failures;
    std::printf("   %-8d %8u bytes %8u bytes %8.2fx  %s\n", cycles, unsigned(size[0]), unsigned(size[1]),
                double(size[0]) / double(size[1]), same ? "identical" : "DIFFERENT");
  }
  DeleteFileW(path.c_str());

  return failures ? 1 : 0;
}

// The project writer with the pack disabled and enabled, side by side:
// projects of 1,000, 10,000 and 50,000 nodes written to a file, the system
// writes counted and the time taken (best of five alternating rounds), the
// files compared byte for byte. Prints the table; not a test.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "Common/BenchTimer.h"
#include "Common/PackSwitch.h"
#include "Framework/HostObjectModel.h"
#include "Patches/Xml/XMLIniFilePerformance.h"
#include "coreide150/ProjectWriterDriver.h"

using Quillmend::Bench::Now;

namespace {

Quillmend::Bench::TPackSwitch g_pack;

std::wstring BuildDirectory() {
  wchar_t path[MAX_PATH];
  std::wstring self(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  std::wstring bin = self.substr(0, self.find_last_of(L"\\/"));
  return bin.substr(0, bin.find_last_of(L"\\/"));
}

std::string ReadAll(const std::wstring& path) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  bytes.resize(GetFileSize(file, nullptr));
  DWORD read = 0;
  if (!bytes.empty()) ReadFile(file, &bytes[0], DWORD(bytes.size()), &read, nullptr);
  CloseHandle(file);
  return bytes;
}

}  // namespace

int main() {
  const std::wstring build = BuildDirectory();
  HMODULE rtl = LoadLibraryW((build + L"\\host\\rtl150.bpl").c_str());
  HMODULE coreIde = LoadLibraryW((build + L"\\host\\coreide150.bpl").c_str());
  ProjectWriterDriver::Driver writer;
  if (!rtl || !coreIde || !writer.Bind(coreIde)) {
    std::printf("cannot load the stand-in packages\n");
    return 1;
  }
  auto create = reinterpret_cast<void*(__stdcall*)(const wchar_t*)>(
      reinterpret_cast<void*>(GetProcAddress(rtl, "RtlFileStreamCreate")));
  auto writes = reinterpret_cast<int(__stdcall*)()>(reinterpret_cast<void*>(GetProcAddress(rtl, "RtlFileStreamWrites")));
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
  for (Quillmend::TPatchPlan& plan : Quillmend::XMLIniFilePerformancePlans())
    g_pack.Add(Quillmend::InstallPlanVerdict(plan));
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  const std::wstring path = std::wstring(folder) + L"QuillmendWriterBench.xml";

  int failures = 0;
  std::printf("== project writer (RTL.XmlWriter): a project written to a file, pack disabled and enabled\n");
  std::printf("   %-8s %10s %10s %12s %12s %9s  %s\n", "nodes", "writes off", "writes on", "disabled", "enabled",
              "speed-up", "files");
  for (int nodes : {1000, 10000, 50000}) {
    double best[2] = {1e30, 1e30};
    int count[2] = {0, 0};
    std::string bytes[2];
    void* project = writer.newProject(nodes, 0);
    for (int round = 0; round < 5; ++round)
      for (int enabled = 0; enabled < 2; ++enabled) {
        g_pack.Enable(enabled != 0);
        void* stream = create(path.c_str());
        const int before = writes();
        const double start = Now();
        writer.writeProject(stream, project, nullptr, nullptr);
        Quillmend::HostObjectFree(stream);
        best[enabled] = std::min(best[enabled], (Now() - start) * 1000.0);
        count[enabled] = writes() - before;
        bytes[enabled] = ReadAll(path);
      }
    writer.freeProject(project);
    const bool same = bytes[0] == bytes[1] && !bytes[0].empty();
    if (!same) ++failures;
    std::printf("   %-8d %10d %10d %9.2f ms %9.2f ms %8.1fx  %s\n", nodes, count[0], count[1], best[0], best[1],
                best[0] / best[1], same ? "identical" : "DIFFERENT");
  }
  DeleteFileW(path.c_str());
  return failures ? 1 : 0;
}

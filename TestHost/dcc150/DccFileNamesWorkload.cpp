// bds.exe workload "dccfilenames": the compiler's file-name routines called
// in turn over 64 of a project's file names of one length.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "dcc150/DccFileNamesDriver.h"

namespace QmHost {

namespace {

int RunDccFileNames(HostApp& app, const std::vector<std::wstring>& args) {
  int calls = 1000000, length = 120;
  if (args.size() > 0) calls = _wtoi(args[0].c_str());
  if (args.size() > 1) length = _wtoi(args[1].c_str());
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  if (!dcc) dcc = LoadLibraryW((app.hostDir + L"dcc150.dll").c_str());
  auto run = reinterpret_cast<DccFileNamesDriver::RunFn>(
      reinterpret_cast<void*>(dcc ? GetProcAddress(dcc, DccFileNamesDriver::Export::Run) : nullptr));
  if (!run || calls < 0 || length < DccFileNamesDriver::ShortestPath || length > 4000) {
    app.Log(L"WORKLOAD-ERROR dccfilenames: bad arguments, or dcc150.dll or its file-name routines are missing");
    return 2;
  }
  std::vector<std::string> paths;
  for (int i = 0; i < 64; ++i) paths.push_back(DccFileNamesDriver::ProjectPath(i, length));
  std::vector<const char*> texts;
  for (const std::string& path : paths) texts.push_back(path.c_str());
  const auto began = std::chrono::steady_clock::now();
  const uint32_t checksum = run(texts.data(), int32_t(texts.size()), calls);
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
  wchar_t text[32];
  std::swprintf(text, 32, L"%.3f", ms);
  app.Log(L"DCC-FILENAMES calls=" + std::to_wstring(calls) + L" length=" + std::to_wstring(length) + L" ms=" + text +
          L" checksum=" + Hex(checksum));
  return 0;
}

const WorkloadRegistration kRegistration{L"dccfilenames", RunDccFileNames, L"dccfilenames [<calls> <length>]"};

}  // namespace

}  // namespace QmHost

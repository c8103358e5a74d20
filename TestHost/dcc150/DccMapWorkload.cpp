// bds.exe workload "dccmap": a map's line-number section of a number of
// entries written by the linker's map-line routine to DccMap.map in the
// current directory, through the run-time's buffered text file.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "dcc150/DccFilesDriver.h"
#include "dcc150/DccMapLinesDriver.h"

namespace QmHost {

namespace {

template <class T>
T Export(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
}

int RunDccMap(HostApp& app, const std::vector<std::wstring>& args) {
  const int entries = args.empty() ? 100000 : _wtoi(args[0].c_str());
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  if (!dcc) dcc = LoadLibraryW((app.hostDir + L"dcc150.dll").c_str());
  auto open = Export<DccFilesDriver::OpenFileFn>(dcc, DccFilesDriver::Export::OpenFile);
  auto close = Export<DccFilesDriver::CloseFileFn>(dcc, DccFilesDriver::Export::CloseFile);
  auto write = Export<DccMapLinesDriver::WriteLinesFn>(dcc, DccMapLinesDriver::Export::WriteLines);
  auto calls = Export<uint32_t*>(dcc, DccMapLinesDriver::Export::Writes);
  if (!open || !close || !write || !calls || entries < 0) {
    app.Log(L"WORKLOAD-ERROR dccmap: bad arguments, or dcc150.dll or its map exports are missing");
    return 2;
  }
  char directory[MAX_PATH];
  const std::string path = std::string(directory, GetCurrentDirectoryA(MAX_PATH, directory)) + "\\DccMap.map";
  void* file = open(path.c_str(), "wt");
  if (!file) {
    app.Log(L"WORKLOAD-ERROR dccmap: cannot create DccMap.map");
    return 2;
  }
  const uint32_t before = *calls;
  const auto began = std::chrono::steady_clock::now();
  write(file, entries, 77);
  close(file);
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
  const uint32_t writes = *calls - before;
  uint32_t h = 2166136261u, bytes = 0;
  HANDLE map = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  std::vector<uint8_t> buffer(65536);
  DWORD read = 0;
  while (map != INVALID_HANDLE_VALUE && ReadFile(map, buffer.data(), DWORD(buffer.size()), &read, nullptr) && read) {
    for (DWORD i = 0; i < read; ++i) h = (h ^ buffer[i]) * 16777619u;
    bytes += read;
  }
  if (map != INVALID_HANDLE_VALUE) CloseHandle(map);
  wchar_t text[32];
  std::swprintf(text, 32, L"%.3f", ms);
  app.Log(L"DCC-MAP entries=" + std::to_wstring(entries) + L" ms=" + text + L" writes=" + std::to_wstring(writes) +
          L" bytes=" + std::to_wstring(bytes) + L" checksum=" + Hex(h));
  return 0;
}

const WorkloadRegistration kRegistration{L"dccmap", RunDccMap, L"dccmap [<entries>]"};

}  // namespace

}  // namespace QmHost

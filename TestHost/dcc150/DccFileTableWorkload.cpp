// bds.exe workload "dccfileindex": a debugger file table of a number of
// entries (units in a few directories, every name in two of them, some
// added as relative paths, one in eight with an index of its own), then a
// number of lookups through I: the file itself, the same in another case,
// a path in another directory (the longest shared tail wins), a missing
// file; entries are added between the lookups too. Journals the answers'
// checksum, how many found an entry, and the compiler's name comparisons.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "dcc150/DccFileTableDriver.h"

namespace QmHost {

namespace {

template <class T>
T Export(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
}

// Entry i: "Unit<i/2>.pas" in directory i mod 5 (or as a relative path).
void AddEntry(DccFileTableDriver::SetDirectoryFn setDirectory, DccFileTableDriver::AddNameFn addName,
              DccFileTableDriver::TFileTable* table, int i) {
  const std::string unit = "Unit" + std::to_string(i / 2) + ".pas";
  const std::string dir = "C:\\Proj\\Dir" + std::to_string(i % 5) + "\\";
  if (i % 7 == 3) {
    setDirectory(table, "C:\\Proj\\");
    addName(table, ("Dir" + std::to_string(i % 5) + "\\" + unit).c_str(), i % 8 == 1 ? 1000 + i : 0);
  } else {
    setDirectory(table, dir.c_str());
    addName(table, unit.c_str(), i % 8 == 1 ? 1000 + i : 0);
  }
}

std::string Query(int q, int entries) {
  const int i = (q * 7919) % entries;
  const std::string unit = "Unit" + std::to_string(i / 2) + ".pas";
  switch (q % 4) {
  case 0: return "C:\\Proj\\Dir" + std::to_string(i % 5) + "\\" + unit;
  case 1: return "c:\\proj\\dir" + std::to_string(i % 5) + "\\unit" + std::to_string(i / 2) + ".PAS";
  case 2: return "D:\\Other\\Dir" + std::to_string((i + 1) % 5) + "\\" + unit;
  default: return "C:\\Proj\\Missing" + std::to_string(i) + ".pas";
  }
}

int RunDccFileIndex(HostApp& app, const std::vector<std::wstring>& args) {
  int entries = 2000, lookups = 20000;
  if (args.size() > 0) entries = _wtoi(args[0].c_str());
  if (args.size() > 1) lookups = _wtoi(args[1].c_str());
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  if (!dcc) dcc = LoadLibraryW((app.hostDir + L"dcc150.dll").c_str());
  using namespace DccFileTableDriver;
  auto newTable = Export<NewFn>(dcc, Export::New);
  auto deleteTable = Export<DeleteFn>(dcc, Export::Delete);
  auto setDirectory = Export<SetDirectoryFn>(dcc, Export::SetDirectory);
  auto addName = Export<AddNameFn>(dcc, Export::AddName);
  auto index = Export<IndexFn>(dcc, Export::Index);
  auto counters = Export<CountersFn>(dcc, Export::Counters);
  auto reset = Export<ResetFn>(dcc, Export::Reset);
  if (!newTable || !deleteTable || !setDirectory || !addName || !index || !counters || !reset || entries < 1 ||
      lookups < 0) {
    app.Log(L"WORKLOAD-ERROR dccfileindex: bad arguments, or dcc150.dll or its file-table exports are missing");
    return 2;
  }
  reset();
  TFileTable* table = newTable();
  const int first = entries - entries / 10;
  for (int i = 0; i < first; ++i) AddEntry(setDirectory, addName, table, i);
  uint32_t sum = 2166136261u;
  int found = 0, added = first;
  const auto began = std::chrono::steady_clock::now();
  for (int q = 0; q < lookups; ++q) {
    // The last tenth of the entries arrives while the lookups run.
    if (added < entries && q % 16 == 15) AddEntry(setDirectory, addName, table, added++);
    const int32_t answer = index(table, Query(q, entries).c_str());
    found += answer != 0;
    sum = (sum ^ uint32_t(answer)) * 16777619u;
  }
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
  TCounters counted = {};
  counters(&counted);
  deleteTable(table);
  reset();
  wchar_t text[32];
  std::swprintf(text, 32, L"%.3f", ms);
  app.Log(L"DCC-FILEINDEX entries=" + std::to_wstring(added) + L" lookups=" + std::to_wstring(lookups) + L" ms=" +
          text + L" checksum=" + Hex(sum) + L" found=" + std::to_wstring(found) + L" compares=" +
          std::to_wstring(counted.Compares));
  return 0;
}

const WorkloadRegistration kRegistration{L"dccfileindex", RunDccFileIndex, L"dccfileindex [<entries> <lookups>]"};

}  // namespace

}  // namespace QmHost

// bds.exe workload "cppcycle <loads>": the C++ compiler loaded through
// bccide.dll's CppLoadCompiler, used and unloaded again, that many times, as
// an IDE session does when C++ projects come and go. After each load it
// interns 2,000 names twice, looks symbols up in a context of 500 and
// compares and scans a little; journaled per load as
// "CPP-CYCLE <n> interned=<hex> nodes=<n> lookups=<hex> compares=<hex>"
// (the same in every load and with the pack disabled), then CppLoadCompiler(0, 0).
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "bds/CppCompiler.h"
#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "comp32x/Comp32xDriver.h"

namespace QmHost {

namespace {

std::wstring Hex32(uint32_t value) {
  wchar_t text[12];
  std::swprintf(text, 12, L"%08X", value);
  return text;
}

// What one load of the compiler computes.
std::wstring UseCompiler(const Comp32xDriver::TDriver& c) {
  std::vector<std::string> names;
  for (int i = 0; i < 2000; ++i) names.push_back("cycle_name_" + std::to_string(i * 7919 % 2000));
  std::vector<const char*> texts;
  for (int round = 0; round < 2; ++round)
    for (const std::string& n : names) texts.push_back(n.c_str());
  const uint32_t interned = c.InternMany(texts.data(), int32_t(texts.size()));
  Comp32xDriver::TChainStats stats;
  c.ChainStats(&stats);
  void* context = c.NewContext(500, 17);
  c.SetCurrentContext(context);
  uint32_t lookups = 0;
  for (int round = 0; round < 3; ++round)
    for (int i = 0; i < 500; i += 5) lookups = lookups * 31 + uint32_t(c.Lookup(c.SymbolName(context, i), 0));
  c.ReleaseContext();
  const char* suffixes[] = {"u", "UL", "ull", "LLU", "x"};
  uint32_t compares = c.ScanSuffixes(suffixes, 5);
  compares = compares * 31 + uint32_t(c.Stricmp("CycleName", "cyclename") == 0);
  return L"interned=" + Hex32(interned) + L" nodes=" + std::to_wstring(stats.Nodes) + L" lookups=" + Hex32(lookups) +
         L" compares=" + Hex32(compares);
}

int RunCppCycle(HostApp& app, const std::vector<std::wstring>& args) {
  int loads = 3;
  if (!args.empty()) loads = int(std::wcstol(args[0].c_str(), nullptr, 10));
  if (args.size() > 1 || loads < 1) {
    app.Log(L"WORKLOAD-ERROR cppcycle: expected [<loads>]");
    return 2;
  }
  for (int n = 1; n <= loads; ++n) {
    int result = 0;
    if (!CallCppLoadCompiler(1, 0, &result) || result != 1) return 1;
    Comp32xDriver::TDriver driver;
    if (!Comp32xDriver::Bind(GetModuleHandleW(L"comp32x.dll"), driver)) {
      app.Log(L"WORKLOAD-ERROR cppcycle: comp32x.dll lacks a driver export");
      return 2;
    }
    app.Log(L"CPP-CYCLE " + std::to_wstring(n) + L" " + UseCompiler(driver));
    if (!CallCppLoadCompiler(0, 0)) return 1;
  }
  return 0;
}

const WorkloadRegistration kCppCycle{L"cppcycle", RunCppCycle,
                                     L"cppcycle [<loads>]  loads, uses and unloads the C++ compiler (default 3 times)"};

}  // namespace

}  // namespace QmHost

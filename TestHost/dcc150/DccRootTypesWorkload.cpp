// bds.exe workload "dccroottypes": a root type's list seeded with a number
// of types, then one call of the root-type unit list R over a unit with a
// number of types, three in four of them already in the list (spelt in
// another case every second time), the others new (the list grows during
// the call); journals the lists' checksum and the list's length.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "dcc150/DccRootTypesDriver.h"

namespace QmHost {

namespace {

template <class T>
T Export(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
}

int RunDccRootTypes(HostApp& app, const std::vector<std::wstring>& args) {
  int list = 2000, queries = 20000;
  if (args.size() > 0) list = _wtoi(args[0].c_str());
  if (args.size() > 1) queries = _wtoi(args[1].c_str());
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  if (!dcc) dcc = LoadLibraryW((app.hostDir + L"dcc150.dll").c_str());
  using namespace DccRootTypesDriver;
  auto reset = Export<ResetFn>(dcc, Export::Reset);
  auto seed = Export<SeedFn>(dcc, Export::Seed);
  auto newUnit = Export<NewUnitFn>(dcc, Export::NewUnit);
  auto addType = Export<AddTypeFn>(dcc, Export::AddType);
  auto unitList = Export<UnitListFn>(dcc, Export::UnitList);
  auto checksum = Export<ChecksumFn>(dcc, Export::Checksum);
  auto nodes = Export<ListNodesFn>(dcc, Export::ListNodes);
  auto freeResult = Export<FreeResultFn>(dcc, Export::FreeResult);
  if (!reset || !seed || !newUnit || !addType || !unitList || !checksum || !nodes || !freeResult || list < 1 ||
      queries < 0) {
    app.Log(L"WORKLOAD-ERROR dccroottypes: bad arguments, or dcc150.dll or its root-type exports are missing");
    return 2;
  }
  reset();
  seed(list);
  void* first = nullptr;
  void* unit = newUnit(&first, "Queries");
  for (int i = 0; i < queries; ++i) {
    const std::string name = i % 4 == 3 ? "TNew" + std::to_string(i % 1000)
                                        : (i % 2 ? "tseed" : "TSeed") + std::to_string((i * 7) % list);
    addType(unit, name.c_str(), 0);
  }
  const auto began = std::chrono::steady_clock::now();
  void* result = unitList(first);
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
  const uint32_t sum = checksum(result);
  freeResult(result);
  wchar_t text[32];
  std::swprintf(text, 32, L"%.3f", ms);
  app.Log(L"DCC-ROOTTYPES list=" + std::to_wstring(list) + L" queries=" + std::to_wstring(queries) + L" ms=" + text +
          L" checksum=" + Hex(sum) + L" nodes=" + std::to_wstring(nodes(0)));
  reset();
  return 0;
}

const WorkloadRegistration kRegistration{L"dccroottypes", RunDccRootTypes, L"dccroottypes [<list> <queries>]"};

}  // namespace

}  // namespace QmHost

// bds.exe workload "dccrsm": stores into a table of RSM elements (every
// element stored again and again, one store in five through the merge
// path), a lookup after each; journals the data's checksum, the lookups'
// and the compiler's live blocks afterwards (the leak: one per store
// that overwrote an element's block).
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "dcc150/DccRsmDriver.h"

namespace QmHost {

namespace {

template <class T>
T Export(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
}

int RunDccRsm(HostApp& app, const std::vector<std::wstring>& args) {
  int elements = 64, stores = 10000;
  if (args.size() > 0) elements = _wtoi(args[0].c_str());
  if (args.size() > 1) stores = _wtoi(args[1].c_str());
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  if (!dcc) dcc = LoadLibraryW((app.hostDir + L"dcc150.dll").c_str());
  using namespace DccRsmDriver;
  auto reset = Export<ResetFn>(dcc, Export::Reset);
  auto storeNew = Export<StoreNewFn>(dcc, Export::StoreNew);
  auto lookup = Export<LookupFn>(dcc, Export::Lookup);
  auto live = Export<LiveFn>(dcc, Export::Live);
  auto checksum = Export<ChecksumFn>(dcc, Export::Checksum);
  if (!reset || !storeNew || !lookup || !live || !checksum || elements < 1 || stores < 0) {
    app.Log(L"WORKLOAD-ERROR dccrsm: bad arguments, or dcc150.dll or its RSM exports are missing");
    return 2;
  }
  reset(elements);
  uint32_t h = 2166136261u;
  for (int i = 0; i < stores; ++i) {
    storeNew(i % elements, 8 + i % 23, i % 5 == 0);
    h = (h ^ uint32_t(lookup((i * 7) % elements))) * 16777619u;
  }
  app.Log(L"DCC-RSM elements=" + std::to_wstring(elements) + L" stores=" + std::to_wstring(stores) + L" checksum=" +
          Hex(checksum()) + L" lookups=" + Hex(h) + L" live=" + std::to_wstring(live()));
  reset(1);
  return 0;
}

const WorkloadRegistration kRegistration{L"dccrsm", RunDccRsm, L"dccrsm [<elements> <stores>]"};

}  // namespace

}  // namespace QmHost

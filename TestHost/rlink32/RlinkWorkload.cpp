// bds.exe workload "rlink": the resources of a .res file linked by the
// resource linker rlink32.dll (the one loaded, else the host directory's);
// journals the linker's answer, the resources linked and their checksum.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "rlink32/Rlink32Driver.h"

namespace QmHost {

namespace {

int RunRlink(HostApp& app, const std::vector<std::wstring>& args) {
  HMODULE rlink = GetModuleHandleW(L"rlink32.dll");
  if (!rlink) rlink = LoadLibraryW((app.hostDir + L"rlink32.dll").c_str());
  using namespace Rlink32Driver;
  auto link = reinterpret_cast<LinkFileFn>(reinterpret_cast<void*>(rlink ? GetProcAddress(rlink, Export::LinkFile) : nullptr));
  auto entries = reinterpret_cast<EntriesFn>(reinterpret_cast<void*>(rlink ? GetProcAddress(rlink, Export::Entries) : nullptr));
  if (args.size() != 1 || !link || !entries) {
    app.Log(L"WORKLOAD-ERROR rlink: no .res file given, or rlink32.dll or its exports are missing");
    return 2;
  }
  const int32_t error = link(args[0].c_str());
  int32_t count = 0;
  const TEntry* table = entries(&count);
  uint32_t h = 2166136261u;
  for (int32_t i = 0; i < count; ++i) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&table[i]);
    for (size_t b = 0; b < sizeof(TEntry); ++b) h = (h ^ bytes[b]) * 16777619u;
  }
  app.Log(L"RLINK error=" + std::to_wstring(error) + L" linked=" + std::to_wstring(count) + L" checksum=" + Hex(h));
  return 0;
}

const WorkloadRegistration kRegistration{L"rlink", RunRlink, L"rlink <.res file>"};

}  // namespace

}  // namespace QmHost

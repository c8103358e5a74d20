// bds.exe workload "codeinsight": code insight at work. Error-insight passes over
// a project's units (pass p changes unit p mod <units> when p mod 11 is 5,
// so only some passes compile for real) with a build every fifth pass; Quillmend's exported
// SetAllowKibitzedFlag called from here, another module, around a
// SetKibitzedSinceCompiled; code completions over the kibitz manager's unit
// cache. Checksums and counts are journaled; which of them a patch changes
// is said per line (README).
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "dcc150/DccKibitzCounterDriver.h"
#include "delphicoreide150/KibitzDriver.h"

namespace QmHost {

namespace {

template <class T>
T Export(const wchar_t* module, const char* name) {
  HMODULE m = GetModuleHandleW(module);
  return reinterpret_cast<T>(reinterpret_cast<void*>(m ? GetProcAddress(m, name) : nullptr));
}

uint32_t Mix(uint32_t h, uint32_t v) { return (h ^ v) * 16777619u; }

using AllowFn = void(QM_HOST_REGISTER*)(uint32_t allow);

int RunCodeInsight(HostApp& app, const std::vector<std::wstring>& args) {
  int passes = 200, units = 20, completions = 60;
  int* sizes[] = {&passes, &units, &completions};
  for (size_t i = 0; i < args.size() && i < 3; ++i) *sizes[i] = _wtoi(args[i].c_str());
  const wchar_t* delphi = L"delphicoreide150.bpl";
  using namespace KibitzDriver;
  auto pass = Export<ErrorInsightPassFn>(delphi, Export::ErrorInsightPass);
  auto build = Export<BuildFn>(delphi, Export::Build);
  auto setKibitzed = Export<SetKibitzedFn>(delphi, Export::SetKibitzedSinceCompiled);
  auto newManager = Export<NewManagerFn>(delphi, Export::NewManager);
  auto result = Export<ManagerResultFn>(delphi, Export::ManagerResult);
  auto loads = Export<UnitLoadsFn>(delphi, Export::UnitLoads);
  auto invoke = Export<InvokeCodeCompletionFn>(delphi, Export::InvokeCodeCompletion);
  auto reset = Export<DccKibitzCounterDriver::ResetFn>(L"dcc150.dll", DccKibitzCounterDriver::Export::Reset);
  auto compiles = Export<uint32_t*>(L"dcc150.dll", DccKibitzCounterDriver::Export::Compiles);
  if (!pass || !build || !setKibitzed || !newManager || !invoke || !reset || !compiles || passes < 0 || units < 1 ||
      completions < 0) {
    app.Log(L"WORKLOAD-ERROR codeinsight: bad arguments, or a package or its driver exports are missing");
    return 2;
  }
  app.Log(L"CODEINSIGHT-WORKLOAD passes=" + std::to_wstring(passes) + L" units=" + std::to_wstring(units) +
          L" completions=" + std::to_wstring(completions));

  reset();
  build();
  std::vector<int32_t> versions(size_t(units), 1);
  int answered = 0, builds = 0, recompiles = 0;
  for (int p = 0; p < passes; ++p) {
    const int unit = p % units;
    if (p % 11 == 5) ++versions[size_t(unit)];
    answered += pass(("Proj.Unit" + std::to_string(unit)).c_str(), versions[size_t(unit)]);
    if (p % 5 == 4) {
      ++builds;
      recompiles += build();
    }
  }
  app.Log(L"CODEINSIGHT-ERRORINSIGHT passes=" + std::to_wstring(passes) + L" compiles=" + std::to_wstring(answered) +
          L" counted=" + std::to_wstring(*compiles) + L" builds=" + std::to_wstring(builds) +
          L" recompiles=" + std::to_wstring(recompiles));

  // Another module says whether the next SetKibitzedSinceCompiled counts.
  auto allow = Export<AllowFn>(L"Quillmend.dll", "SetAllowKibitzedFlag");
  if (allow) {
    build();
    allow(0);
    setKibitzed(1);
    const int denied = build();
    allow(1);
    setKibitzed(1);
    const int allowed = build();
    app.Log(L"CODEINSIGHT-ALLOW denied=" + std::to_wstring(denied) + L" allowed=" + std::to_wstring(allowed));
  } else {
    app.Log(L"CODEINSIGHT-ALLOW unavailable");
  }

  const wchar_t* texts[] = {L"It", L"co", L"", L"Na", L"Val", L"Index1"};
  void* manager = newManager(units, 40);
  const uint32_t loadsBefore = loads();
  uint32_t h = 2166136261u;
  for (int c = 0; c < completions; ++c) {
    wchar_t* text = app.rtl.NewString(texts[c % 6]);
    const int32_t length = invoke(manager, uint32_t(c % 3), text);
    int32_t count = 0;
    h = Mix(Mix(h, result(manager, &count)), uint32_t(length));
    app.rtl.Release(text);
  }
  app.Log(L"CODEINSIGHT-COMPLETION completions=" + std::to_wstring(completions) + L" loads=" +
          std::to_wstring(loads() - loadsBefore) + L" checksum=" + Hex(h));
  return 0;
}

const WorkloadRegistration kRegistration{L"codeinsight", RunCodeInsight, L"codeinsight [<passes> <units> <completions>]"};

}  // namespace

}  // namespace QmHost

// The generics workload: `n` uses of generic instantiations (20 per generic
// type, about 70% finding one made before), each looked up before one is
// appended, then a link of as many generic symbols. Timed and checksummed
// (the checksums depend only on the arguments).
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "dcc150/DccGenericsDriver.h"

namespace QmHost {

namespace {

constexpr int UsesPerType = 20;
constexpr int FoundPercent = 70;
constexpr uint32_t RandomSeed = 2468;

double NowMs() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return double(t.QuadPart) * 1000.0 / double(f.QuadPart);
}

int RunGenerics(HostApp& app, const std::vector<std::wstring>& args) {
  wchar_t* end = nullptr;
  long uses = args.size() == 1 ? std::wcstol(args[0].c_str(), &end, 10) : 0;
  if (args.size() != 1 || *end || uses < 1 || uses > 10000000) {
    app.Log(L"WORKLOAD-ERROR generics: expected <uses>");
    return 2;
  }
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  if (!dcc) dcc = LoadLibraryW((app.hostDir + L"dcc150.dll").c_str());
  DccGenericsDriver::Driver<> driver;
  if (!dcc || !driver.Bind(dcc)) {
    app.Log(L"WORKLOAD-ERROR generics: dcc150.dll or its generics exports are missing");
    return 2;
  }
  app.Log(L"GEN-WORKLOAD uses=" + std::to_wstring(uses));
  namespace Phase = DccGenericsDriver::Phase;
  auto phase = [&](int index, auto&& work) {
    double start = NowMs();
    int result = work();
    wchar_t text[32];
    std::swprintf(text, 32, L"%.3f", NowMs() - start);
    app.Log(std::wstring(L"GEN-PHASE ") + Phase::Names[index] + L" ms=" + text + L" result=" +
            std::to_wstring(result) + L" checksum=" + Hex(driver.Checksum()));
  };
  driver.PrepareUses(int(uses), UsesPerType, FoundPercent, RandomSeed);
  phase(Phase::Uses, [&] { return driver.RunUses(); });
  driver.PrepareLink(int(uses), RandomSeed + 1);
  phase(Phase::Link, [&] { return driver.RunLink(0); });
  driver.Reset();
  return 0;
}

const WorkloadRegistration kGenerics{L"generics", RunGenerics,
                                     L"generics <uses>  generic instantiation uses, then a link of as many symbols"};

} // namespace

} // namespace QmHost

// The package workload: the IDE loads `n` packages of 60 units each through
// the compiler's find-or-load routine, checking each for duplicate units,
// then asks which package contains a unit and which package has a name,
// unloads every seventh package and releases them all. Each phase is timed
// and checksummed (the checksums depend only on the arguments).
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "dcc150/DccPackageDriver.h"

namespace QmHost {

namespace {

constexpr int UnitsPerPackage = 60;
constexpr int UnloadEvery = 7;
constexpr uint32_t RandomSeed = 4321;

double NowMs() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return double(t.QuadPart) * 1000.0 / double(f.QuadPart);
}

int RunPackages(HostApp& app, const std::vector<std::wstring>& args) {
  wchar_t* end = nullptr;
  long packages = args.size() == 1 ? std::wcstol(args[0].c_str(), &end, 10) : 0;
  long queries = 20000;
  if (args.size() != 1 || *end || packages < 1 || packages > 100000) {
    app.Log(L"WORKLOAD-ERROR packages: expected <packages>");
    return 2;
  }
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  if (!dcc) dcc = LoadLibraryW((app.hostDir + L"dcc150.dll").c_str());
  DccPackageDriver::Driver<> driver;
  if (!dcc || !driver.Bind(dcc)) {
    app.Log(L"WORKLOAD-ERROR packages: dcc150.dll or its package exports are missing");
    return 2;
  }
  app.Log(L"PKG-WORKLOAD packages=" + std::to_wstring(packages) + L" units=" + std::to_wstring(UnitsPerPackage));
  namespace Phase = DccPackageDriver::Phase;
  auto phase = [&](int index, auto&& work) {
    double start = NowMs();
    int result = work();
    wchar_t text[32];
    std::swprintf(text, 32, L"%.3f", NowMs() - start);
    app.Log(std::wstring(L"PKG-PHASE ") + Phase::Names[index] + L" ms=" + text + L" result=" +
            std::to_wstring(result) + L" checksum=" + Hex(driver.Checksum()));
  };
  driver.PreparePackages(int(packages), UnitsPerPackage, RandomSeed);
  phase(Phase::Load, [&] { return driver.LoadPackages(); });
  driver.PrepareQueries(int(queries), int(queries), RandomSeed + 1);
  phase(Phase::UnitQueries, [&] { return driver.UnitQueries(); });
  phase(Phase::NameQueries, [&] { return driver.NameQueries(); });
  phase(Phase::Unload, [&] { return driver.UnloadPackages(UnloadEvery); });
  phase(Phase::ReleaseAll, [&] {
    driver.ReleaseAll();
    return 0;
  });
  return 0;
}

const WorkloadRegistration kPackages{L"packages", RunPackages,
                                     L"packages <n>  loads n packages of 60 units, queries them, unloads, releases"};

} // namespace

} // namespace QmHost

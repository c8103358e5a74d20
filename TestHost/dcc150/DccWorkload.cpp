// The Delphi compiler workload: the IDE drives its compiler library
// dcc150.dll through a project's life — load (imports resolved by name),
// units looked up by name, reset of the outdated units, recompile, the unit
// an address belongs to, symbols looked up over a scope of units, free all —
// and each phase is timed and checksummed. Experts have run their
// entry points by then, so whatever they changed in the compiler is in effect.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "dcc150/DccDriver.h"

namespace QmHost {

namespace {

constexpr uint32_t DefaultSeed = 1234;
constexpr int OutdatedPercent = 10;
constexpr int UnitOfQuestions = 100000;
constexpr int SymbolLookups = 200000;

bool ParseCount(const std::wstring& text, long minimum, long& value) {
  wchar_t* end = nullptr;
  value = std::wcstol(text.c_str(), &end, 10);
  return !text.empty() && *end == L'\0' && value >= minimum && value <= 1000000;
}

double NowMs() {
  static const double perMs = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(f.QuadPart) / 1000.0;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return double(t.QuadPart) / perMs;
}

// The compiler the IDE already has loaded (an expert may have loaded it to
// patch it), else the one in the IDE's bin directory.
HMODULE CompilerLibrary(HostApp& app) {
  if (HMODULE dcc = GetModuleHandleW(L"dcc150.dll")) return dcc;
  return LoadLibraryW((app.hostDir + L"dcc150.dll").c_str());
}

int RunDcc(HostApp& app, const std::vector<std::wstring>& args) {
  long units = 0, imports = 0, randomSeed = long(DefaultSeed);
  if (args.size() < 2 || args.size() > 3 || !ParseCount(args[0], 3, units) || !ParseCount(args[1], 1, imports) ||
      (args.size() == 3 && !ParseCount(args[2], 0, randomSeed))) {
    app.Log(L"WORKLOAD-ERROR dcc: expected <units> <imports> [<randomSeed>]");
    return 2;
  }
  HMODULE dcc = CompilerLibrary(app);
  DccDriver::WorkloadDriver driver;
  if (!dcc || !driver.Bind(dcc)) {
    app.Log(L"WORKLOAD-ERROR dcc: dcc150.dll or its driver exports are missing");
    return 2;
  }
  app.Log(L"DCC-WORKLOAD units=" + std::to_wstring(units) + L" imports=" + std::to_wstring(imports));

  namespace Phase = DccDriver::Phase;
  // A phase's time is what `work` returns: the milliseconds it measured itself.
  auto timedPhase = [&app, &driver](int index, auto&& work) {
    const wchar_t* name = Phase::Names[index];
    double ms = work();
    wchar_t text[32];
    std::swprintf(text, 32, L"%.3f", ms);
    app.Log(std::wstring(L"DCC-PHASE ") + name + L" ms=" + text + L" checksum=" + Hex(driver.Checksum()));
  };
  auto phase = [&timedPhase](int index, auto&& work) {
    timedPhase(index, [&work] {
      double start = NowMs();
      work();
      return NowMs() - start;
    });
  };
  const uint32_t projectSeed = uint32_t(randomSeed);
  // Generating the project's names and import lists is the IDE's own work,
  // not the compiler's: done before the clock starts. So is one load and
  // free-all of the project: an IDE has compiled before, and a fresh process
  // would otherwise time the system's first touch of the compiler's memory.
  driver.PrepareProject(int(units), int(imports), projectSeed);
  driver.LoadPrepared();
  driver.FreeAll();
  driver.PrepareProject(int(units), int(imports), projectSeed);
  phase(Phase::Load, [&] { driver.LoadPrepared(); });
  // The names to look up are chosen before the clock starts: the phase
  // measures the compiler's answers only.
  int misses = 0, found = 0;
  const int names = driver.PrepareLookups(projectSeed + 2, &misses);
  phase(Phase::Lookup, [&] { found = driver.LookupPrepared(); });
  app.Log(L"DCC-LOOKUPS names=" + std::to_wstring(names) + L" misses=" + std::to_wstring(misses) +
          L" found=" + std::to_wstring(found));
  driver.MarkOutdated(OutdatedPercent, projectSeed + 1);
  phase(Phase::Reset, [&] { driver.Reset(); });
  phase(Phase::Recompile, [&] { driver.Recompile(); });
  // The project is freed and loaded again before each of the next two
  // phases (untimed), so their records reuse released memory.
  driver.FreeAll();
  driver.LoadPrepared();
  driver.PrepareUnitOf(UnitOfQuestions, projectSeed + 3);
  phase(Phase::UnitOf, [&] { driver.RunUnitOf(nullptr, nullptr); });
  driver.FreeAll();
  driver.LoadPrepared();
  driver.PrepareSymbols(SymbolLookups, projectSeed + 4);
  // Between the two halves the scope's three large units are freed and
  // loaded again (untimed): the second half meets their reused records.
  timedPhase(Phase::Symbols, [&] {
    double start = NowMs();
    driver.RunSymbolLookups(0, SymbolLookups / 2);
    double ms = NowMs() - start;
    driver.ReloadLargeScopeUnits();
    start = NowMs();
    driver.RunSymbolLookups(SymbolLookups / 2, SymbolLookups - SymbolLookups / 2);
    return ms + NowMs() - start;
  });
  phase(Phase::FreeAll, [&] { driver.FreeAll(); });
  return 0;
}

const WorkloadRegistration kDcc{
    L"dcc", RunDcc, L"dcc <units> <imports> [<randomSeed>]  times the compiler's load, lookup, reset, recompile, unit-of-address "
    L"questions, symbol lookups, free-all"};

} // namespace

} // namespace QmHost

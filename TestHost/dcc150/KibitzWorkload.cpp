// The CodeInsight workload: the IDE has a project loaded, opens some of its
// units in editors (file notification 1 for each .pas file), the user edits
// two of them while CodeInsight compiles on a background thread (start of a
// CodeInsight compile, unit reset, errors, routine bodies skipped, the units
// finished), then closes the project (notification 2 for the .dproj) and a
// normal compile runs. Each compile is journaled with what it did and a
// checksum of the unit list.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "IdeServices/IdeServices.h"
#include "IdeServices/ModuleServices.h"
#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "dcc150/DccCodeInsightDriver.h"
#include "dcc150/DccDriver.h"

namespace QmHost {

namespace {

constexpr int Units = 60;
constexpr int Imports = 4;
constexpr uint32_t RandomSeed = 97;
constexpr int Errors = 300;

struct Body {
  std::vector<uint8_t> Codes;
  std::vector<int32_t> Values;
};

// Bodies the compiler meets: plain ones, and ones with a nested routine, an
// inline block and a region (whose ends a token counter that knows only
// begin and end misses).
const std::vector<Body> Bodies = {
    {{0x0B, 0x01, 0x16, 0x01, 0x16}, {}},
    {{0x2C, 0x01, 0x16, 0x01, 0x16}, {}},
    {{0x01, 0x0A, 0x5C, 0x16, 0x16, 0x01, 0x16}, {0, 0, 2, 3, 1, 0, 1}},
    {{0x51, 0x16, 0x52, 0x01, 0x16}, {}},
};

struct Context {
  HostApp* App = nullptr;
  DccDriver::WorkloadDriver Dcc;
  DccCodeInsightDriver::Driver CodeInsight;
  int Compile = 0;
};

std::wstring BodyEnds(const Context& c) {
  std::wstring ends;
  for (const Body& body : Bodies) {
    std::vector<int32_t> values = body.Values;
    values.resize(body.Codes.size());
    c.CodeInsight.SetTokens(body.Codes.data(), values.data(), int(body.Codes.size()));
    int end = -1;
    int found = c.CodeInsight.RunSkipBody(&end);
    ends += (ends.empty() ? L"" : L",") + std::to_wstring(found ? end : -end);
  }
  return ends;
}

// One CodeInsight compile, on the thread that calls it.
void KibitzCompile(Context& c) {
  const uint32_t finalizedBefore = c.CodeInsight.Read().Finalizations;
  const uint32_t shownBefore = c.CodeInsight.Read().ErrorsShown;
  c.CodeInsight.KibitzBegin();
  c.Dcc.Reset();
  const int units = c.Dcc.UnitCount();
  c.CodeInsight.ReportErrors(Errors);
  const std::wstring ends = BodyEnds(c);
  c.CodeInsight.FinishCompile();
  c.CodeInsight.KibitzEnd();
  const DccCodeInsightDriver::Counters after = c.CodeInsight.Read();
  c.App->Log(L"KIBITZ-COMPILE " + std::to_wstring(++c.Compile) + L" units=" + std::to_wstring(units) + L" errors=" +
             std::to_wstring(after.ErrorsShown - shownBefore) + L" finalized=" +
             std::to_wstring(after.Finalizations - finalizedBefore) + L" bodies=" + ends + L" checksum=" +
             Hex(c.Dcc.Checksum()));
}

struct Worker {
  Context* C;
  HANDLE Go, Done;
  bool Stop = false;
};

DWORD WINAPI WorkerMain(void* p) {
  auto* w = static_cast<Worker*>(p);
  for (;;) {
    WaitForSingleObject(w->Go, INFINITE);
    if (w->Stop) return 0;
    KibitzCompile(*w->C);
    SetEvent(w->Done);
  }
}

int RunKibitz(HostApp& app, const std::vector<std::wstring>& args) {
  if (!args.empty()) {
    app.Log(L"WORKLOAD-ERROR kibitz: expected no arguments");
    return 2;
  }
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  if (!dcc) dcc = LoadLibraryW((app.hostDir + L"dcc150.dll").c_str());
  Context c;
  c.App = &app;
  if (!dcc || !c.Dcc.Bind(dcc) || !c.CodeInsight.Bind(dcc)) {
    app.Log(L"WORKLOAD-ERROR kibitz: dcc150.dll or its CodeInsight exports are missing");
    return 2;
  }
  app.Log(L"KIBITZ-WORKLOAD units=" + std::to_wstring(Units) + L" errors=" + std::to_wstring(Errors));
  c.Dcc.LoadProject(Units, Imports, RandomSeed);
  c.CodeInsight.SetUnitFlags(3, 1);
  c.CodeInsight.ResetCounters();
  // The background thread the IDE compiles on for CodeInsight. Windows
  // reuses thread ids, so one long-lived thread stands for it: the pack
  // keys its records by thread id.
  Worker worker{&c, CreateEventW(nullptr, FALSE, FALSE, nullptr), CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  HANDLE thread = CreateThread(nullptr, 0, &WorkerMain, &worker, 0, nullptr);
  auto compile = [&worker] {
    SetEvent(worker.Go);
    WaitForSingleObject(worker.Done, INFINITE);
  };
  compile();
  std::vector<Module*> open;
  for (int i = 10; i < 15; ++i) {
    wchar_t file[64];
    std::swprintf(file, 64, L"C:\\Projects\\Proj\\Proj.Unit%05d.pas", i);
    open.push_back(OpenModule(file));
  }
  ModifyModule(open[1]);
  ModifyModule(open[3]);
  compile();
  compile();
  NotifyFile(2, L"C:\\Projects\\Proj\\Proj.dproj");
  app.Log(L"KIBITZ-CLOSE Proj.dproj");
  CloseAllModules();
  worker.Stop = true;
  SetEvent(worker.Go);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  CloseHandle(worker.Go);
  CloseHandle(worker.Done);
  c.CodeInsight.CompileBegin();
  const int shown = c.CodeInsight.ReportErrors(Errors);
  app.Log(L"KIBITZ-NORMAL errors=" + std::to_wstring(shown) + L" finalized=" +
          std::to_wstring(c.CodeInsight.FinishCompile()) + L" checksum=" + Hex(c.Dcc.Checksum()));
  c.Dcc.FreeAll();
  return 0;
}

const WorkloadRegistration kKibitz{L"kibitz", RunKibitz,
                                   L"kibitz  CodeInsight compiles on a background thread while units are edited"};

} // namespace

} // namespace QmHost

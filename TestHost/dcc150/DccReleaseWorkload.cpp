// bds.exe workload "dccrelease": a large compile through the IDE's
// TCompiler.CompilerCompile (delphicoreide150.bpl), then the compiler's
// memory grown by itself and an object the debuggee deleted
// (dbkdebugide150.bpl); journals the compile's checksum and the compiler's
// committed memory after each.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "dcc150/DccReleaseDriver.h"

namespace QmHost {

namespace {

template <class T>
T Export(const wchar_t* module, const char* name) {
  HMODULE handle = GetModuleHandleW(module);
  return reinterpret_cast<T>(reinterpret_cast<void*>(handle ? GetProcAddress(handle, name) : nullptr));
}

int RunDccRelease(HostApp& app, const std::vector<std::wstring>& args) {
  int blocks = 5000;
  if (args.size() > 0) blocks = _wtoi(args[0].c_str());
  using namespace DccReleaseDriver;
  auto ideCompile = Export<uint32_t(__stdcall*)(int32_t)>(L"delphicoreide150.bpl", "DelphiCoreCompile");
  auto deleted = Export<int32_t(__stdcall*)(void*)>(L"dbkdebugide150.bpl", "DbgIdeObjectDeleted");
  auto compile = Export<CompileFn>(L"dcc150.dll", Export::Compile);
  auto committed = Export<CommittedFn>(L"dcc150.dll", Export::Committed);
  auto reset = Export<ResetFn>(L"dcc150.dll", Export::Reset);
  if (!ideCompile || !deleted || !compile || !committed || !reset || blocks < 0) {
    app.Log(L"WORKLOAD-ERROR dccrelease: bad arguments, or a module or its exports are missing");
    return 2;
  }
  reset();
  const uint32_t sum = ideCompile(blocks);
  const int32_t afterCompile = committed();
  compile(blocks / 10);
  const int32_t grown = committed();
  deleted(nullptr);
  app.Log(L"DCC-RELEASE blocks=" + std::to_wstring(blocks) + L" checksum=" + Hex(sum) + L" grown=" +
          std::to_wstring(grown > afterCompile) + L" after-compile=" + std::to_wstring(afterCompile) +
          L" after-delete=" + std::to_wstring(committed()));
  reset();
  return 0;
}

const WorkloadRegistration kRegistration{L"dccrelease", RunDccRelease, L"dccrelease [<blocks>]"};

}  // namespace

}  // namespace QmHost

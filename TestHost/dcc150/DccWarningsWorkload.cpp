// bds.exe workload "dccwarnings": the compiler's warnings 46 and 47 with
// both switched off (hidden), then shown, then a message list whose every
// third line is a warning under the same header text; journals the shown
// texts' checksum, the list's, and the resource texts each phase loaded.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "dcc150/DccWarningsDriver.h"

namespace QmHost {

namespace {

template <class T>
T Export(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
}

int RunDccWarnings(HostApp& app, const std::vector<std::wstring>& args) {
  int hidden = 20000, shown = 2000, lines = 3000;
  if (args.size() > 0) hidden = _wtoi(args[0].c_str());
  if (args.size() > 1) shown = _wtoi(args[1].c_str());
  if (args.size() > 2) lines = _wtoi(args[2].c_str());
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  if (!dcc) dcc = LoadLibraryW((app.hostDir + L"dcc150.dll").c_str());
  using namespace DccWarningsDriver;
  auto batch = Export<BatchFn>(dcc, Export::Batch);
  auto listLines = Export<ListLinesFn>(dcc, Export::ListLines);
  auto messageList = Export<MessageListFn>(dcc, Export::MessageList);
  auto counters = Export<CountersFn>(dcc, Export::Counters);
  auto reset = Export<ResetFn>(dcc, Export::Reset);
  auto* table = Export<uint8_t*>(dcc, Export::Table);
  if (!batch || !listLines || !messageList || !counters || !reset || !table || hidden < 0 || shown < 0 || lines < 0) {
    app.Log(L"WORKLOAD-ERROR dccwarnings: bad arguments, or dcc150.dll or its warning exports are missing");
    return 2;
  }
  reset();
  table[46] = table[47] = 0;
  const auto began = std::chrono::steady_clock::now();
  batch(hidden);
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
  TCounters afterHidden = {}, afterShown = {}, afterList = {};
  counters(&afterHidden);
  table[46] = table[47] = 1;
  batch(shown);
  counters(&afterShown);
  std::vector<int32_t> kinds;
  for (int i = 0; i < lines; ++i) kinds.push_back(i % 3 == 0 ? 1 : 0);
  listLines(kinds.data(), int32_t(kinds.size()));
  const uint32_t list = messageList();
  counters(&afterList);
  wchar_t text[32];
  std::swprintf(text, 32, L"%.3f", ms);
  app.Log(L"DCC-WARNINGS hidden=" + std::to_wstring(hidden) + L" shown=" + std::to_wstring(afterShown.Shown) +
          L" ms=" + text + L" checksum=" + Hex(afterShown.Checksum) + L" list=" + Hex(list) +
          L" hidden-loads=" + std::to_wstring(afterHidden.Loads) +
          L" shown-loads=" + std::to_wstring(afterShown.Loads - afterHidden.Loads) +
          L" list-loads=" + std::to_wstring(afterList.Loads - afterShown.Loads));
  return 0;
}

const WorkloadRegistration kRegistration{L"dccwarnings", RunDccWarnings, L"dccwarnings [<hidden> <shown> <lines>]"};

}  // namespace

}  // namespace QmHost

// bds.exe workload "dcctokens": tokens read through the compiler's token
// prefetch, then the text lengths of symbol records measured (every second
// record keeps its length, its first byte 0).
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "dcc150/DccTokensDriver.h"

namespace QmHost {

namespace {

template <class T>
T Export(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
}

int RunDccTokens(HostApp& app, const std::vector<std::wstring>& args) {
  int tokens = 100000, records = 100000;
  if (args.size() > 0) tokens = _wtoi(args[0].c_str());
  if (args.size() > 1) records = _wtoi(args[1].c_str());
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  if (!dcc) dcc = LoadLibraryW((app.hostDir + L"dcc150.dll").c_str());
  using namespace DccTokensDriver;
  auto next = Export<NextTokenFn>(dcc, Export::NextToken);
  auto reset = Export<ResetFn>(dcc, Export::Reset);
  auto counters = Export<CountersFn>(dcc, Export::Counters);
  auto symbolLength = Export<TextLengthFn>(dcc, Export::TextLength1);
  auto memberLength = Export<TextLengthFn>(dcc, Export::TextLength2);
  if (!next || !reset || !counters || !symbolLength || !memberLength || tokens < 0 || records < 0) {
    app.Log(L"WORKLOAD-ERROR dcctokens: bad arguments, or dcc150.dll or its token exports are missing");
    return 2;
  }
  reset();
  TCounters before = {}, after = {};
  counters(&before);
  uint32_t h = 2166136261u;
  const auto began = std::chrono::steady_clock::now();
  for (int i = 0; i < tokens; ++i) h = (h ^ next()) * 16777619u;
  std::vector<uint8_t> record(SymbolLayout::Size, 0);
  for (int i = 0; i < records; ++i) {
    const int32_t length = 10 + i % 200;
    record[0] = uint8_t(i % 2 ? 3 : 0);
    std::memcpy(&record[SymbolLayout::StoredLength], &length, 4);
    std::memset(&record[SymbolLayout::Text], 'a' + i % 26, size_t(length));
    record[SymbolLayout::Text + size_t(length)] = 0;
    h = (h ^ uint32_t((i % 3 ? symbolLength : memberLength)(record.data()))) * 16777619u;
  }
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
  counters(&after);
  wchar_t text[32];
  std::swprintf(text, 32, L"%.3f", ms);
  app.Log(L"DCC-TOKENS tokens=" + std::to_wstring(tokens) + L" records=" + std::to_wstring(records) + L" ms=" + text +
          L" checksum=" + Hex(h ^ after.Checksum) + L" allocations=" +
          std::to_wstring(after.Allocations - before.Allocations) + L" strlens=" +
          std::to_wstring(after.StrLens - before.StrLens));
  return 0;
}

const WorkloadRegistration kRegistration{L"dcctokens", RunDccTokens, L"dcctokens [<tokens> <records>]"};

}  // namespace

}  // namespace QmHost

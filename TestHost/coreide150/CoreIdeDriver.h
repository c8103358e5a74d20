// The stand-in core package's driver interface, declared once for bds.exe,
// the tests and the benchmarks: export names and function types; the module
// checks its definitions against them.
#pragma once

#include <windows.h>

#include "Common/HostLayout.h"

namespace CoreIdeDriver {

namespace Export {
constexpr const char* ExtractModuleName = "@Codemgr@ExtractModuleName$qqrx20System@UnicodeString";
// The debugger manager's refresh of the event log view (the list's OnChange).
constexpr const char* LogStringListChanged = "@Debuggermgr@TDebuggerMgr@LogStringListChanged$qqrp14System@TObject";
// Test host only: the debugger manager and its event log.
constexpr const char* DebuggerManager = "DbgManager";
constexpr const char* LogAdd = "DbgLogAdd";
constexpr const char* LogClear = "DbgLogClear";
constexpr const char* LogList = "DbgLogList";
constexpr const char* LogCounters = "DbgLogCounters";
constexpr const char* LogResetCounters = "DbgLogResetCounters";
}  // namespace Export

// procedure TDebuggerMgr.LogStringListChanged(Sender: TObject): EAX = Self, EDX = Sender.
using LogStringListChangedFn = void(QM_HOST_REGISTER*)(void* self, void* sender);

// What the event log view did: refreshes (each re-reading every line),
// lines read in all, the line count the last refresh saw.
struct LogCounters {
  long Refreshes;
  long long LinesRead;
  long LastCount;
};

struct DebuggerLog {
  void*(__stdcall* Manager)() = nullptr;  // created at the first call, kept for the process
  void(__stdcall* Add)(const wchar_t* line) = nullptr;
  void(__stdcall* Clear)() = nullptr;
  void*(__stdcall* List)() = nullptr;      // the event log's TStringList
  void(__stdcall* Counters)(LogCounters* counters) = nullptr;
  void(__stdcall* ResetCounters)() = nullptr;
  LogStringListChangedFn Changed = nullptr;

  bool Bind(HMODULE coreIde) {
    auto get = [coreIde](const char* name) { return reinterpret_cast<void*>(coreIde ? GetProcAddress(coreIde, name) : nullptr); };
    Manager = reinterpret_cast<decltype(Manager)>(get(Export::DebuggerManager));
    Add = reinterpret_cast<decltype(Add)>(get(Export::LogAdd));
    Clear = reinterpret_cast<decltype(Clear)>(get(Export::LogClear));
    List = reinterpret_cast<decltype(List)>(get(Export::LogList));
    Counters = reinterpret_cast<decltype(Counters)>(get(Export::LogCounters));
    ResetCounters = reinterpret_cast<decltype(ResetCounters)>(get(Export::LogResetCounters));
    Changed = reinterpret_cast<LogStringListChangedFn>(get(Export::LogStringListChanged));
    return Manager && Add && Clear && List && Counters && ResetCounters;
  }
};

// function ExtractModuleName(const S: string): string — EAX = S, EDX = result variable.
using ExtractModuleNameFn = void(QM_HOST_REGISTER*)(const wchar_t* s, wchar_t** result);

inline ExtractModuleNameFn BindExtractModuleName(HMODULE coreIde) {
  return reinterpret_cast<ExtractModuleNameFn>(
      reinterpret_cast<void*>(coreIde ? GetProcAddress(coreIde, Export::ExtractModuleName) : nullptr));
}

}  // namespace CoreIdeDriver

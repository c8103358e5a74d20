// The debugger manager's event log (unit Debuggermgr): a TStringList of the
// run-time whose OnChange is the manager's LogStringListChanged, the log
// view's refresh. The view re-reads every line on each refresh, as the IDE
// repaints it; the counters say how often and how much.
#include <windows.h>

#include <cstring>
#include <type_traits>

#include "CoreIdeDriver.h"
#include "RtlImports.h"

using CoreIde::Rtl;

namespace {

struct TDebuggerMgr {
  void* EventLog;  // TStringList
  CoreIdeDriver::LogCounters Counters;
};

TDebuggerMgr* g_manager = nullptr;

int32_t LineCount(void* list) {
  using GetCountFn = int32_t(QM_HOST_REGISTER*)(void* self);
  const char* classRef = *static_cast<const char* const*>(list);
  return reinterpret_cast<GetCountFn>(*reinterpret_cast<void* const*>(classRef + 5 * 4))(list);
}

}  // namespace

extern "C" {

void QM_HOST_REGISTER LogStringListChanged(void* self, void* sender) QM_HOST_SYMBOL(coreide_LogStringListChanged);
void QM_HOST_REGISTER LogStringListChanged(void* self, void* sender) {
  auto* manager = static_cast<TDebuggerMgr*>(self);
  void* list = manager->EventLog;
  const int32_t count = LineCount(list);
  long long characters = 0;
  wchar_t* line = nullptr;
  for (int32_t i = 0; i < count; ++i) {
    Rtl().StringListGet(list, i, &line);
    characters += line ? reinterpret_cast<const int32_t*>(line)[-1] : 0;
  }
  Rtl().UStrClr(&line);
  manager->Counters.Refreshes++;
  manager->Counters.LinesRead += count;
  manager->Counters.LastCount = count;
}

void* __stdcall DbgManager() {
  if (!g_manager) {
    auto* manager = static_cast<TDebuggerMgr*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TDebuggerMgr)));
    void* list = Rtl().StringListCreate(Rtl().StringListClass, 1);
    auto* fields = static_cast<char*>(list);
    *reinterpret_cast<const void**>(fields + 64) = reinterpret_cast<const void*>(&LogStringListChanged);
    *reinterpret_cast<void**>(fields + 68) = manager;
    manager->EventLog = list;
    g_manager = manager;
  }
  return g_manager;
}

void __stdcall DbgLogAdd(const wchar_t* line) {
  const int length = line ? lstrlenW(line) : 0;
  wchar_t* text = Rtl().NewUnicodeString(length);
  if (text) std::memcpy(text, line, size_t(length) * 2);
  Rtl().StringListAdd(static_cast<TDebuggerMgr*>(DbgManager())->EventLog, text);
  Rtl().UStrClr(&text);
}

void __stdcall DbgLogClear() { Rtl().StringListClear(static_cast<TDebuggerMgr*>(DbgManager())->EventLog); }

void* __stdcall DbgLogList() { return static_cast<TDebuggerMgr*>(DbgManager())->EventLog; }

void __stdcall DbgLogCounters(CoreIdeDriver::LogCounters* counters) {
  *counters = static_cast<TDebuggerMgr*>(DbgManager())->Counters;
}

void __stdcall DbgLogResetCounters() { static_cast<TDebuggerMgr*>(DbgManager())->Counters = {}; }

}  // extern "C"

static_assert(std::is_same_v<decltype(&LogStringListChanged), CoreIdeDriver::LogStringListChangedFn>,
              "LogStringListChanged has the driver's type");

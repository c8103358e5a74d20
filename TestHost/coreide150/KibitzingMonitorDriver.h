// TKibitzingMonitor's exports and driver (coreide150.bpl,
// KibitzingMonitor.cpp), declared once for the packages that call it, the
// tests and the benchmarks.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"

namespace KibitzingMonitorDriver {

namespace Export {
constexpr const char* Canceled = "@Kibitzingmonitor@TKibitzingMonitor@Canceled$qqrv";
constexpr const char* Start = "@Kibitzingmonitor@TKibitzingMonitor@Start$qqri";
constexpr const char* Finished = "@Kibitzingmonitor@TKibitzingMonitor@Finished$qqrv";
constexpr const char* UserCanCancel = "@Kibitzingmonitor@TKibitzingMonitor@FUserCanCancelKibitzing";
constexpr const char* Create = "KibitzingMonitorCreate";
constexpr const char* SetCanceled = "KibitzingMonitorSetCanceled";
constexpr const char* Section = "KibitzingMonitorSection";
}  // namespace Export

using CanceledFn = bool(QM_HOST_REGISTER*)(void* monitor);
using StartFn = void(QM_HOST_REGISTER*)(int32_t kind);
using FinishedFn = void(QM_HOST_REGISTER*)();
// The stand-in's (stdcall): a monitor of its own, and setting its state.
using CreateFn = void*(__stdcall*)(int32_t canceled);
using SetCanceledFn = void(__stdcall*)(void* monitor, int32_t canceled);
// The open sections' depth now (0: none) and the kind the outermost was started with.
using SectionFn = int32_t(__stdcall*)(int32_t* kind);

template <class T>
T Bind(HMODULE coreIde, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(coreIde ? GetProcAddress(coreIde, name) : nullptr));
}

}  // namespace KibitzingMonitorDriver

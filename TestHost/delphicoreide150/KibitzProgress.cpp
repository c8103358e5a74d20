// Unit Pascppcominout: the progress procedure the C++ compiler calls during
// a background (kibitz) compile, held in the variable DoKibitzProgress. It
// lets the IDE process its messages (PeekMessageW, counted) and answers -1
// when the kibitzing monitor was canceled, 1 to go on.
// Signature (host register convention): function(Monitor): Integer, EAX =
// the monitor, result in EAX.
#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"
#include "coreide150/KibitzingMonitorDriver.h"

namespace {

uint32_t g_peekMessageCalls = 0;

// TKibitzingMonitor.Canceled, reached through coreide150.bpl's export as a
// package reaches its required package.
bool MonitorCanceled(void* monitor) {
  static const KibitzingMonitorDriver::CanceledFn canceled = KibitzingMonitorDriver::Bind<KibitzingMonitorDriver::CanceledFn>(
      GetModuleHandleW(L"coreide150.bpl"), KibitzingMonitorDriver::Export::Canceled);
  return canceled(monitor);
}

int32_t QM_HOST_REGISTER KibitzProgress(void* monitor) {
  ++g_peekMessageCalls;
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
  return MonitorCanceled(monitor) ? -1 : 1;
}

}  // namespace

using TKibitzProgress = int32_t(QM_HOST_REGISTER*)(void* monitor);

#ifndef QM_VARIANT
#define QM_VARIANT none
#endif
#define QM_STRINGIFY2(x) #x
#define QM_STRINGIFY(x) QM_STRINGIFY2(x)

extern "C" {

// The variant "kibitznil" stands for an IDE whose variable was never set.
TKibitzProgress PascppcominoutDoKibitzProgress =
    __builtin_strcmp(QM_STRINGIFY(QM_VARIANT), "kibitznil") == 0 ? nullptr : &KibitzProgress;

// Calls the progress procedure `count` times as the compiler does (not at
// all while the variable is nil); the sum of its answers.
int32_t __stdcall DelphiCoreRunKibitzProgress(void* monitor, int32_t count) {
  int32_t sum = 0;
  for (int32_t i = 0; i < count && PascppcominoutDoKibitzProgress; ++i) sum += PascppcominoutDoKibitzProgress(monitor);
  return sum;
}

uint32_t __stdcall DelphiCorePeekMessageCalls() { return g_peekMessageCalls; }

}  // extern "C"

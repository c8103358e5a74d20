// TKibitzingMonitor: monitors as {class reference, FCanceled}; monitored
// sections (Start/Finished), the outermost of which makes the current
// monitor; the class variable FUserCanCancelKibitzing.
#include "KibitzingMonitor.h"

#include <windows.h>

#include <type_traits>

#include "KibitzingMonitorDriver.h"

namespace {

struct TKibitzingMonitor {
  void* ClassRef;
  uint8_t FCanceled;
};

TKibitzingMonitor* g_current = nullptr;
int32_t g_depth = 0;
int32_t g_kind = 0;

}  // namespace

extern "C" {

uint8_t coreide_FUserCanCancelKibitzing = 0;

bool QM_HOST_REGISTER KibitzingMonitorCanceled(void* self) {
  return static_cast<TKibitzingMonitor*>(self)->FCanceled != 0;
}

void QM_HOST_REGISTER KibitzingMonitorStart(int32_t kind) {
  if (g_depth++ == 0) {
    g_current = new TKibitzingMonitor{nullptr, 0};
    g_kind = kind;
  }
}

void QM_HOST_REGISTER KibitzingMonitorFinished() {
  if (g_depth > 0 && --g_depth == 0) {
    delete g_current;
    g_current = nullptr;
    g_kind = 0;
  }
}

// ---- driver (KibitzingMonitorDriver.h) --------------------------------------------

void* __stdcall KibitzingMonitorCreate(int32_t canceled) {
  return new TKibitzingMonitor{nullptr, uint8_t(canceled ? 1 : 0)};
}

void __stdcall KibitzingMonitorSetCanceled(void* monitor, int32_t canceled) {
  static_cast<TKibitzingMonitor*>(monitor)->FCanceled = canceled ? 1 : 0;
}

int32_t __stdcall KibitzingMonitorSection(int32_t* kind) {
  if (kind) *kind = g_kind;
  return g_depth;
}

}  // extern "C"

namespace D = KibitzingMonitorDriver;
static_assert(std::is_same_v<decltype(&KibitzingMonitorCanceled), D::CanceledFn> &&
                  std::is_same_v<decltype(&KibitzingMonitorStart), D::StartFn> &&
                  std::is_same_v<decltype(&KibitzingMonitorFinished), D::FinishedFn> &&
                  std::is_same_v<decltype(&KibitzingMonitorCreate), D::CreateFn> &&
                  std::is_same_v<decltype(&KibitzingMonitorSetCanceled), D::SetCanceledFn> &&
                  std::is_same_v<decltype(&KibitzingMonitorSection), D::SectionFn>,
              "exports differ from KibitzingMonitorDriver.h");

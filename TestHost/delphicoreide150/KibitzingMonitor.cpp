// TKibitzingMonitor (temporary home, see KibitzingMonitor.h): a host object
// {class reference, FCanceled}; Canceled reads FCanceled.
#include "KibitzingMonitor.h"

#include <windows.h>

#include <cstdint>

namespace {

struct TKibitzingMonitor {
  void* ClassRef;
  uint8_t FCanceled;
};

}  // namespace

extern "C" {

bool QM_HOST_REGISTER KibitzingMonitorCanceled(void* self) {
  return static_cast<TKibitzingMonitor*>(self)->FCanceled != 0;
}

// Driver (stdcall): a monitor, and setting its state.
void* __stdcall KibitzingMonitorCreate(int32_t canceled) {
  return new TKibitzingMonitor{nullptr, uint8_t(canceled ? 1 : 0)};
}

void __stdcall KibitzingMonitorSetCanceled(void* monitor, int32_t canceled) {
  static_cast<TKibitzingMonitor*>(monitor)->FCanceled = canceled ? 1 : 0;
}

}  // extern "C"

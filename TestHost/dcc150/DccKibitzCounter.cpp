// The code-insight compile behind "CompilerGetUnitCmdLine": the compiler
// keeps, per unit, the source version it compiled last for code insight and
// compiles again (reaching the counter routine) only when the version the
// IDE names differs. Callers may be the main thread and the background
// parser, so the table is guarded.
#include <windows.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <type_traits>

#include "DccKibitzCounterDriver.h"

namespace {

std::mutex g_lock;
std::map<std::string, int32_t> g_compiledVersions;

}  // namespace

extern "C" {

uint32_t QM_HOST_REGISTER DccKibitzCounter() asm("_DccKibitzCounter");
extern uint32_t DccKibitzCompiles asm("_DccKibitzCompiles");

int32_t __stdcall DccGetUnitCmdLineWork(const char* unitName, int32_t sourceVersion)
    QM_HOST_SYMBOL(DccGetUnitCmdLineWork);
int32_t __stdcall DccGetUnitCmdLineWork(const char* unitName, int32_t sourceVersion) {
  std::lock_guard<std::mutex> guard(g_lock);
  const std::string name = unitName ? unitName : "";
  auto found = g_compiledVersions.find(name);
  if (found != g_compiledVersions.end() && found->second == sourceVersion) return 0;
  DccKibitzCounter();
  g_compiledVersions[name] = sourceVersion;
  return 1;
}

void __stdcall DccKibitzCompilesReset() {
  std::lock_guard<std::mutex> guard(g_lock);
  g_compiledVersions.clear();
  DccKibitzCompiles = 0;
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&DccKibitzCounter), DccKibitzCounterDriver::CounterFn>, "Counter");
static_assert(std::is_same_v<decltype(&DccKibitzCompilesReset), DccKibitzCounterDriver::ResetFn>, "Reset");

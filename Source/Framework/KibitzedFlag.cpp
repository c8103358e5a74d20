#include "Framework/KibitzedFlag.h"

namespace Quillmend {
namespace {

thread_local uint8_t g_suppressKibitzed = 0;

} // namespace

void QM_REGISTER SetAllowKibitzedFlag(uint8_t allow) { g_suppressKibitzed = allow ? 0 : 1; }

bool KibitzedSuppressed() { return g_suppressKibitzed != 0; }

bool TakeKibitzedSuppression() {
  if (!g_suppressKibitzed) return false;
  g_suppressKibitzed = 0;
  return true;
}

} // namespace Quillmend

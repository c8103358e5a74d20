// The screen's cursor (Forms.TScreen.Cursor): the setter records the value
// and how often it was set, so a test can tell what a command left behind.
// The Windows cursor itself is not touched (no display is needed).
#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "Common/HostLayout.h"
#include "ScreenCursorDriver.h"

namespace {

volatile LONG g_cursor = 0;  // crDefault
volatile LONG g_sets = 0;

}  // namespace

extern "C" {
void QM_HOST_REGISTER vcl_TScreen_SetCursor(void* self, uint32_t value) QM_HOST_SYMBOL(vcl_TScreen_SetCursor);
}

extern "C" {

// procedure TScreen.SetCursor(Value: TCursor) — EAX = Self, DX = the cursor (16 bits, signed).
void QM_HOST_REGISTER vcl_TScreen_SetCursor(void*, uint32_t value) {
  InterlockedExchange(&g_cursor, LONG(int16_t(value & 0xFFFF)));
  InterlockedIncrement(&g_sets);
}

int32_t __stdcall VclScreenCursor(int32_t* sets) {
  if (sets) *sets = g_sets;
  return g_cursor;
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&VclScreenCursor), ScreenCursorDriver::CursorFn>,
              "export differs from ScreenCursorDriver.h");

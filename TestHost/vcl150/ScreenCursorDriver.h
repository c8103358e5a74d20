// The screen's cursor (vcl150.bpl, ScreenCursor.cpp), declared once for the
// packages, tests and bds.exe that read it.
#pragma once

#include <windows.h>

#include <cstdint>

namespace ScreenCursorDriver {

namespace Export {
// procedure TScreen.SetCursor(Value: TCursor) — EAX = Self (the screen), DX = the cursor.
constexpr const char* SetCursor = "@Forms@TScreen@SetCursor$qqrx18System@Uitypes@TCursor";
constexpr const char* Cursor = "VclScreenCursor";
}  // namespace Export

constexpr int32_t crDefault = 0;
constexpr int32_t crHourGlass = -11;

// The stand-in's (stdcall): the cursor now; *sets (when given) counts the setter's calls.
using CursorFn = int32_t(__stdcall*)(int32_t* sets);

inline int32_t ScreenCursor(int32_t* sets = nullptr) {
  HMODULE vcl = GetModuleHandleW(L"vcl150.bpl");
  auto cursor = reinterpret_cast<CursorFn>(reinterpret_cast<void*>(vcl ? GetProcAddress(vcl, Export::Cursor) : nullptr));
  if (sets) *sets = 0;
  return cursor ? cursor(sets) : 0;
}

}  // namespace ScreenCursorDriver

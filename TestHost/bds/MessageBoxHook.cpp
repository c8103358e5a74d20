#include "MessageBoxHook.h"

#include <windows.h>

#include <cstring>

#include "HostApp.h"

namespace QmHost {

namespace {

int WINAPI RecordedMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
  App().Log(L"MESSAGEBOX owner=" + Hex(static_cast<unsigned>(reinterpret_cast<UINT_PTR>(owner))) +
            L" caption=" + JournalEscape(caption ? caption : L"") + L" style=" + Hex(style) +
            L" text=" + JournalEscape(text ? text : L""));
  return FirstButtonOf(style);
}

} // namespace

int FirstButtonOf(unsigned style) {
  switch (style & MB_TYPEMASK) {
    case MB_ABORTRETRYIGNORE: return IDABORT;
    case MB_YESNOCANCEL:
    case MB_YESNO: return IDYES;
    case MB_RETRYCANCEL: return IDRETRY;
    case MB_CANCELTRYCONTINUE: return IDCANCEL;
    default: return IDOK;  // MB_OK, MB_OKCANCEL
  }
}

bool InstallMessageBoxRecorder() {
  HMODULE user32 = LoadLibraryW(L"user32.dll");
  BYTE* entry = user32 ? reinterpret_cast<BYTE*>(GetProcAddress(user32, "MessageBoxW")) : nullptr;
  if (!entry) return false;
  BYTE jump[5];
  jump[0] = 0xE9;
  const INT_PTR offset = reinterpret_cast<BYTE*>(&RecordedMessageBoxW) - (entry + 5);
  std::memcpy(jump + 1, &offset, 4);
  DWORD oldProtect = 0;
  if (!VirtualProtect(entry, sizeof jump, PAGE_EXECUTE_READWRITE, &oldProtect)) return false;
  std::memcpy(entry, jump, sizeof jump);
  VirtualProtect(entry, sizeof jump, oldProtect, &oldProtect);
  FlushInstructionCache(GetCurrentProcess(), entry, sizeof jump);
  return true;
}

} // namespace QmHost

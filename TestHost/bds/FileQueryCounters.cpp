#include "FileQueryCounters.h"

#include <windows.h>

#include <cstring>

namespace QmHost {

namespace {

volatile LONG g_queries = 0;
volatile LONG g_findNext = 0;
bool g_started = false;

void Count() { InterlockedIncrement(&g_queries); }

bool ForReading(DWORD access) { return (access & (GENERIC_WRITE | FILE_WRITE_DATA | FILE_APPEND_DATA)) == 0; }

// The original of each hooked function: its entry past the 2-byte no-op.
#define QM_ORIGINAL(name) decltype(&::name) Original##name = nullptr
QM_ORIGINAL(GetFileAttributesW);
QM_ORIGINAL(GetFileAttributesA);
QM_ORIGINAL(GetFileAttributesExW);
QM_ORIGINAL(GetFileAttributesExA);
QM_ORIGINAL(FindFirstFileW);
QM_ORIGINAL(FindFirstFileA);
QM_ORIGINAL(FindFirstFileExW);
QM_ORIGINAL(FindFirstFileExA);
QM_ORIGINAL(CreateFileW);
QM_ORIGINAL(CreateFileA);
QM_ORIGINAL(FindNextFileW);

DWORD WINAPI CountedGetFileAttributesW(LPCWSTR p) { Count(); return OriginalGetFileAttributesW(p); }
DWORD WINAPI CountedGetFileAttributesA(LPCSTR p) { Count(); return OriginalGetFileAttributesA(p); }
BOOL WINAPI CountedGetFileAttributesExW(LPCWSTR p, GET_FILEEX_INFO_LEVELS l, LPVOID d) {
  Count();
  return OriginalGetFileAttributesExW(p, l, d);
}
BOOL WINAPI CountedGetFileAttributesExA(LPCSTR p, GET_FILEEX_INFO_LEVELS l, LPVOID d) {
  Count();
  return OriginalGetFileAttributesExA(p, l, d);
}
HANDLE WINAPI CountedFindFirstFileW(LPCWSTR p, LPWIN32_FIND_DATAW d) { Count(); return OriginalFindFirstFileW(p, d); }
HANDLE WINAPI CountedFindFirstFileA(LPCSTR p, LPWIN32_FIND_DATAA d) { Count(); return OriginalFindFirstFileA(p, d); }
HANDLE WINAPI CountedFindFirstFileExW(LPCWSTR p, FINDEX_INFO_LEVELS l, LPVOID d, FINDEX_SEARCH_OPS o, LPVOID f, DWORD x) {
  Count();
  return OriginalFindFirstFileExW(p, l, d, o, f, x);
}
HANDLE WINAPI CountedFindFirstFileExA(LPCSTR p, FINDEX_INFO_LEVELS l, LPVOID d, FINDEX_SEARCH_OPS o, LPVOID f, DWORD x) {
  Count();
  return OriginalFindFirstFileExA(p, l, d, o, f, x);
}
HANDLE WINAPI CountedCreateFileW(LPCWSTR p, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD c, DWORD f, HANDLE t) {
  if (ForReading(a)) Count();
  return OriginalCreateFileW(p, a, s, sa, c, f, t);
}
HANDLE WINAPI CountedCreateFileA(LPCSTR p, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD c, DWORD f, HANDLE t) {
  if (ForReading(a)) Count();
  return OriginalCreateFileA(p, a, s, sa, c, f, t);
}
BOOL WINAPI CountedFindNextFileW(HANDLE h, LPWIN32_FIND_DATAW d) {
  InterlockedIncrement(&g_findNext);
  return OriginalFindNextFileW(h, d);
}

// Hooks kernel32's entry of `name`: false when it is not hot-patchable.
template <class F>
bool Hook(const char* name, F replacement, F& original) {
  auto* entry = reinterpret_cast<uint8_t*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name));
  if (!entry || entry[0] != 0x8B || entry[1] != 0xFF) return false;
  for (int i = 1; i <= 5; ++i)
    if (entry[-i] != 0x90 && entry[-i] != 0xCC) return false;
  original = reinterpret_cast<F>(entry + 2);
  uint8_t code[7] = {0xE9, 0, 0, 0, 0, 0xEB, 0xF9};
  const int32_t displacement = int32_t(reinterpret_cast<uintptr_t>(replacement) - reinterpret_cast<uintptr_t>(entry));
  std::memcpy(code + 1, &displacement, 4);
  DWORD old;
  if (!VirtualProtect(entry - 5, 7, PAGE_EXECUTE_READWRITE, &old)) return false;
  std::memcpy(entry - 5, code, 7);
  VirtualProtect(entry - 5, 7, old, &old);
  FlushInstructionCache(GetCurrentProcess(), entry - 5, 7);
  return true;
}

#define QM_HOOK(name) Hook(#name, &Counted##name, Original##name)

} // namespace

bool StartCountingFileQueries() {
  if (g_started) return true;
  g_started = true;
  bool all = true;
  all &= QM_HOOK(GetFileAttributesW);
  all &= QM_HOOK(GetFileAttributesA);
  all &= QM_HOOK(GetFileAttributesExW);
  all &= QM_HOOK(GetFileAttributesExA);
  all &= QM_HOOK(FindFirstFileW);
  all &= QM_HOOK(FindFirstFileA);
  all &= QM_HOOK(FindFirstFileExW);
  all &= QM_HOOK(FindFirstFileExA);
  all &= QM_HOOK(CreateFileW);
  all &= QM_HOOK(CreateFileA);
  all &= QM_HOOK(FindNextFileW);
  return all;
}

FileQueryCounts FileQueries() { return FileQueryCounts{uint32_t(g_queries), uint32_t(g_findNext)}; }

} // namespace QmHost

#include "BitmapHandleCounter.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

namespace Vcl {

namespace {

// ---- the set of live bitmap handles (open addressing, linear probing) ----------
// Plain memory that no static destructor frees: DeleteObject may be called
// from other modules' unloading at the process's end.

constexpr uint32_t SetSize = 1u << 16;  // more than a process's GDI handle quota
uintptr_t* g_handles = nullptr;
int g_live = 0;
CRITICAL_SECTION g_lock;

uint32_t Home(uintptr_t handle) { return uint32_t((handle * 2654435761u) >> 16) & (SetSize - 1); }

void Insert(uintptr_t handle) {
  uint32_t i = Home(handle);
  while (g_handles[i] != 0) {
    if (g_handles[i] == handle) return;
    i = (i + 1) & (SetSize - 1);
  }
  g_handles[i] = handle;
  ++g_live;
}

bool Contains(uintptr_t handle) {
  for (uint32_t i = Home(handle); g_handles[i] != 0; i = (i + 1) & (SetSize - 1))
    if (g_handles[i] == handle) return true;
  return false;
}

void Remove(uintptr_t handle) {
  uint32_t i = Home(handle);
  while (g_handles[i] != handle) {
    if (g_handles[i] == 0) return;
    i = (i + 1) & (SetSize - 1);
  }
  g_handles[i] = 0;
  --g_live;
  // Entries of the cluster behind the hole move up where their probe allows.
  for (uint32_t j = (i + 1) & (SetSize - 1); g_handles[j] != 0; j = (j + 1) & (SetSize - 1)) {
    const uintptr_t moved = g_handles[j];
    const uint32_t home = Home(moved);
    const bool reachable = i <= j ? (home <= i || home > j) : (home <= i && home > j);
    if (reachable) {
      g_handles[i] = moved;
      g_handles[j] = 0;
      i = j;
    }
  }
}

void Track(void* handle) {
  if (!handle) return;
  EnterCriticalSection(&g_lock);
  Insert(reinterpret_cast<uintptr_t>(handle));
  LeaveCriticalSection(&g_lock);
}

// ---- hooks -----------------------------------------------------------------------
// A jump over the function's first instructions; the original runs from a
// copy of them followed by a jump back. Only starts known to be whole,
// position-independent instructions are taken.

struct TKnownStart {
  uint8_t Size;
  uint8_t Bytes[10];
};
const TKnownStart KnownStarts[] = {
    {5, {0x8B, 0xFF, 0x55, 0x8B, 0xEC}},                                // mov edi,edi; push ebp; mov ebp,esp
    {10, {0x8D, 0x4C, 0x24, 0x04, 0x83, 0xE4, 0xF0, 0xFF, 0x71, 0xFC}},  // lea ecx,[esp+4]; and esp,-16; push [ecx-4]
};

struct THook {
  const char* Name;
  void* Replacement;
  void** Original;
  uint8_t* Entry = nullptr;
  uint8_t Saved[10] = {};
  uint8_t Size = 0;
};

uint8_t* g_trampolines = nullptr;
bool g_counting = false;
bool g_failed = false;

void WriteCode(uint8_t* at, const void* bytes, size_t size) {
  DWORD old;
  VirtualProtect(at, size, PAGE_EXECUTE_READWRITE, &old);
  std::memcpy(at, bytes, size);
  VirtualProtect(at, size, old, &old);
  FlushInstructionCache(GetCurrentProcess(), at, size);
}

// A jump written at `at` that will run at `runsAt`.
void PutJump(uint8_t* at, const uint8_t* runsAt, const void* target) {
  at[0] = 0xE9;
  const int32_t rel = int32_t(reinterpret_cast<uintptr_t>(target) - reinterpret_cast<uintptr_t>(runsAt + 5));
  std::memcpy(at + 1, &rel, 4);
}

bool Install(THook& hook, uint8_t* trampoline) {
  auto* entry = reinterpret_cast<uint8_t*>(GetProcAddress(GetModuleHandleW(L"gdi32.dll"), hook.Name));
  if (!entry) return false;
  for (const TKnownStart& start : KnownStarts) {
    if (std::memcmp(entry, start.Bytes, start.Size) != 0) continue;
    hook.Entry = entry;
    hook.Size = start.Size;
    std::memcpy(hook.Saved, entry, start.Size);
    std::memcpy(trampoline, entry, start.Size);
    PutJump(trampoline + start.Size, trampoline + start.Size, entry + start.Size);
    *hook.Original = trampoline;
    uint8_t jump[10];
    std::memset(jump, 0x90, sizeof jump);
    PutJump(jump, entry, hook.Replacement);
    WriteCode(entry, jump, start.Size);
    return true;
  }
  return false;
}

// The originals, called through their trampolines.
using TCreateCompatibleBitmap = HBITMAP(WINAPI*)(HDC, int, int);
using TCreateBitmap = HBITMAP(WINAPI*)(int, int, UINT, UINT, const void*);
using TCreateBitmapIndirect = HBITMAP(WINAPI*)(const BITMAP*);
using TCreateDIBSection = HBITMAP(WINAPI*)(HDC, const BITMAPINFO*, UINT, void**, HANDLE, DWORD);
using TCreateDIBitmap = HBITMAP(WINAPI*)(HDC, const BITMAPINFOHEADER*, DWORD, const void*, const BITMAPINFO*, UINT);
using TCreateDiscardableBitmap = HBITMAP(WINAPI*)(HDC, int, int);
using TDeleteObject = BOOL(WINAPI*)(HGDIOBJ);

TCreateCompatibleBitmap g_createCompatibleBitmap;
TCreateBitmap g_createBitmap;
TCreateBitmapIndirect g_createBitmapIndirect;
TCreateDIBSection g_createDIBSection;
TCreateDIBitmap g_createDIBitmap;
TCreateDiscardableBitmap g_createDiscardableBitmap;
TDeleteObject g_deleteObject;

HBITMAP WINAPI CountedCreateCompatibleBitmap(HDC dc, int width, int height) {
  HBITMAP b = g_createCompatibleBitmap(dc, width, height);
  Track(b);
  return b;
}
HBITMAP WINAPI CountedCreateBitmap(int width, int height, UINT planes, UINT bits, const void* data) {
  HBITMAP b = g_createBitmap(width, height, planes, bits, data);
  Track(b);
  return b;
}
HBITMAP WINAPI CountedCreateBitmapIndirect(const BITMAP* info) {
  HBITMAP b = g_createBitmapIndirect(info);
  Track(b);
  return b;
}
HBITMAP WINAPI CountedCreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                                       DWORD offset) {
  HBITMAP b = g_createDIBSection(dc, info, usage, bits, section, offset);
  Track(b);
  return b;
}
HBITMAP WINAPI CountedCreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, DWORD init, const void* data,
                                     const BITMAPINFO* info, UINT usage) {
  HBITMAP b = g_createDIBitmap(dc, header, init, data, info, usage);
  Track(b);
  return b;
}
HBITMAP WINAPI CountedCreateDiscardableBitmap(HDC dc, int width, int height) {
  HBITMAP b = g_createDiscardableBitmap(dc, width, height);
  Track(b);
  return b;
}
BOOL WINAPI CountedDeleteObject(HGDIOBJ object) {
  const uintptr_t handle = reinterpret_cast<uintptr_t>(object);
  EnterCriticalSection(&g_lock);
  const bool tracked = handle && Contains(handle);
  LeaveCriticalSection(&g_lock);
  const BOOL deleted = g_deleteObject(object);
  if (deleted && tracked) {
    EnterCriticalSection(&g_lock);
    Remove(handle);
    LeaveCriticalSection(&g_lock);
  }
  return deleted;
}

THook g_hooks[] = {
    {"CreateCompatibleBitmap", reinterpret_cast<void*>(&CountedCreateCompatibleBitmap),
     reinterpret_cast<void**>(&g_createCompatibleBitmap)},
    {"CreateBitmap", reinterpret_cast<void*>(&CountedCreateBitmap), reinterpret_cast<void**>(&g_createBitmap)},
    {"CreateBitmapIndirect", reinterpret_cast<void*>(&CountedCreateBitmapIndirect),
     reinterpret_cast<void**>(&g_createBitmapIndirect)},
    {"CreateDIBSection", reinterpret_cast<void*>(&CountedCreateDIBSection),
     reinterpret_cast<void**>(&g_createDIBSection)},
    {"CreateDIBitmap", reinterpret_cast<void*>(&CountedCreateDIBitmap), reinterpret_cast<void**>(&g_createDIBitmap)},
    {"CreateDiscardableBitmap", reinterpret_cast<void*>(&CountedCreateDiscardableBitmap),
     reinterpret_cast<void**>(&g_createDiscardableBitmap)},
    // Last: the others' trampolines must exist before bitmaps can be deleted through it.
    {"DeleteObject", reinterpret_cast<void*>(&CountedDeleteObject), reinterpret_cast<void**>(&g_deleteObject)},
};

} // namespace

void StartCountingBitmapHandles() {
  if (g_counting || g_failed) return;
  InitializeCriticalSection(&g_lock);
  g_handles = static_cast<uintptr_t*>(VirtualAlloc(nullptr, SetSize * sizeof(uintptr_t), MEM_COMMIT | MEM_RESERVE,
                                                   PAGE_READWRITE));
  g_trampolines = static_cast<uint8_t*>(VirtualAlloc(nullptr, 0x1000, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
  if (!g_handles || !g_trampolines) {
    g_failed = true;
    return;
  }
  // The display makes bitmaps of its own the first time a screen context is
  // drawn through; they exist before counting starts.
  HDC screen = GetDC(nullptr);
  HBITMAP probe = CreateCompatibleBitmap(screen, 1, 1);
  HDC memory = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(memory, probe);
  const RECT one = {0, 0, 1, 1};
  FillRect(memory, &one, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(probe);
  ReleaseDC(nullptr, screen);
  // All or none: a start the counter does not know leaves gdi32 untouched.
  uint8_t* trampoline = g_trampolines;
  for (THook& hook : g_hooks) {
    auto* entry = reinterpret_cast<uint8_t*>(GetProcAddress(GetModuleHandleW(L"gdi32.dll"), hook.Name));
    bool known = false;
    for (const TKnownStart& start : KnownStarts) known |= entry && std::memcmp(entry, start.Bytes, start.Size) == 0;
    if (!known) {
      g_failed = true;
      return;
    }
  }
  for (THook& hook : g_hooks) {
    Install(hook, trampoline);
    trampoline += 32;
  }
  g_counting = true;
}

void StopCountingBitmapHandles() {
  if (!g_counting) return;
  for (THook& hook : g_hooks)
    if (hook.Entry) WriteCode(hook.Entry, hook.Saved, hook.Size);
  g_counting = false;
}

int LiveBitmapHandles() {
  if (!g_counting) return -1;
  EnterCriticalSection(&g_lock);
  const int live = g_live;
  LeaveCriticalSection(&g_lock);
  return live;
}

} // namespace Vcl

#include "Patches/IdeCorrections/ImageListBitmapCache.h"

#include <windows.h>

#include "Framework/HostFinally.h"
#include "Framework/HostGraphics.h"

namespace Quillmend {

namespace {

// Plain data: nothing here is destroyed at the library's unload, since lists
// that outlive the unit's finalization still release through it.
volatile LONG g_users = 0;
CRITICAL_SECTION g_lock;
bool g_lockReady = false;
TImageListBitmapCacheRec* g_items = nullptr;
int32_t g_count = 0;
int32_t g_length = 0;

constexpr DWORD SpinCount = 4000;

void Resize(int32_t length) {
  HANDLE heap = GetProcessHeap();
  if (length == 0) {
    if (g_items) HeapFree(heap, 0, g_items);
    g_items = nullptr;
  } else {
    const SIZE_T bytes = SIZE_T(length) * sizeof(TImageListBitmapCacheRec);
    void* items = g_items ? HeapReAlloc(heap, HEAP_ZERO_MEMORY, g_items, bytes) : HeapAlloc(heap, HEAP_ZERO_MEMORY, bytes);
    if (!items) RaiseHostException(L"Out of memory");
    g_items = static_cast<TImageListBitmapCacheRec*>(items);
  }
  g_length = length;
}

void Leave(void*) { LeaveCriticalSection(&g_lock); }

// Runs body(data) under the cache's lock; the lock is left also when a host
// call inside raises.
void Locked(void (*body)(void*), void* data) {
  EnterCriticalSection(&g_lock);
  HostTryFinally(body, data, &Leave);
}

struct TAcquire {
  int32_t Width, Height;
  void* Bitmap;
};

struct TNewBitmap {
  int32_t Width, Height;
  HDC Screen;
  void* Bitmap;
  bool Made;
};

void MakeBitmap(void* data) {
  auto* n = static_cast<TNewBitmap*>(data);
  n->Bitmap = NewHostBitmap();
  HostSetBitmapHandle(n->Bitmap, CreateCompatibleBitmap(n->Screen, n->Width, n->Height));
  void* canvas = HostBitmapCanvas(n->Bitmap);
  HostSetBrushColor(canvas, 0);
  HostFillRect(canvas, THostRect{0, 0, n->Width, n->Height});
  n->Made = true;
}

// The screen context goes back also on failure, and so does a bitmap half made.
void FinishBitmap(void* data) {
  auto* n = static_cast<TNewBitmap*>(data);
  ReleaseDC(nullptr, n->Screen);
  if (!n->Made && n->Bitmap) HostFree(n->Bitmap);
}

void AcquireLocked(void* data) {
  auto* a = static_cast<TAcquire*>(data);
  for (int32_t i = 0; i < g_count; ++i) {
    void* bitmap = g_items[i].Bitmap;
    if (HostGraphicWidth(bitmap) == a->Width && HostGraphicHeight(bitmap) == a->Height) {
      ++g_items[i].RefCount;
      a->Bitmap = bitmap;
      return;
    }
  }
  TNewBitmap n{a->Width, a->Height, GetDC(nullptr), nullptr, false};
  HostTryFinally(&MakeBitmap, &n, &FinishBitmap);
  // Room first: the array starts empty and doubles.
  if (g_count + 1 >= g_length) Resize(2 * (g_count + 1));
  g_items[g_count++] = TImageListBitmapCacheRec{n.Bitmap, 1};
  a->Bitmap = n.Bitmap;
}

struct TRelease {
  void* Bitmap;
  bool Cached;
};

void ReleaseLocked(void* data) {
  auto* r = static_cast<TRelease*>(data);
  int32_t i = g_count - 1;
  while (i >= 0 && g_items[i].Bitmap != r->Bitmap) --i;
  if (i < 0) {
    r->Cached = false;
    HostFree(r->Bitmap);  // the list's own bitmap from before the cache
    return;
  }
  r->Cached = true;
  if (g_items[i].RefCount >= 2) {
    --g_items[i].RefCount;
    return;
  }
  const int32_t last = g_count - 1;
  if (i != last) g_items[i] = g_items[last];
  g_items[last] = TImageListBitmapCacheRec{nullptr, 0};
  g_count = last;
  HostFree(r->Bitmap);
  if (g_count < g_length / 3) Resize(g_count);
}

void FreeAllLocked(void*) {
  // A user that came since the count reached zero keeps what it holds.
  if (g_users != 0) return;
  while (g_count > 0) {
    void* bitmap = g_items[--g_count].Bitmap;
    g_items[g_count] = TImageListBitmapCacheRec{nullptr, 0};
    HostFree(bitmap);
  }
  Resize(0);
}

} // namespace

void TImageListBitmapCache::Initialize() {
  if (g_lockReady) return;
  InitializeCriticalSectionAndSpinCount(&g_lock, SpinCount);
  g_lockReady = true;
}

void TImageListBitmapCache::AddUser() { InterlockedIncrement(&g_users); }

void TImageListBitmapCache::ReleaseUser() {
  if (InterlockedDecrement(&g_users) == 0) Locked(&FreeAllLocked, nullptr);
}

void* TImageListBitmapCache::AcquireBitmap(int32_t width, int32_t height) {
  TAcquire a{width, height, nullptr};
  Locked(&AcquireLocked, &a);
  return a.Bitmap;
}

bool TImageListBitmapCache::ReleaseBitmap(void*& bitmap) {
  TRelease r{bitmap, false};
  bitmap = nullptr;
  Locked(&ReleaseLocked, &r);
  return r.Cached;
}

void TImageListBitmapCache::Finalize() {
  if (!g_lockReady || g_users != 0) return;
  Resize(0);
  g_count = 0;
  DeleteCriticalSection(&g_lock);
  g_lockReady = false;
}

int32_t TImageListBitmapCache::Users() { return g_users; }
int32_t TImageListBitmapCache::Count() { return g_count; }
int32_t TImageListBitmapCache::Length() { return g_length; }

int32_t TImageListBitmapCache::RefCountOf(const void* bitmap) {
  for (int32_t i = 0; i < g_count; ++i)
    if (g_items[i].Bitmap == bitmap) return g_items[i].RefCount;
  return 0;
}

} // namespace Quillmend

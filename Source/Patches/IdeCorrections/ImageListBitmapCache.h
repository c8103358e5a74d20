// One scratch bitmap per image size, shared by the image lists of that size.
// An image list draws through its bitmap (the images are kept elsewhere), so
// lists of one size can share one. Class-level state only: the users count
// (image lists that take part), a critical section, and an array of entries
// with a reference count each; the array's length is kept apart from the
// number of entries used.
#pragma once

#include <cstdint>

namespace Quillmend {

struct TImageListBitmapCacheRec {
  void* Bitmap;      // a host bitmap object
  int32_t RefCount;  // image lists holding it
};

class TImageListBitmapCache {
public:
  // The critical section (spin count 4000); once per process.
  static void Initialize();
  // Interlocked; a list takes part in the cache.
  static void AddUser();
  // Interlocked; the last user gone, every cached bitmap is freed and the
  // array emptied (under the lock, unless a new user came meanwhile).
  static void ReleaseUser();
  // The shared bitmap of that size, reference counted; a new one (a
  // screen-compatible bitmap filled black) when there is none.
  static void* AcquireBitmap(int32_t width, int32_t height);
  // Drops one reference to the bitmap in `bitmap`; a bitmap the cache does
  // not hold (a list's private one) is freed. True when it was cached.
  // `bitmap` is null afterwards in every case.
  static bool ReleaseBitmap(void*& bitmap);
  // At unit finalization: the array and the lock go only when no list uses
  // the cache any more; otherwise they stay for the users' last releases.
  static void Finalize();

  static int32_t Users();
  static int32_t Count();   // entries used
  static int32_t Length();  // entries allocated
  // The reference count of a cached bitmap; 0 when it is not cached.
  static int32_t RefCountOf(const void* bitmap);
};

} // namespace Quillmend

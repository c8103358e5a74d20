// The host's memory manager: a private heap.
#include <windows.h>

#include "RtlServices.h"

HANDLE QmRtl::Heap() {
  static HANDLE heap = HeapCreate(0, 0, 0);
  return heap;
}

extern "C" void* QM_HOST_REGISTER RtlGetMem(int size) {
  if (size <= 0) return nullptr;
  QmRtl::NoteAllocation();
  void* p = HeapAlloc(QmRtl::Heap(), 0, static_cast<SIZE_T>(size));
  // The host reports an exhausted heap as a fatal run-time error.
  if (!p) RaiseException(STATUS_NO_MEMORY, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  return p;
}

extern "C" int QM_HOST_REGISTER RtlFreeMem(void* p) {
  if (!p) return 0;
  // A pointer the heap does not know (double free, foreign memory) is the
  // host's "Invalid pointer operation", never silently ignored.
  if (!HeapValidate(QmRtl::Heap(), 0, p) || !HeapFree(QmRtl::Heap(), 0, p))
    RtlRaiseNew(rtl_EInvalidPointer_Class, L"Invalid pointer operation");
  QmRtl::NoteRelease();
  return 0;
}

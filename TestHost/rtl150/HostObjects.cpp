// TObject's root methods and the base exception class of the stand-in host
// run-time. Virtual calls go through the class records, so classes built
// elsewhere in the host layout (descendants of Exception) work too.
#include <windows.h>

#include <cstring>

#include "RtlInternal.h"

using namespace QmHost;

namespace {

using NewInstanceFn = void*(QM_HOST_REGISTER*)(void* classRef);
using FreeInstanceFn = void(QM_HOST_REGISTER*)(void* self);
using DestroyFn = void(QM_HOST_REGISTER*)(void* self, int outermost);
using HookFn = void(QM_HOST_REGISTER*)(void* self);

void* ClassOf(void* self) { return *static_cast<void**>(self); }

wchar_t** MessageField(void* self) {
  return reinterpret_cast<wchar_t**>(static_cast<char*>(self) + kExceptionMessageOffset);
}

} // namespace

extern "C" {

int QM_HOST_REGISTER RtlObjectEquals(void* self, void* other) { return self == other; }

int QM_HOST_REGISTER RtlObjectGetHashCode(void* self) { return static_cast<int>(reinterpret_cast<INT_PTR>(self)); }

// function ToString: string -> the result variable arrives as a hidden argument.
void QM_HOST_REGISTER RtlObjectToString(void* self, wchar_t** result) {
  const unsigned char* name = static_cast<const unsigned char*>(VmtSlot(ClassOf(self), kVmtClassName));
  wchar_t* text = RtlNewUnicodeString(name[0]);
  for (int i = 0; i < name[0]; ++i) text[i] = name[1 + i];
  RtlUStrClr(result);
  *result = text;
}

int QM_HOST_REGISTER RtlObjectSafeCallException(void*, void*, void*) { return static_cast<int>(0x8000FFFF); }

void QM_HOST_REGISTER RtlObjectAfterConstruction(void*) {}

void QM_HOST_REGISTER RtlObjectBeforeDestruction(void*) {}

void QM_HOST_REGISTER RtlObjectDispatch(void*, void*) {}

void QM_HOST_REGISTER RtlObjectDefaultHandler(void*, void*) {}

void* QM_HOST_REGISTER RtlObjectNewInstance(void* classRef) {
  int size = static_cast<int>(reinterpret_cast<INT_PTR>(VmtSlot(classRef, kVmtInstanceSize)));
  void* self = RtlGetMem(size);
  std::memset(self, 0, static_cast<size_t>(size));
  *static_cast<void**>(self) = classRef;
  // The interface slots of every class in the chain get their method tables.
  for (void* c = classRef; c; c = VmtSlot(c, kVmtParent) ? *static_cast<void**>(VmtSlot(c, kVmtParent)) : nullptr) {
    const char* table = static_cast<const char*>(VmtSlot(c, kVmtIntfTable));
    if (!table) continue;
    int count = *reinterpret_cast<const int*>(table);
    for (int i = 0; i < count; ++i) {
      const char* entry = table + 4 + 28 * i;  // {IID, method table, offset, getter}
      void* methods = *reinterpret_cast<void* const*>(entry + 16);
      int offset = *reinterpret_cast<const int*>(entry + 20);
      if (methods) *reinterpret_cast<void**>(static_cast<char*>(self) + offset) = methods;
    }
  }
  return self;
}

void QM_HOST_REGISTER RtlObjectFreeInstance(void* self) { RtlFreeMem(self); }

// Destructors take DL != 0 on the outermost call: that call runs
// BeforeDestruction first and FreeInstance last.
void QM_HOST_REGISTER RtlObjectDestroy(void* self, int outermost) {
  if (outermost & 0xFF) {
    reinterpret_cast<HookFn>(VmtSlot(ClassOf(self), kVmtBeforeDestruction))(self);
    reinterpret_cast<FreeInstanceFn>(VmtSlot(ClassOf(self), kVmtFreeInstance))(self);
  }
}

void QM_HOST_REGISTER RtlExceptionDestroy(void* self, int outermost) {
  if (outermost & 0xFF) reinterpret_cast<HookFn>(VmtSlot(ClassOf(self), kVmtBeforeDestruction))(self);
  RtlUStrClr(MessageField(self));
  if (outermost & 0xFF) reinterpret_cast<FreeInstanceFn>(VmtSlot(ClassOf(self), kVmtFreeInstance))(self);
}

void QM_HOST_REGISTER RtlObjectFree(void* self) {
  if (!self) return;
  reinterpret_cast<DestroyFn>(VmtSlot(ClassOf(self), kVmtDestroy))(self, 1);
}

// constructor Create(const Msg: string). DL != 0: EAX is a class reference
// and a new instance is made; DL = 0: EAX is an instance a descendant's
// constructor already made.
void* QM_HOST_REGISTER RtlExceptionCreate(void* classOrSelf, int alloc, const wchar_t* message) {
  void* self = classOrSelf;
  if (alloc & 0xFF) self = reinterpret_cast<NewInstanceFn>(VmtSlot(classOrSelf, kVmtNewInstance))(classOrSelf);
  RtlUStrAsg(MessageField(self), message);
  if (alloc & 0xFF) reinterpret_cast<HookFn>(VmtSlot(ClassOf(self), kVmtAfterConstruction))(self);
  return self;
}

} // extern "C"

// Reference-counted UTF-16 strings in the host's layout.
#include <windows.h>

#include <cstring>

#include "RtlInternal.h"

using QmHost::StrHeader;
using QmHost::StrRec;

namespace {

void Release(const wchar_t* s) {
  if (!s) return;
  StrRec* h = StrHeader(s);
  if (h->refCount < 0) return;  // literal: never freed
  if (h->refCount == 0) RtlRaiseNew(rtl_EInvalidPointer_Class, L"Invalid pointer operation");
  if (InterlockedDecrement(reinterpret_cast<LONG*>(&h->refCount)) == 0) RtlFreeMem(h);
}

} // namespace

extern "C" wchar_t* QM_HOST_REGISTER RtlNewUnicodeString(int length) {
  if (length <= 0) return nullptr;
  const int bytes = static_cast<int>(sizeof(StrRec)) + (length + 1) * 2;
  StrRec* h = static_cast<StrRec*>(RtlGetMem(bytes));
  h->codePage = QmHost::kUnicodeCodePage;
  h->elemSize = 2;
  h->refCount = 1;
  h->length = length;
  wchar_t* s = reinterpret_cast<wchar_t*>(h + 1);
  std::memset(s, 0, (static_cast<size_t>(length) + 1) * 2);
  return s;
}

extern "C" wchar_t** QM_HOST_REGISTER RtlUStrClr(wchar_t** var) {
  wchar_t* old = *var;
  *var = nullptr;
  Release(old);
  return var;
}

extern "C" wchar_t** QM_HOST_REGISTER RtlUStrAsg(wchar_t** dest, const wchar_t* source) {
  wchar_t* value = const_cast<wchar_t*>(source);
  if (source) {
    StrRec* h = StrHeader(source);
    if (h->refCount < 0) {
      // A literal lives in someone's constant data: the variable gets a copy.
      value = RtlNewUnicodeString(h->length);
      std::memcpy(value, source, static_cast<size_t>(h->length) * 2);
    } else {
      InterlockedIncrement(reinterpret_cast<LONG*>(&h->refCount));
    }
  }
  wchar_t* old = *dest;
  *dest = value;
  Release(old);
  return dest;
}

extern "C" void QM_HOST_REGISTER RtlUStrAddRef(const wchar_t* s) {
  if (!s) return;
  StrRec* h = StrHeader(s);
  if (h->refCount >= 0) InterlockedIncrement(reinterpret_cast<LONG*>(&h->refCount));
}

// Raising host exceptions, and the two variables through which the
// application's global exception handler is reached.
#include <windows.h>

#include "RtlInternal.h"

extern "C" {

// {Code, Data}: the application's global exception handler, called as
// Code(EAX = Data, EDX = Sender). Installed by the stand-in IDE at start-up;
// both null in bare runs.
void* rtl_ApplicationHandleException[2] QM_HOST_SYMBOL(rtl_ApplicationHandleException) = {nullptr, nullptr};

// The exception object a caller reports to that handler, set around the
// call. Our stand-in has no "current exception" of its own for C++ callers.
void* rtl_ExceptObjectForHandler QM_HOST_SYMBOL(rtl_ExceptObjectForHandler) = nullptr;

void QM_HOST_REGISTER RtlRaiseExcept(void* object) {
  ULONG_PTR params[QmHost::kHostExceptionParamCount] = {};
  params[0] = reinterpret_cast<ULONG_PTR>(__builtin_return_address(0));
  params[1] = reinterpret_cast<ULONG_PTR>(object);
  RaiseException(QmHost::kHostExceptionCode, EXCEPTION_NONCONTINUABLE, QmHost::kHostExceptionParamCount, params);
}

} // extern "C"

void RtlRaiseNew(void* classRef, const wchar_t* message) {
  int length = static_cast<int>(lstrlenW(message));
  wchar_t* text = RtlNewUnicodeString(length);
  CopyMemory(text, message, static_cast<SIZE_T>(length) * 2);
  void* object = RtlExceptionCreate(classRef, 1, text);
  RtlUStrClr(&text);
  RtlRaiseExcept(object);
  __builtin_unreachable();
}

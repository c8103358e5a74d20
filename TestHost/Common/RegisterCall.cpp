#include "RegisterCall.h"

#include <windows.h>

#include <cstdio>

// Read by RegisterCall.S straight from the thread's TEB.
extern "C" DWORD QmRegisterCallTls asm("_QmRegisterCallTls");
DWORD QmRegisterCallTls = TLS_OUT_OF_INDEXES;

extern "C" void QmRegisterCallPrepare(QmRegisterCall* call) {
  static const DWORD index = [] {
    DWORD allocated = TlsAlloc();
    if (allocated == TLS_OUT_OF_INDEXES) {
      std::fprintf(stderr, "checked register calls: no TLS index\n");
      ExitProcess(3);
    }
    QmRegisterCallTls = allocated;
    return allocated;
  }();
  TlsSetValue(index, call);
}

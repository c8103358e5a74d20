// TApplication.ProcessMessages (MessagePumpDriver.h): the calling thread's
// pending messages taken and dispatched, each call counted. A thread
// message QmStandInInvoke carries a procedure to run (wParam) with its
// argument (lParam): how the stand-in queues what a click on a window would
// do, without a window.
#include <windows.h>

#include <atomic>
#include <type_traits>

#include "MessagePumpDriver.h"
#include "VclInternal.h"

using namespace MessagePumpDriver;

namespace {

std::atomic<int> g_pumps{0};

UINT InvokeMessage() {
  static const UINT message = RegisterWindowMessageW(InvokeMessageName);
  return message;
}

} // namespace

extern "C" {

void QM_HOST_REGISTER vcl_TApplication_ProcessMessages(void* application)
    QM_HOST_SYMBOL(vcl_TApplication_ProcessMessages);
void QM_HOST_REGISTER vcl_TApplication_ProcessMessages(void*) {
  ++g_pumps;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (!msg.hwnd && msg.message == InvokeMessage()) {
      reinterpret_cast<InvokedFn>(msg.wParam)(reinterpret_cast<void*>(msg.lParam));
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

int __stdcall VclPumps() { return g_pumps.load(); }

int __stdcall VclPostInvoke(InvokedFn procedure, void* argument) {
  return PostThreadMessageW(GetCurrentThreadId(), InvokeMessage(), reinterpret_cast<WPARAM>(procedure),
                            reinterpret_cast<LPARAM>(argument))
             ? 1
             : 0;
}

int __stdcall VclDropInvokes() {
  int dropped = 0;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, InvokeMessage(), InvokeMessage(), PM_REMOVE)) ++dropped;
  return dropped;
}

} // extern "C"

static_assert(std::is_same_v<decltype(&VclPumps), PumpsFn>, "Pumps");
static_assert(std::is_same_v<decltype(&VclPostInvoke), PostInvokeFn>, "PostInvoke");
static_assert(std::is_same_v<decltype(&VclDropInvokes), DropInvokesFn>, "DropInvokes");

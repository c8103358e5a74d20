// The host's try/finally for stand-in code: cleanup that runs after the body
// returns, or while a host exception raised inside the body (its own or one
// from code it called) unwinds past on its way to a handler further up. The
// host unwinds by structured exceptions, which skip C++ destructors; state a
// stand-in routine must release around a call that may raise is released
// here instead. No C++ exception may leave body; cleanup must not raise.
#pragma once

extern "C" void QmStandInTryFinally(void (*body)(void*), void* data, void (*cleanup)(void*));

namespace QmHost {

template <class TBody, class TCleanup>
void StandInTryFinally(TBody&& body, TCleanup&& cleanup) {
  struct TCall {
    TBody* Body;
    TCleanup* Cleanup;
  } call{&body, &cleanup};
  QmStandInTryFinally([](void* data) { (*static_cast<TCall*>(data)->Body)(); }, &call,
                      [](void* data) { (*static_cast<TCall*>(data)->Cleanup)(); });
}

} // namespace QmHost

// The host's try/finally: cleanup that runs whether the protected code
// returns or a structured exception (a host exception, code 0x0EEDFADE)
// passes through on its way to a handler further up.
//
// Our C++ code unwinds with DWARF tables, the host with SEH: a host exception
// raised in host code that we called leaves our frames without running a
// single C++ destructor, so a scope guard cannot undo module state. The frame
// here is an SEH registration record on FS:[0] around the call; its handler
// runs the cleanup when the system unwinds past it, then lets the exception
// go on unchanged.
#pragma once

#include <exception>
#include <type_traits>
#include <utility>

// body(data), then cleanup(data) exactly once: after body returns, or while
// a structured exception raised inside body unwinds past this frame (the
// cleanup then runs before the handler that caught the exception resumes).
// During the search for a handler the cleanup does not run, so an exception
// that is dismissed there and continues execution leaves body running. The
// exception itself is neither caught nor altered. Both functions are
// __cdecl; cleanup must not raise anything and must not depend on stack
// memory below the caller of body. No C++ exception may leave body.
extern "C" void QmHostTryFinally(void (*body)(void*), void* data, void (*cleanup)(void*));

namespace Quillmend {

inline void HostTryFinally(void (*body)(void*), void* data, void (*cleanup)(void*)) {
  QmHostTryFinally(body, data, cleanup);
}

// The same for callables. A C++ exception leaving body is held while the
// frame closes and the cleanup runs, then thrown on to the caller; cleanup
// must be noexcept.
template <class TBody, class TCleanup>
void HostTryFinally(TBody&& body, TCleanup&& cleanup) {
  static_assert(std::is_nothrow_invocable_v<TCleanup&>, "cleanup must not throw");
  struct TCall {
    std::remove_reference_t<TBody>* Body;
    std::remove_reference_t<TCleanup>* Cleanup;
    std::exception_ptr Error;
  } call{&body, &cleanup, nullptr};
  QmHostTryFinally(
      [](void* data) {
        auto* c = static_cast<TCall*>(data);
        // A C++ exception must not unwind through the assembly frame.
        try {
          (*c->Body)();
        } catch (...) {
          c->Error = std::current_exception();
        }
      },
      &call, [](void* data) { (*static_cast<TCall*>(data)->Cleanup)(); });
  if (call.Error) std::rethrow_exception(call.Error);
}

}  // namespace Quillmend

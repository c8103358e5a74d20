// The host's try/except: a structured-exception frame that catches a host
// exception (code 0x0EEDFADE) or an error-severity system exception (access
// violation, ...) raised inside the protected code, unwinds to itself (the
// host try/finally frames in between run their cleanups) and resumes after
// the call. The caught host exception object then belongs to the caller,
// who hands it on or frees it, as the host does after an except block.
//
// Frames between the raise and this frame are left the SEH way: no C++
// destructor runs there. Warnings and informational codes (breakpoints,
// debug output) pass by.
#pragma once

#include <exception>
#include <type_traits>
#include <utility>

namespace Quillmend {

// What was caught.
struct THostCaught {
  unsigned long Code = 0;   // 0x0EEDFADE for a host exception
  void* Object = nullptr;   // the host exception object (null for system exceptions)
  void* Address = nullptr;  // the raise address, or where a system exception happened
};

}  // namespace Quillmend

// body(data) inside the frame: 0 when it returned, 1 when an exception was
// caught (then *caught is filled). body must not let a C++ exception out.
extern "C" int QmHostTryExcept(void (*body)(void*), void* data, Quillmend::THostCaught* caught);
// The same, catching only exceptions of this code (an access violation, say);
// every other exception passes the frame unchanged, as if it were not there.
extern "C" int QmHostTryExceptCode(void (*body)(void*), void* data, Quillmend::THostCaught* caught,
                                   unsigned long code);

namespace Quillmend {

// The same for callables: true when body returned, false when an exception
// was caught. A C++ exception leaving body is held while the frame closes,
// then thrown on to the caller.
// Catching only exceptions of `code` (0: every one HostTryExcept catches).
template <class TBody>
bool HostTryExceptOnly(unsigned long code, TBody&& body, THostCaught& caught) {
  struct TCall {
    std::remove_reference_t<TBody>* Body;
    std::exception_ptr Error;
  } call{&body, nullptr};
  caught = THostCaught{};
  const int raised = QmHostTryExceptCode(
      [](void* data) {
        auto* c = static_cast<TCall*>(data);
        // A C++ exception must not unwind through the assembly frame.
        try {
          (*c->Body)();
        } catch (...) {
          c->Error = std::current_exception();
        }
      },
      &call, &caught, code);
  if (call.Error) std::rethrow_exception(call.Error);
  return raised == 0;
}

template <class TBody>
bool HostTryExcept(TBody&& body, THostCaught& caught) {
  return HostTryExceptOnly(0, std::forward<TBody>(body), caught);
}

}  // namespace Quillmend

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

namespace Quillmend {

// The same for callables: true when body returned, false when an exception
// was caught. A C++ exception leaving body is held while the frame closes,
// then thrown on to the caller.
template <class TBody>
bool HostTryExcept(TBody&& body, THostCaught& caught) {
  struct TCall {
    std::remove_reference_t<TBody>* Body;
    std::exception_ptr Error;
  } call{&body, nullptr};
  caught = THostCaught{};
  const int raised = QmHostTryExcept(
      [](void* data) {
        auto* c = static_cast<TCall*>(data);
        // A C++ exception must not unwind through the assembly frame.
        try {
          (*c->Body)();
        } catch (...) {
          c->Error = std::current_exception();
        }
      },
      &call, &caught);
  if (call.Error) std::rethrow_exception(call.Error);
  return raised == 0;
}

}  // namespace Quillmend

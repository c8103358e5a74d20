// Calls a function inside a structured-exception frame, the way the host's
// run-time catches exceptions: a handler on the FS:[0] chain that recognises
// host exceptions (code 0x0EEDFADE, object in parameter 1), unwinds to the
// frame and resumes after the call. Other error-severity exceptions (access
// violations and the like) are caught too and reported with their code;
// breakpoints, single steps and debug prints are left to the system.
//
// Frames between the guard and the raise are left the SEH way: C++
// destructors in them do not run. Guard only calls into foreign code.
#pragma once

#include <windows.h>

#include <string>
#include <type_traits>

namespace QmHost {

struct HostRtl;

struct HostExceptionReport {
  DWORD code = 0;               // exception code (0x0EEDFADE for host exceptions)
  void* address = nullptr;      // raise address (host) or faulting address
  std::wstring className;       // host class name, or EAccessViolation / EExternalException / C++ exception
  std::wstring message;         // host message, or a description of the system exception
  bool IsHostException() const;
  std::wstring Text() const;    // "<class>: <message>"
};

// Internal state handed to the assembly frame; not for direct use.
struct HostGuardState {
  HostExceptionReport* report;
  void* hostObject;
};

extern "C" int QmHostGuardedCall(void (*fn)(void*), void* arg, HostGuardState* state);

// Runs f(). Returns true if it returned normally; false if an exception was
// caught, with report filled. A caught host exception object is freed
// through rtl (when given) after the unwind, as the host's run-time does.
template <class F>
bool CallHostGuarded(F&& f, HostExceptionReport& report, const HostRtl* rtl = nullptr);

// Frees a caught host exception object (defined in HostGuard.cpp).
void ReleaseCaughtHostObject(const HostRtl* rtl, void* object);
// Turns a C++ exception that reached a guard into a report.
void ReportCppException(HostExceptionReport& report, const char* what);

template <class F>
bool CallHostGuarded(F&& f, HostExceptionReport& report, const HostRtl* rtl) {
  using Fn = std::remove_reference_t<F>;
  struct Call {
    Fn* fn;
    HostExceptionReport* report;
    bool cppFailed;
  } call{&f, &report, false};
  auto thunk = [](void* p) {
    Call* c = static_cast<Call*>(p);
    // A C++ exception must not unwind through the assembly frame.
    try {
      (*c->fn)();
    } catch (const std::exception& e) {
      ReportCppException(*c->report, e.what());
      c->cppFailed = true;
    } catch (...) {
      ReportCppException(*c->report, "unknown exception");
      c->cppFailed = true;
    }
  };
  report = HostExceptionReport{};
  HostGuardState state{&report, nullptr};
  int caught = QmHostGuardedCall(thunk, &call, &state);
  if (caught) {
    ReleaseCaughtHostObject(rtl, state.hostObject);
    return false;
  }
  return !call.cppFailed;
}

} // namespace QmHost

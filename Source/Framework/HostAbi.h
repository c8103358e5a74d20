// The host's ABI in one place: calling convention, strings, class layout and
// exceptions of the IDE's run-time library. Patches use this layer; they do
// not reinvent it.
//
// The host run-time ("rtl150.bpl") is found at run time. Quillmend.dll also
// loads in programs without it (test programs); then host strings are built
// in our own memory as literals (reference count -1) and host exceptions are
// raised as a bare structured exception with the host's code: no exception
// object (parameter 1 is null) and parameter 2 pointing at the message text
// (UTF-16, zero-terminated, deliberately never freed).
#pragma once

#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <type_traits>
#include <utility>

#include "Hooking/EngineError.h"

// The host's register calling convention: EAX, EDX, ECX, then the remaining
// arguments on the stack (pushed left to right, so declare them in reverse
// order when there are five or more); the callee removes them.
#define QM_REGISTER __attribute__((regparm(3), stdcall))

namespace Quillmend {

// ---- host run-time ----------------------------------------------------------

// Structured-exception code of a host exception; parameter 0 is the raise
// address, parameter 1 the exception object.
constexpr unsigned long HostExceptionCode = 0x0EEDFADE;
constexpr unsigned long HostExceptionParamCount = 7;

// True when the host run-time module is loaded in this process.
bool HostRuntimePresent();

// ---- host strings (UnicodeString) --------------------------------------------
// A host string points at its first UTF-16 character; the header in front of
// it holds, from -12: code page, element size, reference count, length.

namespace HostStringLayout {
constexpr int CodePage = -12;     // 16 bits, 1200
constexpr int ElementSize = -10;  // 16 bits, 2
constexpr int RefCount = -8;      // 32 bits; -1 for a literal that is copied, never freed
constexpr int Length = -4;        // 32 bits, characters
constexpr int HeaderSize = 12;
}  // namespace HostStringLayout

// Text of a host string (nil is the empty string).
std::wstring FromHostString(const wchar_t* hostString);
int32_t HostStringLength(const wchar_t* hostString);

// A host string holding a copy of a text, released when this object dies.
// Allocated by the host run-time (reference count 1) when present, otherwise
// a literal in our own memory (reference count -1), which the host copies.
class THostString {
public:
  explicit THostString(const std::wstring& text);
  ~THostString();
  THostString(const THostString&) = delete;
  THostString& operator=(const THostString&) = delete;
  const wchar_t* Get() const { return Chars; }

private:
  wchar_t* Chars = nullptr;  // nil for the empty text
  bool OwnMemory = false;
};

// ---- host exceptions ---------------------------------------------------------

// Class name and message of a host exception object (host class layout:
// class name short string at -56 of the class reference; FMessage at +4).
std::wstring HostExceptionClassName(const void* exceptionObject);
std::wstring HostExceptionMessage(const void* exceptionObject);

// Raises the host's base exception with this message. The text is moved into
// host memory before the raise, so nothing of ours is left to destroy. Call
// only where no C++ frame with pending destructors lies between here and
// the host: structured exceptions skip C++ destructors.
[[noreturn]] void RaiseHostException(std::wstring&& message);

// Hands an exception with this message to the application's global exception
// handler, the host's way. False when there is no host run-time or no handler
// installed; nothing is reported then.
bool ReportToHostHandler(const std::wstring& message);

// The global handler if installed, otherwise an error message box
// (owner GetActiveWindow, MB_ICONERROR) with this caption.
void ReportError(const std::wstring& message, const std::wstring& caption);

// UTF-8 exception text to UTF-16.
std::wstring WidenMessage(const char* text);

// ---- the error boundary ------------------------------------------------------

// Runs f. A C++ exception leaving f is caught and its message kept; true on
// success. Out-of-memory becomes "Out of memory", anything unknown
// "Unexpected exception in Quillmend".
template <class F>
bool CatchToMessage(F&& f, std::wstring& message) noexcept {
  try {
    f();
    return true;
  } catch (const std::bad_alloc&) {
    message = L"Out of memory";
  } catch (const std::exception& e) {
    message = WidenMessage(e.what());
  } catch (...) {
    message = L"Unexpected exception in Quillmend";
  }
  return false;
}

// Every entry from the host into Quillmend goes through this: no C++
// exception leaves the library. A C++ exception from f becomes a host
// exception with the same message, raised only after every C++ frame of f
// has been unwound (the catch is left first, then the raise happens).
template <class F>
auto HostBoundary(F&& f) noexcept -> std::invoke_result_t<F&> {
  using R = std::invoke_result_t<F&>;
  std::wstring message;
  if constexpr (std::is_void_v<R>) {
    if (CatchToMessage([&] { f(); }, message)) return;
  } else {
    R result{};
    if (CatchToMessage([&] { result = f(); }, message)) return result;
  }
  RaiseHostException(std::move(message));
}

}  // namespace Quillmend

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
#include <windows.h>
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

// Host string operations through the host run-time's own routines, bound
// once by their user (for example from a plan's export sites at its commit)
// so that a replacement on a hot path calls them directly.
//
// A host function returning a string takes a hidden last argument: the
// address of the result variable, which holds nil or a string the callee
// releases when it stores the result (the variable may be one of the
// caller's own arguments). Replacements receive it the same way.
namespace HostStringExport {
constexpr const char* NewUnicodeString = "@System@@NewUnicodeString$qqri";
constexpr const char* UStrAsg = "@System@@UStrAsg$qqrr20System@UnicodeStringx20System@UnicodeString";
constexpr const char* UStrClr = "@System@@UStrClr$qqrpv";
constexpr const char* ReallocMem = "@System@@ReallocMem$qqrrpvi";
}  // namespace HostStringExport

struct THostStrings {
  wchar_t*(QM_REGISTER* NewUnicodeString)(int32_t length) = nullptr;  // nil for length <= 0
  void(QM_REGISTER* UStrAsg)(wchar_t** dest, const wchar_t* source) = nullptr;
  void(QM_REGISTER* UStrClr)(wchar_t** variable) = nullptr;
  // ReallocMem(var P; NewSize): the block resized (it may move), freed at 0.
  void*(QM_REGISTER* ReallocMem)(void** p, int32_t size) = nullptr;

  // Binds the four routines from the host run-time module; false if one is missing.
  bool Bind(HMODULE runtime);
  bool Bound() const { return NewUnicodeString && UStrAsg && UStrClr && ReallocMem; }

  // A new string holding `length` characters from `chars` (one allocation; nil for 0).
  wchar_t* New(const wchar_t* chars, int32_t length) const;
  // *result := a new string of ours (reference count 1), the old value released.
  void StoreNew(wchar_t** result, wchar_t* fresh) const;
  // *result := source, shared (a literal is copied), the old value released.
  void Assign(wchar_t** result, const wchar_t* source) const { UStrAsg(result, source); }
  void Clear(wchar_t** variable) const { UStrClr(variable); }
  // When *variable holds a string nobody else holds (reference count 1),
  // resizes it in place to `length` characters (its block may move; the
  // characters up to the shorter length are kept, the text is
  // zero-terminated) and answers true. Otherwise changes nothing: false.
  bool ResizeUnique(wchar_t** variable, int32_t length) const;
};

// Reference count of a host string (0 for nil, -1 for a literal).
int32_t HostStringRefCount(const wchar_t* hostString);
// One more reference to a host string, as the host's UStrAddRef takes it
// (an interlocked increment; nothing for nil or a literal).
void HostStringAddRef(const wchar_t* hostString);
// An 8-bit host string (AnsiString) has the same header with element size 1
// and its own code page: its length in bytes and its code page (0 for nil).
int32_t HostAnsiStringLength(const char* hostString);
uint16_t HostAnsiStringCodePage(const char* hostString);

// A host string literal in our constant data (reference count -1: the host
// copies it when it keeps it and never frees it). Usable where no host
// run-time call may allocate, for example right before a raise.
template <size_t N>
struct THostLiteral {
  uint16_t CodePage = 1200;
  uint16_t ElementSize = 2;
  int32_t RefCount = -1;
  int32_t Length = int32_t(N - 1);
  wchar_t Chars[N] = {};
  constexpr explicit THostLiteral(const wchar_t (&text)[N]) {
    for (size_t i = 0; i < N; ++i) Chars[i] = text[i];
  }
  const wchar_t* Get() const { return N > 1 ? Chars : nullptr; }
};

// A host string of ours reused for short-lived arguments (number texts
// handed to a conversion): rewritten in place while nobody else holds it,
// replaced by a new one otherwise. Its block may be longer than its length.
class THostScratchString {
public:
  // The text as a host string (ASCII widened one to one; nil for length 0).
  const wchar_t* Set(const THostStrings& strings, const char* ascii, int32_t length);
  void Release(const THostStrings& strings);

private:
  wchar_t* FText = nullptr;
  int32_t FCapacity = 0;
};

// ---- calls with arguments on the stack ----------------------------------------
// GCC's regparm convention puts an Int64 into EDX:ECX where the host passes
// it on the stack without taking a register, and has no form for a method
// pointer argument (two words on the stack, code at the lower address).
// These calls go through an assembly thunk that lays the arguments out the
// host's way.

extern "C" uint64_t QmHostCallRegister(const void* fn, uint32_t eax, uint32_t edx, uint32_t ecx, const void* stack,
                                       uint32_t stackBytes);

// fn(EAX, EDX, ECX, then `stackBytes` bytes of stack arguments exactly as the
// host's caller leaves them, first byte at the lowest address); EDX:EAX.
inline uint64_t CallHostRegister(const void* fn, uint32_t eax, uint32_t edx, uint32_t ecx, const void* stack,
                                 uint32_t stackBytes) {
  return QmHostCallRegister(fn, eax, edx, ecx, stack, stackBytes);
}

extern "C" uint64_t QmHostCallInt64(const void* fn, uint32_t eax, uint32_t edx, uint32_t low, uint32_t high);

// fn(Self; ...; Value: Int64), with Self in EAX, `edx` in EDX and the Int64 on the stack.
inline uint64_t CallHostInt64(const void* fn, const void* self, uint32_t edx, int64_t value) {
  return QmHostCallInt64(fn, uint32_t(uintptr_t(self)), edx, uint32_t(uint64_t(value)), uint32_t(uint64_t(value) >> 32));
}

// A method pointer ("procedure(...) of object"): called with EAX = Data.
struct THostMethod {
  const void* Code;
  void* Data;
};

// fn(Self; Method: <procedure of object>), Self in EAX, the method pointer on the stack.
inline void CallHostWithMethod(const void* fn, const void* self, THostMethod method) {
  QmHostCallRegister(fn, uint32_t(uintptr_t(self)), 0, 0, &method, sizeof method);
}

// ---- streams (TStream) ------------------------------------------------------------
// Virtual methods of the host's TStream, called through the object's class:
// slot offsets from the class reference.
namespace HostStreamLayout {
constexpr int SetSize64 = 8;  // procedure SetSize(const NewSize: Int64)
constexpr int Read = 12;    // function Read(var Buffer; Count: Longint): Longint
constexpr int Write = 16;   // function Write(const Buffer; Count: Longint): Longint
constexpr int Seek64 = 24;  // function Seek(const Offset: Int64; Origin: TSeekOrigin): Int64
}  // namespace HostStreamLayout

enum class THostSeekOrigin : uint8_t { Beginning = 0, Current = 1, End = 2 };

// A memory stream (TCustomMemoryStream): its memory block and its size.
namespace HostMemoryStreamLayout {
constexpr int Memory = 4;
constexpr int Size = 8;
}  // namespace HostMemoryStreamLayout

inline void* HostMemoryStreamMemory(const void* stream) {
  return *reinterpret_cast<void* const*>(static_cast<const char*>(stream) + HostMemoryStreamLayout::Memory);
}
inline int32_t HostMemoryStreamSize(const void* stream) {
  return *reinterpret_cast<const int32_t*>(static_cast<const char*>(stream) + HostMemoryStreamLayout::Size);
}

// The run-time's stream classes and TStream.WriteBuffer (the whole count
// through one Write, EWriteError when it writes less), by export name.
namespace HostStreamExport {
constexpr const char* CustomMemoryStreamClass = "@Classes@TCustomMemoryStream@";
constexpr const char* MemoryStreamClass = "@Classes@TMemoryStream@";
constexpr const char* WriteBuffer = "@Classes@TStream@WriteBuffer$qqrpxvi";
}  // namespace HostStreamExport

// The stream's own Read, Write and Seek; what they raise passes through.
int32_t HostStreamRead(void* stream, void* buffer, int32_t count);
int32_t HostStreamWrite(void* stream, const void* buffer, int32_t count);
int64_t HostStreamSeek(void* stream, int64_t offset, THostSeekOrigin origin);
// The stream's own SetSize (what it raises passes through).
void HostStreamSetSize(void* stream, int64_t size);

// The text of a host string the host handed back through a result variable
// (the hidden last argument of a method returning a string), released when
// this object dies. Pass Ref() as the result argument.
class THostStringResult {
public:
  THostStringResult() = default;
  ~THostStringResult();
  THostStringResult(const THostStringResult&) = delete;
  THostStringResult& operator=(const THostStringResult&) = delete;
  wchar_t** Ref() { return &Chars; }
  std::wstring Text() const { return FromHostString(Chars); }

private:
  wchar_t* Chars = nullptr;
};

// ---- COM-style interfaces -----------------------------------------------------
// Interfaces of the host begin with IUnknown's three methods (stdcall); the
// IDE's tool-service interfaces continue in the host's register convention
// (the interface pointer in EAX). An interface result comes back through a
// hidden last argument: the caller's variable, assigned with a reference the
// caller owns.

// Method `slot` of an interface's method table.
template <class Fn>
Fn HostInterfaceMethod(void* object, int slot) {
  return reinterpret_cast<Fn>(const_cast<void*>((*static_cast<const void* const* const*>(object))[slot]));
}
HRESULT HostQueryInterface(void* object, const GUID& iid, void** out);
ULONG HostAddRef(void* object);
ULONG HostRelease(void* object);

// An interface reference released when this object dies.
class THostInterface {
public:
  THostInterface() = default;
  explicit THostInterface(void* object) : Object(object) {}  // takes over a reference
  ~THostInterface() { Reset(); }
  THostInterface(THostInterface&& other) noexcept : Object(other.Detach()) {}
  THostInterface& operator=(THostInterface&& other) noexcept;
  THostInterface(const THostInterface&) = delete;
  THostInterface& operator=(const THostInterface&) = delete;
  // The variable a method assigns its interface result to (emptied first).
  void** Ref();
  void* Get() const { return Object; }
  void* Detach();
  void Reset();
  explicit operator bool() const { return Object != nullptr; }

private:
  void* Object = nullptr;
};

// An object we hand the host: its first field is its method table (IUnknown's
// three methods from HostObjectMethods, then the interface's own), counted
// references, and the interfaces it answers besides IUnknown. It is destroyed
// (Destroy) when the last reference goes.
struct THostObject {
  const void* const* Methods;
  LONG RefCount;
  const GUID* Iids;
  int IidCount;
  void (*Destroy)(THostObject* self);
};
HRESULT __stdcall HostObjectQueryInterface(THostObject* self, const GUID* iid, void** out);
ULONG __stdcall HostObjectAddRef(THostObject* self);
ULONG __stdcall HostObjectRelease(THostObject* self);
// The method table entries 0..2 of every THostObject.
#define QM_HOST_OBJECT_IUNKNOWN                                                                     \
  reinterpret_cast<const void*>(&::Quillmend::HostObjectQueryInterface),                            \
      reinterpret_cast<const void*>(&::Quillmend::HostObjectAddRef),                                \
      reinterpret_cast<const void*>(&::Quillmend::HostObjectRelease)

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

// The same with an exception of the given host class (a descendant of the
// base exception class, constructed through the base class's constructor).
// Without a host run-time it is raised as RaiseHostException raises.
[[noreturn]] void RaiseHostExceptionOf(void* classRef, std::wstring&& message);

// Hands a host exception object to the application's global exception
// handler, the host's way; the object stays the caller's. False when there
// is no host run-time or no handler installed.
bool ReportObjectToHostHandler(void* exceptionObject);

// Frees a host object (TObject.Free); nil is fine.
void FreeHostObject(void* object);

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

// Access to the stand-in host run-time (rtl150.bpl) for bds.exe, stand-in
// modules and tests: its exports resolved by name, and helpers that make and
// read host strings and host exception objects.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "HostLayout.h"

namespace QmHost {

// Export names of rtl150.bpl.
namespace RtlExport {
constexpr const char* GetMem = "@System@@GetMem$qqri";
constexpr const char* FreeMem = "@System@@FreeMem$qqrpv";
constexpr const char* NewUnicodeString = "@System@@NewUnicodeString$qqri";
constexpr const char* UStrClr = "@System@@UStrClr$qqrpv";
constexpr const char* UStrAsg = "@System@@UStrAsg$qqrr20System@UnicodeStringx20System@UnicodeString";
constexpr const char* UStrAddRef = "@System@@UStrAddRef$qqrpv";
constexpr const char* ExceptionClass = "@Sysutils@Exception@";
constexpr const char* ExceptionCreate = "@Sysutils@Exception@$bctr$qqrx20System@UnicodeString";
constexpr const char* ObjectFree = "@System@TObject@Free$qqrv";
constexpr const char* RaiseExcept = "@System@@RaiseExcept$qqrv";
constexpr const char* ApplicationHandleException = "@Classes@ApplicationHandleException";
constexpr const char* ExceptObjectForHandler = "@System@ExceptObjectForHandler";
} // namespace RtlExport

// {Code, Data}: called as Code(EAX = Data, EDX = Sender).
struct HostMethod {
  void* code;
  void* data;
};

struct HostRtl {
  using GetMemFn = void*(QM_HOST_REGISTER*)(int size);
  using FreeMemFn = int(QM_HOST_REGISTER*)(void* p);
  using NewUnicodeStringFn = wchar_t*(QM_HOST_REGISTER*)(int length);
  using UStrClrFn = void*(QM_HOST_REGISTER*)(wchar_t** var);
  using UStrAsgFn = wchar_t**(QM_HOST_REGISTER*)(wchar_t** dest, const wchar_t* source);
  using UStrAddRefFn = void(QM_HOST_REGISTER*)(const wchar_t* s);
  using ExceptionCreateFn = void*(QM_HOST_REGISTER*)(void* classRef, int alloc, const wchar_t* message);
  using ObjectFreeFn = void(QM_HOST_REGISTER*)(void* object);
  using RaiseExceptFn = void(QM_HOST_REGISTER*)(void* object);

  HMODULE module = nullptr;
  GetMemFn getMem = nullptr;
  FreeMemFn freeMem = nullptr;
  NewUnicodeStringFn newUnicodeString = nullptr;
  UStrClrFn ustrClr = nullptr;
  UStrAsgFn ustrAsg = nullptr;
  UStrAddRefFn ustrAddRef = nullptr;
  void* exceptionClass = nullptr;
  ExceptionCreateFn exceptionCreate = nullptr;
  ObjectFreeFn objectFree = nullptr;
  RaiseExceptFn raiseExcept = nullptr;
  HostMethod* applicationHandleException = nullptr;
  void** exceptObjectForHandler = nullptr;

  // Resolves every export from the module; false (and names the first
  // missing export in *missing) if one is absent.
  bool Resolve(HMODULE rtl, const char** missing = nullptr);

  // A new host string (reference count 1) holding text; nil for "".
  wchar_t* NewString(std::wstring_view text) const;
  // Releases the string in var and sets var to nil.
  void Release(wchar_t*& var) const;
  // A new host Exception object with the message.
  void* NewException(std::wstring_view message) const;
};

// The rtl150.bpl already loaded in this process, resolved once; null if
// rtl150.bpl is not loaded or lacks an export.
const HostRtl* LoadedHostRtl();

// True if [p, p+size) lies in committed, readable memory (no guard page).
bool IsReadable(const void* p, size_t size);

// Reads a host string after checking its header (code page 1200, element
// size 2, plausible length, terminating zero). False for a broken header.
bool ReadHostString(const wchar_t* s, std::wstring& out);
// The same, with "<bad string>" in place of a broken one.
std::wstring HostStringText(const wchar_t* s);

// Class name of a host object (the short string at class reference -56),
// or empty if the object does not look like one.
std::wstring HostClassName(const void* object);
// Message of a host exception object (the string at offset 4).
std::wstring HostExceptionMessage(const void* object);

} // namespace QmHost

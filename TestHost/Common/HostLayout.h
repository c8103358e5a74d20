// Binary layout of the host run-time's strings, classes and exceptions as the
// stand-in modules implement and check them, and the host's register calling
// convention. Kept apart from the library's own host layer on purpose: the
// test host is an independent second reading of the same layout.
#pragma once

#include <cstddef>
#include <cstdint>

// EAX, EDX, ECX, then stack arguments pushed left to right (declare them in
// reverse order when there are five or more); the callee removes them.
#define QM_HOST_REGISTER __attribute__((regparm(3), stdcall))

// Gives a C function the exact symbol name "_<name>" so .def files and
// assembly can refer to it without stdcall decoration.
#define QM_HOST_SYMBOL(name) __asm__("_" #name)

namespace QmHost {

// Host exceptions are structured exceptions with this code; parameter 0 is
// the raise address, parameter 1 the exception object.
constexpr std::uint32_t kHostExceptionCode = 0x0EEDFADE;
constexpr std::uint32_t kHostExceptionParamCount = 7;

// UnicodeString header, in front of the first character.
struct StrRec {
  std::uint16_t codePage;   // 1200 for UTF-16
  std::uint16_t elemSize;   // 2
  std::int32_t refCount;    // -1: literal, copied on assignment, never freed
  std::int32_t length;      // characters, without the terminating zero
};
static_assert(sizeof(StrRec) == 12, "string header is 12 bytes");
constexpr std::uint16_t kUnicodeCodePage = 1200;

inline StrRec* StrHeader(const wchar_t* s) {
  return reinterpret_cast<StrRec*>(const_cast<char*>(reinterpret_cast<const char*>(s)) - sizeof(StrRec));
}

// A host string literal: header with reference count -1 (copied on
// assignment, never freed), then the characters and their terminating zero.
template <std::size_t N>
struct HostStringLiteral {
  StrRec header;
  wchar_t text[N];
};

} // namespace QmHost

// A static host string for a wide string literal: QM_HOST_STRING(L"text")
// gives the pointer to its first character (nil for L"", the host's empty
// string). The text must not contain a zero character.
#define QM_HOST_STRING(literal)                                                                          \
  ([]() -> const wchar_t* {                                                                               \
    static_assert(sizeof(*(literal)) == sizeof(wchar_t), "QM_HOST_STRING takes a wide string literal");   \
    constexpr std::size_t length = sizeof(literal) / sizeof(wchar_t) - 1;                                 \
    static const ::QmHost::HostStringLiteral<length + 1> value = {                                        \
        {::QmHost::kUnicodeCodePage, 2, -1, static_cast<std::int32_t>(length)}, literal};                 \
    return length == 0 ? nullptr : value.text;                                                           \
  }())

namespace QmHost {

// Class reference = pointer to the virtual method table; header slots below.
enum VmtOffset : int {
  kVmtSelfPtr = -88,
  kVmtIntfTable = -84,
  kVmtAutoTable = -80,
  kVmtInitTable = -76,
  kVmtTypeInfo = -72,
  kVmtFieldTable = -68,
  kVmtMethodTable = -64,
  kVmtDynamicTable = -60,
  kVmtClassName = -56,
  kVmtInstanceSize = -52,
  kVmtParent = -48,
  kVmtEquals = -44,
  kVmtGetHashCode = -40,
  kVmtToString = -36,
  kVmtSafeCallException = -32,
  kVmtAfterConstruction = -28,
  kVmtBeforeDestruction = -24,
  kVmtDispatch = -20,
  kVmtDefaultHandler = -16,
  kVmtNewInstance = -12,
  kVmtFreeInstance = -8,
  kVmtDestroy = -4,
};

// Exception objects: class reference, then the message.
constexpr int kExceptionMessageOffset = 4;
constexpr int kExceptionHelpContextOffset = 8;
constexpr int kExceptionInstanceSize = 12;

// Header slots lie below the class reference; the address is computed as a
// number, since the reference is often an exported array the compiler would
// bound-check.
inline void* VmtSlot(const void* classRef, int offset) {
  return *reinterpret_cast<void* const*>(reinterpret_cast<uintptr_t>(classRef) + offset);
}

} // namespace QmHost

#include "HostGuard.h"

#include <cstdio>

#include "HostLayout.h"
#include "HostRtl.h"

namespace QmHost {

bool HostExceptionReport::IsHostException() const { return code == kHostExceptionCode; }

std::wstring HostExceptionReport::Text() const { return className + L": " + message; }

void ReleaseCaughtHostObject(const HostRtl* rtl, void* object) {
  if (rtl && object) rtl->objectFree(object);
}

void ReportCppException(HostExceptionReport& report, const char* what) {
  report.code = 0;
  report.address = nullptr;
  report.className = L"C++ exception";
  report.message.clear();
  for (const char* p = what; p && *p; ++p) report.message += static_cast<wchar_t>(static_cast<unsigned char>(*p));
}

namespace {

std::wstring Hex(const void* p) {
  wchar_t buffer[16];
  swprintf(buffer, 16, L"%08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)));
  return buffer;
}

void DescribeSystemException(const EXCEPTION_RECORD* record, HostExceptionReport& report) {
  report.address = record->ExceptionAddress;
  if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2) {
    report.className = L"EAccessViolation";
    const wchar_t* kind = record->ExceptionInformation[0] == 1 ? L"Write" : L"Read";
    if (record->ExceptionInformation[0] == 8) kind = L"Execution";
    report.message = L"Access violation at address " + Hex(record->ExceptionAddress) + L". " + kind +
                     L" of address " + Hex(reinterpret_cast<void*>(record->ExceptionInformation[1]));
  } else {
    wchar_t buffer[48];
    swprintf(buffer, 48, L"External exception %08X", static_cast<unsigned>(record->ExceptionCode));
    report.className = L"EExternalException";
    report.message = buffer;
  }
}

} // namespace

} // namespace QmHost

// Called by the assembly handler in the search pass: decides whether the
// guard catches the exception, and records what it was.
extern "C" int QmHostGuardAccept(QmHost::HostGuardState* state, EXCEPTION_RECORD* record) {
  using namespace QmHost;
  HostExceptionReport& report = *state->report;
  report.code = record->ExceptionCode;
  if (record->ExceptionCode == kHostExceptionCode && record->NumberParameters >= 2) {
    void* object = reinterpret_cast<void*>(record->ExceptionInformation[1]);
    report.address = reinterpret_cast<void*>(record->ExceptionInformation[0]);
    report.className = HostClassName(object);
    if (report.className.empty()) {
      report.className = L"<bad object>";
      report.message.clear();
    } else {
      report.message = HostExceptionMessage(object);
      state->hostObject = object;
    }
    return 1;
  }
  // Only error-severity exceptions; warnings and informational codes
  // (breakpoints, debug output) belong to the system.
  if ((record->ExceptionCode & 0xC0000000u) != 0xC0000000u) return 0;
  DescribeSystemException(record, report);
  return 1;
}

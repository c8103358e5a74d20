#include "HostApp.h"

#include <cstdio>

namespace QmHost {

HostApp& App() {
  static HostApp app;
  return app;
}

std::wstring Hex(unsigned value) {
  wchar_t buffer[16];
  swprintf(buffer, 16, L"%X", value);
  return buffer;
}

void HostApp::LogException(const HostExceptionReport& report) {
  Log(L"EXCEPTION " + JournalEscape(report.className) + L": " + JournalEscape(report.message));
}

void HostApp::CheckStack(const std::wstring& what, int imbalance) {
  if (imbalance != 0) Log(L"STACK-IMBALANCE " + what + L" " + std::to_wstring(imbalance));
}

} // namespace QmHost

// Lets stand-in modules write to the journal:
// GetProcAddress(GetModuleHandleW(nullptr), "TestHostJournal")(line).
extern "C" __declspec(dllexport) void TestHostJournal(const wchar_t* line) {
  if (line) QmHost::App().Log(line);
}

// A fixture expert for the stand-in IDE. Its INITWIZARD0001 does what the
// environment variable QM_FIXTURE_EXPERT asks:
//   about    (default) add an about-box entry, show a message box, keep a
//            Terminate procedure that removes the entry
//   raise    raise a host exception
//   false    return false (with a Terminate procedure stored)
//   handler  report a host exception object to the global handler
//   fault    cause an access violation
// The about box's register-convention method is called the way the host's
// compiler calls it, through a checked call (stack and callee-saved registers).
#include <windows.h>

#include <cstdint>
#include <string>

#include "Common/HostRtl.h"
#include "Common/RegisterCall.h"

using namespace QmHost;

namespace {

void Journal(const std::wstring& line) {
  using JournalFn = void (*)(const wchar_t*);
  auto write = reinterpret_cast<JournalFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), "TestHostJournal")));
  if (write) write(line.c_str());
}

struct Interface {
  void* const* methods;
};

const GUID kAboutBoxServices = {0x62A2F7FD, 0x16F1, 0x45B9, {0x94, 0x17, 0xA2, 0xD2, 0x93, 0xD0, 0x7A, 0x22}};

Interface* g_about = nullptr;
int g_index = 0;

// AddPluginInfo as the host calls it: EAX, EDX, ECX, then five stack
// arguments pushed left to right (Image, IsUnRegistered, LicenseStatus,
// SKUName, ProductName), all 0 here; the call is checked.
int CallAddPluginInfo(Interface* self, const wchar_t* title, const wchar_t* description, RegisterCallReport& report) {
  RegisterArgs registers{RegisterWord(self), RegisterWord(title), RegisterWord(description)};
  return static_cast<int>(CallRegisterChecked(self->methods[7], report, registers, 0, 0, 0, 0, 0));
}

void QM_HOST_REGISTER Terminate() {
  if (!g_about) return;
  using RemoveFn = void(QM_HOST_REGISTER*)(Interface*, int);
  reinterpret_cast<RemoveFn>(g_about->methods[5])(g_about, g_index);
  using ReleaseFn = ULONG(__stdcall*)(Interface*);
  reinterpret_cast<ReleaseFn>(g_about->methods[2])(g_about);
  g_about = nullptr;
}

bool AddAboutEntry(Interface* services) {
  using QueryFn = HRESULT(__stdcall*)(Interface*, const GUID*, void**);
  void* out = nullptr;
  if (reinterpret_cast<QueryFn>(services->methods[0])(services, &kAboutBoxServices, &out) != S_OK) {
    Journal(L"FIXTURE no about-box service");
    return false;
  }
  g_about = static_cast<Interface*>(out);
  const HostRtl* rtl = LoadedHostRtl();
  wchar_t* description = rtl->NewString(L"First line\r\nC:\\Tools\\x\nend");
  RegisterCallReport report;
  // A host string literal, living in this module's data.
  g_index = CallAddPluginInfo(g_about, QM_HOST_STRING(L"Fixture"), description, report);
  rtl->Release(description);
  if (report.imbalance != 0) Journal(L"FIXTURE AddPluginInfo stack delta " + std::to_wstring(report.imbalance));
  if (report.clobbered != 0) Journal(L"FIXTURE AddPluginInfo clobbered " + std::to_wstring(report.clobbered));
  return true;
}

void ReportToHandler() {
  const HostRtl* rtl = LoadedHostRtl();
  HostMethod handler = *rtl->applicationHandleException;
  if (!handler.code) {
    Journal(L"FIXTURE no handler");
    return;
  }
  void* object = rtl->NewException(L"Reported through the handler");
  *rtl->exceptObjectForHandler = object;
  using HandlerFn = void(QM_HOST_REGISTER*)(void* self, void* sender);
  reinterpret_cast<HandlerFn>(handler.code)(handler.data, nullptr);
  *rtl->exceptObjectForHandler = nullptr;
  rtl->objectFree(object);
}

std::wstring Mode() {
  wchar_t buffer[64];
  DWORD n = GetEnvironmentVariableW(L"QM_FIXTURE_EXPERT", buffer, 64);
  return n > 0 && n < 64 ? std::wstring(buffer, n) : std::wstring(L"about");
}

} // namespace

extern "C" int __stdcall InitWizard(Interface* services, void* registerProc, void** terminate) {
  const std::wstring mode = Mode();
  if (mode == L"raise") {
    const HostRtl* rtl = LoadedHostRtl();
    rtl->raiseExcept(rtl->NewException(L"Expert start failed"));
  }
  if (mode == L"fault") *static_cast<volatile int*>(nullptr) = 1;
  if (mode == L"handler") ReportToHandler();
  *terminate = reinterpret_cast<void*>(&Terminate);
  if (mode == L"false") return 0;
  if (mode == L"about") {
    AddAboutEntry(services);
    MessageBoxW(GetActiveWindow(), L"Hello\nWorld", L"Fixture", MB_ICONWARNING);
  }
  return 1;
}

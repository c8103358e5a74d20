// A fixture expert for the stand-in IDE. Its INITWIZARD0001 does what the
// environment variable QM_FIXTURE_EXPERT asks:
//   about    (default) add an about-box entry, show a message box, keep a
//            Terminate procedure that removes the entry
//   raise    raise a host exception
//   false    return false (with a Terminate procedure stored)
//   handler  report a host exception object to the global handler
//   fault    cause an access violation
// The register-convention service methods are called from assembly, the
// way the host's compiler calls them, and the stack is checked afterwards.
#include <windows.h>

#include <cstdint>
#include <string>

#include "Common/HostRtl.h"

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

// A string literal in the host's layout, living in this module's data.
struct LiteralTitle {
  StrRec header{kUnicodeCodePage, 2, -1, 7};
  wchar_t text[8] = L"Fixture";
} g_title;

// AddPluginInfo as the host calls it: five stack arguments pushed left to
// right, then EAX, EDX, ECX; returns the stack-pointer change in *stackDelta.
int CallAddPluginInfo(Interface* self, const wchar_t* title, const wchar_t* description, int* stackDelta) {
  int result = 0, delta = 0;
  void* method = self->methods[7];
  __asm__ volatile(
      "movl %%esp, %%edi\n\t"
      "pushl $0\n\t"   // Image
      "pushl $0\n\t"   // IsUnRegistered
      "pushl $0\n\t"   // LicenseStatus
      "pushl $0\n\t"   // SKUName
      "pushl $0\n\t"   // ProductName
      "call *%%esi\n\t"
      "movl %%edi, %%edx\n\t"
      "subl %%esp, %%edx\n\t"
      "movl %%edi, %%esp\n\t"
      : "=a"(result), "=d"(delta), "+c"(description)
      : "a"(self), "d"(title), "S"(method)
      : "edi", "memory", "cc");
  *stackDelta = delta;
  return result;
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
  int delta = 0;
  g_index = CallAddPluginInfo(g_about, g_title.text, description, &delta);
  rtl->Release(description);
  if (delta != 0) Journal(L"FIXTURE AddPluginInfo stack delta " + std::to_wstring(delta));
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

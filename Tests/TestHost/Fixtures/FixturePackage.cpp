// A fixture IDE package for the stand-in IDE's package loader. The variant
// is chosen at compile time: FIXTURE_NAME names it in the journal,
// FIXTURE_RAISE makes Initialize raise a host exception.
#include <windows.h>

#include "Common/HostRtl.h"

namespace {

void Journal(const wchar_t* line) {
  using JournalFn = void (*)(const wchar_t*);
  auto write = reinterpret_cast<JournalFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), "TestHostJournal")));
  if (write) write(line);
}

} // namespace

extern "C" void __stdcall Initialize() {
#ifdef FIXTURE_RAISE
  const QmHost::HostRtl* rtl = QmHost::LoadedHostRtl();
  rtl->raiseExcept(rtl->NewException(L"Package start failed\r\nin " FIXTURE_NAME));
#endif
  Journal(L"FIXTURE " FIXTURE_NAME L" Initialize");
}

extern "C" void __stdcall Finalize() { Journal(L"FIXTURE " FIXTURE_NAME L" Finalize"); }

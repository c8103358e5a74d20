#include "SplashScreen.h"

#include <windows.h>

#include "vcl150/LabelsDriver.h"

namespace QmHost {

namespace {

namespace L = LabelsDriver;

template <class Fn>
Fn VclExport(const char* name) {
  HMODULE vcl = GetModuleHandleW(L"vcl150.bpl");
  return vcl ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(vcl, name))) : nullptr;
}

void Hold(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  for (DWORD elapsed = 0; elapsed < milliseconds; elapsed = GetTickCount() - start) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

} // namespace

void ShowSplashScreen(HostApp& app) {
  if (!app.options.splash) return;
  if (auto show = VclExport<L::ShowSplashFn>(L::Export::ShowSplash)) show(1);
}

void CloseSplashScreen(HostApp& app) {
  auto form = VclExport<L::SplashFormFn>(L::Export::SplashForm);
  auto close = VclExport<L::CloseSplashFn>(L::Export::CloseSplash);
  auto children = VclExport<L::ControlChildrenFn>(L::Export::ControlChildren);
  auto state = VclExport<L::LabelStateFn>(L::Export::LabelState);
  if (!form || !close || !children || !state || !form()) return;
  Hold(DWORD(app.options.splashHoldMs));
  void* first = nullptr;
  const int32_t count = children(form(), &first, 1);
  std::wstring caption;
  if (first) {
    L::TLabelState s;
    state(first, &s);
    if (s.Caption) caption = s.Caption;
  }
  app.Log(L"SPLASH-CLOSE labels=" + std::to_wstring(count) + L" caption=" + JournalEscape(caption));
  close();
}

} // namespace QmHost

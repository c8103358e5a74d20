// The application's splash form: a TCustomForm named "SplashScreen", owned
// by the application object, with a window of its own that paints a plain
// background and then its child controls at their bounds (each on the
// window's context with its origin moved to the control).
#include <windows.h>

#include <vector>

#include "Controls.h"
#include "Forms.h"
#include "Labels.h"
#include "LabelsDriver.h"
#include "VclInternal.h"

using namespace Vcl;
using namespace LabelsDriver;

namespace {

const wchar_t* const SplashWindowClass = L"TQmStandInSplash";
void* g_splash = nullptr;

using TSetName = void(QM_HOST_REGISTER*)(void* self, const wchar_t* name);

void PaintSplash(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  HBRUSH background = CreateSolidBrush(SplashBackground);
  FillRect(dc, &ps.rcPaint, background);
  DeleteObject(background);
  if (void* form = g_splash) {
    // A control may go while another paints: the list as it is now.
    const std::vector<void*> children = ControlChildren(form);
    for (void* control : children) {
      if (!Field<uint8_t>(control, ControlLayout::Visible)) continue;
      const int saved = SaveDC(dc);
      SetViewportOrgEx(dc, Field<int32_t>(control, ControlLayout::Left), Field<int32_t>(control, ControlLayout::Top),
                       nullptr);
      PaintControl(control, dc);
      RestoreDC(dc, saved);
    }
  }
  EndPaint(window, &ps);
}

LRESULT CALLBACK SplashWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT paints everything
    case WM_PAINT:
      PaintSplash(window);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

extern "C" {

void* __stdcall VclShowSplash(int32_t withWindow) {
  if (g_splash) return g_splash;
  void* form = vcl_TCustomControl_Create(vcl_TCustomForm_Class, 1, vcl_Application);
  Virtual<TSetName>(form, ComponentSlot::SetName)(form, QM_HOST_STRING(L"SplashScreen"));
  SetControlBounds(form, SplashLeft, SplashTop, SplashWidth, SplashHeight);
  g_splash = form;
  if (withWindow) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &SplashWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = SplashWindowClass;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    if (RegisterClassW(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS) {
      RECT r = {0, 0, SplashWidth, SplashHeight};
      HWND window = CreateWindowExW(WS_EX_TOPMOST, SplashWindowClass, L"SplashScreen", WS_POPUP | WS_VISIBLE,
                                    SplashLeft, SplashTop, r.right, r.bottom, nullptr, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
      Field<HWND>(form, FormLayout::Handle) = window;
      UpdateWindow(window);
    }
  }
  return form;
}

void* __stdcall VclSplashForm() { return g_splash; }

void __stdcall VclCloseSplash() {
  void* form = g_splash;
  if (!form) return;
  HWND window = Field<HWND>(form, FormLayout::Handle);
  Field<HWND>(form, FormLayout::Handle) = nullptr;
  FreeObject(form);  // the controls it owns first
  ForgetChildren(form);
  g_splash = nullptr;
  if (window) DestroyWindow(window);
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&VclShowSplash), ShowSplashFn> &&
                  std::is_same_v<decltype(&VclSplashForm), SplashFormFn> &&
                  std::is_same_v<decltype(&VclCloseSplash), CloseSplashFn>,
              "exports differ from LabelsDriver.h");

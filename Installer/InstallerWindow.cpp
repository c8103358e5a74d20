// The window of TFormMain: controls, layout with anchors, the owner-drawn
// check list, keyboard navigation, and the control dump for the installer log.
#include "InstallerMain.h"

#include "InstallerLog.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <vsstyle.h>

namespace Quillmend {

namespace {

const wchar_t* const FormClassName = L"TFormMain";
const UINT WM_DUMPCONTROLS = WM_APP + 1;

enum TControlId { idDisablePackageCache = 101, idRegKeysLabel, idRegKeys, idInstall, idUninstall, idQuit };

// Design client size and minimum window size.
const int DesignClientWidth = 418, DesignClientHeight = 234;
const int MinWindowWidth = 418, MinWindowHeight = 220;
const int ItemHeight = 18;
const int CheckBoxSize = 13;

struct TControlDesign {
  const wchar_t* Name;
  int Id;
  int Left, Top, Width, Height;
};

const TControlDesign Designs[] = {
    {L"chkDisablePackageCache", idDisablePackageCache, 8, 29, 402, 17},
    {L"lblRegKeys", idRegKeysLabel, 8, 61, 127, 13},
    {L"clbRegKeys", idRegKeys, 8, 77, 402, 121},
    {L"btnInstall", idInstall, 8, 204, 75, 25},
    {L"btnUninstall", idUninstall, 89, 204, 75, 25},
    {L"btnQuit", idQuit, 335, 204, 75, 25},
};

const TControlDesign& Design(int id) { return Designs[id - idDisablePackageCache]; }

std::wstring WindowText(HWND hwnd) {
  int n = GetWindowTextLengthW(hwnd);
  std::wstring text(n + 1, L'\0');
  n = GetWindowTextW(hwnd, &text[0], n + 1);
  text.resize(n);
  return text;
}

} // namespace

TFormMain::~TFormMain() {
  if (FHandle) DestroyWindow(FHandle);
  if (FFont) DeleteObject(FFont);
  if (FBoldFont) DeleteObject(FBoldFont);
}

int TFormMain::ShowAndRun() {
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);

  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = FInstance;
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));
  wc.lpszClassName = FormClassName;
  RegisterClassExW(&wc);

  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME | WS_CLIPCHILDREN;
  const DWORD exStyle = WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;
  RECT r = {0, 0, DesignClientWidth, DesignClientHeight};
  AdjustWindowRectEx(&r, style, FALSE, exStyle);
  int width = r.right - r.left, height = r.bottom - r.top;
  int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  FHandle = CreateWindowExW(exStyle, FormClassName, FCaption.c_str(), style, left, top, width, height, nullptr,
                            nullptr, FInstance, this);
  if (!FHandle) return ecActionFailed;

  FFont = CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                      CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
  FBoldFont = CreateFontW(-11, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
  CreateControls();
  ShowModelInControls();
  UpdateButtons();

  ShowWindow(FHandle, SW_SHOWNORMAL);
  UpdateWindow(FHandle);
  FFocusControl = IsWindowEnabled(btnInstall) ? btnInstall : IsWindowEnabled(btnUninstall) ? btnUninstall : btnQuit;
  SetFocus(FFocusControl);
  RequestControlDump();

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (FHandle && IsDialogMessageW(FHandle, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return FExitCode;
}

void TFormMain::CreateControls() {
  struct TCreate {
    HWND* Field;
    int Id;
    const wchar_t* Class;
    const wchar_t* Text;
    DWORD Style;
    DWORD ExStyle;
  };
  // Creation order is the tab order.
  const TCreate controls[] = {
      {&chkDisablePackageCache, idDisablePackageCache, L"BUTTON",
       L"Disable IDE Package and Palette Cache (better IDE performance)", BS_AUTOCHECKBOX | WS_TABSTOP, 0},
      {&lblRegKeys, idRegKeysLabel, L"STATIC", L"RAD Studio Registry Keys:", SS_LEFT | SS_NOPREFIX, 0},
      {&clbRegKeys, idRegKeys, L"LISTBOX", L"",
       LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP,
       WS_EX_CLIENTEDGE},
      {&btnInstall, idInstall, L"BUTTON", L"&Install", BS_PUSHBUTTON | WS_TABSTOP, 0},
      {&btnUninstall, idUninstall, L"BUTTON", L"&Uninstall", BS_PUSHBUTTON | WS_TABSTOP, 0},
      {&btnQuit, idQuit, L"BUTTON", L"&Quit", BS_PUSHBUTTON | WS_TABSTOP, 0},
  };
  for (const TCreate& c : controls) {
    const TControlDesign& d = Design(c.Id);
    *c.Field = CreateWindowExW(c.ExStyle, c.Class, c.Text, WS_CHILD | WS_VISIBLE | c.Style, d.Left, d.Top,
                               d.Width, d.Height, FHandle, reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.Id)),
                               FInstance, nullptr);
    SendMessageW(*c.Field, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
  }
  // The label sizes itself to its text (its design width fits Tahoma on
  // Windows; a wider substitute font would otherwise cut the text off).
  HDC dc = GetDC(lblRegKeys);
  HGDIOBJ oldFont = SelectObject(dc, FFont);
  std::wstring label = WindowText(lblRegKeys);
  SIZE extent = {};
  GetTextExtentPoint32W(dc, label.c_str(), static_cast<int>(label.size()), &extent);
  SelectObject(dc, oldFont);
  ReleaseDC(lblRegKeys, dc);
  const TControlDesign& d = Design(idRegKeysLabel);
  if (extent.cx > d.Width)
    SetWindowPos(lblRegKeys, nullptr, 0, 0, extent.cx, d.Height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowSubclass(clbRegKeys, CheckListProc, 1, reinterpret_cast<DWORD_PTR>(this));
}

void TFormMain::ShowModelInControls() {
  if (!FHandle) return;
  SendMessageW(chkDisablePackageCache, BM_SETCHECK, FDisablePackageCache ? BST_CHECKED : BST_UNCHECKED, 0);
  SendMessageW(clbRegKeys, WM_SETREDRAW, FALSE, 0);
  SendMessageW(clbRegKeys, LB_RESETCONTENT, 0, 0);
  for (const std::wstring& key : FRegKeys)
    SendMessageW(clbRegKeys, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(key.c_str()));
  SendMessageW(clbRegKeys, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(clbRegKeys, nullptr, TRUE);
}

void TFormMain::LayoutControls(int clientWidth, int clientHeight) {
  if (!clbRegKeys) return;
  int dx = clientWidth - DesignClientWidth, dy = clientHeight - DesignClientHeight;
  HDWP pos = BeginDeferWindowPos(4);
  const TControlDesign& list = Design(idRegKeys);
  pos = DeferWindowPos(pos, clbRegKeys, nullptr, list.Left, list.Top, list.Width + dx, list.Height + dy,
                       SWP_NOZORDER | SWP_NOACTIVATE);
  for (HWND button : {btnInstall, btnUninstall}) {
    const TControlDesign& d = Design(GetDlgCtrlID(button));
    pos = DeferWindowPos(pos, button, nullptr, d.Left, d.Top + dy, 0, 0, SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  const TControlDesign& quit = Design(idQuit);
  pos = DeferWindowPos(pos, btnQuit, nullptr, quit.Left + dx, quit.Top + dy, 0, 0,
                       SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
  EndDeferWindowPos(pos);
  // Moved controls leave stale pixels behind and are not always repainted.
  RedrawWindow(FHandle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

int TFormMain::CheckAreaWidth() const { return CheckBoxSize + 4; }

void TFormMain::ToggleCheck(int index) {
  if (index < 0 || index >= static_cast<int>(FChecked.size())) return;
  FChecked[index] = !FChecked[index];
  RECT item;
  if (SendMessageW(clbRegKeys, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item)) != LB_ERR)
    InvalidateRect(clbRegKeys, &item, FALSE);
  clbRegKeysClickCheck();
}

void TFormMain::clbRegKeysDrawItem(const DRAWITEMSTRUCT& item) {
  if (item.itemID == static_cast<UINT>(-1) || item.itemID >= FRegKeys.size()) {
    if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &item.rcItem);
    return;
  }
  HDC dc = item.hDC;
  RECT checkArea = item.rcItem;
  checkArea.right = checkArea.left + CheckAreaWidth();
  FillRect(dc, &checkArea, GetSysColorBrush(COLOR_WINDOW));
  RECT box;
  box.left = checkArea.left + (CheckAreaWidth() - CheckBoxSize) / 2;
  box.top = checkArea.top + (ItemHeight - CheckBoxSize) / 2;
  box.right = box.left + CheckBoxSize;
  box.bottom = box.top + CheckBoxSize;
  bool checked = FChecked[item.itemID];
  HTHEME theme = OpenThemeData(clbRegKeys, L"BUTTON");
  if (theme) {
    DrawThemeBackground(theme, dc, BP_CHECKBOX, checked ? CBS_CHECKEDNORMAL : CBS_UNCHECKEDNORMAL, &box, nullptr);
    CloseThemeData(theme);
  } else {
    DrawFrameControl(dc, &box, DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_FLAT | (checked ? DFCS_CHECKED : 0));
  }

  // The text part of the item, as the check list hands it to its drawing event.
  RECT rect = item.rcItem;
  rect.left = checkArea.right;
  const std::wstring& key = FRegKeys[item.itemID];
  bool isDefault = key == L"BDS";
  std::wstring text = isDefault ? L"(Default Registry Key)" : key;
  bool selected = item.itemState & ODS_SELECTED;
  SetBkColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  HGDIOBJ oldFont = SelectObject(dc, isDefault ? FBoldFont : FFont);
  ExtTextOutW(dc, rect.left + 1, rect.top + 2, ETO_CLIPPED | ETO_OPAQUE, &rect, text.c_str(),
              static_cast<UINT>(text.size()), nullptr);
  SelectObject(dc, oldFont);
  if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &rect);
}

void TFormMain::RequestControlDump() {
  if (!FHandle || FDumpPending || !InstallerLogEnabled()) return;
  FDumpPending = PostMessageW(FHandle, WM_DUMPCONTROLS, 0, 0);
}

void TFormMain::DumpControls() {
  FDumpPending = false;
  RECT client;
  GetClientRect(FHandle, &client);
  POINT origin = {0, 0};
  ClientToScreen(FHandle, &origin);
  std::wstring text = L"client " + std::to_wstring(client.right) + L"x" + std::to_wstring(client.bottom) +
                      L" at " + std::to_wstring(origin.x) + L"," + std::to_wstring(origin.y) + L"\n";
  for (const TControlDesign& d : Designs) {
    HWND control = GetDlgItem(FHandle, d.Id);
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, FHandle, reinterpret_cast<POINT*>(&r), 2);
    wchar_t className[64] = {};
    GetClassNameW(control, className, 64);
    text += std::wstring(d.Name) + L" " + className + L" " + std::to_wstring(r.left) + L"," +
            std::to_wstring(r.top) + L"," + std::to_wstring(r.right - r.left) + L"," +
            std::to_wstring(r.bottom - r.top) + L" enabled=" + (IsWindowEnabled(control) ? L"1" : L"0");
    if (d.Id == idDisablePackageCache)
      text += std::wstring(L" checked=") + (SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? L"1" : L"0");
    if (d.Id == idRegKeys) {
      text += L" itemheight=" + std::to_wstring(SendMessageW(control, LB_GETITEMHEIGHT, 0, 0)) + L" items=";
      int count = static_cast<int>(SendMessageW(control, LB_GETCOUNT, 0, 0));
      for (int i = 0; i < count; ++i) {
        wchar_t itemText[256] = {};
        if (SendMessageW(control, LB_GETTEXTLEN, i, 0) < 255)
          SendMessageW(control, LB_GETTEXT, i, reinterpret_cast<LPARAM>(itemText));
        text += std::wstring(i ? L";" : L"") + (i < static_cast<int>(FChecked.size()) && FChecked[i] ? L"[x]" : L"[ ]") +
                itemText;
      }
    } else {
      text += L" \"" + WindowText(control) + L"\"";
    }
    text += L"\n";
  }
  text += L"tab order:";
  HWND first = GetNextDlgTabItem(FHandle, nullptr, FALSE);
  HWND next = first;
  for (int guard = 0; next && guard < 16; ++guard) {
    int id = GetDlgCtrlID(next);
    text += std::wstring(L" ") + (id >= idDisablePackageCache && id <= idQuit ? Design(id).Name : L"?");
    next = GetNextDlgTabItem(FHandle, next, FALSE);
    if (next == first) break;
  }
  HWND focus = GetFocus();
  int focusId = focus ? GetDlgCtrlID(focus) : 0;
  text += std::wstring(L"\nfocus: ") + (focusId >= idDisablePackageCache && focusId <= idQuit ? Design(focusId).Name : L"-");
  AppendInstallerLog(L"window", WindowText(FHandle), text);
}

LRESULT CALLBACK TFormMain::CheckListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                          DWORD_PTR selfPtr) {
  TFormMain* self = reinterpret_cast<TFormMain*>(selfPtr);
  switch (msg) {
  case WM_LBUTTONDOWN:
  case WM_LBUTTONDBLCLK: {
    // A click on an item's check box toggles it (and still selects the item).
    LRESULT hit = SendMessageW(hwnd, LB_ITEMFROMPOINT, 0, lParam);
    if (HIWORD(hit) == 0 && static_cast<short>(LOWORD(lParam)) < self->CheckAreaWidth()) {
      LRESULT result = DefSubclassProc(hwnd, msg, wParam, lParam);
      self->ToggleCheck(LOWORD(hit));
      return result;
    }
    break;
  }
  case WM_KEYDOWN:
    if (wParam == VK_SPACE) {
      self->ToggleCheck(static_cast<int>(SendMessageW(hwnd, LB_GETCURSEL, 0, 0)));
      return 0;
    }
    break;
  case WM_CHAR:
    if (wParam == L' ') return 0;  // no incremental search on the blank that toggled
    break;
  case WM_NCDESTROY:
    RemoveWindowSubclass(hwnd, CheckListProc, 1);
    break;
  }
  return DefSubclassProc(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK TFormMain::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    reinterpret_cast<TFormMain*>(create->lpCreateParams)->FHandle = hwnd;
  }
  auto* self = reinterpret_cast<TFormMain*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
  return self->HandleMessage(hwnd, msg, wParam, lParam);
}

LRESULT TFormMain::HandleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
  case WM_COMMAND:
    switch (LOWORD(wParam)) {
    case idInstall:
      if (HIWORD(wParam) == BN_CLICKED) btnInstallClick();
      return 0;
    case idUninstall:
      if (HIWORD(wParam) == BN_CLICKED) btnUninstallClick();
      return 0;
    case idQuit:
      if (HIWORD(wParam) == BN_CLICKED) btnQuitClick();
      return 0;
    case idDisablePackageCache:
      if (HIWORD(wParam) == BN_CLICKED)
        FDisablePackageCache = SendMessageW(chkDisablePackageCache, BM_GETCHECK, 0, 0) == BST_CHECKED;
      return 0;
    }
    break;
  case DM_GETDEFID: {
    // Enter presses the focused button.
    HWND focus = GetFocus();
    int id = focus ? GetDlgCtrlID(focus) : 0;
    if (id == idInstall || id == idUninstall || id == idQuit) return MAKELRESULT(id, DC_HASDEFID);
    return 0;
  }
  case WM_MEASUREITEM: {
    auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
    if (measure->CtlID == idRegKeys) {
      measure->itemHeight = ItemHeight;
      return TRUE;
    }
    break;
  }
  case WM_DRAWITEM: {
    auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
    if (draw->CtlID == idRegKeys) {
      clbRegKeysDrawItem(*draw);
      return TRUE;
    }
    break;
  }
  case WM_CTLCOLORSTATIC:
    SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
  case WM_GETMINMAXINFO: {
    auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
    info->ptMinTrackSize.x = MinWindowWidth;
    info->ptMinTrackSize.y = MinWindowHeight;
    return 0;
  }
  case WM_SIZE:
    if (wParam != SIZE_MINIMIZED) {
      LayoutControls(LOWORD(lParam), HIWORD(lParam));
      RequestControlDump();
    }
    return 0;
  case WM_ACTIVATE:
    // Keep the focused control across deactivation, as dialogs do.
    if (LOWORD(wParam) == WA_INACTIVE) {
      HWND focus = GetFocus();
      if (focus && IsChild(FHandle, focus)) FFocusControl = focus;
    } else if (FFocusControl && IsWindow(FFocusControl)) {
      SetFocus(FFocusControl);
      return 0;
    }
    break;
  case WM_DUMPCONTROLS:
    DumpControls();
    return 0;
  case WM_CLOSE:
    DestroyWindow(hwnd);
    return 0;
  case WM_DESTROY:
    FHandle = nullptr;
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

} // namespace Quillmend

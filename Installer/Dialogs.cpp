#include "Dialogs.h"

#include "InstallerLog.h"

#include <commctrl.h>

namespace Quillmend {

namespace {

const wchar_t* const ApplicationTitle = L"QuillmendRegXE";

using TTaskDialogProc = HRESULT(WINAPI*)(HWND, HINSTANCE, PCWSTR, PCWSTR, PCWSTR,
                                         TASKDIALOG_COMMON_BUTTON_FLAGS, PCWSTR, int*);

// TaskDialog exists only in version 6 of the common controls, which the
// manifest asks for; look it up so an older comctl32 still gets a message box.
TTaskDialogProc FindTaskDialog() {
  HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
  if (!comctl) comctl = LoadLibraryW(L"comctl32.dll");
  return comctl ? reinterpret_cast<TTaskDialogProc>(reinterpret_cast<void*>(GetProcAddress(comctl, "TaskDialog")))
                : nullptr;
}

} // namespace

void ShowErrorDialog(HWND owner, const std::wstring& text) {
  AppendInstallerLog(L"error", L"Error", text);
  MessageBoxW(owner, text.c_str(), L"Error", MB_OK | MB_ICONERROR);
}

void ShowInfoTaskDialog(HWND owner, const std::wstring& title, const std::wstring& text) {
  AppendInstallerLog(L"task", title, text);
  if (TTaskDialogProc taskDialog = FindTaskDialog()) {
    int button = 0;
    if (SUCCEEDED(taskDialog(owner, nullptr, ApplicationTitle, title.c_str(), text.c_str(),
                             TDCBF_OK_BUTTON, TD_INFORMATION_ICON, &button)))
      return;
  }
  MessageBoxW(owner, text.c_str(), title.c_str(), MB_OK | MB_ICONINFORMATION);
}

int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& title, UINT flags) {
  AppendInstallerLog(L"message", title, text);
  return MessageBoxW(owner, text.c_str(), title.c_str(), flags);
}

} // namespace Quillmend

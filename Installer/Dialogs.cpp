#include "Dialogs.h"

#include "InstallerLog.h"

#include <commctrl.h>

namespace Quillmend {

namespace {

const wchar_t* const ApplicationTitle = L"QuillmendRegXE";

using TTaskDialogIndirectProc = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);

// TaskDialogIndirect exists only in version 6 of the common controls, which
// the manifest asks for; look it up so an older comctl32 still gets a message box.
TTaskDialogIndirectProc FindTaskDialog() {
  HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
  if (!comctl) comctl = LoadLibraryW(L"comctl32.dll");
  return comctl ? reinterpret_cast<TTaskDialogIndirectProc>(
                      reinterpret_cast<void*>(GetProcAddress(comctl, "TaskDialogIndirect")))
                : nullptr;
}

HRESULT CALLBACK TaskDialogCallback(HWND hwnd, UINT notification, WPARAM, LPARAM, LONG_PTR) {
  // Wine leaves a freshly created task dialog unpainted until something
  // invalidates it.
  if (notification == TDN_CREATED) RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  return S_OK;
}

} // namespace

void ShowErrorDialog(HWND owner, const std::wstring& text) {
  AppendInstallerLog(L"error", L"Error", text);
  MessageBoxW(owner, text.c_str(), L"Error", MB_OK | MB_ICONERROR);
}

void ShowInfoTaskDialog(HWND owner, const std::wstring& title, const std::wstring& text) {
  AppendInstallerLog(L"task", title, text);
  if (TTaskDialogIndirectProc taskDialog = FindTaskDialog()) {
    TASKDIALOGCONFIG config = {};
    config.cbSize = sizeof(config);
    config.hwndParent = owner;
    config.dwFlags = TDF_POSITION_RELATIVE_TO_WINDOW;
    config.dwCommonButtons = TDCBF_OK_BUTTON;
    config.pszWindowTitle = ApplicationTitle;
    config.pszMainIcon = TD_INFORMATION_ICON;
    config.pszMainInstruction = title.c_str();
    config.pszContent = text.c_str();
    config.pfCallback = TaskDialogCallback;
    int button = 0;
    if (SUCCEEDED(taskDialog(&config, &button, nullptr, nullptr))) return;
  }
  MessageBoxW(owner, text.c_str(), title.c_str(), MB_OK | MB_ICONINFORMATION);
}

int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& title, UINT flags) {
  AppendInstallerLog(L"message", title, text);
  return MessageBoxW(owner, text.c_str(), title.c_str(), flags);
}

} // namespace Quillmend

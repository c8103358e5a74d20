// The installer's dialogs. Each is also written to the installer log.
#pragma once

#include <windows.h>

#include <string>

namespace Quillmend {

// An error message with the error icon (also used for unexpected exceptions).
void ShowErrorDialog(HWND owner, const std::wstring& text);
// An information task dialog (title as main instruction, text as content,
// button OK); a message box where task dialogs are not available.
void ShowInfoTaskDialog(HWND owner, const std::wstring& title, const std::wstring& text);
// A plain message box; returns its result.
int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& title, UINT flags);

} // namespace Quillmend

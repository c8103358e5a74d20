// A journal of what the installer shows, for unattended checks: when the
// environment variable QUILLMEND_INSTALLER_LOG names a file, every dialog's
// kind, title and text (and, for the window, its control tree) are appended
// to it in UTF-8:
//   --- <kind>: <title>\n<text>\n
// with <kind> "error", "task", "message" or "window".
#pragma once

#include <string>

namespace Quillmend {

bool InstallerLogEnabled();
void AppendInstallerLog(const std::wstring& kind, const std::wstring& title, const std::wstring& text);

} // namespace Quillmend

// QuillmendRegXE: writes the Quillmend modules into the IDE's shared experts
// directory and registers them per IDE registry root; by window, or by command
// line without one (see "/?"). Exit codes: TInstallerExitCode. For unattended
// checks, QUILLMEND_INSTALLER_LOG=<file> makes it append every dialog (and the
// window's control tree) to that file (InstallerLog.h).
#include "InstallerMain.h"
#include "Win32Registry.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  using namespace Quillmend;
  TWin32Registry registry;
  TFormMain form(registry, instance);
  if (!form.FormCreate()) return form.ExitCode();
  return form.ShowAndRun();
}

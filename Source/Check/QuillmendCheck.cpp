// QuillmendCheck.exe: which patches would apply to an installed IDE, and why
// the others would not, before installing and after every IDE update.
// Links every shipped patch module; installs nothing and runs none of the
// IDE's code.
#include <cstdio>
#include <vector>
#include <windows.h>

#include "Check/CheckCommandLine.h"
#include "Check/CheckReport.h"
#include "Check/ConsoleOutput.h"
#include "Check/IdeCheck.h"
#include "Check/IdeModules.h"
#include "FileSystem.h"
#include "IdeRoot.h"
#include "Win32Registry.h"

using namespace Quillmend;

namespace {

enum TCheckExitCode {
  ecAllApply = 0,
  ecSomeFail = 1,
  ecCommandLineError = 2,
  ecNoIdeRoot = 3,
  ecCheckFault = 4,  // the check itself stopped on a fault
};

// A fault in a patch module's plan code ends the check with a clear line
// instead of the system's crash report.
LONG WINAPI ReportFault(EXCEPTION_POINTERS* pointers) {
  wchar_t text[200];
  std::swprintf(text, 200, L"QuillmendCheck: the check stopped on exception 0x%08lX at %p\r\n",
                pointers->ExceptionRecord->ExceptionCode, pointers->ExceptionRecord->ExceptionAddress);
  WriteText(STD_ERROR_HANDLE, text);
  ExitProcess(ecCheckFault);
}

int NoIdeRoot(const std::wstring& message) {
  WriteText(STD_ERROR_HANDLE, message + L"\r\n");
  return ecNoIdeRoot;
}

std::vector<const TUnitInfo*> ShippedPatchUnits() { return {PatchUnits, PatchUnits + PatchUnitCount}; }

} // namespace

int wmain(int argc, wchar_t** argv) {
  SetUnhandledExceptionFilter(&ReportFault);
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // Only system modules may ever be loaded by name in this process: an IDE
  // module in the current folder or on the search path must not be found.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  SetDllDirectoryW(L"");

  const TCheckCommandLine line = ParseCheckCommandLine(std::vector<std::wstring>(argv + 1, argv + argc));
  if (!line.Error.empty()) {
    WriteText(STD_ERROR_HANDLE, L"Command line option error: " + line.Error + L"\r\n\r\n" + CheckUsage);
    return ecCommandLineError;
  }
  if (line.Help) {
    WriteText(STD_OUTPUT_HANDLE, CheckUsage);
    return ecAllApply;
  }

  TWin32Registry registry;
  TCheckedIde ide;
  ide.RegKey = line.RegKey;
  ide.RootKey = L"HKCU" + IdeRootKey(line.RegKey);
  if (!registry.OpenKey(HKEY_CURRENT_USER, IdeRootKey(line.RegKey), TRegOpen::ReadOnly))
    return NoIdeRoot(ide.RootKey + L" does not exist: no IDE is registered under the key \"" + line.RegKey + L"\".");
  if (!IsXeRootKey(registry, line.RegKey))
    return NoIdeRoot(ide.RootKey + L" is not a RAD Studio XE root (its \"ProductVersion\" is not \"15\").");
  ide.RootDir = IdeRootDir(registry, line.RegKey);
  if (ide.RootDir.empty()) return NoIdeRoot(ide.RootKey + L" does not have a valid RootDir entry.");
  ide.BinDir = ide.RootDir + L"\\bin";
  if (!DirectoryExists(ide.BinDir))
    return NoIdeRoot(ide.BinDir + L" does not exist: the IDE root has no bin folder.");

  TIdeModules modules(ide.BinDir);
  const TIdeCheck check = CheckIde(modules, ShippedPatchUnits());
  if (line.Json)
    WriteUtf8(STD_OUTPUT_HANDLE, CheckJson(ide, check, modules));
  else
    WriteText(STD_OUTPUT_HANDLE, CheckText(ide, check, modules));
  return check.AllCheckableApply() ? ecAllApply : ecSomeFail;
}

// The installer's main form: the list of IDE registry roots, the package-cache
// option and the install/uninstall actions, by window or by command line. The
// form's state lives in fields; the window, created only when the form is
// shown, displays it, so command-line runs need no window at all.
#pragma once

#include "Registry.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace Quillmend {

// Exit codes of the program.
enum TInstallerExitCode {
  ecSuccess = 0,
  ecActionFailed = 1,      // an install, uninstall or extract run raised an error
  ecCommandLineError = 2,  // the command line was rejected; nothing was done
  ecNoRootDir = 3,         // no default IDE installation was found; nothing was done
};

class TFormMain {
public:
  TFormMain(IRegistry& registry, HINSTANCE instance);
  ~TFormMain();
  TFormMain(const TFormMain&) = delete;
  TFormMain& operator=(const TFormMain&) = delete;

  // Start-up sequence; true when the form is to be shown afterwards.
  bool FormCreate();
  // Shows the form and runs until it is closed; returns the exit code.
  int ShowAndRun();
  int ExitCode() const { return FExitCode; }

  void FillRegKeys();
  void UpdateButtons();
  std::wstring GetExpertsDir();
  void DoInstall(bool ShowMessage, bool ExtractOnly, const std::wstring& TargetDir);
  void DoUninstall(bool ShowMessage);
  void RegisterExpert(const std::wstring& ValueName, const std::wstring& FileName);
  // True when the program is to end without showing its window.
  bool ProcessCommandLine();

  // Events of the window.
  void btnInstallClick();
  void btnUninstallClick();
  void btnQuitClick();
  void clbRegKeysClickCheck();
  void clbRegKeysDrawItem(const DRAWITEMSTRUCT& item);

private:
  std::wstring RootKey(const std::wstring& key) const;
  void InstallIntoRoot(const std::wstring& key, const std::wstring& startupName);
  void ShowException(const std::wstring& message);
  // Runs an action and shows an exception it raises; false if it raised.
  bool Guarded(const std::function<void()>& action);

  // Window side (InstallerWindow.cpp).
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK CheckListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR id, DWORD_PTR self);
  LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  void ShowModelInControls();
  void LayoutControls(int clientWidth, int clientHeight);
  void ToggleCheck(int index);
  int CheckAreaWidth() const;
  void RequestControlDump();
  void DumpControls();

  IRegistry& FRegistry;
  HINSTANCE FInstance;
  int FExitCode = ecSuccess;

  // Form state.
  std::wstring FCaption;
  std::wstring FBDSRootDir;
  std::vector<std::wstring> FRegKeys;  // list items, "BDS" first when present
  std::vector<bool> FChecked;
  bool FDisablePackageCache = false;
  bool FInstallEnabled = false;
  bool FUninstallEnabled = false;

  // Window and controls (null until shown).
  HWND FHandle = nullptr;
  HWND chkDisablePackageCache = nullptr;
  HWND lblRegKeys = nullptr;
  HWND clbRegKeys = nullptr;
  HWND btnInstall = nullptr;
  HWND btnUninstall = nullptr;
  HWND btnQuit = nullptr;
  HWND FFocusControl = nullptr;
  HFONT FFont = nullptr;
  HFONT FBoldFont = nullptr;
  bool FDumpPending = false;
};

} // namespace Quillmend

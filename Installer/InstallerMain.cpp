#include "InstallerMain.h"

#include "CommandLine.h"
#include "Dialogs.h"
#include "FileSystem.h"
#include "IdeRoot.h"
#include "InstallerError.h"
#include "KnownPackages.h"
#include "ResourceFiles.h"
#include "StringUtils.h"
#include "Version.h"

#include <shlobj.h>

#include <algorithm>

namespace Quillmend {

namespace {

const wchar_t* const EmbarcaderoKey = L"\\Software\\Embarcadero";
const wchar_t* const DefaultRegKey = L"BDS";
const wchar_t* const StartupDescription = L"Quillmend Startup";
const wchar_t* const ExpertValueName = L"Quillmend";
const wchar_t* const CacheValueName = L"QuillmendDisablePackageCache";

// "Registry key "X" names no ..." or "Registry keys "X", "Y" name no ...".
std::wstring NoRootSelectedMessage(const std::vector<std::wstring>& keys) {
  std::wstring names;
  for (const std::wstring& key : keys) names += (names.empty() ? L"\"" : L", \"") + key + L"\"";
  return keys.size() == 1 ? L"Registry key " + names + L" names no listed IDE registry root; nothing was installed."
                          : L"Registry keys " + names + L" name no listed IDE registry root; nothing was installed.";
}

} // namespace

TFormMain::TFormMain(IRegistry& registry, HINSTANCE instance) : FRegistry(registry), FInstance(instance) {}

std::wstring TFormMain::RootKey(const std::wstring& key) const { return IdeRootKey(key); }

void TFormMain::ShowException(const std::wstring& message) { ShowErrorDialog(FHandle, message); }

bool TFormMain::Guarded(const std::function<void()>& action) {
  try {
    action();
    return true;
  } catch (const EInstallerError& e) {
    ShowException(e.Message());
  } catch (const std::bad_alloc&) {
    ShowException(L"Out of memory");
  } catch (const std::exception& e) {
    std::string what = e.what();
    ShowException(std::wstring(what.begin(), what.end()));
  }
  return false;
}

bool TFormMain::FormCreate() {
  FCaption = FormatText(L"Register Quillmend %s", InstallerVersion);
  if (!Guarded([&] {
        GetExpertsDir();
        FillRegKeys();
        UpdateButtons();
      })) {
    FExitCode = ecActionFailed;
    return false;
  }
  if (FBDSRootDir.empty()) {
    ShowErrorDialog(nullptr, L"HKCU\\Software\\Embarcadero\\BDS\\8.0 does not have a valid RootDir entry.");
    FExitCode = ecNoRootDir;
    return false;
  }
  bool endProgram = false;
  // A failed command-line action ends the program with a non-zero exit code
  // instead of leaving a window behind that an unattended caller would wait on.
  if (!Guarded([&] { endProgram = ProcessCommandLine(); })) {
    FExitCode = ecActionFailed;
    return false;
  }
  return !endProgram;
}

void TFormMain::FillRegKeys() {
  FRegKeys.clear();
  FChecked.clear();
  FBDSRootDir.clear();
  std::vector<std::wstring> names;
  if (auto embarcadero = FRegistry.OpenKey(HKEY_CURRENT_USER, EmbarcaderoKey, TRegOpen::ReadOnly))
    if (!embarcadero->GetKeyNames(names)) names.clear();

  for (size_t i = names.size(); i-- > 0;)
    if (!IsXeRootKey(FRegistry, names[i])) names.erase(names.begin() + i);

  for (const std::wstring& name : names)
    if (SameText(name, DefaultRegKey)) FBDSRootDir = IdeRootDir(FRegistry, name);

  auto bds = std::find_if(names.begin(), names.end(), [](const std::wstring& n) { return SameText(n, DefaultRegKey); });
  if (bds != names.end() && bds != names.begin()) std::iter_swap(bds, names.begin());
  FRegKeys = names;

  FDisablePackageCache = ReadRegBool(FRegistry, HKEY_CURRENT_USER, RootKey(DefaultRegKey), CacheValueName, false);
  FChecked.assign(FRegKeys.size(), true);
  ShowModelInControls();
}

void TFormMain::UpdateButtons() {
  FInstallEnabled = std::find(FChecked.begin(), FChecked.end(), true) != FChecked.end();
  FUninstallEnabled = false;
  for (const std::wstring& key : FRegKeys) {
    auto experts = FRegistry.OpenKey(HKEY_CURRENT_USER, RootKey(key) + L"\\Experts", TRegOpen::ReadOnly);
    if (experts && experts->ValueExists(ExpertValueName)) {
      FUninstallEnabled = true;
      break;
    }
  }
  if (FHandle) {
    EnableWindow(btnInstall, FInstallEnabled);
    EnableWindow(btnUninstall, FUninstallEnabled);
    RequestControlDump();
  }
}

std::wstring TFormMain::GetExpertsDir() {
  wchar_t path[MAX_PATH + 1] = {};
  SetLastError(ERROR_PATH_NOT_FOUND);
  if (!SHGetSpecialFolderPathW(nullptr, path, CSIDL_COMMON_DOCUMENTS, FALSE)) RaiseLastSystemError();
  return ExcludeTrailingPathDelimiter(path) + L"\\" + L"RAD Studio\\8.0\\Experts";
}

void TFormMain::RegisterExpert(const std::wstring& ValueName, const std::wstring& FileName) {
  for (size_t i = 0; i < FRegKeys.size(); ++i)
    if (FChecked[i]) WriteRegString(FRegistry, HKEY_CURRENT_USER, RootKey(FRegKeys[i]) + L"\\Experts", ValueName, FileName);
}

void TFormMain::InstallIntoRoot(const std::wstring& key, const std::wstring& startupName) {
  std::wstring root = RootKey(key);
  if (auto disabled = FRegistry.OpenKey(HKEY_CURRENT_USER, root + L"\\Disabled Packages", TRegOpen::ReadWrite))
    if (disabled->ValueExists(startupName)) disabled->DeleteValue(startupName);

  PutStartupPackageFirst(*CreateRegKey(FRegistry, HKEY_CURRENT_USER, root + L"\\Known IDE Packages"), startupName,
                         StartupDescription);

  if (FDisablePackageCache) {
    FRegistry.DeleteKey(HKEY_CURRENT_USER, root + L"\\" + L"Package Cache");
    FRegistry.DeleteKey(HKEY_CURRENT_USER, root + L"\\" + L"Palette\\Cache");
    WriteRegString(FRegistry, HKEY_CURRENT_USER, root + L"\\Globals", CacheValueName, L"1");
  } else {
    DeleteRegValue(FRegistry, HKEY_CURRENT_USER, root + L"\\Globals", CacheValueName);
  }
}

void TFormMain::DoInstall(bool ShowMessage, bool ExtractOnly, const std::wstring& TargetDir) {
  try {
    std::wstring dir = TargetDir.empty() ? GetExpertsDir() : TargetDir;
    if (!ForceDirectories(dir)) throw EInstallerError(FormatText(L"Cannot create directory: %s", dir));
    std::wstring expertFile = dir + L"\\Quillmend.dll";
    ExtractResource(L"DLLEXPERT", expertFile);
    if (!ExtractOnly) RegisterExpert(ExpertValueName, expertFile);
    if (ResourceExists(L"DLLCLR")) ExtractResource(L"DLLCLR", dir + L"\\QuillmendClr.dll");
    std::wstring startupName = dir + L"\\QuillmendStartup.bpl";
    ExtractResource(L"STARTUPBPL", startupName);
    if (!ExtractOnly)
      for (size_t i = 0; i < FRegKeys.size(); ++i)
        if (FChecked[i]) InstallIntoRoot(FRegKeys[i], startupName);
    if (ShowMessage && !ExtractOnly)
      ShowInfoTaskDialog(FHandle, L"Installed successfully", L"Quillmend was successfully installed.");
  } catch (...) {
    UpdateButtons();
    throw;
  }
  UpdateButtons();
}

void TFormMain::DoUninstall(bool ShowMessage) {
  try {
    std::wstring dir = GetExpertsDir();
    std::wstring startupName = dir + L"\\QuillmendStartup.bpl";
    bool dirExists = DirectoryExists(dir);
    if (dirExists) {
      for (const wchar_t* file : {L"\\Quillmend.dll", L"\\QuillmendClr.dll", L"\\QuillmendStartup.bpl"}) {
        std::wstring fileName = dir + file;
        if (FileExists(fileName) && !DeleteFileW(fileName.c_str()))
          throw EInstallerError(FormatText(L"Cannot delete file: %s", fileName));
      }
    }
    // The registrations go even when the experts directory is already gone:
    // otherwise the IDE would keep loading files that no longer exist.
    for (const std::wstring& key : FRegKeys) {
      std::wstring root = RootKey(key);
      DeleteRegValue(FRegistry, HKEY_CURRENT_USER, root + L"\\Experts", ExpertValueName);
      DeleteRegValue(FRegistry, HKEY_CURRENT_USER, root + L"\\Known IDE Packages", startupName);
      DeleteRegValue(FRegistry, HKEY_CURRENT_USER, root + L"\\Disabled Packages", startupName);
    }
    if (dirExists) RemoveDirectoryW(dir.c_str());  // only succeeds when empty
    if (ShowMessage)
      ShowInfoTaskDialog(FHandle, L"Uninstalled successfully", L"Quillmend was successfully uninstalled.");
  } catch (...) {
    UpdateButtons();
    throw;
  }
  UpdateButtons();
}

bool TFormMain::ProcessCommandLine() {
  TCommandLineRequest request = ParseCommandLine(SplitCommandLine(GetCommandLineW()));
  if (request.ShowHelp) {
    ShowMessageBox(FHandle, HelpText, HelpTitle, MB_OK | MB_ICONINFORMATION);
    return true;
  }
  if (request.DisablePackageCache >= 0) FDisablePackageCache = request.DisablePackageCache == 1;
  if (!request.Error.empty()) {
    ShowErrorDialog(FHandle, L"Command line option error:\n\n" + request.Error);
    FExitCode = ecCommandLineError;
    return true;
  }
  for (size_t i = 0; i < FRegKeys.size(); ++i) {
    FChecked[i] = request.SelectedKeys.empty() ||
                  std::any_of(request.SelectedKeys.begin(), request.SelectedKeys.end(),
                              [&](const std::wstring& k) { return SameText(k, FRegKeys[i]); });
  }
  ShowModelInControls();
  switch (request.Mode) {
  case TInstallMode::Install:
    // Keys given that name no listed root (a typo) would install the files
    // and register them nowhere: refuse before anything is written.
    if (std::find(FChecked.begin(), FChecked.end(), true) == FChecked.end())
      throw EInstallerError(NoRootSelectedMessage(request.SelectedKeys));
    DoInstall(false, false, std::wstring());
    return true;
  case TInstallMode::Uninstall:
    DoUninstall(false);
    return true;
  case TInstallMode::Extract:
    DoInstall(false, true, ExtractFileDir(OwnExecutableName()) + L"\\Files");
    return true;
  default:
    return false;
  }
}

void TFormMain::btnInstallClick() { Guarded([&] { DoInstall(true, false, std::wstring()); }); }

void TFormMain::btnUninstallClick() { Guarded([&] { DoUninstall(true); }); }

void TFormMain::btnQuitClick() {
  if (FHandle) PostMessageW(FHandle, WM_CLOSE, 0, 0);
}

void TFormMain::clbRegKeysClickCheck() { UpdateButtons(); }

} // namespace Quillmend

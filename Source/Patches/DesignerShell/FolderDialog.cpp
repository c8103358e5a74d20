#include "Patches/DesignerShell/FolderDialog.h"

#include <shlobj.h>

namespace Quillmend {

namespace {

TFileOpenDialogFactory g_factory = nullptr;

IFileOpenDialog* SystemFileOpenDialog() {
  IFileOpenDialog* dialog = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                              reinterpret_cast<void**>(&dialog))))
    return nullptr;
  return dialog;
}

const struct {
  uint32_t Host;
  FILEOPENDIALOGOPTIONS System;
} OptionMap[] = {
    {HostDialogOption::PickFolders, FOS_PICKFOLDERS},
    {HostDialogOption::PathMustExist, FOS_PATHMUSTEXIST},
    {HostDialogOption::ShareAware, FOS_SHAREAWARE},
    {HostDialogOption::NoTestFileCreate, FOS_NOTESTFILECREATE},
};

} // namespace

FILEOPENDIALOGOPTIONS SystemDialogOptions(uint32_t hostOptions) {
  FILEOPENDIALOGOPTIONS options = 0;
  for (const auto& option : OptionMap)
    if (hostOptions & option.Host) options |= option.System;
  return options;
}

void SetFileOpenDialogFactory(TFileOpenDialogFactory factory) { g_factory = factory; }

TFolderDialog::TFolderDialog() {
  // S_FALSE (already initialised here) needs its CoUninitialize too; a
  // thread of the other apartment model keeps its own.
  FUninitialize = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  FDialog = g_factory ? g_factory() : SystemFileOpenDialog();
}

TFolderDialog::~TFolderDialog() {
  if (FDialog) FDialog->Release();
  if (FUninitialize) CoUninitialize();
}

TFolderDialogResult TFolderDialog::Show(const TFolderDialogRequest& request, std::wstring& chosen) {
  if (!FDialog) return TFolderDialogResult::Unavailable;
  FILEOPENDIALOGOPTIONS options = 0;
  if (FAILED(FDialog->GetOptions(&options))) options = 0;
  // A dialog that would pick files is no folder dialog.
  if (FAILED(FDialog->SetOptions(options | SystemDialogOptions(request.HostOptions))))
    return TFolderDialogResult::Unavailable;
  if (!request.Title.empty()) FDialog->SetTitle(request.Title.c_str());
  IShellItem* folder = nullptr;
  if (!request.Folder.empty() &&
      SUCCEEDED(SHCreateItemFromParsingName(request.Folder.c_str(), nullptr, IID_IShellItem,
                                            reinterpret_cast<void**>(&folder)))) {
    FDialog->SetFolder(folder);
    folder->Release();
  }
  if (FAILED(FDialog->Show(request.Owner))) return TFolderDialogResult::Cancelled;
  IShellItem* result = nullptr;
  if (FAILED(FDialog->GetResult(&result)) || !result) return TFolderDialogResult::Cancelled;
  wchar_t* path = nullptr;
  const HRESULT named = result->GetDisplayName(SIGDN_FILESYSPATH, &path);
  result->Release();
  // A virtual item (a library, the network) is no directory.
  if (FAILED(named) || !path) return TFolderDialogResult::Cancelled;
  chosen = path;
  CoTaskMemFree(path);
  return TFolderDialogResult::Confirmed;
}

} // namespace Quillmend

// The system's folder-picking file-open dialog (IFileOpenDialog), as the
// directory dialog patch shows it. Its options come as the host's
// file-dialog option set (TFileDialogOptions: bit 3 pick folders, 8 path
// must exist, 11 share aware, 13 no test file create), each mapped to the
// system's flag: the set's bits are not the system's FOS_ values, and taken
// as such they would leave out FOS_PICKFOLDERS and let the dialog pick files.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <cstdint>
#include <string>

namespace Quillmend {

namespace HostDialogOption {
constexpr uint32_t PickFolders = 1u << 3, PathMustExist = 1u << 8, ShareAware = 1u << 11,
                   NoTestFileCreate = 1u << 13;
}

// The system flags for a host option set (bits the mapping does not know are dropped).
FILEOPENDIALOGOPTIONS SystemDialogOptions(uint32_t hostOptions);

struct TFolderDialogRequest {
  std::wstring Title;   // empty: the system's
  std::wstring Folder;  // where the dialog opens; empty or not a folder: the system's choice
  HWND Owner;
  uint32_t HostOptions;
};

enum class TFolderDialogResult { Confirmed, Cancelled, Unavailable };

// Where the dialog object comes from (tests hand in their own); null: the system's.
using TFileOpenDialogFactory = IFileOpenDialog* (*)();
void SetFileOpenDialogFactory(TFileOpenDialogFactory factory);

// One dialog: made (COM initialised on this thread for its life) when
// constructed; Unavailable when it cannot be made or take the options.
class TFolderDialog {
public:
  TFolderDialog();
  ~TFolderDialog();
  TFolderDialog(const TFolderDialog&) = delete;
  TFolderDialog& operator=(const TFolderDialog&) = delete;

  bool Available() const { return FDialog != nullptr; }
  // Shows it modally; Confirmed only with a file-system folder in `chosen`.
  TFolderDialogResult Show(const TFolderDialogRequest& request, std::wstring& chosen);

private:
  IFileOpenDialog* FDialog = nullptr;
  bool FUninitialize = false;
};

} // namespace Quillmend

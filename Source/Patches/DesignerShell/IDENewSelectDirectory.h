// "IDE.NewSelectDirectoryDialog": the IDE asks for directories through the
// component library's SelectDirectory and its browse-for-folder action,
// which show the old folder browser. Where the caller asks for the new
// look (SelectDirectory: sdNewUI without sdShowFiles; the action: the new
// dialog style) and browses from the desktop, the system's folder-picking
// file-open dialog is shown instead; any other call keeps the old dialog.
// Windows 6.0 or later only: the file-open dialog does not exist before.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// TSelectDirExtOpt, as bits of its set.
namespace SelectDirOption {
constexpr uint32_t NewFolder = 1u << 0, ShowEdit = 1u << 1, ShowShares = 1u << 2, NewUI = 1u << 3,
                   ShowFiles = 1u << 4, ValidateDir = 1u << 5;
}

// TBrowseForFolder's fields the replacement reads and writes.
namespace BrowseForFolderLayout {
constexpr int ComponentState = 24;  // TComponent's; bit 0 csLoading
constexpr int BeforeExecute = 56, OnAccept = 64, OnCancel = 72, ExecuteResult = 80, DialogCaption = 84,
              BrowseOptions = 88, Folder = 92, RootDir = 96, RootFolder = 100, SpecialFolder = 104;
constexpr int32_t Size = 108;
}  // namespace BrowseForFolderLayout
constexpr uint32_t BrowseNewDialogStyle = 0x40, BrowseShareable = 0x8000;

// Whether a call gets the new dialog: sdNewUI without sdShowFiles, from the desktop.
bool SelectsWithNewDialog(uint32_t selectOptions, const wchar_t* root);
// The host's file-dialog option set for SelectDirectory's options.
uint32_t SelectDirectoryDialogOptions(uint32_t selectOptions);
// The caption trimmed, a trailing ":" dropped, trimmed again.
std::wstring DialogTitle(const std::wstring& caption);

using TSelectDirectory = uint8_t(QM_REGISTER*)(const wchar_t* caption, const wchar_t* root, wchar_t** directory,
                                               void* parent, uint32_t options);
using TExecuteTarget = void(QM_REGISTER*)(void* action, void* target);
extern TSelectDirectory OrgSelectDirectory;
extern TExecuteTarget OrgBrowseExecuteTarget;
// The host pushes the options, then the parent: declared in reverse.
uint8_t QM_REGISTER SelectDirectoryReplacement(const wchar_t* caption, const wchar_t* root, wchar_t** directory,
                                               void* parent, uint32_t options);
void QM_REGISTER BrowseExecuteTargetReplacement(void* action, void* target);

// The running system's major version (tests stand in another); null: the system's.
using TWindowsMajorVersion = DWORD (*)();
void SetWindowsMajorVersionSource(TWindowsMajorVersion source);

TPatchPlan NewSelectDirectoryPlan();
void InstallIDENewSelectDirectory();

extern const TUnitInfo Unit_IDENewSelectDirectory;

} // namespace Quillmend

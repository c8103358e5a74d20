// The stand-in directory dialogs (vclx150.bpl, units FileCtrl and
// StdActns), declared once for the stand-in, bds.exe, the tests and the
// benchmarks.
//
// `@Filectrl@SelectDirectory$qqrx20System@UnicodeStringx17System@WideStringr20System@UnicodeString53System@%Set$t25Filectrl@TSelectDirExtOpt$iuc$0$iuc$5%p20Controls@TWinControl`
// (EAX = caption, a host string; EDX = root, a WideString; ECX = the
// directory variable; on the stack, pushed in this order, the options, a
// set of TSelectDirExtOpt 0..5 in one byte, and the parent control, a
// TWinControl or nil → AL) shows the old folder browser (**the fault**: the
// old dialog, whatever the options ask for). The stand-in shows no dialog:
// it counts the call, keeps a line describing it
// ("caption|root|directory|options|owner") and answers what the test chose
// with VclxSetOldDialogAnswer (confirmed: the directory becomes the folder
// given). TSelectDirExtOpt: 0 sdNewFolder, 1 sdShowEdit, 2 sdShowShares, 3
// sdNewUI, 4 sdShowFiles, 5 sdValidateDir.
//
// `@Stdactns@TBrowseForFolder@` over vcl150's TCustomAction (BrowseLayout),
// built when the package starts; its virtual method 7 is
// `@Stdactns@TBrowseForFolder@ExecuteTarget$qqrp14System@TObject` (EAX =
// the action, EDX = the target): ExecuteResult cleared, BeforeExecute
// called, the old dialog run as above (its line: "browse:" + caption |
// root | folder | options in hexadecimal | 0), ExecuteResult set, the folder
// taken when confirmed, then OnAccept or OnCancel. Events are {Code, Data},
// called Code(EAX = Data, EDX = the action).
//
// Both routines start as the host's compiler starts a routine.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "Common/HostLayout.h"

namespace SelectDirectoryDriver {

namespace Export {
constexpr const char* SelectDirectory =
    "@Filectrl@SelectDirectory$qqrx20System@UnicodeStringx17System@WideStringr20System@UnicodeString53System@%Set$t25Filectrl@TSelectDirExtOpt$iuc$0$iuc$5%p20Controls@TWinControl";
constexpr const char* BrowseForFolderClass = "@Stdactns@TBrowseForFolder@";
constexpr const char* ExecuteTarget = "@Stdactns@TBrowseForFolder@ExecuteTarget$qqrp14System@TObject";
// Driver (stdcall).
constexpr const char* SetOldDialogAnswer = "VclxSetOldDialogAnswer";
constexpr const char* OldDialogCalls = "VclxOldDialogCalls";
constexpr const char* CallSelectDirectory = "VclxCallSelectDirectory";
constexpr const char* NewBrowseForFolder = "VclxNewBrowseForFolder";
constexpr const char* ExecuteAction = "VclxExecuteAction";
}  // namespace Export

constexpr int ExecuteTargetSlot = 7;

// TBrowseForFolder, after TCustomAction's 56 bytes.
namespace BrowseLayout {
constexpr int BeforeExecute = 56, OnAccept = 64, OnCancel = 72;  // {Code, Data}
constexpr int ExecuteResult = 80;                                // byte
constexpr int DialogCaption = 84, BrowseOptions = 88, Folder = 92, RootDir = 96;
constexpr int RootFolder = 100;     // an item identifier list, nil: none
constexpr int SpecialFolder = 104;  // a shell folder number, -1: none
constexpr int Size = 108;
}  // namespace BrowseLayout
// BrowseOptions holds the system's browse-info flags.
constexpr std::uint32_t BrowseNewDialogStyle = 0x40, BrowseShareable = 0x8000;
// TComponent's state: csLoading.
constexpr int ComponentStateOffset = 24;
constexpr std::uint32_t ComponentLoading = 1;

// Options: the set's byte; parent: a TWinControl or nil. *directory is
// replaced by the result (its buffer of `size` characters); → the result.
using CallSelectDirectoryFn = int32_t(__stdcall*)(const wchar_t* caption, const wchar_t* root, wchar_t* directory,
                                                  int32_t size, int32_t options, void* parent);
// The next old dialogs' answer (confirmed: the folder chosen).
using SetOldDialogAnswerFn = void(__stdcall*)(int32_t confirmed, const wchar_t* folder);
// The old dialogs shown so far, the last one's line into `line`.
using OldDialogCallsFn = int32_t(__stdcall*)(wchar_t* line, int32_t size);
// A new action: caption, options, folder, root; root folder and special folder unset; no events.
using NewBrowseForFolderFn = void*(__stdcall*)(const wchar_t* caption, uint32_t options, const wchar_t* folder,
                                               const wchar_t* root);
// Runs the action's virtual ExecuteTarget (whatever its class's slot holds
// now) with the action's events counting into `events`: "b" before, "a"
// accepted, "c" cancelled, appended; → its ExecuteResult; its folder into `folder`.
using ExecuteActionFn = int32_t(__stdcall*)(void* action, char* events, int32_t eventsSize, wchar_t* folder,
                                            int32_t folderSize);

struct Driver {
  SetOldDialogAnswerFn SetOldDialogAnswer = nullptr;
  OldDialogCallsFn OldDialogCalls = nullptr;
  CallSelectDirectoryFn CallSelectDirectory = nullptr;
  NewBrowseForFolderFn NewBrowseForFolder = nullptr;
  ExecuteActionFn ExecuteAction = nullptr;

  bool Bind(HMODULE module) {
    bool ok = true;
    auto bind = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
          reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
      ok = ok && slot;
    };
    bind(SetOldDialogAnswer, Export::SetOldDialogAnswer);
    bind(OldDialogCalls, Export::OldDialogCalls);
    bind(CallSelectDirectory, Export::CallSelectDirectory);
    bind(NewBrowseForFolder, Export::NewBrowseForFolder);
    bind(ExecuteAction, Export::ExecuteAction);
    return ok;
  }
};

}  // namespace SelectDirectoryDriver

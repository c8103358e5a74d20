// The IDE services {86602DE0-50BF-4AE5-BAF4-D9438BD33218}, the part experts
// register IDE notifiers with:
//   slot 3  AddNotifier(Notifier): Integer      EAX=Self, EDX=Notifier (kept with a reference)
//   slot 4  RemoveNotifier(Index)               EAX=Self, EDX=Index (its reference released)
//   slot 5  GetBaseRegistryKey: string          EAX=Self, EDX=@Result (host string)
//   slot 13 the directory of "DefProject.bdsproj" EAX=Self, EDX=@Result (host string; "" until set)
// The IDE calls a notifier's
//   slot 7  FileNotification(Code, FileName, var Cancel: Boolean)
//           EAX=Notifier, EDX=Code, ECX=FileName (host string), stack: @Cancel
// Journal: "IDE-NOTIFIER-ADD <index>", "IDE-NOTIFIER-REMOVE <index>[ unknown]",
// "FILE-NOTIFICATION <code> <file> notifiers=<n>".
#pragma once

#include <windows.h>

#include <string>

#include "IdeServices/ComObject.h"

namespace QmHost {

extern const GUID IdeServicesId;

ComObject* IdeServices();

// The IDE tells every registered notifier about a file (1: opened, 2:
// closed, 9: all closed, ...); true if one of them cancelled.
bool NotifyFile(int code, const std::wstring& fileName);
int IdeNotifierCount();

// The key GetBaseRegistryKey answers (Software\Embarcadero\<key>\8.0).
void SetBaseRegistryKey(const std::wstring& key);
// The directory slot 13 answers.
void SetDefProjectDirectory(const std::wstring& directory);

// Notifier slots the IDE calls (the test host's choice, as the IDE declares them).
namespace NotifierSlot {
constexpr int Destroyed = 5;
constexpr int Modified = 6;
constexpr int FileNotification = 7;
constexpr int ModuleRenamed = 8;
} // namespace NotifierSlot

} // namespace QmHost

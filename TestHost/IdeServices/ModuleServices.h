// The module services {55A5E848-27FB-4880-8E7C-7F05A9802482} and the modules
// (open files) they hand out.
//   services slot 9   FindModule(FileName): IOTAModule   EAX=Self, EDX=FileName, ECX=@Result
//   module slot 3     AddNotifier(Notifier): Integer     EAX=Self, EDX=Notifier (kept with a reference)
//   module slot 6     GetFileName: string                EAX=Self, EDX=@Result
//   module slot 13    RemoveNotifier(Index)              EAX=Self, EDX=Index
//   module slot 18    CurrentEditor: IOTAEditor          EAX=Self, EDX=@Result (nil without an editor)
// and, as the compiler's directory cache reads the IDE's open files:
//   services slot 10  GetModuleCount: Integer
//   services slot 11  GetModule(Index): IOTAModule       EAX=Self, EDX=Index, ECX=@Result
//   module slot 8     GetModuleFileCount: Integer        (1 with an editor, else 0)
//   module slot 9     GetModuleFileEditor(Index): IOTAEditor   EAX=Self, EDX=Index, ECX=@Result
//   editor slot 4     GetFileName: string                EAX=Self, EDX=@Result
// An editor whose buffer has a modification time also answers
// {748FB436-59B9-495D-8AC8-807CF6622967} (the same object), whose slot 5
// returns that time as a TDateTime of local time in ST(0) (our choice of
// the method's form).
// Results come through the hidden last argument: the caller's variable,
// which the callee assigns (an interface with a reference for the caller, a
// host string with reference count 1).
// The IDE calls a module notifier's slot 5 Destroyed, 6 Modified and
// 8 ModuleRenamed(NewName: string) (EAX=Notifier, EDX=NewName).
// Journal: "MODULE-OPEN <file>", "MODULE-NOTIFIER-ADD <file> <index>",
// "MODULE-NOTIFIER-REMOVE <file> <index>[ unknown]", "MODULE-CLOSE <file> notifiers=<n>".
//
// More slots of either interface are added from other files with
// ModuleServicesMethods().Set / ModuleMethods().Set before the first module opens.
#pragma once

#include <windows.h>

#include <string>

#include "IdeServices/ComObject.h"

namespace QmHost {

extern const GUID ModuleServicesId;
extern const GUID ModuleId;

ComObject* ModuleServices();
MethodTable& ModuleServicesMethods();
MethodTable& ModuleMethods();

struct Module;
// The module's COM-style object (what the IDE hands out for it).
ComObject* ModuleObject(Module* module);

// The IDE's own side: a file opened (with or without an editor), edited,
// saved under another name, closed.
Module* OpenModule(const std::wstring& fileName, bool withEditor = true);
Module* FindOpenModule(const std::wstring& fileName);
void ModifyModule(Module* module);
void RenameModule(Module* module, const std::wstring& newName);
void CloseModule(Module* module);
void CloseAllModules();
int OpenModuleCount();
// The module's editor buffer modified at `modified` (a TDateTime of local
// time): its editor answers the time interface from now on.
void SetEditorModified(Module* module, double modified);
// The modification time of the open editor of this file (full path,
// ignoring case) that has one; false when there is none.
bool EditorModifiedTime(const std::wstring& fullPath, double& modified);
// TDateTime of a file time that is already local, and back (milliseconds rounded).
double DateTimeOfLocalFileTime(const FILETIME& local);
FILETIME LocalFileTimeOfDateTime(double dateTime);
// Notifiers registered with the module; notifiers registered with any open module.
int ModuleNotifierCount(const Module* module);
int AllModuleNotifiers();

} // namespace QmHost

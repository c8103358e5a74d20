// The module services {55A5E848-27FB-4880-8E7C-7F05A9802482}: the IDE's
// open files (modules) and their editors, as the compiler's directory cache
// reads them. COM-style objects living as long as the process; beyond
// IUnknown the host's register convention, results through the hidden last
// argument (the caller's variable: an interface with a reference for the
// caller, a host string with reference count 1).
//   services slot 10  GetModuleCount: Integer
//   services slot 11  GetModule(Index): IOTAModule       EAX=Self, EDX=Index, ECX=@Result
//   module slot 6     GetFileName: string               EAX=Self, EDX=@Result
//   module slot 8     GetModuleFileCount: Integer
//   module slot 9     GetModuleFileEditor(Index): IOTAEditor   EAX=Self, EDX=Index, ECX=@Result
//   editor slot 4     GetFileName: string
// An editor of a source file also answers {748FB436-59B9-495D-8AC8-807CF6622967}
// (the same object), whose slot 5 returns its modification time as a
// TDateTime (local time) in ST(0) (our choice of the method's form).
#pragma once

#include <windows.h>

#include <string>

#include "Services.h"

namespace QmHost {

ServiceObject* ModuleServices();

// A module of one source editor modified at `modified` (a TDateTime of local time).
void OpenSourceModule(const std::wstring& fileName, double modified);
// A module of one editor without a modification time (a form designer, say).
void OpenUntimedModule(const std::wstring& fileName);
// A module without files (a project group).
void OpenFilelessModule(const std::wstring& fileName);
void CloseAllModules();
int OpenModuleCount();

// The modification time of the source editor of this file (full path,
// ignoring case); false when no such editor is open.
bool EditorModifiedTime(const std::wstring& fullPath, double& modified);

// TDateTime of a file time that is already local, and back (milliseconds rounded).
double DateTimeOfLocalFileTime(const FILETIME& local);
FILETIME LocalFileTimeOfDateTime(double dateTime);

} // namespace QmHost

// Loads the expert libraries under "<root>\Experts" (value data = path),
// calls each one's INITWIZARD0001(Services, RegisterProc, var Terminate)
// (stdcall, Boolean result read from AL) inside an exception guard, and
// drops them at shutdown: the stored Terminate procedure first, then
// FreeLibrary.
//
// Journal: EXPERT-LOADED, EXPERT-INIT <path> -> true|false|exception,
// EXPERT-TERMINATE (when a Terminate procedure is called), EXPERT-REFUSED
// <path>: <reason> (cannot load, no INITWIZARD0001). An expert whose entry
// returns false or raises is dropped at once, the same way.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace QmHost {

struct LoadedExpert {
  std::wstring path;
  HMODULE module;
  void* terminate;   // the procedure stored into Terminate, or null
};

void LoadExperts(void* services);
void DropExperts();

} // namespace QmHost

// The stand-in project uses list (delphicoreide150.bpl, unit
// Basedelphiproject), declared once for the stand-ins, bds.exe, the tests
// and the benchmarks.
//
// TUsesList is a TList of TUsesEntry objects (coreide150.bpl; the list does
// not own them) with [0x10] its index by unit name: a TUsesIndex, a sorted
// array of {unit name, entry} ordered by the user locale's case-insensitive
// comparison, a new name placed before equal ones, kept by Notify (added:
// inserted; extracted, deleted: found by a scan and removed). Clear is the
// run-time's TList.Clear (inherited), deleting one item at a time.
// InternalFindFileEntry(Name, FileName, MatchName) walks the entries with
// that name in index order and answers the first whose file name is the
// same path (two paths of which one starts with \\ are compared expanded)
// or, with MatchName, whose unit name equals Name ignoring ASCII case.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"

namespace UsesListDriver {

namespace Export {
constexpr const char* Class = "@Basedelphiproject@TUsesList@";
constexpr const char* Create = "@Basedelphiproject@TUsesList@$bctr$qqrv";
constexpr const char* InternalFindFileEntry =
    "@Basedelphiproject@TUsesList@InternalFindFileEntry$qqrx20System@UnicodeStringt1o";
constexpr const char* Notify = "@Basedelphiproject@TUsesList@Notify$qqrpv25Classes@TListNotification";
// Driver (stdcall).
constexpr const char* New = "UsesListNew";
constexpr const char* Add = "UsesListAdd";
constexpr const char* Remove = "UsesListRemove";
constexpr const char* Clear = "UsesListClear";
constexpr const char* Find = "UsesListFind";
constexpr const char* Count = "UsesListCount";
constexpr const char* Free = "UsesListFree";
constexpr const char* PatternSite = "DelphiCorePatternSite";
}  // namespace Export

constexpr int Index = 0x10;
constexpr int InstanceSize = 24;

// constructor Create: EAX = class, DL = 1.
using CreateFn = void*(QM_HOST_REGISTER*)(void* classRef, std::int32_t alloc);
// EAX = list, EDX = Name, ECX = FileName, stack: MatchName (callee pops 4) -> entry or nil.
using InternalFindFileEntryFn = void*(QM_HOST_REGISTER*)(void* list, const wchar_t* name, const wchar_t* fileName,
                                                          std::uint32_t matchName);
using NewFn = void*(__stdcall*)();
using ItemFn = std::int32_t(__stdcall*)(void* list, void* entry);  // TList.Add / TList.Remove
using ListFn = std::int32_t(__stdcall*)(void* list);               // Clear (the list's virtual Clear), Count, Free
// Texts as plain UTF-16; made into host strings for the call.
using FindFn = void*(__stdcall*)(void* list, const wchar_t* name, const wchar_t* fileName, std::int32_t matchName);
using PatternSiteFn = void*(__stdcall*)(const char* site);

template <class T>
T Bind(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
}

}  // namespace UsesListDriver

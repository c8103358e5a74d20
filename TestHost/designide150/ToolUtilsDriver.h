// The stand-in notifier lists (designide150.bpl, unit Toolutils), declared
// once for the stand-ins, bds.exe, the tests and the benchmarks.
//
// AddToList(List: IInterfaceList; Item: IInterface): Integer, the host's
// way: under the list's lock, every slot read through Get (a reference
// counted and released each) until a nil one, which takes the item (Put);
// none: Add. Removing a notifier leaves a nil slot (Put(i, nil)).
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"

namespace ToolUtilsDriver {

namespace Export {
constexpr const char* AddToList =
    "@Toolutils@AddToList$qqrx50System@%DelphiInterface$t22Classes@IInterfaceList%45System@%DelphiInterface$t17"
    "System@IInterface%";
// Driver (stdcall).
constexpr const char* NewList = "NotifierListNew";
constexpr const char* NewNotifier = "NotifierNew";
}  // namespace Export

// EAX = the list (IInterfaceList), EDX = the item -> the item's index.
using AddToListFn = std::int32_t(QM_HOST_REGISTER*)(void* list, void* item);
// An IInterfaceList reference (a new TInterfaceList) / an IInterface
// reference (a new TInterfacedObject); one reference each, the caller's.
using NewFn = void*(__stdcall*)();

template <class T>
T Bind(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
}

}  // namespace ToolUtilsDriver

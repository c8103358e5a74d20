// The stand-in component tool bar (comptoolbar150.bpl), declared once for
// the stand-ins, bds.exe, the tests and the benchmarks.
//
// TComponentToolbarFrame.FillTabs walks the palette (the active palette
// manager's base group): for every visible component item of every group it
// asks FindComponentGroupName for the item's IDString (through the
// export) and files the item under that tab. FindComponentGroupName walks
// every group and every item each time and answers the last group holding a
// visible item of that IDString (ASCII case ignored), or ''.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"

namespace ToolbarDriver {

namespace Export {
constexpr const char* FindComponentGroupName =
    "@Comptoolbarframe@TComponentToolbarFrame@FindComponentGroupName$qqrx20System@UnicodeString";
constexpr const char* FillTabs = "@Comptoolbarframe@TComponentToolbarFrame@FillTabs$qqrv";
// Driver (stdcall).
constexpr const char* New = "ToolbarNew";
constexpr const char* Free = "ToolbarFree";
constexpr const char* Fill = "ToolbarFill";
constexpr const char* Checksum = "ToolbarChecksum";
constexpr const char* Filed = "ToolbarFiled";
constexpr const char* GroupNameOf = "ToolbarGroupNameOf";
}  // namespace Export

using FindComponentGroupNameFn = void(QM_HOST_REGISTER*)(void* frame, const wchar_t* name, wchar_t** result);
using FillTabsFn = void(QM_HOST_REGISTER*)(void* frame);
using NewFn = void*(__stdcall*)();
using FrameFn = void(__stdcall*)(void* frame);                 // Free, Fill (FillTabs through its export)
using CounterFn = std::uint32_t(__stdcall*)(void* frame);       // Checksum (FNV of "id=tab;" in order), Filed
// FindComponentGroupName through its export; the answer copied into buffer.
using GroupNameOfFn = std::int32_t(__stdcall*)(void* frame, const wchar_t* name, wchar_t* buffer, std::int32_t size);

template <class T>
T Bind(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
}

}  // namespace ToolbarDriver

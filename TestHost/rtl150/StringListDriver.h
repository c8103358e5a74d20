// The stand-in run-time's TStringList as the debugger's log view and
// Quillmend's log-view patch meet it, declared once for coreide150.bpl, the
// tests and the benchmarks: export names, layout and function types.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"

namespace StringListDriver {

namespace Export {
constexpr const char* Class = "@Classes@TStringList@";
constexpr const char* Create = "@Classes@TStringList@$bctr$qqrv";
constexpr const char* Add = "@Classes@TStringList@Add$qqrx20System@UnicodeString";
constexpr const char* Clear = "@Classes@TStringList@Clear$qqrv";
constexpr const char* Get = "@Classes@TStringList@Get$qqri";
}  // namespace Export

// Fields of a TStringList: its lines (an array of strings), their count and
// room, and the change notification OnChange as a method pointer: code at
// +64, data at +68.
namespace Layout {
constexpr int Lines = 4;
constexpr int Count = 8;
constexpr int Capacity = 12;
constexpr int OnChangeCode = 64;
constexpr int OnChangeData = 68;
constexpr int InstanceSize = 72;
}  // namespace Layout

// Virtual methods after the class reference: 0 Get, 1 GetCapacity,
// 2 GetObject, 3 Put, 4 PutObject, 5 GetCount, 6 Add, 7 Clear.
constexpr int GetCountSlot = 5;

// TNotifyEvent: Code(EAX = Data, EDX = Sender).
using NotifyFn = void(QM_HOST_REGISTER*)(void* data, void* sender);
// constructor Create: EAX = class, DL = 1 → the new list.
using CreateFn = void*(QM_HOST_REGISTER*)(void* classRef, int alloc);
using AddFn = int32_t(QM_HOST_REGISTER*)(void* self, const wchar_t* text);
using ClearFn = void(QM_HOST_REGISTER*)(void* self);
using GetFn = void(QM_HOST_REGISTER*)(void* self, int32_t index, wchar_t** result);
using GetCountFn = int32_t(QM_HOST_REGISTER*)(void* self);

}  // namespace StringListDriver

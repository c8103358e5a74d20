// The stand-in run-time's system-unit routines that Quillmend's system-unit
// patches replace or call, declared once for bds.exe, the tests and the
// benchmarks: export names and function types (host register convention);
// rtl150.bpl checks its definitions against them.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"

namespace SystemUnitDriver {

namespace Export {
constexpr const char* Move = "@System@Move$qqrpxvpvi";
constexpr const char* LoadResString = "@System@LoadResString$qqrp20System@TResStringRec";
constexpr const char* FindResourceHInstance = "@System@FindResourceHInstance$qqrui";
constexpr const char* FindHInstance = "@System@FindHInstance$qqrpv";
constexpr const char* MainThreadID = "@System@MainThreadID";
constexpr const char* AddModuleUnloadProc = "@System@AddModuleUnloadProc$qqrpqqrui$v";
constexpr const char* RemoveModuleUnloadProc = "@System@RemoveModuleUnloadProc$qqrpqqrui$v";
// What the host's package unloading runs before it frees a module (UnloadPackage).
constexpr const char* NotifyModuleUnload = "@System@NotifyModuleUnload$qqrui";
constexpr const char* ClassNameIs = "@System@TObject@ClassNameIs$qqrx20System@UnicodeString";
constexpr const char* UTF8CompareLocale = "@System@UTF8CompareLocale";
// Test host only: the resource module FindResourceHInstance answers for a
// module (a language resource module), and a class whose name is not ASCII.
constexpr const char* SetResourceInstance = "QmSetResourceInstance";
constexpr const char* NonAsciiClass = "QmNonAsciiNamedClass";
}  // namespace Export

// The class name of Export::NonAsciiClass, "TŁódźReader" (UTF-8 in the class record).
constexpr const wchar_t* NonAsciiClassName = L"T\u0141\u00F3d\u017AReader";

// PResStringRec: the module-handle variable and the identifier (above
// 0xFFFF: a pointer to the text itself).
struct TResStringRec {
  HINSTANCE* Module;
  UINT_PTR Identifier;
};

// procedure Move(const Source; var Dest; Count: Integer)
using MoveFn = void(QM_HOST_REGISTER*)(const void* source, void* dest, int count);
// function LoadResString(ResStringRec: PResStringRec): string — EDX = result variable
using LoadResStringFn = void(QM_HOST_REGISTER*)(const TResStringRec* rec, wchar_t** result);
using FindResourceHInstanceFn = HINSTANCE(QM_HOST_REGISTER*)(HINSTANCE instance);
using FindHInstanceFn = HINSTANCE(QM_HOST_REGISTER*)(const void* address);
// TModuleUnloadProcLW = procedure(HInstance: LongWord)
using ModuleUnloadProc = void(QM_HOST_REGISTER*)(uint32_t instance);
using ModuleUnloadProcFn = void(QM_HOST_REGISTER*)(ModuleUnloadProc proc);
using NotifyModuleUnloadFn = void(QM_HOST_REGISTER*)(uint32_t instance);
// class function TObject.ClassNameIs(const Name: string): Boolean — EAX = class
using ClassNameIsFn = bool(QM_HOST_REGISTER*)(const void* classRef, const wchar_t* name);
using SetResourceInstanceFn = void(__stdcall*)(HINSTANCE instance, HINSTANCE resourceInstance);

template <class T>
T Bind(HMODULE rtl, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(rtl ? GetProcAddress(rtl, name) : nullptr));
}

}  // namespace SystemUnitDriver

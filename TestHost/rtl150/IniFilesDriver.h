// The stand-in run-time's ini-file base class and TStrings, declared once
// for xmlrtl150.bpl, the tests and the benchmarks: export names, virtual
// slots, layouts and function types.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"

namespace IniFilesDriver {

namespace Export {
constexpr const char* CustomIniFileClass = "@Inifiles@TCustomIniFile@";
constexpr const char* CustomIniFileCreate = "@Inifiles@TCustomIniFile@$bctr$qqrx20System@UnicodeString";
constexpr const char* StringsClass = "@Classes@TStrings@";
constexpr const char* BeginUpdate = "@Classes@TStrings@BeginUpdate$qqrv";
constexpr const char* EndUpdate = "@Classes@TStrings@EndUpdate$qqrv";
constexpr const char* ObjectNewInstance = "@System@TObject@NewInstance$qqrv";
constexpr const char* StrToInt = "@Sysutils@StrToInt$qqrx20System@UnicodeString";
constexpr const char* ExpandFileName = "@Sysutils@ExpandFileName$qqrx20System@UnicodeString";
}  // namespace Export

// TCustomIniFile: [4] its file name. Virtual methods after the class
// reference, in this order (the register convention; string results
// through a variable passed last).
namespace IniSlot {
constexpr int ReadString = 0;         // (const Section, Ident, Default: string): string
constexpr int WriteString = 1;        // (const Section, Ident, Value: string)
constexpr int ReadInteger = 2;        // (const Section, Ident: string; Default: Longint): Longint
constexpr int WriteInteger = 3;       // (const Section, Ident: string; Value: Longint)
constexpr int ReadBool = 4;           // (const Section, Ident: string; Default: Boolean): Boolean
constexpr int WriteBool = 5;          // (const Section, Ident: string; Value: Boolean)
constexpr int ReadSection = 6;        // (const Section: string; Strings: TStrings)
constexpr int ReadSections = 7;       // (Strings: TStrings)
constexpr int ReadSectionValues = 8;  // (const Section: string; Strings: TStrings)
constexpr int EraseSection = 9;       // (const Section: string)
constexpr int DeleteKey = 10;         // (const Section, Ident: string)
constexpr int UpdateFile = 11;
constexpr int ValueExists = 12;       // (const Section, Ident: string): Boolean
constexpr int Count = 13;
}  // namespace IniSlot

namespace IniLayout {
constexpr int FileName = 4;
constexpr int InstanceSize = 8;
}  // namespace IniLayout

// TStrings: [16] its update count (TStringList's fields around it are its
// own). Virtual Add in slot 6, Clear in slot 7 (as TStringList's).
namespace StringsLayout {
constexpr int UpdateCount = 16;
constexpr int InstanceSize = 20;
constexpr int AddSlot = 6;
constexpr int ClearSlot = 7;
}  // namespace StringsLayout

// The virtual operations as the register convention passes them. Five
// arguments: the last two (Default, then the result variable) are pushed
// in that order, so they are declared in reverse.
using ReadStringFn = void(QM_HOST_REGISTER*)(void* self, const wchar_t* section, const wchar_t* ident,
                                             wchar_t** result, const wchar_t* defaultValue);
using WriteStringFn = void(QM_HOST_REGISTER*)(void* self, const wchar_t* section, const wchar_t* ident,
                                              const wchar_t* value);
using ReadIntegerFn = int32_t(QM_HOST_REGISTER*)(void* self, const wchar_t* section, const wchar_t* ident,
                                                 int32_t defaultValue);
using WriteIntegerFn = void(QM_HOST_REGISTER*)(void* self, const wchar_t* section, const wchar_t* ident,
                                               int32_t value);
using ReadBoolFn = bool(QM_HOST_REGISTER*)(void* self, const wchar_t* section, const wchar_t* ident,
                                           bool defaultValue);
using WriteBoolFn = void(QM_HOST_REGISTER*)(void* self, const wchar_t* section, const wchar_t* ident, bool value);
using ReadSectionFn = void(QM_HOST_REGISTER*)(void* self, const wchar_t* section, void* strings);
using ReadSectionsFn = void(QM_HOST_REGISTER*)(void* self, void* strings);
using EraseSectionFn = void(QM_HOST_REGISTER*)(void* self, const wchar_t* section);
using DeleteKeyFn = void(QM_HOST_REGISTER*)(void* self, const wchar_t* section, const wchar_t* ident);
using UpdateFileFn = void(QM_HOST_REGISTER*)(void* self);
using ValueExistsFn = bool(QM_HOST_REGISTER*)(void* self, const wchar_t* section, const wchar_t* ident);

using StringsUpdateFn = void(QM_HOST_REGISTER*)(void* strings);
using StrToIntFn = int32_t(QM_HOST_REGISTER*)(const wchar_t* s);
using ExpandFileNameFn = void(QM_HOST_REGISTER*)(const wchar_t* s, wchar_t** result);

template <class Fn>
Fn Virtual(const void* object, int slot) {
  return reinterpret_cast<Fn>((*static_cast<void* const* const*>(object))[slot]);
}

}  // namespace IniFilesDriver

// The stand-in run-time's variant support in the test process: loading,
// the patch installed as at unit initialization, variants of every kind
// made and released, and what a conversion gave (its text or Boolean, or
// the host exception it raised).
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "rtl150/VariantsDriver.h"

namespace VariantTest {

using VariantsDriver::TVarData;

struct TRuntime {
  HMODULE Module = nullptr;
  VariantsDriver::VarToUStrFn VarToUStr = nullptr;
  VariantsDriver::VarToLStrFn VarToLStr = nullptr;
  VariantsDriver::VarToWStrFn VarToWStr = nullptr;
  VariantsDriver::VarToBoolFn VarToBool = nullptr;
  VariantsDriver::VarFromWStrFn VarFromWStr = nullptr;
  VariantsDriver::OleVarFromLStrFn OleVarFromLStr = nullptr;
  VariantsDriver::OleVarFromUStrFn OleVarFromUStr = nullptr;
  VariantsDriver::VarClearFn VarClear = nullptr;
  VariantsDriver::NewAnsiStringFn NewAnsiString = nullptr;
  VariantsDriver::LStrClrFn LStrClr = nullptr;
  VariantsDriver::MakePointVariantFn MakePoint = nullptr;
  uint8_t* NullStrictConvert = nullptr;
  wchar_t** NullAsStringValue = nullptr;
  uint8_t* BooleanToStringRule = nullptr;
  long(__stdcall* PointClears)() = nullptr;
  long(__stdcall* TryStrToBoolCalls)() = nullptr;
};

// rtl150.bpl from <build>/host or <build>/host-variants/<variant>, bound.
const TRuntime& Load(const std::string& variant = "");
const TRuntime& Runtime();

// The patch as the library installs it at unit initialization.
void InstallPatch(const std::wstring& disabled = L"");
void RunInstallation();
std::wstring Status();
std::wstring Reason();

// Host strings of the run-time.
wchar_t* NewUString(const std::wstring& text);
void FreeUString(wchar_t*& s);
std::wstring UText(const wchar_t* s);
char* NewAnsi(const std::string& bytes, uint16_t codePage);
std::string AnsiBytes(const char* s);

// A variant of some kind, made afresh for each conversion and released after.
struct TVariantCase {
  std::string Name;
  std::function<void(TVarData&)> Make;
};
std::vector<TVariantCase> TextCases();     // every kind the text conversions meet
std::vector<TVariantCase> BooleanCases();  // and texts for the Boolean conversion
void Release(TVarData& v);

// What each conversion made of a case: "text" / "ansi bytes" / "wide" /
// "true|false", or "raised <class>: <message>".
std::string ToUStr(const TVariantCase& c);
std::string ToLStr(const TVariantCase& c);
std::string ToWStr(const TVariantCase& c);
std::string ToBool(const TVariantCase& c);

}  // namespace VariantTest

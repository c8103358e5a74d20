// The stand-in run-time's variant support as Quillmend's variant patch meets
// it, declared once for the tests and the benchmarks: export names, the
// variant record and the function types (host register convention);
// rtl150.bpl checks its definitions against them.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"

namespace VariantsDriver {

namespace Export {
// The seven routines the patch replaces, and _VarToBool, which calls the
// Boolean conversion first thing.
constexpr const char* VarToUStr = "@Variants@@VarToUStr$qqrr20System@UnicodeStringrx14System@Variant";
constexpr const char* VarToLStr = "@Variants@@VarToLStr$qqrr27System@%AnsiStringT$us$i0$%rx14System@Variant";
constexpr const char* VarToWStr = "@Variants@@VarToWStr$qqrr17System@WideStringrx14System@Variant";
constexpr const char* VarToBool = "@Variants@@VarToBool$qqrrx14System@Variant";
constexpr const char* VarFromWStr = "@Variants@@VarFromWStr$qqrr14System@Variantx17System@WideString";
constexpr const char* OleVarFromLStr = "@Variants@@OleVarFromLStr$qqrr14System@OleVariantx27System@%AnsiStringT$us$i0$%";
constexpr const char* OleVarFromUStr = "@Variants@@OleVarFromUStr$qqrr14System@OleVariantx20System@UnicodeString";
// What the conversions use.
constexpr const char* VarResultCheck = "@Variants@VarResultCheck$qqrlusus";
constexpr const char* VarCastError = "@Variants@VarCastError$qqrxusxus";
constexpr const char* FindCustomVariantType = "@Variants@FindCustomVariantType$qqrxusrp26Variants@TCustomVariantType";
constexpr const char* NullStrictConvert = "@Variants@NullStrictConvert";
constexpr const char* NullAsStringValue = "@Variants@NullAsStringValue";
constexpr const char* BooleanToStringRule = "@Variants@BooleanToStringRule";
constexpr const char* ChangeAnyProc = "@Variants@ChangeAnyProc";
constexpr const char* ClearAnyProc = "@Variants@ClearAnyProc";
constexpr const char* VarClear = "@Variants@@VarClear$qqrr14System@Variant";
constexpr const char* VarToStr = "@Variants@VarToStr$qqrrx14System@Variant";
constexpr const char* FloatToStr = "@Sysutils@FloatToStr$qqrg";
constexpr const char* TryStrToBool = "@Sysutils@TryStrToBool$qqrx20System@UnicodeStringro";
constexpr const char* NewAnsiString = "@System@@NewAnsiString$qqrius";
constexpr const char* LStrClr = "@System@@LStrClr$qqrpv";
constexpr const char* LStrAsg = "@System@@LStrAsg$qqrpvpxv";
constexpr const char* LStrFromPWCharLen = "@System@@LStrFromPWCharLen$qqrr27System@%AnsiStringT$us$i0$%pbiui";
// Test host only: the custom variant type (varType 0x10F, a point) and its
// counters, and how often TryStrToBool ran.
constexpr const char* MakePointVariant = "QmMakePointVariant";
constexpr const char* PointClears = "QmPointVariantClears";
constexpr const char* TryStrToBoolCalls = "QmTryStrToBoolCalls";
}  // namespace Export

// The OLE Automation VARIANT.
struct TVarData {
  uint16_t VType;
  uint16_t Reserved1, Reserved2, Reserved3;
  union {
    int16_t VSmallInt;
    int32_t VInteger;
    float VSingle;
    double VDouble;
    int64_t VCurrency;  // scaled by 10,000
    double VDate;
    wchar_t* VOleStr;
    void* VUnknown;   // an interface (IUnknown, IDispatch)
    int16_t VBoolean;
    int8_t VShortInt;
    uint8_t VByte;
    uint16_t VWord;
    uint32_t VLongWord;
    int64_t VInt64;
    uint64_t VUInt64;
    void* VString;    // AnsiString (0x100)
    void* VAny;       // 0x101
    wchar_t* VUString;  // UnicodeString (0x102)
    void* VPointer;   // by reference, arrays, custom types
  };
};
static_assert(sizeof(TVarData) == 16, "a variant is 16 bytes");

constexpr uint16_t varString = 0x100, varAny = 0x101, varUString = 0x102, varByRef = 0x4000, varArray = 0x2000;
constexpr uint16_t varPoint = 0x10F;  // the stand-in's custom variant type

// BooleanToStringRule: 0 as is, 1 lower case, 2 upper case.
enum TBooleanToStringRule : uint8_t { bsrAsIs = 0, bsrLower = 1, bsrUpper = 2 };

using VarToUStrFn = void(QM_HOST_REGISTER*)(wchar_t** result, const TVarData* v);
using VarToLStrFn = void(QM_HOST_REGISTER*)(char** result, const TVarData* v);
using VarToWStrFn = void(QM_HOST_REGISTER*)(wchar_t** result, const TVarData* v);
using VarToBoolFn = bool(QM_HOST_REGISTER*)(const TVarData* v);
using VarFromWStrFn = void(QM_HOST_REGISTER*)(TVarData* v, const wchar_t* value);
using OleVarFromLStrFn = void(QM_HOST_REGISTER*)(TVarData* v, const char* value);
using OleVarFromUStrFn = void(QM_HOST_REGISTER*)(TVarData* v, const wchar_t* value);
using VarClearFn = void(QM_HOST_REGISTER*)(TVarData* v);
using VarToStrFn = void(QM_HOST_REGISTER*)(const TVarData* v, wchar_t** result);
using NewAnsiStringFn = char*(QM_HOST_REGISTER*)(int32_t length, uint16_t codePage);
using LStrClrFn = void(QM_HOST_REGISTER*)(char** variable);
using MakePointVariantFn = void(__stdcall*)(TVarData* v, int32_t x, int32_t y);

template <class T>
T Bind(HMODULE rtl, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(rtl ? GetProcAddress(rtl, name) : nullptr));
}

}  // namespace VariantsDriver

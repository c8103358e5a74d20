// Declarations shared by the stand-in run-time's variant files
// (RtlVariants.cpp, RtlCustomVariant.cpp, RtlAnsiStrings.cpp,
// RtlBoolFloat.cpp, VariantsCode.S); exact symbols for Variants.def.
#pragma once

#include <windows.h>

#include <cstdint>

#include "RtlInternal.h"
#include "VariantsDriver.h"

using TAnyProc = void(QM_HOST_REGISTER*)(VariantsDriver::TVarData* v);

extern "C" {

// Error classes (RtlVariants.cpp) and custom variant types (RtlCustomVariant.cpp).
extern char rtl_EVariantError_Class[] QM_HOST_SYMBOL(rtl_EVariantError_Class);
extern char rtl_EVariantTypeCastError_Class[] QM_HOST_SYMBOL(rtl_EVariantTypeCastError_Class);
extern char rtl_EVariantOverflowError_Class[] QM_HOST_SYMBOL(rtl_EVariantOverflowError_Class);
extern char rtl_EVariantInvalidArgError_Class[] QM_HOST_SYMBOL(rtl_EVariantInvalidArgError_Class);
extern char rtl_EVariantBadVarTypeError_Class[] QM_HOST_SYMBOL(rtl_EVariantBadVarTypeError_Class);
extern char rtl_TCustomVariantType_Class[] QM_HOST_SYMBOL(rtl_TCustomVariantType_Class);
extern char rtl_TPointVariantType_Class[] QM_HOST_SYMBOL(rtl_TPointVariantType_Class);

// Settings (RtlVariants.cpp).
extern uint8_t rtl_NullStrictConvert QM_HOST_SYMBOL(rtl_NullStrictConvert);
extern wchar_t* rtl_NullAsStringValue QM_HOST_SYMBOL(rtl_NullAsStringValue);
extern uint8_t rtl_BooleanToStringRule QM_HOST_SYMBOL(rtl_BooleanToStringRule);
extern TAnyProc rtl_ChangeAnyProc QM_HOST_SYMBOL(rtl_ChangeAnyProc);
extern TAnyProc rtl_ClearAnyProc QM_HOST_SYMBOL(rtl_ClearAnyProc);

// Errors and clearing (RtlVariants.cpp).
[[noreturn]] void QM_HOST_REGISTER RtlVarCastError(uint16_t source, uint16_t target) QM_HOST_SYMBOL(rtl_VarCastError);
void QM_HOST_REGISTER RtlVarResultCheck(HRESULT hr, uint16_t source, uint16_t target) QM_HOST_SYMBOL(rtl_VarResultCheck);
void QM_HOST_REGISTER RtlVarClear(VariantsDriver::TVarData* v) QM_HOST_SYMBOL(rtl_VarClear);

// The conversions (RtlVariants.cpp; _VarToBool in VariantsCode.S calls the worker).
void QM_HOST_REGISTER RtlVarToUStr(wchar_t** result, const VariantsDriver::TVarData* v) QM_HOST_SYMBOL(rtl_VarToUStr);
void QM_HOST_REGISTER RtlVarToLStr(char** result, const VariantsDriver::TVarData* v) QM_HOST_SYMBOL(rtl_VarToLStr);
void QM_HOST_REGISTER RtlVarToWStr(wchar_t** result, const VariantsDriver::TVarData* v) QM_HOST_SYMBOL(rtl_VarToWStr);
bool QM_HOST_REGISTER RtlVarToBoolWorker(const VariantsDriver::TVarData* v) QM_HOST_SYMBOL(rtl_VarToBoolWorker);
void QM_HOST_REGISTER RtlVarFromWStr(VariantsDriver::TVarData* v, const wchar_t* value) QM_HOST_SYMBOL(rtl_VarFromWStr);
void QM_HOST_REGISTER RtlOleVarFromLStr(VariantsDriver::TVarData* v, const char* value) QM_HOST_SYMBOL(rtl_OleVarFromLStr);
void QM_HOST_REGISTER RtlOleVarFromUStr(VariantsDriver::TVarData* v, const wchar_t* value) QM_HOST_SYMBOL(rtl_OleVarFromUStr);
void QM_HOST_REGISTER RtlVarToStr(const VariantsDriver::TVarData* v, wchar_t** result) QM_HOST_SYMBOL(rtl_VarToStr);

// Custom variant types and the default change-any and clear-any hooks (RtlCustomVariant.cpp).
bool QM_HOST_REGISTER RtlFindCustomVariantType(uint16_t type, void** customType) QM_HOST_SYMBOL(rtl_FindCustomVariantType);
void QM_HOST_REGISTER RtlDefaultChangeAny(VariantsDriver::TVarData* v);
void QM_HOST_REGISTER RtlDefaultClearAny(VariantsDriver::TVarData* v);

// 8-bit strings (RtlAnsiStrings.cpp).
char* QM_HOST_REGISTER RtlNewAnsiString(int32_t length, uint16_t codePage) QM_HOST_SYMBOL(rtl_NewAnsiString);
void QM_HOST_REGISTER RtlLStrClr(char** variable) QM_HOST_SYMBOL(rtl_LStrClr);
void QM_HOST_REGISTER RtlLStrAsg(char** dest, const char* source) QM_HOST_SYMBOL(rtl_LStrAsg);
void QM_HOST_REGISTER RtlLStrFromPWCharLen(char** dest, const wchar_t* source, int32_t length, uint32_t codePage)
    QM_HOST_SYMBOL(rtl_LStrFromPWCharLen);

// SysUtils (RtlBoolFloat.cpp).
void QM_HOST_REGISTER RtlFloatToStr(long double value, wchar_t** result) QM_HOST_SYMBOL(rtl_FloatToStr);
bool QM_HOST_REGISTER RtlTryStrToBool(const wchar_t* s, uint8_t* value) QM_HOST_SYMBOL(rtl_TryStrToBool);

}  // extern "C"

// A custom variant type's virtual CastTo (slot 7) and Clear (slot 9).
void CustomCastTo(void* customType, VariantsDriver::TVarData* dest, const VariantsDriver::TVarData* source,
                  uint16_t target);
void CustomClear(void* customType, VariantsDriver::TVarData* v);

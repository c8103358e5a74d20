// The run-time's variant conversions the general way: every call formats
// its text, asks VarBstrFromBool for a Boolean, takes a temporary variant
// through VariantChangeTypeEx for integers, interfaces and what it does not
// know, and always clears a variant before storing into it. The errors,
// the settings, the change-any and clear-any hooks and the custom variant
// types (RtlCustomVariant.cpp) are the ones the patch meets.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cwchar>
#include <cstring>
#include <type_traits>

#include "Common/HostClass.h"
#include "RtlServices.h"
#include "RtlVariantsInternal.h"

using namespace VariantsDriver;
using namespace QmHost;

QM_HOST_CLASS(rtl_EVariantError_Class, 0);
QM_HOST_CLASS(rtl_EVariantTypeCastError_Class, 0);
QM_HOST_CLASS(rtl_EVariantOverflowError_Class, 0);
QM_HOST_CLASS(rtl_EVariantInvalidArgError_Class, 0);
QM_HOST_CLASS(rtl_EVariantBadVarTypeError_Class, 0);

namespace {

const bool kErrorClassesBuilt = [] {
  RtlBaseClassesBuilt();
  static void* const exception = rtl_Exception_Class;
  static void* const variantError = rtl_EVariantError_Class;
  HostClassBuilder(rtl_EVariantError_Class_Storage, "EVariantError").Parent(&exception).Build();
  HostClassBuilder(rtl_EVariantTypeCastError_Class_Storage, "EVariantTypeCastError").Parent(&variantError).Build();
  HostClassBuilder(rtl_EVariantOverflowError_Class_Storage, "EVariantOverflowError").Parent(&variantError).Build();
  HostClassBuilder(rtl_EVariantInvalidArgError_Class_Storage, "EVariantInvalidArgError").Parent(&variantError).Build();
  HostClassBuilder(rtl_EVariantBadVarTypeError_Class_Storage, "EVariantBadVarTypeError").Parent(&variantError).Build();
  return true;
}();

constexpr LCID UserDefault = 1024;

// The run-time's name of a variant type.
void TypeName(uint16_t type, wchar_t* out, int size) {
  static const wchar_t* const names[] = {L"Empty",  L"Null",    L"Smallint", L"Integer", L"Single",   L"Double",
                                         L"Currency", L"Date",  L"OleStr",   L"Dispatch", L"Error",   L"Boolean",
                                         L"Variant", L"Unknown", L"Decimal", L"$000F",    L"ShortInt", L"Byte",
                                         L"Word",   L"LongWord", L"Int64",   L"UInt64"};
  const uint16_t base = type & 0x0FFF;
  const wchar_t* name = nullptr;
  wchar_t hex[8];
  if (base < sizeof names / sizeof names[0]) name = names[base];
  else if (base == varString) name = L"String";
  else if (base == varAny) name = L"Any";
  else if (base == varUString) name = L"UnicodeString";
  else if (base == varPoint) name = L"Point";
  else {
    std::swprintf(hex, 8, L"$%04X", base);
    name = hex;
  }
  std::swprintf(out, size, (type & varArray) ? L"Array %ls" : L"%ls", name);
}

wchar_t* Utf16(const wchar_t* chars, int length) { return QmRtl::NewString(chars, length); }

int CStrLength(const wchar_t* s) { return s ? lstrlenW(s) : 0; }

// The text of an 8-bit string in its own code page.
wchar_t* Widened(const char* s, int length, uint16_t codePage) {
  if (length <= 0) return nullptr;
  const int chars = MultiByteToWideChar(codePage, 0, s, length, nullptr, 0);
  wchar_t* text = RtlNewUnicodeString(chars);
  MultiByteToWideChar(codePage, 0, s, length, text, chars);
  return text;
}

wchar_t* FromBstr(BSTR s) { return Utf16(s, s ? int(SysStringLen(s)) : 0); }

// Converts through a temporary variant; raises as VarResultCheck does.
wchar_t* ChangedToText(const TVarData* v, uint16_t source, uint16_t target) {
  VARIANT temp;
  VariantInit(&temp);
  const HRESULT hr = VariantChangeTypeEx(&temp, reinterpret_cast<VARIANT*>(const_cast<TVarData*>(v)), UserDefault, 0, VT_BSTR);
  RtlVarResultCheck(hr, source, target);
  wchar_t* text = FromBstr(V_BSTR(&temp));
  VariantClear(&temp);
  return text;
}

wchar_t* BooleanText(bool value) {
  BSTR text = nullptr;
  VarBstrFromBool(value ? VARIANT_TRUE : VARIANT_FALSE, UserDefault, 0, &text);
  const int length = int(SysStringLen(text));
  wchar_t* s = Utf16(text, length);
  SysFreeString(text);
  if (s && rtl_BooleanToStringRule == bsrLower) CharLowerBuffW(s, DWORD(length));
  if (s && rtl_BooleanToStringRule == bsrUpper) CharUpperBuffW(s, DWORD(length));
  return s;
}

wchar_t* FloatText(long double value) {
  wchar_t* text = nullptr;
  RtlFloatToStr(value, &text);
  return text;
}

wchar_t* CurrencyText(CY value) {
  BSTR text = nullptr;
  RtlVarResultCheck(VarBstrFromCy(value, UserDefault, 0, &text), VT_CY, VT_BSTR);
  wchar_t* s = FromBstr(text);
  SysFreeString(text);
  return s;
}

wchar_t* DateText(DATE value) {
  BSTR text = nullptr;
  RtlVarResultCheck(VarBstrFromDate(value, UserDefault, 0, &text), VT_DATE, VT_BSTR);
  wchar_t* s = FromBstr(text);
  SysFreeString(text);
  return s;
}


// The text of a variant as a new UnicodeString; `target` is the type named
// in an error of interfaces and unknown types.
wchar_t* VariantText(const TVarData* v, uint16_t target);

// Referenced data (by-reference variants) of the types the run-time reads itself.
wchar_t* ReferencedText(const TVarData* v, uint16_t target) {
  const uint16_t base = v->VType & ~varByRef;
  void* p = v->VPointer;
  switch (base) {
    case VT_R4: return FloatText(*static_cast<float*>(p));
    case VT_R8: return FloatText(*static_cast<double*>(p));
    case VT_CY: return CurrencyText(*static_cast<CY*>(p));
    case VT_DATE: return DateText(*static_cast<DATE*>(p));
    case VT_BSTR: return FromBstr(*static_cast<BSTR*>(p));
    case VT_BOOL: return BooleanText(*static_cast<VARIANT_BOOL*>(p) != 0);
    case VT_VARIANT: return VariantText(static_cast<const TVarData*>(p), target);
    case varString: {
      const char* s = *static_cast<char**>(p);
      return s ? Widened(s, lstrlenA(s), StrHeader(reinterpret_cast<const wchar_t*>(s))->codePage) : nullptr;
    }
    case varUString: {
      const wchar_t* s = *static_cast<wchar_t**>(p);
      return Utf16(s, CStrLength(s));
    }
    default: return ChangedToText(v, v->VType, target);
  }
}

wchar_t* VariantText(const TVarData* v, uint16_t target) {
  const uint16_t type = v->VType;

  if (type & varByRef) return ReferencedText(v, target);
  switch (type) {
    case VT_EMPTY: return nullptr;
    case VT_NULL:
      if (rtl_NullStrictConvert) RtlVarCastError(VT_NULL, VT_BSTR);
      return Utf16(rtl_NullAsStringValue, QmRtl::Length(rtl_NullAsStringValue));
    case VT_R4: return FloatText(v->VSingle);
    case VT_R8: return FloatText(v->VDouble);
    case VT_CY: {
      CY cy;
      cy.int64 = v->VCurrency;
      return CurrencyText(cy);
    }
    case VT_DATE: return DateText(v->VDate);
    case VT_BSTR: return FromBstr(v->VOleStr);
    case VT_BOOL: return BooleanText(v->VBoolean != 0);
    case varString:
      return v->VString ? Widened(static_cast<const char*>(v->VString), StrHeader(static_cast<wchar_t*>(v->VString))->length,
                                  StrHeader(static_cast<wchar_t*>(v->VString))->codePage)
                        : nullptr;
    case varUString: return Utf16(v->VUString, QmRtl::Length(v->VUString));
    case varAny: {
      TVarData copy = *v;
      if (!rtl_ChangeAnyProc) RtlVarCastError(varAny, target);
      rtl_ChangeAnyProc(&copy);
      wchar_t* result = VariantText(&copy, target);
      RtlVarClear(&copy);
      return result;
    }
    default:
      break;
  }
  // Integers, interfaces and everything else: a temporary variant.
  if (type < 0x100 || (type & varArray)) return ChangedToText(v, type, target);
  void* custom = nullptr;
  if (RtlFindCustomVariantType(type, &custom)) {
    TVarData temp = {};
    CustomCastTo(custom, &temp, v, VT_BSTR);
    wchar_t* result = FromBstr(temp.VOleStr);
    VariantClear(reinterpret_cast<VARIANT*>(&temp));
    return result;
  }
  return ChangedToText(v, type, target);
}

// The text of a string variant to a Boolean: VarBoolFromStr, then
// TryStrToBool for a type mismatch.
bool TextToBoolean(const wchar_t* chars, int length, uint16_t source) {
  wchar_t* text = Utf16(chars, length);
  VARIANT_BOOL b = 0;
  HRESULT hr = VarBoolFromStr(const_cast<wchar_t*>(text ? text : L""), UserDefault, 0, &b);
  if (hr == DISP_E_TYPEMISMATCH) {
    uint8_t value = 0;
    const bool ok = RtlTryStrToBool(text, &value);
    RtlUStrClr(&text);
    if (ok) return value != 0;
  }
  RtlUStrClr(&text);
  RtlVarResultCheck(hr, source, VT_BOOL);
  return b != 0;
}

bool ChangedToBoolean(const TVarData* v) {
  VARIANT temp;
  VariantInit(&temp);
  RtlVarResultCheck(VariantChangeTypeEx(&temp, reinterpret_cast<VARIANT*>(const_cast<TVarData*>(v)), UserDefault, 0, VT_BOOL), v->VType,
                    VT_BOOL);
  return V_BOOL(&temp) != 0;
}

}  // namespace

extern "C" {

uint8_t rtl_NullStrictConvert = 1;
wchar_t* rtl_NullAsStringValue = nullptr;
uint8_t rtl_BooleanToStringRule = bsrAsIs;
TAnyProc rtl_ChangeAnyProc = &RtlDefaultChangeAny;
TAnyProc rtl_ClearAnyProc = &RtlDefaultClearAny;

void QM_HOST_REGISTER RtlVarCastError(uint16_t source, uint16_t target) {
  wchar_t from[32], to[32], message[160];
  TypeName(source, from, 32);
  TypeName(target, to, 32);
  std::swprintf(message, 160, L"Could not convert variant of type (%ls) into type (%ls)", from, to);
  RtlRaiseNew(rtl_EVariantTypeCastError_Class, message);
}

void QM_HOST_REGISTER RtlVarResultCheck(HRESULT hr, uint16_t source, uint16_t target) {
  if (SUCCEEDED(hr)) return;
  wchar_t from[32], to[32], message[160];
  switch (hr) {
    case DISP_E_TYPEMISMATCH: RtlVarCastError(source, target);
    case DISP_E_OVERFLOW:
      TypeName(source, from, 32);
      TypeName(target, to, 32);
      std::swprintf(message, 160, L"Overflow while converting variant of type (%ls) into type (%ls)", from, to);
      RtlRaiseNew(rtl_EVariantOverflowError_Class, message);
    case E_INVALIDARG: RtlRaiseNew(rtl_EVariantInvalidArgError_Class, L"Invalid argument");
    case DISP_E_BADVARTYPE: RtlRaiseNew(rtl_EVariantBadVarTypeError_Class, L"Invalid variant type");
    default: RtlRaiseNew(rtl_EVariantError_Class, L"Unexpected variant error");
  }
}

// _VarClear(var V): what the variant owns is released, then it is empty.
void QM_HOST_REGISTER RtlVarClear(TVarData* v) {
  const uint16_t type = v->VType;
  if (type < 20) {
    RtlVarResultCheck(VariantClear(reinterpret_cast<VARIANT*>(v)), type, VT_EMPTY);
  } else if (type == varString) {
    RtlLStrClr(reinterpret_cast<char**>(&v->VString));
    v->VType = VT_EMPTY;
  } else if (type == varUString) {
    RtlUStrClr(&v->VUString);
    v->VType = VT_EMPTY;
  } else if (type == varAny) {
    rtl_ClearAnyProc(v);
  } else if (type & varArray) {
    // Only an array the variant owns: a referenced one belongs to another.
    if ((type & ~varArray) == VT_VARIANT) {
      SAFEARRAY* array = static_cast<SAFEARRAY*>(v->VPointer);
      long count = 1;
      for (UINT d = 1; d <= SafeArrayGetDim(array); ++d) {
        long lower = 0, upper = -1;
        SafeArrayGetLBound(array, d, &lower);
        SafeArrayGetUBound(array, d, &upper);
        count *= upper - lower + 1;
      }
      auto* elements = static_cast<TVarData*>(array->pvData);
      for (long i = 0; i < count; ++i) RtlVarClear(&elements[i]);
    }
    RtlVarResultCheck(VariantClear(reinterpret_cast<VARIANT*>(v)), type, VT_EMPTY);
  } else {
    void* custom = nullptr;
    if (!(type & varByRef) && RtlFindCustomVariantType(type, &custom)) {
      CustomClear(custom, v);
    } else {
      VariantClear(reinterpret_cast<VARIANT*>(v));
      VariantInit(reinterpret_cast<VARIANT*>(v));
    }
  }
}

void QM_HOST_REGISTER RtlVarToUStr(wchar_t** result, const TVarData* v) {
  QmRtl::StoreNew(result, VariantText(v, VT_BSTR));
}

void QM_HOST_REGISTER RtlVarToLStr(char** result, const TVarData* v) {
  if (v->VType == varString) {
    RtlLStrAsg(result, static_cast<const char*>(v->VString));
    return;
  }
  wchar_t* text = VariantText(v, varString);
  RtlLStrFromPWCharLen(result, text, QmRtl::Length(text), CP_ACP);
  RtlUStrClr(&text);
}

void QM_HOST_REGISTER RtlVarToWStr(wchar_t** result, const TVarData* v) {
  wchar_t* text = VariantText(v, VT_BSTR);
  BSTR old = *result;
  *result = text ? SysAllocStringLen(text, UINT(QmRtl::Length(text))) : nullptr;
  SysFreeString(old);
  RtlUStrClr(&text);
}

bool QM_HOST_REGISTER RtlVarToBoolWorker(const TVarData* v) {
  const uint16_t type = v->VType;
  switch (type) {
    case VT_EMPTY: return false;
    case VT_NULL:
      if (rtl_NullStrictConvert) RtlVarCastError(VT_NULL, VT_BOOL);
      return false;
    case VT_BSTR: return TextToBoolean(v->VOleStr, v->VOleStr ? int(SysStringLen(v->VOleStr)) : 0, VT_BSTR);
    case varUString: return TextToBoolean(v->VUString, QmRtl::Length(v->VUString), varUString);
    case varString: {
      wchar_t* text = nullptr;
      RtlVarToUStr(&text, v);
      const int length = QmRtl::Length(text);
      // The temporary text goes before a raise could skip this frame.
      wchar_t buffer[256];
      if (length < 256) {
        std::memcpy(buffer, text, size_t(length) * 2);
        RtlUStrClr(&text);
        return TextToBoolean(buffer, length, varString);
      }
      const bool value = TextToBoolean(text, length, varString);
      RtlUStrClr(&text);
      return value;
    }
    case varAny: {
      TVarData copy = *v;
      if (!rtl_ChangeAnyProc) RtlVarCastError(varAny, VT_BOOL);
      rtl_ChangeAnyProc(&copy);
      const bool value = RtlVarToBoolWorker(&copy);
      RtlVarClear(&copy);
      return value;
    }
    case VT_VARIANT | varByRef: return RtlVarToBoolWorker(static_cast<const TVarData*>(v->VPointer));
    case VT_BSTR | varByRef: {
      BSTR s = *static_cast<BSTR*>(v->VPointer);
      return TextToBoolean(s, s ? int(SysStringLen(s)) : 0, VT_BSTR);
    }
    case varUString | varByRef: {
      const wchar_t* s = *static_cast<wchar_t**>(v->VPointer);
      return TextToBoolean(s, CStrLength(s), varUString);
    }
    case varString | varByRef: {
      const char* s = *static_cast<char**>(v->VPointer);
      wchar_t* text = s ? Widened(s, lstrlenA(s), StrHeader(reinterpret_cast<const wchar_t*>(s))->codePage) : nullptr;
      wchar_t buffer[256];
      const int length = QmRtl::Length(text);
      if (length < 256) {
        std::memcpy(buffer, text, size_t(length) * 2);
        RtlUStrClr(&text);
        return TextToBoolean(buffer, length, varString);
      }
      const bool value = TextToBoolean(text, length, varString);
      RtlUStrClr(&text);
      return value;
    }
    default:
      break;
  }
  void* custom = nullptr;
  if (type >= 0x100 && !(type & (varByRef | varArray)) && RtlFindCustomVariantType(type, &custom)) {
    TVarData temp = {};
    CustomCastTo(custom, &temp, v, VT_BOOL);
    return temp.VBoolean != 0;
  }
  return ChangedToBoolean(v);
}

void QM_HOST_REGISTER RtlVarFromWStr(TVarData* v, const wchar_t* value) {
  RtlVarClear(v);
  v->VOleStr = value ? SysAllocStringLen(value, SysStringLen(const_cast<BSTR>(value))) : nullptr;
  v->VType = VT_BSTR;
}

void QM_HOST_REGISTER RtlOleVarFromLStr(TVarData* v, const char* value) {
  wchar_t* text = value ? Widened(value, StrHeader(reinterpret_cast<const wchar_t*>(value))->length,
                                  StrHeader(reinterpret_cast<const wchar_t*>(value))->codePage)
                        : nullptr;
  RtlVarClear(v);
  v->VOleStr = text ? SysAllocStringLen(text, UINT(QmRtl::Length(text))) : nullptr;
  v->VType = VT_BSTR;
  RtlUStrClr(&text);
}

void QM_HOST_REGISTER RtlOleVarFromUStr(TVarData* v, const wchar_t* value) {
  RtlVarClear(v);
  v->VOleStr = value ? SysAllocStringLen(value, UINT(QmRtl::Length(value))) : nullptr;
  v->VType = VT_BSTR;
}

// VarToStr(const V: Variant): string — Null gives ''.
void QM_HOST_REGISTER RtlVarToStr(const TVarData* v, wchar_t** result) {
  if (v->VType == VT_NULL) {
    QmRtl::StoreNew(result, nullptr);
    return;
  }
  RtlVarToUStr(result, v);
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&RtlVarToUStr), VarToUStrFn> && std::is_same_v<decltype(&RtlVarToLStr), VarToLStrFn> &&
                  std::is_same_v<decltype(&RtlVarToWStr), VarToWStrFn> &&
                  std::is_same_v<decltype(&RtlVarFromWStr), VarFromWStrFn> &&
                  std::is_same_v<decltype(&RtlOleVarFromLStr), OleVarFromLStrFn> &&
                  std::is_same_v<decltype(&RtlOleVarFromUStr), OleVarFromUStrFn> &&
                  std::is_same_v<decltype(&RtlVarClear), VarClearFn> && std::is_same_v<decltype(&RtlVarToStr), VarToStrFn>,
              "the variant routines have the driver's types");

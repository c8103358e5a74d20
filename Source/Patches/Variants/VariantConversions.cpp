#include "Patches/Variants/VariantConversions.h"

#include <atomic>
#include <oleauto.h>

namespace Quillmend {

namespace {

THostVariants g_host;
std::atomic<const TVariantTexts*> g_texts{nullptr};

enum class TTextKind : uint8_t { Unicode, Ansi, Wide };

// Where a text goes, and which target type an error names.
struct TTextSink {
  TTextKind Kind;
  void** Result;
  uint16_t ErrorTarget;
};

void PutBstr(const TTextSink& s, BSTR owned) {
  BSTR* result = reinterpret_cast<BSTR*>(s.Result);
  BSTR old = *result;
  *result = owned;
  SysFreeString(old);
}

void PutChars(const TTextSink& s, const wchar_t* chars, int32_t length) {
  switch (s.Kind) {
    case TTextKind::Unicode:
      g_host.Strings.StoreNew(reinterpret_cast<wchar_t**>(s.Result), g_host.Strings.New(chars, length));
      break;
    case TTextKind::Ansi:
      g_host.LStrFromPWCharLen(reinterpret_cast<char**>(s.Result), chars, length, CP_ACP);
      break;
    case TTextKind::Wide:
      PutBstr(s, length > 0 ? SysAllocStringLen(chars, UINT(length)) : nullptr);
      break;
  }
}

// A UnicodeString: shared where the result is one.
void PutShared(const TTextSink& s, const wchar_t* text) {
  if (s.Kind == TTextKind::Unicode)
    g_host.Strings.Assign(reinterpret_cast<wchar_t**>(s.Result), text);
  else
    PutChars(s, text, HostStringLength(text));
}

// A UnicodeString of ours (reference count 1): handed over or copied and released.
void PutOwned(const TTextSink& s, wchar_t* text) {
  if (s.Kind == TTextKind::Unicode) {
    g_host.Strings.StoreNew(reinterpret_cast<wchar_t**>(s.Result), text);
    return;
  }
  PutChars(s, text, HostStringLength(text));
  if (text) g_host.Strings.Clear(&text);
}

// An OLE string the platform made: handed over or copied and freed.
void PutOwnedBstr(const TTextSink& s, BSTR text) {
  if (s.Kind == TTextKind::Wide) {
    PutBstr(s, text);
    return;
  }
  PutChars(s, text, text ? int32_t(SysStringLen(text)) : 0);
  SysFreeString(text);
}

void PutAscii(const TTextSink& s, const char* chars, int length) {
  wchar_t wide[32];
  for (int i = 0; i < length; ++i) wide[i] = wchar_t(chars[i]);
  PutChars(s, wide, length);
}

// 8-bit text in its code page, widened.
void PutWidened(const TTextSink& s, const char* chars, int32_t length, uint16_t codePage) {
  const int wide = length > 0 ? MultiByteToWideChar(codePage, 0, chars, length, nullptr, 0) : 0;
  if (wide <= 0) {
    PutChars(s, nullptr, 0);
    return;
  }
  if (s.Kind == TTextKind::Wide) {
    BSTR text = SysAllocStringLen(nullptr, UINT(wide));
    MultiByteToWideChar(codePage, 0, chars, length, text, wide);
    PutBstr(s, text);
    return;
  }
  wchar_t* text = g_host.Strings.NewUnicodeString(wide);
  MultiByteToWideChar(codePage, 0, chars, length, text, wide);
  PutOwned(s, text);
}

void PutInteger(const TTextSink& s, int64_t value, bool cacheable) {
  const TVariantTexts* texts = g_texts.load(std::memory_order_acquire);
  if (cacheable && texts && s.Kind == TTextKind::Unicode && value >= CachedIntegerLow && value <= CachedIntegerHigh) {
    PutShared(s, texts->Integer(int32_t(value)));
    return;
  }
  char digits[24];
  PutAscii(s, digits, DecimalText(value, digits));
}

void PutUnsigned(const TTextSink& s, uint64_t value) {
  char digits[24];
  PutAscii(s, digits, DecimalText(value, digits));
}

void PutBoolean(const TTextSink& s, bool value) {
  const uint8_t rule = *g_host.BooleanToStringRule;
  if (const TVariantTexts* texts = g_texts.load(std::memory_order_acquire)) {
    PutShared(s, texts->Boolean(value, rule));
    return;
  }
  wchar_t text[64];
  PutChars(s, text, BooleanText(value, rule, text));
}

void PutFloat(const TTextSink& s, long double value) {
  wchar_t* text = nullptr;
  g_host.FloatToStr(value, &text);
  PutOwned(s, text);
}

void PutCurrency(const TTextSink& s, int64_t value) {
  CY cy;
  cy.int64 = value;
  BSTR text = nullptr;
  g_host.VarResultCheck(VarBstrFromCy(cy, VariantLocale, 0, &text), VarType::Currency, VarType::OleStr);
  PutOwnedBstr(s, text);
}

void PutDate(const TTextSink& s, double value) {
  BSTR text = nullptr;
  g_host.VarResultCheck(VarBstrFromDate(value, VariantLocale, 0, &text), VarType::Date, VarType::OleStr);
  PutOwnedBstr(s, text);
}

// The platform's conversion through a temporary variant.
void ChangeTypeToText(const TTextSink& s, const TVarData* v) {
  VARIANT temp;
  VariantInit(&temp);
  const HRESULT hr = VariantChangeTypeEx(&temp, reinterpret_cast<VARIANT*>(const_cast<TVarData*>(v)), VariantLocale, 0,
                                         VT_BSTR);
  g_host.VarResultCheck(hr, v->VType, s.ErrorTarget);
  PutOwnedBstr(s, V_BSTR(&temp));
}

void CustomCastTo(void* customType, TVarData* dest, const TVarData* source, uint32_t target) {
  using TCastTo = void(QM_REGISTER*)(void* self, TVarData* dest, const TVarData* source, uint32_t target);
  const char* classRef = *static_cast<const char* const*>(customType);
  reinterpret_cast<TCastTo>(*reinterpret_cast<void* const*>(classRef + CustomVariantTypeLayout::CastTo))(
      customType, dest, source, target);
}

void CustomClear(void* customType, TVarData* v) {
  using TClear = void(QM_REGISTER*)(void* self, TVarData* v);
  const char* classRef = *static_cast<const char* const*>(customType);
  reinterpret_cast<TClear>(*reinterpret_cast<void* const*>(classRef + CustomVariantTypeLayout::Clear))(customType, v);
}

void VariantToText(const TVarData* v, const TTextSink& s);

void ReferencedToText(const TVarData* v, const TTextSink& s) {
  const void* p = v->VPointer;
  switch (v->VType & ~VarType::ByRef) {
    case VarType::SmallInt: return PutInteger(s, *static_cast<const int16_t*>(p), false);
    case VarType::Integer: return PutInteger(s, *static_cast<const int32_t*>(p), false);
    case VarType::Word: return PutInteger(s, *static_cast<const uint16_t*>(p), false);
    case VarType::LongWord: return PutInteger(s, *static_cast<const uint32_t*>(p), false);
    case VarType::Int64: return PutInteger(s, *static_cast<const int64_t*>(p), false);
    case VarType::UInt64: return PutUnsigned(s, *static_cast<const uint64_t*>(p));
    case VarType::ShortInt: return PutInteger(s, *static_cast<const int8_t*>(p), true);
    case VarType::Byte: return PutInteger(s, *static_cast<const uint8_t*>(p), true);
    case VarType::Single: return PutFloat(s, *static_cast<const float*>(p));
    case VarType::Double: return PutFloat(s, *static_cast<const double*>(p));
    case VarType::Currency: return PutCurrency(s, *static_cast<const int64_t*>(p));
    case VarType::Date: return PutDate(s, *static_cast<const double*>(p));
    case VarType::Boolean: return PutBoolean(s, *static_cast<const int16_t*>(p) != 0);
    case VarType::Variant: return VariantToText(static_cast<const TVarData*>(p), s);
    case VarType::OleStr: {
      const BSTR text = *static_cast<const BSTR*>(p);
      return PutChars(s, text, text ? int32_t(SysStringLen(text)) : 0);
    }
    case VarType::String: {
      const char* text = *static_cast<char* const*>(p);  // up to its first 0 character
      return PutWidened(s, text, text ? lstrlenA(text) : 0, HostAnsiStringCodePage(text));
    }
    case VarType::UString: {
      const wchar_t* text = *static_cast<wchar_t* const*>(p);
      return PutChars(s, text, text ? lstrlenW(text) : 0);
    }
    default: return ChangeTypeToText(s, v);
  }
}

void VariantToText(const TVarData* v, const TTextSink& s) {
  const uint16_t type = v->VType;
  switch (type) {
    case VarType::Empty: return PutChars(s, nullptr, 0);
    case VarType::Null:
      if (*g_host.NullStrictConvert) g_host.VarCastError(VarType::Null, VarType::OleStr);
      return PutShared(s, *g_host.NullAsStringValue);
    case VarType::SmallInt: return PutInteger(s, v->VSmallInt, true);
    case VarType::Integer: return PutInteger(s, v->VInteger, true);
    case VarType::Word: return PutInteger(s, v->VWord, true);
    case VarType::LongWord: return PutInteger(s, v->VLongWord, true);
    case VarType::ShortInt: return PutInteger(s, v->VShortInt, true);
    case VarType::Byte: return PutInteger(s, v->VByte, true);
    case VarType::Int64: return PutInteger(s, v->VInt64, false);
    case VarType::UInt64: return PutUnsigned(s, v->VUInt64);
    case VarType::Single: return PutFloat(s, v->VSingle);
    case VarType::Double: return PutFloat(s, v->VDouble);
    case VarType::Currency: return PutCurrency(s, v->VCurrency);
    case VarType::Date: return PutDate(s, v->VDate);
    case VarType::OleStr: return PutChars(s, v->VOleStr, v->VOleStr ? int32_t(SysStringLen(v->VOleStr)) : 0);
    case VarType::Boolean: return PutBoolean(s, v->VBoolean != 0);
    case VarType::String:
      if (s.Kind == TTextKind::Ansi) return g_host.LStrAsg(reinterpret_cast<char**>(s.Result), v->VString);
      return PutWidened(s, v->VString, HostAnsiStringLength(v->VString), HostAnsiStringCodePage(v->VString));
    case VarType::UString: return PutShared(s, v->VUString);
    case VarType::Any: {
      if (!*g_host.ChangeAnyProc) g_host.VarCastError(VarType::Any, s.ErrorTarget);
      TVarData copy = *v;
      (*g_host.ChangeAnyProc)(&copy);
      VariantToText(&copy, s);
      return ClearVariant(&copy);
    }
    default:
      break;
  }
  if (type & VarType::ByRef) return ReferencedToText(v, s);
  void* custom = nullptr;
  if (type >= VarType::String && !(type & VarType::Array) && g_host.FindCustomVariantType(type, &custom)) {
    TVarData temp = {};
    CustomCastTo(custom, &temp, v, VarType::OleStr);
    if (temp.VType == VarType::OleStr) return PutOwnedBstr(s, temp.VOleStr);
    ChangeTypeToText(s, &temp);
    return ClearVariant(&temp);
  }
  ChangeTypeToText(s, v);
}

// ---- Boolean ------------------------------------------------------------------------

// A text to a Boolean: "0" and "-1" at once (unless always through the
// platform: OLE strings), else VarBoolFromStr, and TryStrToBool where that
// finds no Boolean. `hostText` is the text as a host string if it is one.
// Returns the platform's result; raises nothing.
HRESULT TextToBoolean(const wchar_t* chars, int32_t length, bool throughPlatform, const wchar_t* hostText, bool& value) {
  if (!throughPlatform && length == 1 && chars[0] == L'0') return value = false, S_OK;
  if (!throughPlatform && length == 2 && chars[0] == L'-' && chars[1] == L'1') return value = true, S_OK;
  VARIANT_BOOL b = VARIANT_FALSE;
  const HRESULT hr = VarBoolFromStr(const_cast<wchar_t*>(length > 0 ? chars : L""), VariantLocale, 0, &b);
  if (SUCCEEDED(hr)) return value = b != 0, hr;
  if (hr != DISP_E_TYPEMISMATCH) return hr;
  wchar_t* made = hostText ? nullptr : g_host.Strings.New(chars, length);
  uint8_t parsed = 0;
  const bool ok = g_host.TryStrToBool(hostText ? hostText : made, &parsed);
  if (made) g_host.Strings.Clear(&made);
  if (!ok) return hr;
  value = parsed != 0;
  return S_OK;
}

bool CheckedTextToBoolean(const wchar_t* chars, int32_t length, uint16_t source, const wchar_t* hostText) {
  bool value = false;
  const HRESULT hr = TextToBoolean(chars, length, source == VarType::OleStr, hostText, value);
  if (FAILED(hr)) g_host.VarResultCheck(hr, source, VarType::Boolean);
  return value;
}

// 8-bit text: widened into a host string first, released before any error is raised.
bool AnsiTextToBoolean(const char* chars, int32_t length, uint16_t codePage) {
  const int wide = length > 0 ? MultiByteToWideChar(codePage, 0, chars, length, nullptr, 0) : 0;
  wchar_t* text = wide > 0 ? g_host.Strings.NewUnicodeString(wide) : nullptr;
  if (text) MultiByteToWideChar(codePage, 0, chars, length, text, wide);
  bool value = false;
  const HRESULT hr = TextToBoolean(text, wide, false, text, value);
  if (text) g_host.Strings.Clear(&text);
  if (FAILED(hr)) g_host.VarResultCheck(hr, VarType::String, VarType::Boolean);
  return value;
}

bool ChangeTypeToBoolean(const TVarData* v) {
  VARIANT temp;
  VariantInit(&temp);
  const HRESULT hr = VariantChangeTypeEx(&temp, reinterpret_cast<VARIANT*>(const_cast<TVarData*>(v)), VariantLocale, 0,
                                         VT_BOOL);
  g_host.VarResultCheck(hr, v->VType, VarType::Boolean);
  return V_BOOL(&temp) != 0;
}

bool VariantToBoolean(const TVarData* v);

bool ReferencedToBoolean(const TVarData* v) {
  const void* p = v->VPointer;
  switch (v->VType & ~VarType::ByRef) {
    case VarType::SmallInt:
    case VarType::Boolean:
    case VarType::Word: return *static_cast<const int16_t*>(p) != 0;
    case VarType::Integer:
    case VarType::LongWord: return *static_cast<const int32_t*>(p) != 0;
    case VarType::ShortInt:
    case VarType::Byte: return *static_cast<const uint8_t*>(p) != 0;
    case VarType::Int64:
    case VarType::UInt64:
    case VarType::Currency: return *static_cast<const int64_t*>(p) != 0;
    case VarType::Single: return *static_cast<const float*>(p) != 0;
    case VarType::Double:
    case VarType::Date: return *static_cast<const double*>(p) != 0;
    case VarType::Variant: return VariantToBoolean(static_cast<const TVarData*>(p));
    case VarType::OleStr: {
      const BSTR text = *static_cast<const BSTR*>(p);
      return CheckedTextToBoolean(text, text ? int32_t(SysStringLen(text)) : 0, VarType::OleStr, nullptr);
    }
    case VarType::UString: {
      const wchar_t* text = *static_cast<wchar_t* const*>(p);
      return CheckedTextToBoolean(text, text ? lstrlenW(text) : 0, VarType::UString, nullptr);
    }
    case VarType::String: {
      const char* text = *static_cast<char* const*>(p);
      return AnsiTextToBoolean(text, text ? lstrlenA(text) : 0, HostAnsiStringCodePage(text));
    }
    default: return ChangeTypeToBoolean(v);
  }
}

bool VariantToBoolean(const TVarData* v) {
  const uint16_t type = v->VType;
  switch (type) {
    case VarType::Empty: return false;
    case VarType::Null:
      if (*g_host.NullStrictConvert) g_host.VarCastError(VarType::Null, VarType::Boolean);
      return false;
    case VarType::SmallInt:
    case VarType::Boolean:
    case VarType::Word: return v->VSmallInt != 0;
    case VarType::Integer:
    case VarType::LongWord: return v->VInteger != 0;
    case VarType::ShortInt:
    case VarType::Byte: return v->VByte != 0;
    case VarType::Int64:
    case VarType::UInt64:
    case VarType::Currency: return v->VInt64 != 0;
    case VarType::Single: return v->VSingle != 0;
    case VarType::Double:
    case VarType::Date: return v->VDouble != 0;
    case VarType::OleStr:
      return CheckedTextToBoolean(v->VOleStr, v->VOleStr ? int32_t(SysStringLen(v->VOleStr)) : 0, VarType::OleStr,
                                  nullptr);
    case VarType::UString:
      return CheckedTextToBoolean(v->VUString, HostStringLength(v->VUString), VarType::UString, v->VUString);
    case VarType::String:
      return AnsiTextToBoolean(v->VString, HostAnsiStringLength(v->VString), HostAnsiStringCodePage(v->VString));
    case VarType::Any: {
      if (!*g_host.ChangeAnyProc) g_host.VarCastError(VarType::Any, VarType::Boolean);
      TVarData copy = *v;
      (*g_host.ChangeAnyProc)(&copy);
      const bool value = VariantToBoolean(&copy);
      ClearVariant(&copy);
      return value;
    }
    default:
      break;
  }
  if (type & VarType::ByRef) return ReferencedToBoolean(v);
  void* custom = nullptr;
  if (type >= VarType::String && !(type & VarType::Array) && g_host.FindCustomVariantType(type, &custom)) {
    TVarData temp = {};
    CustomCastTo(custom, &temp, v, VarType::Boolean);
    return temp.VBoolean != 0;
  }
  return ChangeTypeToBoolean(v);
}

// ---- storing strings ------------------------------------------------------------------

// What the variant owns is released before the new string is made (the
// platform's allocator then reuses the block), unless the source is that
// very data: then the copy comes first.
template <class TMake>
void StoreOleStr(TVarData* v, const void* source, TMake&& make) {
  BSTR text = nullptr;
  const bool ownSource = source && v->VPointer == source;
  if (ownSource) text = make();
  if (v->VType & VarType::OwnsDataMask) ClearVariant(v);
  if (!ownSource) text = make();
  v->VType = VarType::OleStr;
  v->VOleStr = text;
}

// Elements of an array (product over its dimensions of upper - lower + 1).
long ElementCount(SAFEARRAY* array) {
  long count = 1;
  const UINT dimensions = SafeArrayGetDim(array);
  for (UINT d = 1; d <= dimensions; ++d) {
    long lower = 0, upper = -1;
    SafeArrayGetLBound(array, d, &lower);
    SafeArrayGetUBound(array, d, &upper);
    count *= upper - lower + 1;
  }
  return count;
}

}  // namespace

void SetVariantHost(const THostVariants& host) { g_host = host; }

void SetVariantTexts(const TVariantTexts* texts) { g_texts.store(texts, std::memory_order_release); }

void ClearVariant(TVarData* v) {
  const uint16_t type = v->VType;
  if (type < 20) {
    g_host.VarResultCheck(VariantClear(reinterpret_cast<VARIANT*>(v)), type, VarType::Empty);
  } else if (type == VarType::String) {
    v->VType = VarType::Empty;
    g_host.LStrClr(&v->VString);
  } else if (type == VarType::UString) {
    v->VType = VarType::Empty;
    g_host.Strings.Clear(&v->VUString);
  } else if (type == VarType::Any) {
    if (*g_host.ClearAnyProc)
      (*g_host.ClearAnyProc)(v);
    else
      v->VType = VarType::Empty;
  } else if (type & VarType::Array) {
    // Elements the variant owns only: a referenced array belongs to another.
    if ((type & ~VarType::Array) == VarType::Variant) {
      auto* array = static_cast<SAFEARRAY*>(v->VPointer);
      auto* elements = static_cast<TVarData*>(array->pvData);
      const long count = ElementCount(array);
      for (long i = 0; i < count; ++i) ClearVariant(&elements[i]);
    }
    g_host.VarResultCheck(VariantClear(reinterpret_cast<VARIANT*>(v)), type, VarType::Empty);
  } else {
    void* custom = nullptr;
    if (!(type & VarType::ByRef) && g_host.FindCustomVariantType(type, &custom)) {
      CustomClear(custom, v);
    } else {
      VariantClear(reinterpret_cast<VARIANT*>(v));
      VariantInit(reinterpret_cast<VARIANT*>(v));
    }
  }
}

void QM_REGISTER VarToUStrReplacement(wchar_t** result, const TVarData* v) {
  VariantToText(v, {TTextKind::Unicode, reinterpret_cast<void**>(result), VarType::OleStr});
}

void QM_REGISTER VarToLStrReplacement(char** result, const TVarData* v) {
  VariantToText(v, {TTextKind::Ansi, reinterpret_cast<void**>(result), VarType::String});
}

void QM_REGISTER VarToWStrReplacement(wchar_t** result, const TVarData* v) {
  VariantToText(v, {TTextKind::Wide, reinterpret_cast<void**>(result), VarType::OleStr});
}

bool QM_REGISTER VarToBoolReplacement(const TVarData* v) { return VariantToBoolean(v); }

namespace {

// An OLE string in the variant already: its block takes the new text (the
// platform may resize it in place) instead of a free and an allocation.
bool ReuseOleStr(TVarData* v, const wchar_t* chars, int32_t length) {
  if (v->VType != VarType::OleStr || !v->VOleStr || v->VOleStr == chars || length <= 0) return false;
  return SysReAllocStringLen(&v->VOleStr, chars, UINT(length)) != FALSE;
}

}  // namespace

void QM_REGISTER VarFromWStrReplacement(TVarData* v, const wchar_t* value) {
  const int32_t length = value ? int32_t(SysStringLen(const_cast<BSTR>(value))) : 0;
  if (ReuseOleStr(v, value, length)) return;
  StoreOleStr(v, value, [value, length] { return length > 0 ? SysAllocStringLen(value, UINT(length)) : nullptr; });
}

void QM_REGISTER OleVarFromLStrReplacement(TVarData* v, const char* value) {
  StoreOleStr(v, value, [value] {
    const int32_t length = HostAnsiStringLength(value);
    const uint16_t codePage = HostAnsiStringCodePage(value);
    const int wide = length > 0 ? MultiByteToWideChar(codePage, 0, value, length, nullptr, 0) : 0;
    BSTR text = nullptr;
    if (wide > 0) {
      text = SysAllocStringLen(nullptr, UINT(wide));
      MultiByteToWideChar(codePage, 0, value, length, text, wide);
    }
    return text;
  });
}

void QM_REGISTER OleVarFromUStrReplacement(TVarData* v, const wchar_t* value) {
  const int32_t length = HostStringLength(value);
  if (ReuseOleStr(v, value, length)) return;
  StoreOleStr(v, value, [value, length] { return length > 0 ? SysAllocStringLen(value, UINT(length)) : nullptr; });
}

}  // namespace Quillmend

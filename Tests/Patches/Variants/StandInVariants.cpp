#include "StandInVariants.h"

#include <oleauto.h>

#include <cstring>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "Common/HostGuard.h"
#include "Common/HostRtl.h"
#include "Framework/PatchRegistry.h"
#include "Patches/Variants/VariantsConvOptimize.h"
#include "TestPaths.h"

namespace VariantTest {

namespace {

using namespace VariantsDriver;

TRuntime g_runtime;

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

template <class T>
void BindTo(T& slot, const char* name) {
  slot = Bind<T>(g_runtime.Module, name);
  if (!slot) throw std::runtime_error(std::string("rtl150.bpl lacks ") + name);
}

std::string Utf8(const std::wstring& text) {
  std::string out(size_t(WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), int(out.size()), nullptr, nullptr);
  return out;
}

// Runs f in the host's exception guard: "" or "raised <class>: <message>".
template <class F>
std::string Guarded(F&& f) {
  QmHost::HostExceptionReport report;
  if (QmHost::CallHostGuarded(f, report, QmHost::LoadedHostRtl())) return "";
  return "raised " + Utf8(report.Text());
}

// A COM object that answers IDispatch (its value: "dispatched") and counts Release.
struct TDispatch : IDispatch {
  long References = 1;
  HRESULT __stdcall QueryInterface(REFIID id, void** object) override {
    if (id == IID_IUnknown || id == IID_IDispatch) {
      *object = this;
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG __stdcall AddRef() override { return ULONG(++References); }
  ULONG __stdcall Release() override { return ULONG(--References); }
  HRESULT __stdcall GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
  HRESULT __stdcall GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT __stdcall GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT __stdcall Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
    if (id != DISPID_VALUE || !result) return DISP_E_MEMBERNOTFOUND;
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = SysAllocString(L"dispatched");
    return S_OK;
  }
};
TDispatch g_dispatch;

// Data the by-reference cases point at (kept alive across calls).
struct TReferenced {
  int16_t SmallInt = -32768;
  int32_t Integer = 2147483647;
  uint32_t LongWord = 4294967295u;
  int8_t ShortInt = -128;
  uint8_t Byte = 255;
  uint16_t Word = 65535;
  int64_t Int64 = std::numeric_limits<int64_t>::min();
  uint64_t UInt64 = std::numeric_limits<uint64_t>::max();
  double Double = 2.5;
  float Single = -0.125f;
  int64_t Currency = 123456789;
  double Date = 36526.5;
  int16_t Boolean = -1;
  BSTR OleStr = nullptr;
  char* AnsiString = nullptr;
  wchar_t* UString = nullptr;
  TVarData Variant = {};
};
TReferenced& Referenced() {
  static TReferenced* data = [] {
    auto* d = new TReferenced;
    d->OleStr = SysAllocString(L"by reference");
    d->AnsiString = NewAnsi("ref \xE9t\xE9", 1252);
    d->UString = NewUString(std::wstring(L"before\0after", 12));  // read up to its first 0 character
    d->Variant.VType = VT_I4;
    d->Variant.VInteger = -7;
    return d;
  }();
  return *data;
}

TVariantCase Simple(std::string name, uint16_t type, std::function<void(TVarData&)> fill) {
  return {std::move(name), [type, fill](TVarData& v) {
            v = TVarData();
            v.VType = type;
            fill(v);
          }};
}

TVariantCase ByRef(std::string name, uint16_t type, void* data) {
  return {std::move(name), [type, data](TVarData& v) {
            v = TVarData();
            v.VType = type | varByRef;
            v.VPointer = data;
          }};
}

}  // namespace

const TRuntime& Load(const std::string& variant) {
  if (g_runtime.Module) return g_runtime;
  std::wstring path = BuildDirectory() + L"\\host\\rtl150.bpl";
  if (!variant.empty()) {
    std::wstring altered =
        BuildDirectory() + L"\\host-variants\\" + std::wstring(variant.begin(), variant.end()) + L"\\rtl150.bpl";
    if (FileExists(altered)) path = altered;
  }
  if (!LoadLibraryW(path.c_str())) throw std::runtime_error("cannot load rtl150.bpl");
  return Runtime();
}

const TRuntime& Runtime() {
  if (g_runtime.Module) return g_runtime;
  g_runtime.Module = GetModuleHandleW(L"rtl150.bpl");
  if (!g_runtime.Module) throw std::runtime_error("rtl150.bpl is not loaded");
  BindTo(g_runtime.VarToLStr, Export::VarToLStr);
  BindTo(g_runtime.VarToWStr, Export::VarToWStr);
  BindTo(g_runtime.VarToBool, Export::VarToBool);
  BindTo(g_runtime.VarFromWStr, Export::VarFromWStr);
  BindTo(g_runtime.OleVarFromLStr, Export::OleVarFromLStr);
  BindTo(g_runtime.OleVarFromUStr, Export::OleVarFromUStr);
  BindTo(g_runtime.VarClear, Export::VarClear);
  BindTo(g_runtime.NewAnsiString, Export::NewAnsiString);
  BindTo(g_runtime.LStrClr, Export::LStrClr);
  BindTo(g_runtime.MakePoint, Export::MakePointVariant);
  BindTo(g_runtime.NullStrictConvert, Export::NullStrictConvert);
  BindTo(g_runtime.NullAsStringValue, Export::NullAsStringValue);
  BindTo(g_runtime.BooleanToStringRule, Export::BooleanToStringRule);
  BindTo(g_runtime.PointClears, Export::PointClears);
  BindTo(g_runtime.TryStrToBoolCalls, Export::TryStrToBoolCalls);
  // Absent in the build that lacks it (a mismatched host).
  g_runtime.VarToUStr = Bind<VarToUStrFn>(g_runtime.Module, Export::VarToUStr);
  return g_runtime;
}

void InstallPatch(const std::wstring& disabled) {
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", disabled.c_str());
  RunInstallation();
}

void RunInstallation() { Quillmend::InstallVariantsConvOptimize(); }

std::wstring Status() {
  for (const Quillmend::TPatchReport& r : Quillmend::PatchReports())
    if (r.Name == L"RTL.VariantsConvOptimization")
      return r.Status == Quillmend::psApplied ? L"applied" : r.Status == Quillmend::psIgnored ? L"ignored" : L"failed";
  return L"";
}

std::wstring Reason() {
  for (const Quillmend::TPatchReport& r : Quillmend::PatchReports())
    if (r.Name == L"RTL.VariantsConvOptimization") return r.Reason;
  return L"";
}

wchar_t* NewUString(const std::wstring& text) { return QmHost::LoadedHostRtl()->NewString(text); }

void FreeUString(wchar_t*& s) { QmHost::LoadedHostRtl()->Release(s); }

std::wstring UText(const wchar_t* s) { return s ? std::wstring(s, size_t(QmHost::StrHeader(s)->length)) : L""; }

char* NewAnsi(const std::string& bytes, uint16_t codePage) {
  char* s = Runtime().NewAnsiString(int32_t(bytes.size()), codePage);
  if (s) std::memcpy(s, bytes.data(), bytes.size());
  return s;
}

std::string AnsiBytes(const char* s) {
  return s ? std::string(s, size_t(QmHost::StrHeader(reinterpret_cast<const wchar_t*>(s))->length)) : "";
}

void Release(TVarData& v) { Guarded([&] { Runtime().VarClear(&v); }); }

std::vector<TVariantCase> TextCases() {
  TReferenced& r = Referenced();
  std::vector<TVariantCase> cases = {
      Simple("Empty", VT_EMPTY, [](TVarData&) {}),
      Simple("Null", VT_NULL, [](TVarData&) {}),
      Simple("SmallIntMin", VT_I2, [](TVarData& v) { v.VSmallInt = -32768; }),
      Simple("SmallInt255", VT_I2, [](TVarData& v) { v.VSmallInt = 255; }),
      Simple("SmallInt256", VT_I2, [](TVarData& v) { v.VSmallInt = 256; }),
      Simple("IntegerMinus128", VT_I4, [](TVarData& v) { v.VInteger = -128; }),
      Simple("IntegerMinus129", VT_I4, [](TVarData& v) { v.VInteger = -129; }),
      Simple("IntegerMax", VT_I4, [](TVarData& v) { v.VInteger = 2147483647; }),
      Simple("IntegerMin", VT_I4, [](TVarData& v) { v.VInteger = -2147483647 - 1; }),
      Simple("ShortIntMin", 16, [](TVarData& v) { v.VShortInt = -128; }),
      Simple("ShortIntMax", 16, [](TVarData& v) { v.VShortInt = 127; }),
      Simple("Byte255", 17, [](TVarData& v) { v.VByte = 255; }),
      Simple("Word0", 18, [](TVarData& v) { v.VWord = 0; }),
      Simple("WordMax", 18, [](TVarData& v) { v.VWord = 65535; }),
      Simple("LongWord255", 19, [](TVarData& v) { v.VLongWord = 255; }),
      Simple("LongWordMax", 19, [](TVarData& v) { v.VLongWord = 4294967295u; }),
      Simple("Int64Min", 20, [](TVarData& v) { v.VInt64 = std::numeric_limits<int64_t>::min(); }),
      Simple("Int64Max", 20, [](TVarData& v) { v.VInt64 = std::numeric_limits<int64_t>::max(); }),
      Simple("UInt64Max", 21, [](TVarData& v) { v.VUInt64 = std::numeric_limits<uint64_t>::max(); }),
      Simple("Single", VT_R4, [](TVarData& v) { v.VSingle = 1.5f; }),
      Simple("DoubleLarge", VT_R8, [](TVarData& v) { v.VDouble = 1.5e20; }),
      Simple("DoubleSmall", VT_R8, [](TVarData& v) { v.VDouble = -1.25e-7; }),
      Simple("DoubleThird", VT_R8, [](TVarData& v) { v.VDouble = 1.0 / 3; }),
      Simple("DoubleNaN", VT_R8, [](TVarData& v) { v.VDouble = std::nan(""); }),
      Simple("Currency", VT_CY, [](TVarData& v) { v.VCurrency = -12345678; }),
      Simple("Date", VT_DATE, [](TVarData& v) { v.VDate = 40000.25; }),
      Simple("OleStr", VT_BSTR, [](TVarData& v) { v.VOleStr = SysAllocString(L"ole \u00e9 text"); }),
      Simple("OleStrEmpty", VT_BSTR, [](TVarData& v) { v.VOleStr = nullptr; }),
      Simple("True", VT_BOOL, [](TVarData& v) { v.VBoolean = VARIANT_TRUE; }),
      Simple("False", VT_BOOL, [](TVarData& v) { v.VBoolean = VARIANT_FALSE; }),
      Simple("BooleanOne", VT_BOOL, [](TVarData& v) { v.VBoolean = 1; }),
      Simple("Dispatch", VT_DISPATCH, [](TVarData& v) { v.VUnknown = &g_dispatch; g_dispatch.AddRef(); }),
      Simple("Unknown", VT_UNKNOWN, [](TVarData& v) { v.VUnknown = static_cast<IUnknown*>(&g_dispatch); g_dispatch.AddRef(); }),
      Simple("Error", VT_ERROR, [](TVarData& v) { v.VInteger = int32_t(DISP_E_PARAMNOTFOUND); }),
      Simple("Decimal", VT_DECIMAL, [](TVarData& v) { VarDecFromI4(42, reinterpret_cast<DECIMAL*>(&v)); v.VType = VT_DECIMAL; }),
      Simple("AnsiString", varString, [](TVarData& v) { v.VString = NewAnsi("ansi \xE9t\xE9", 1252); }),
      Simple("AnsiStringCyrillic", varString, [](TVarData& v) { v.VString = NewAnsi("\xEF\xF0\xE8", 1251); }),
      Simple("Any", varAny, [](TVarData& v) { v.VAny = reinterpret_cast<void*>(uintptr_t(-42)); }),
      Simple("UString", varUString, [](TVarData& v) { v.VUString = NewUString(L"unicode \u0141"); }),
      Simple("UStringEmpty", varUString, [](TVarData& v) { v.VUString = nullptr; }),
      {"Point", [](TVarData& v) { Runtime().MakePoint(&v, 3, -4); }},
      Simple("Unregistered", 0x1FF, [](TVarData&) {}),
      ByRef("RefSmallInt", VT_I2, &r.SmallInt), ByRef("RefInteger", VT_I4, &r.Integer),
      ByRef("RefLongWord", 19, &r.LongWord), ByRef("RefShortInt", 16, &r.ShortInt), ByRef("RefByte", 17, &r.Byte),
      ByRef("RefWord", 18, &r.Word), ByRef("RefInt64", 20, &r.Int64), ByRef("RefUInt64", 21, &r.UInt64),
      ByRef("RefDouble", VT_R8, &r.Double), ByRef("RefSingle", VT_R4, &r.Single), ByRef("RefCurrency", VT_CY, &r.Currency),
      ByRef("RefDate", VT_DATE, &r.Date), ByRef("RefBoolean", VT_BOOL, &r.Boolean), ByRef("RefOleStr", VT_BSTR, &r.OleStr),
      ByRef("RefAnsiString", varString, &r.AnsiString), ByRef("RefUString", varUString, &r.UString),
      ByRef("RefVariant", VT_VARIANT, &r.Variant),
  };
  return cases;
}

std::vector<TVariantCase> BooleanCases() {
  std::vector<TVariantCase> cases = TextCases();
  for (const wchar_t* text : {L"0", L"-1", L"True", L"false", L"yes", L"1.5", L"", L" 7 ", L"2", L"FALSE", L"-1 "}) {
    const std::wstring t = text;
    cases.push_back(Simple("UString_" + Utf8(t), varUString, [t](TVarData& v) { v.VUString = NewUString(t); }));
    cases.push_back(Simple("OleStr_" + Utf8(t), VT_BSTR, [t](TVarData& v) { v.VOleStr = SysAllocStringLen(t.data(), UINT(t.size())); }));
  }
  for (const char* text : {"0", "-1", "true", "nope"}) {
    const std::string t = text;
    cases.push_back(Simple(std::string("AnsiString_") + text, varString, [t](TVarData& v) { v.VString = NewAnsi(t, 1252); }));
  }
  return cases;
}

std::string ToUStr(const TVariantCase& c) {
  TVarData v;
  c.Make(v);
  wchar_t* result = NewUString(L"old");
  std::string out = Guarded([&] { Runtime().VarToUStr(&result, &v); });
  if (out.empty()) out = Utf8(UText(result));
  FreeUString(result);
  Release(v);
  return out;
}

std::string ToLStr(const TVariantCase& c) {
  TVarData v;
  c.Make(v);
  char* result = nullptr;
  std::string out = Guarded([&] { Runtime().VarToLStr(&result, &v); });
  if (out.empty()) out = AnsiBytes(result) + " cp" + std::to_string(result ? QmHost::StrHeader(reinterpret_cast<wchar_t*>(result))->codePage : 0);
  Runtime().LStrClr(&result);
  Release(v);
  return out;
}

std::string ToWStr(const TVariantCase& c) {
  TVarData v;
  c.Make(v);
  BSTR result = SysAllocString(L"old");
  std::string out = Guarded([&] { Runtime().VarToWStr(&result, &v); });
  if (out.empty()) out = Utf8(std::wstring(result ? result : L"", result ? SysStringLen(result) : 0));
  SysFreeString(result);
  Release(v);
  return out;
}

std::string ToBool(const TVariantCase& c) {
  TVarData v;
  c.Make(v);
  bool value = false;
  std::string out = Guarded([&] { value = Runtime().VarToBool(&v); });
  if (out.empty()) out = value ? "true" : "false";
  Release(v);
  return out;
}

}  // namespace VariantTest

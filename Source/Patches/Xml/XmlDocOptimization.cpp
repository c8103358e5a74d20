#include "Patches/Xml/XmlDocOptimization.h"

#include <cstdio>
#include <oleauto.h>

namespace Quillmend {

namespace {

const wchar_t* const Xml = L"xmlrtl150.bpl";
const wchar_t* const Rtl = L"rtl150.bpl";

struct TVariantRecord {
  uint16_t VType, Reserved1, Reserved2, Reserved3;
  union {
    BSTR VOleStr;
    int16_t VBoolean;
    wchar_t* VUString;
    int64_t Value;
  };
};

constexpr uint16_t VarOleStr = 8, VarBoolean = 11, VarNull = 1, VarUString = 0x102;
// Types owning data: the result variable is cleared first only then.
constexpr uint16_t OwnsDataMask = 0xBFE8;

const uint8_t* g_useXsdBooleanStrings = nullptr;
void(QM_REGISTER* g_varClear)(void* v) = nullptr;
void(QM_REGISTER* g_varToStr)(const void* v, wchar_t** result) = nullptr;
THostStrings g_strings;

void* DomNode(void* node) { return *reinterpret_cast<void**>(static_cast<char*>(node) + XmlNodeLayout::DOMNode); }

template <class F>
F DomMethod(void* dom, int slot) {
  return reinterpret_cast<F>((*static_cast<void* const* const*>(dom))[slot]);
}

// A safecall that failed is the host's exception, as the original raises it.
void CheckSafecall(HRESULT result) {
  if (SUCCEEDED(result)) return;
  wchar_t text[48];
  std::swprintf(text, 48, L"OLE error %08X", unsigned(result));
  RaiseHostException(std::wstring(text));
}

TPatchPlan XmlPlan() {
  TPatchPlan plan(L"RTL.XMLDocOptimization", L"XMLDoc optimizations", TInstallMoment::UnitInit);
  TSiteRef get = plan.Export(L"TXMLNode.GetNodeValue", Xml, "@Xmldoc@TXMLNode@GetNodeValue$qqrv");
  TSiteRef set = plan.Export(L"TXMLNode.SetNodeValue", Xml, "@Xmldoc@TXMLNode@SetNodeValue$qqrrx14System@Variant");
  TSiteRef xsd = plan.Export(L"UseXSDBooleanStrings", Xml, "@Xmldoc@UseXSDBooleanStrings");
  TSiteRef varClear = plan.Export(L"_VarClear", Rtl, "@Variants@@VarClear$qqrr14System@Variant");
  TSiteRef varToStr = plan.Export(L"VarToStr", Rtl, "@Variants@VarToStr$qqrrx14System@Variant");
  TSiteRef ustrClr = plan.Export(L"UStrClr", Rtl, HostStringExport::UStrClr);
  plan.Redirect(get, &GetNodeValueReplacement);
  plan.Redirect(set, &SetNodeValueReplacement);
  plan.OnCommit([=](const TPlanValues& v) {
    g_useXsdBooleanStrings = reinterpret_cast<const uint8_t*>(v.Site(xsd));
    g_varClear = reinterpret_cast<decltype(g_varClear)>(v.Site(varClear));
    g_varToStr = reinterpret_cast<decltype(g_varToStr)>(v.Site(varToStr));
    g_strings.UStrClr = reinterpret_cast<decltype(g_strings.UStrClr)>(v.Site(ustrClr));
  });
  return plan;
}

}  // namespace

void QM_REGISTER GetNodeValueReplacement(void* node, void* result) {
  void* dom = DomNode(node);
  BSTR text = nullptr;
  CheckSafecall(DomMethod<HRESULT(__stdcall*)(void*, BSTR*)>(dom, XmlNodeLayout::GetNodeValueSlot)(dom, &text));
  auto* out = static_cast<TVariantRecord*>(result);
  if (out->VType & OwnsDataMask) g_varClear(out);
  if (text && SysStringLen(text) > 0) {
    out->VType = VarOleStr;
    out->VOleStr = text;  // handed over, not copied
  } else {
    SysFreeString(text);
    out->VType = VarNull;
  }
}

void QM_REGISTER SetNodeValueReplacement(void* node, const void* value) {
  void* dom = DomNode(node);
  const auto* v = static_cast<const TVariantRecord*>(value);
  auto setValue = DomMethod<HRESULT(__stdcall*)(void*, BSTR)>(dom, XmlNodeLayout::SetNodeValueSlot);
  if (v->VType == VarOleStr) {
    CheckSafecall(setValue(dom, v->VOleStr));  // its own text; the DOM node copies it
    return;
  }
  BSTR text = nullptr;
  if (*g_useXsdBooleanStrings && v->VType == VarBoolean) {
    text = SysAllocString(v->VBoolean ? L"true" : L"false");
  } else if (v->VType == VarUString) {
    const int32_t length = HostStringLength(v->VUString);
    text = length ? SysAllocStringLen(v->VUString, UINT(length)) : nullptr;
  } else {
    wchar_t* converted = nullptr;
    g_varToStr(value, &converted);
    const int32_t length = HostStringLength(converted);
    text = length ? SysAllocStringLen(converted, UINT(length)) : nullptr;
    if (converted) g_strings.UStrClr(&converted);
  }
  const HRESULT hr = setValue(dom, text);
  SysFreeString(text);
  CheckSafecall(hr);
}

std::vector<TPatchPlan> XmlDocOptimizationPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(XmlPlan());
  return plans;
}

void InstallXmlDocOptimization() {
  TPatchPlan plan = XmlPlan();
  InstallPlan(plan);
}

const TUnitInfo Unit_XmlDocOptimization = {"XmlDocOptimization", &InstallXmlDocOptimization, nullptr,
                                           &XmlDocOptimizationPlans};

}  // namespace Quillmend

// TXMLNode's node value, the plain way: reading makes an OLE string variant
// of the DOM node's text through the run-time's variant routines and turns
// an empty text into Null; writing takes "true"/"false" for a Boolean when
// UseXSDBooleanStrings is on, otherwise VarToStr of the value, as a new
// string handed to the DOM node.
#include <windows.h>
#include <oleauto.h>

#include <type_traits>

#include "Common/HostClass.h"
#include "RtlImports.h"
#include "XmlDom.h"
#include "XmlDriver.h"

using namespace QmHost;
using namespace XmlDriver;

QM_HOST_CLASS(xml_TXMLNode_Class, 0);

extern "C" {
extern char xml_TXMLNode_Class[] QM_HOST_SYMBOL(xml_TXMLNode_Class);
uint8_t xml_UseXSDBooleanStrings QM_HOST_SYMBOL(xml_UseXSDBooleanStrings) = 0;
}

namespace {

constexpr int GetNodeValueSlot = 4;
constexpr int SetNodeValueSlot = 5;

struct TVariant {
  uint16_t VType, Reserved1, Reserved2, Reserved3;
  union {
    BSTR VOleStr;
    int16_t VBoolean;
    int64_t Value;
  };
};

void* DomNode(void* node) { return *reinterpret_cast<void**>(static_cast<char*>(node) + NodeLayout::DOMNode); }

template <class F>
F DomMethod(void* dom, int slot) {
  return reinterpret_cast<F>((*static_cast<void* const* const*>(dom))[slot]);
}

void* ParentClass() {
  static void* parent = nullptr;
  if (!parent) parent = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"rtl150.bpl"), "@System@TObject@"));
  return parent;
}

bool BuildClass() {
  static bool built = false;
  if (!built) {
    static void* parentVar = ParentClass();
    HostClassBuilder(xml_TXMLNode_Class_Storage, "TXMLNode").Parent(&parentVar).InstanceSize(NodeLayout::InstanceSize).Build();
    built = true;
  }
  return built;
}

}  // namespace

extern "C" {

void QM_HOST_REGISTER XmlGetNodeValue(void* node, void* result) QM_HOST_SYMBOL(xml_TXMLNode_GetNodeValue);
void QM_HOST_REGISTER XmlGetNodeValue(void* node, void* result) {
  const XmlRtl::TRtlImports& rtl = XmlRtl::Rtl();
  void* dom = DomNode(node);
  BSTR text = nullptr;
  DomMethod<HRESULT(__stdcall*)(void*, BSTR*)>(dom, GetNodeValueSlot)(dom, &text);
  TVariant value = {};
  rtl.VarFromWStr(&value, text);
  SysFreeString(text);
  rtl.VarClear(result);
  auto* out = static_cast<TVariant*>(result);
  if (!value.VOleStr || SysStringLen(value.VOleStr) == 0) {
    out->VType = VT_NULL;
  } else {
    VariantCopy(reinterpret_cast<VARIANT*>(out), reinterpret_cast<VARIANT*>(&value));
  }
  rtl.VarClear(&value);
}

void QM_HOST_REGISTER XmlSetNodeValue(void* node, const void* value) QM_HOST_SYMBOL(xml_TXMLNode_SetNodeValue);
void QM_HOST_REGISTER XmlSetNodeValue(void* node, const void* value) {
  const XmlRtl::TRtlImports& rtl = XmlRtl::Rtl();
  const auto* v = static_cast<const TVariant*>(value);
  wchar_t* text = nullptr;
  if (xml_UseXSDBooleanStrings && v->VType == VT_BOOL) {
    rtl.UStrFromLiteral(&text, v->VBoolean ? L"true" : L"false");
  } else {
    rtl.VarToStr(value, &text);
  }
  const int length = text ? StrHeader(text)->length : 0;
  BSTR wide = length ? SysAllocStringLen(text, UINT(length)) : nullptr;
  rtl.UStrClr(&text);
  void* dom = DomNode(node);
  DomMethod<HRESULT(__stdcall*)(void*, BSTR)>(dom, SetNodeValueSlot)(dom, wide);
  SysFreeString(wide);
}

void* __stdcall XmlNewNode(const wchar_t* text) {
  BuildClass();
  auto* node = static_cast<char*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, NodeLayout::InstanceSize));
  *reinterpret_cast<void**>(node) = xml_TXMLNode_Class;
  *reinterpret_cast<void**>(node + NodeLayout::DOMNode) =
      XmlRtl::DomNodeInterface(XmlRtl::NewDomNode(text, text ? lstrlenW(text) : 0));
  return node;
}

int __stdcall XmlNodeText(void* node, wchar_t* buffer, int size) {
  void* dom = DomNode(node);
  BSTR text = nullptr;
  DomMethod<HRESULT(__stdcall*)(void*, BSTR*)>(dom, GetNodeValueSlot)(dom, &text);
  const int length = text ? int(SysStringLen(text)) : 0;
  if (buffer && size > 0) {
    const int copied = length < size - 1 ? length : size - 1;
    for (int i = 0; i < copied; ++i) buffer[i] = text[i];
    buffer[copied] = 0;
  }
  SysFreeString(text);
  return length;
}

void __stdcall XmlFreeNode(void* node) {
  void* dom = DomNode(node);
  DomMethod<ULONG(__stdcall*)(void*)>(dom, 2)(dom);
  HeapFree(GetProcessHeap(), 0, node);
}

void __stdcall Initialize() { BuildClass(); XmlRtl::Rtl(); }
void __stdcall Finalize() {}

}  // extern "C"

static_assert(std::is_same_v<decltype(&XmlGetNodeValue), GetNodeValueFn> &&
                  std::is_same_v<decltype(&XmlSetNodeValue), SetNodeValueFn> &&
                  std::is_same_v<decltype(&XmlNewNode), NewNodeFn> && std::is_same_v<decltype(&XmlNodeText), NodeTextFn> &&
                  std::is_same_v<decltype(&XmlFreeNode), FreeNodeFn>,
              "the XML exports have the driver's types");

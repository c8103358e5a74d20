// The DOM node behind a TXMLNode: IUnknown, then get_nodeName (slot 3),
// get_nodeValue (slot 4) and set_nodeValue (slot 5), all safecall, that is
// stdcall with an HRESULT and the result through a last pointer.
#include "XmlDom.h"

#include <oleauto.h>

namespace XmlRtl {

struct TDomNode {
  const void* const* Methods;
  LONG References;
  BSTR Text;
};

namespace {

HRESULT __stdcall QueryInterfaceImpl(TDomNode* self, const GUID*, void** object) {
  *object = self;
  InterlockedIncrement(&self->References);
  return S_OK;
}

ULONG __stdcall AddRefImpl(TDomNode* self) { return ULONG(InterlockedIncrement(&self->References)); }

ULONG __stdcall ReleaseImpl(TDomNode* self) {
  const LONG count = InterlockedDecrement(&self->References);
  if (count == 0) {
    SysFreeString(self->Text);
    HeapFree(GetProcessHeap(), 0, self);
  }
  return ULONG(count);
}

HRESULT __stdcall GetNodeName(TDomNode*, BSTR* name) {
  *name = SysAllocString(L"#text");
  return S_OK;
}

HRESULT __stdcall GetNodeValue(TDomNode* self, BSTR* value) {
  *value = self->Text ? SysAllocStringLen(self->Text, SysStringLen(self->Text)) : nullptr;
  return S_OK;
}

HRESULT __stdcall SetNodeValue(TDomNode* self, BSTR value) {
  BSTR text = value ? SysAllocStringLen(value, SysStringLen(value)) : nullptr;
  SysFreeString(self->Text);
  self->Text = text;
  return S_OK;
}

const void* const Methods[] = {
    reinterpret_cast<const void*>(&QueryInterfaceImpl), reinterpret_cast<const void*>(&AddRefImpl),
    reinterpret_cast<const void*>(&ReleaseImpl),        reinterpret_cast<const void*>(&GetNodeName),
    reinterpret_cast<const void*>(&GetNodeValue),       reinterpret_cast<const void*>(&SetNodeValue),
};

}  // namespace

TDomNode* NewDomNode(const wchar_t* text, int length) {
  auto* node = static_cast<TDomNode*>(HeapAlloc(GetProcessHeap(), 0, sizeof(TDomNode)));
  node->Methods = Methods;
  node->References = 1;
  node->Text = length > 0 ? SysAllocStringLen(text, UINT(length)) : nullptr;
  return node;
}

void* DomNodeInterface(TDomNode* node) { return node; }

}  // namespace XmlRtl

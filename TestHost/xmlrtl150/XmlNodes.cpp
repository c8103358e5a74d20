// IXMLNode and IXMLNodeList over the stand-in's nodes. Strings cross as the
// run-time's strings, attributes as OLE variants; an index out of range
// raises the run-time's Exception, as the host's node lists do.
#include "XmlNodes.h"

#include <oleauto.h>

#include "Common/HostRtl.h"
#include "XmlIniDriver.h"

namespace XmlRtl {

namespace {

using namespace XmlIniDriver;

LONG g_liveNodes = 0;

const QmHost::HostRtl& Rtl() { return *QmHost::LoadedHostRtl(); }

std::wstring FromHost(const wchar_t* s) { return s ? std::wstring(s, size_t(QmHost::StrHeader(s)->length)) : std::wstring(); }

void StoreString(wchar_t** result, const std::wstring& text) {
  wchar_t* fresh = Rtl().NewString(text);
  Rtl().Release(*result);
  *result = fresh;
}

// *result := node, counted; the old reference released.
void StoreNode(void** result, TXmlNode* node) {
  if (node) AddRefNode(node);
  auto* old = static_cast<TXmlNode*>(*result);
  *result = node;
  if (old) ReleaseNode(old);
}

[[noreturn]] void RaiseIndexError(int index) {
  wchar_t text[64];
  wsprintfW(text, L"List index out of bounds (%d)", index);
  Rtl().raiseExcept(Rtl().NewException(text));
  __builtin_unreachable();
}

TXmlNode* FromList(void* list) { return reinterpret_cast<TXmlNode*>(static_cast<char*>(list) - sizeof(void*)); }

bool IsBlank(const std::wstring& text) {
  for (wchar_t c : text)
    if (c > L' ') return false;
  return true;
}

std::wstring Indentation(int depth) { return L"\r\n" + std::wstring(size_t(2 * depth), L' '); }

void InsertChild(TXmlNode* parent, size_t at, TXmlNode* child) {
  parent->Children.insert(parent->Children.begin() + ptrdiff_t(at), child);
}

// ---- IUnknown (both interfaces count the node) ---------------------------------------

HRESULT __stdcall NodeQueryInterface(TXmlNode* self, const GUID*, void** object) {
  AddRefNode(self);
  *object = self;
  return S_OK;
}
ULONG __stdcall NodeAddRef(TXmlNode* self) { AddRefNode(self); return ULONG(self->References); }
ULONG __stdcall NodeRelease(TXmlNode* self) { const LONG left = self->References - 1; ReleaseNode(self); return ULONG(left); }
HRESULT __stdcall ListQueryInterface(void* list, const GUID*, void** object) {
  AddRefNode(FromList(list));
  *object = list;
  return S_OK;
}
ULONG __stdcall ListAddRef(void* list) { return NodeAddRef(FromList(list)); }
ULONG __stdcall ListRelease(void* list) { return NodeRelease(FromList(list)); }

// ---- IXMLNode ----------------------------------------------------------------------

void QM_HOST_REGISTER GetNodeName(TXmlNode* self, wchar_t** result) {
  StoreString(result, self->Type == ElementNode ? self->Name : L"#text");
}

int QM_HOST_REGISTER GetNodeType(TXmlNode* self) { return self->Type; }

// An element's text is the text of its text nodes.
void QM_HOST_REGISTER GetText(TXmlNode* self, wchar_t** result) {
  if (self->Type == TextNode) return StoreString(result, self->Text);
  std::wstring text;
  for (const TXmlNode* child : self->Children)
    if (child->Type == TextNode) text += child->Text;
  StoreString(result, text);
}

// An element's children are replaced by one text node (none for '').
void QM_HOST_REGISTER SetText(TXmlNode* self, const wchar_t* value) {
  if (self->Type == TextNode) {
    self->Text = FromHost(value);
    return;
  }
  std::vector<TXmlNode*> old;
  old.swap(self->Children);
  if (value) self->Children.push_back(NewTextNode(FromHost(value)));
  for (TXmlNode* child : old) ReleaseNode(child);
}

void QM_HOST_REGISTER GetChildNodes(TXmlNode* self, void** result) {
  void* list = &self->ListMethods;
  AddRefNode(self);
  void* old = *result;
  *result = list;
  if (old) ListRelease(old);
}

void QM_HOST_REGISTER GetAttribute(TXmlNode* self, const wchar_t* name, VARIANT* result) {
  VariantClear(result);
  const std::wstring wanted = FromHost(name);
  for (const auto& attribute : self->Attributes) {
    if (attribute.first != wanted) continue;
    result->vt = VT_BSTR;
    result->bstrVal = SysAllocStringLen(attribute.second.data(), UINT(attribute.second.size()));
    return;
  }
  result->vt = VT_NULL;
}

// An OLE string or the run-time's string as it is, anything else converted
// to text; Null or Empty removes the attribute.
void QM_HOST_REGISTER SetAttribute(TXmlNode* self, const wchar_t* name, const VARIANT* value) {
  const std::wstring key = FromHost(name);
  std::wstring text;
  bool remove = value->vt == VT_NULL || value->vt == VT_EMPTY;
  if (value->vt == VT_BSTR) {
    text.assign(value->bstrVal ? value->bstrVal : L"", value->bstrVal ? SysStringLen(value->bstrVal) : 0);
  } else if (value->vt == 0x102) {
    text = FromHost(static_cast<const wchar_t*>(value->byref));
  } else if (!remove) {
    VARIANT converted;
    VariantInit(&converted);
    if (SUCCEEDED(VariantChangeType(&converted, const_cast<VARIANT*>(value), 0, VT_BSTR)))
      text.assign(converted.bstrVal ? converted.bstrVal : L"", converted.bstrVal ? SysStringLen(converted.bstrVal) : 0);
    VariantClear(&converted);
  }
  for (auto it = self->Attributes.begin(); it != self->Attributes.end(); ++it) {
    if (it->first != key) continue;
    if (remove) self->Attributes.erase(it);
    else it->second = text;
    return;
  }
  if (!remove) self->Attributes.emplace_back(key, text);
}

// A new element; at the end (Index -1) of an indenting document with blank
// text before it (its line's indentation) and after it (the parent's
// closing indentation, kept last).
void QM_HOST_REGISTER AddChild(TXmlNode* self, const wchar_t* tagName, int index, void** result) {
  TXmlNode* child = NewElement(FromHost(tagName), self->Depth + 1, self->AutoIndent);
  auto& children = self->Children;
  if (index < 0 || size_t(index) >= children.size()) {
    if (self->AutoIndent) {
      const bool closing = !children.empty() && children.back()->Type == TextNode && IsBlank(children.back()->Text);
      size_t at = closing ? children.size() - 1 : children.size();
      InsertChild(self, at++, NewTextNode(Indentation(self->Depth + 1)));
      InsertChild(self, at, child);
      if (!closing) children.push_back(NewTextNode(Indentation(self->Depth)));
    } else {
      children.push_back(child);
    }
  } else {
    InsertChild(self, size_t(index), child);
  }
  void* fresh = nullptr;
  StoreNode(&fresh, child);  // the caller's reference
  void* old = *result;
  *result = fresh;
  if (old) ReleaseNode(static_cast<TXmlNode*>(old));
}

bool QM_HOST_REGISTER IsTextElement(TXmlNode* self) {
  return self->Type == ElementNode && self->Children.size() == 1 && self->Children[0]->Type == TextNode;
}

// ---- IXMLNodeList ---------------------------------------------------------------------

int QM_HOST_REGISTER ListGetCount(void* list) { return int(FromList(list)->Children.size()); }

void QM_HOST_REGISTER ListGet(void* list, int index, void** result) {
  TXmlNode* owner = FromList(list);
  if (index < 0 || size_t(index) >= owner->Children.size()) RaiseIndexError(index);
  StoreNode(result, owner->Children[size_t(index)]);
}

void QM_HOST_REGISTER ListDelete(void* list, int index) {
  TXmlNode* owner = FromList(list);
  if (index < 0 || size_t(index) >= owner->Children.size()) RaiseIndexError(index);
  TXmlNode* child = owner->Children[size_t(index)];
  owner->Children.erase(owner->Children.begin() + index);
  ReleaseNode(child);
}

void QM_HOST_REGISTER ListClear(void* list) {
  std::vector<TXmlNode*> old;
  old.swap(FromList(list)->Children);
  for (TXmlNode* child : old) ReleaseNode(child);
}

int QM_HOST_REGISTER ListIndexOf(void* list, void* node) {
  const auto& children = FromList(list)->Children;
  for (size_t i = 0; i < children.size(); ++i)
    if (children[i] == node) return int(i);
  return -1;
}

void QM_HOST_REGISTER ListFindNode(void* list, const wchar_t* name, void** result) {
  const std::wstring wanted = FromHost(name);
  for (TXmlNode* child : FromList(list)->Children)
    if (child->Type == ElementNode && child->Name == wanted) return StoreNode(result, child);
  StoreNode(result, nullptr);
}

template <class F>
const void* Code(F f) {
  return reinterpret_cast<const void*>(f);
}

const void* const NodeMethods[] = {
    Code(&NodeQueryInterface), Code(&NodeAddRef),  Code(&NodeRelease),      Code(&GetNodeName),
    Code(&GetNodeType),        Code(&GetText),     Code(&SetText),          Code(&GetChildNodes),
    Code(&GetAttribute),       Code(&SetAttribute), Code(&AddChild),        Code(&IsTextElement),
};
const void* const ListMethods[] = {
    Code(&ListQueryInterface), Code(&ListAddRef), Code(&ListRelease), Code(&ListGetCount), Code(&ListGet),
    Code(&ListDelete),         Code(&ListClear),  Code(&ListIndexOf), Code(&ListFindNode),
};
static_assert(sizeof NodeMethods / sizeof *NodeMethods == NodeSlot::IsTextElement + 1, "IXMLNode's slots");
static_assert(sizeof ListMethods / sizeof *ListMethods == ListSlot::FindNode + 1, "IXMLNodeList's slots");

TXmlNode* NewNode(int type) {
  auto* node = new TXmlNode{NodeMethods, ListMethods, 1, type, 0, false, {}, {}, {}, {}};
  InterlockedIncrement(&g_liveNodes);
  return node;
}

}  // namespace

TXmlNode* NewElement(const std::wstring& name, int depth, bool autoIndent) {
  TXmlNode* node = NewNode(ElementNode);
  node->Name = name;
  node->Depth = depth;
  node->AutoIndent = autoIndent;
  return node;
}

TXmlNode* NewTextNode(const std::wstring& text) {
  TXmlNode* node = NewNode(TextNode);
  node->Text = text;
  return node;
}

void AddRefNode(TXmlNode* node) { InterlockedIncrement(&node->References); }

void ReleaseNode(TXmlNode* node) {
  if (InterlockedDecrement(&node->References) != 0) return;
  for (TXmlNode* child : node->Children) ReleaseNode(child);
  delete node;
  InterlockedDecrement(&g_liveNodes);
}

int LiveNodeCount() { return int(g_liveNodes); }

}  // namespace XmlRtl

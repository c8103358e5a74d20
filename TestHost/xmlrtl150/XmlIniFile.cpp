// The host's TXmlIniFile, an ini file over an XML element (one element per
// section, one per key, the key's name in its attribute "Name" and its
// value as its text), the plain way: every key's name is turned into a
// string by the run-time's VarToStr before it is compared, a value is
// always read as a new string, and a removed key or section leaves the
// blank text that indented it, so that a document edited again and again
// grows with blank lines. ReadInteger, WriteInteger and ValueExists are
// TCustomIniFile's.
#include <windows.h>
#include <oleauto.h>

#include <fstream>
#include <iterator>
#include <string>
#include <type_traits>

#include "Common/HostClass.h"
#include "Common/StandInFinally.h"
#include "RtlImports.h"
#include "XmlIniDriver.h"
#include "XmlNodes.h"
#include "rtl150/IniFilesDriver.h"

using namespace QmHost;
using namespace XmlIniDriver;
namespace IniSlot = IniFilesDriver::IniSlot;

QM_HOST_CLASS(xml_TXmlIniFile_Class, IniSlot::Count);

extern "C" {
extern char xml_TXmlIniFile_Class[] QM_HOST_SYMBOL(xml_TXmlIniFile_Class);
}

namespace {

struct TIniImports {
  void* CustomIniFileClass = nullptr;
  void*(QM_HOST_REGISTER* CustomIniFileCreate)(void* classOrSelf, int alloc, const wchar_t* fileName) = nullptr;
  IniFilesDriver::StringsUpdateFn BeginUpdate = nullptr;
  IniFilesDriver::StringsUpdateFn EndUpdate = nullptr;
  wchar_t*(QM_HOST_REGISTER* NewUnicodeString)(int length) = nullptr;
};

const TIniImports& Imports() {
  static const TIniImports imports = [] {
    TIniImports i;
    HMODULE rtl = GetModuleHandleW(L"rtl150.bpl");
    auto get = [rtl](const char* name) { return rtl ? reinterpret_cast<void*>(GetProcAddress(rtl, name)) : nullptr; };
    i.CustomIniFileClass = get(IniFilesDriver::Export::CustomIniFileClass);
    i.CustomIniFileCreate = reinterpret_cast<decltype(i.CustomIniFileCreate)>(get(IniFilesDriver::Export::CustomIniFileCreate));
    i.BeginUpdate = reinterpret_cast<IniFilesDriver::StringsUpdateFn>(get(IniFilesDriver::Export::BeginUpdate));
    i.EndUpdate = reinterpret_cast<IniFilesDriver::StringsUpdateFn>(get(IniFilesDriver::Export::EndUpdate));
    i.NewUnicodeString = reinterpret_cast<decltype(i.NewUnicodeString)>(get("@System@@NewUnicodeString$qqri"));
    return i;
  }();
  return imports;
}

template <class Fn>
Fn Method(const void* intf, int slot) {
  return reinterpret_cast<Fn>((*static_cast<void* const* const*>(intf))[slot]);
}

void Release(void*& intf) {
  void* old = intf;
  intf = nullptr;
  if (old) Method<ULONG(__stdcall*)(void*)>(old, 2)(old);
}

void* ChildNodes(void* node) {
  void* list = nullptr;
  Method<void(QM_HOST_REGISTER*)(void*, void**)>(node, NodeSlot::GetChildNodes)(node, &list);
  return list;
}
int Count(void* list) { return Method<int(QM_HOST_REGISTER*)(void*)>(list, ListSlot::GetCount)(list); }
void Item(void* list, int index, void** node) {
  Method<void(QM_HOST_REGISTER*)(void*, int, void**)>(list, ListSlot::Get)(list, index, node);
}
int NodeType(void* node) { return Method<int(QM_HOST_REGISTER*)(void*)>(node, NodeSlot::GetNodeType)(node); }
void Text(void* node, wchar_t** result) {
  Method<void(QM_HOST_REGISTER*)(void*, wchar_t**)>(node, NodeSlot::GetText)(node, result);
}

int Length(const wchar_t* s) { return s ? StrHeader(s)->length : 0; }

bool SameString(const wchar_t* a, const wchar_t* b) {
  const int length = Length(a);
  if (length != Length(b)) return false;
  for (int i = 0; i < length; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

// A new string: the name with blanks and backslashes made "_".
wchar_t* Sanitized(const wchar_t* name) {
  const int length = Length(name);
  if (length == 0) return nullptr;
  wchar_t* text = Imports().NewUnicodeString(length);
  for (int i = 0; i < length; ++i) text[i] = name[i] == L' ' || name[i] == L'\\' ? L'_' : name[i];
  return text;
}

// *name := the key's "Name" as a string (VarToStr; Null gives ''); false
// when it has none.
bool KeyName(void* node, wchar_t** name) {
  VARIANT value;
  VariantInit(&value);
  Method<void(QM_HOST_REGISTER*)(void*, const wchar_t*, VARIANT*)>(node, NodeSlot::GetAttribute)(
      node, QM_HOST_STRING(L"Name"), &value);
  const bool present = value.vt != VT_NULL;
  XmlRtl::Rtl().VarToStr(&value, name);
  VariantClear(&value);
  return present;
}

void*& Root(void* self) { return *reinterpret_cast<void**>(static_cast<char*>(self) + IniFileLayout::Root); }

// The section's element (a reference) or nil.
void* FindSection(void* self, const wchar_t* section) {
  void* root = Root(self);
  if (!root) return nullptr;
  void* list = ChildNodes(root);
  wchar_t* name = Sanitized(section);
  void* found = nullptr;
  Method<void(QM_HOST_REGISTER*)(void*, const wchar_t*, void**)>(list, ListSlot::FindNode)(list, name, &found);
  XmlRtl::Rtl().UStrClr(&name);
  Release(list);
  return found;
}

// The index of the section's first key element named ident (*key: a
// reference to it), or -1.
int FindKey(void* section, const wchar_t* ident, void** key) {
  void* list = ChildNodes(section);
  const int count = Count(list);
  int found = -1;
  wchar_t* name = nullptr;
  for (int i = 0; i < count && found < 0; ++i) {
    Item(list, i, key);
    if (NodeType(*key) == ElementNode && KeyName(*key, &name) && SameString(name, ident)) found = i;
  }
  XmlRtl::Rtl().UStrClr(&name);
  if (found < 0) Release(*key);
  Release(list);
  return found;
}

void AddStrings(void* strings, const wchar_t* text) {
  IniFilesDriver::Virtual<int32_t(QM_HOST_REGISTER*)(void*, const wchar_t*)>(strings, IniFilesDriver::StringsLayout::AddSlot)(strings, text);
}
void ClearStrings(void* strings) {
  IniFilesDriver::Virtual<void(QM_HOST_REGISTER*)(void*)>(strings, IniFilesDriver::StringsLayout::ClearSlot)(strings);
}

// Calls each key element of the section that has a "Name" with its name.
template <class F>
void ForEachKey(void* section, F&& f) {
  void* list = ChildNodes(section);
  const int count = Count(list);
  void* key = nullptr;
  wchar_t* name = nullptr;
  for (int i = 0; i < count; ++i) {
    Item(list, i, &key);
    if (NodeType(key) == ElementNode && KeyName(key, &name)) f(key, name);
  }
  XmlRtl::Rtl().UStrClr(&name);
  Release(key);
  Release(list);
}

bool IsTrueText(const wchar_t* text) {
  static const wchar_t word[] = L"true";
  if (Length(text) != 4) return false;
  for (int i = 0; i < 4; ++i) {
    wchar_t c = text[i];
    if (c >= L'A' && c <= L'Z') c = wchar_t(c + 32);
    if (c != word[i]) return false;
  }
  return true;
}

}  // namespace

extern "C" {

void QM_HOST_REGISTER XmlIniReadString(void* self, const wchar_t* section, const wchar_t* ident, wchar_t** result,
                                       const wchar_t* defaultValue) {
  void* node = FindSection(self, section);
  void* key = nullptr;
  if (node && FindKey(node, ident, &key) >= 0) {
    Text(key, result);
    Release(key);
  } else {
    XmlRtl::Rtl().UStrAsg(result, defaultValue);
  }
  Release(node);
}

void QM_HOST_REGISTER XmlIniWriteString(void* self, const wchar_t* section, const wchar_t* ident, const wchar_t* value) {
  using AddChildFn = void(QM_HOST_REGISTER*)(void*, const wchar_t*, int, void**);
  void* node = FindSection(self, section);
  if (!node) {
    wchar_t* name = Sanitized(section);
    Method<AddChildFn>(Root(self), NodeSlot::AddChild)(Root(self), name, -1, &node);
    XmlRtl::Rtl().UStrClr(&name);
  }
  void* key = nullptr;
  if (FindKey(node, ident, &key) < 0) {
    wchar_t* name = Sanitized(ident);
    Method<AddChildFn>(node, NodeSlot::AddChild)(node, name, -1, &key);
    XmlRtl::Rtl().UStrClr(&name);
    VARIANT keyName;
    keyName.vt = VT_BSTR;
    keyName.bstrVal = SysAllocStringLen(ident, UINT(Length(ident)));
    Method<void(QM_HOST_REGISTER*)(void*, const wchar_t*, const VARIANT*)>(key, NodeSlot::SetAttribute)(
        key, QM_HOST_STRING(L"Name"), &keyName);
    VariantClear(&keyName);
  }
  Method<void(QM_HOST_REGISTER*)(void*, const wchar_t*)>(key, NodeSlot::SetText)(key, value);
  Release(key);
  Release(node);
}

bool QM_HOST_REGISTER XmlIniReadBool(void* self, const wchar_t* section, const wchar_t* ident, bool defaultValue) {
  wchar_t* text = nullptr;
  XmlIniReadString(self, section, ident, &text, nullptr);
  const bool value = text ? IsTrueText(text) : defaultValue;
  XmlRtl::Rtl().UStrClr(&text);
  return value;
}

void QM_HOST_REGISTER XmlIniWriteBool(void* self, const wchar_t* section, const wchar_t* ident, bool value) {
  XmlIniWriteString(self, section, ident, value ? QM_HOST_STRING(L"True") : QM_HOST_STRING(L"False"));
}

void QM_HOST_REGISTER XmlIniReadSection(void* self, const wchar_t* section, void* strings) {
  ClearStrings(strings);
  void* node = FindSection(self, section);
  if (!node) return;
  ForEachKey(node, [strings](void*, const wchar_t* name) { AddStrings(strings, name); });
  Release(node);
}

// Every element of the root by its (sanitized) name, added to what the
// list holds.
void QM_HOST_REGISTER XmlIniReadSections(void* self, void* strings) {
  if (!Root(self)) return;
  void* list = ChildNodes(Root(self));
  const int count = Count(list);
  void* node = nullptr;
  wchar_t* name = nullptr;
  for (int i = 0; i < count; ++i) {
    Item(list, i, &node);
    if (NodeType(node) != ElementNode) continue;
    Method<void(QM_HOST_REGISTER*)(void*, wchar_t**)>(node, NodeSlot::GetNodeName)(node, &name);
    AddStrings(strings, name);
  }
  XmlRtl::Rtl().UStrClr(&name);
  Release(node);
  Release(list);
}

void QM_HOST_REGISTER XmlIniReadSectionValues(void* self, const wchar_t* section, void* strings) {
  Imports().BeginUpdate(strings);
  struct TCall {
    void* Self;
    const wchar_t* Section;
    void* Strings;
  } call{self, section, strings};
  StandInTryFinally(
      [&call] {
        ClearStrings(call.Strings);
        void* node = FindSection(call.Self, call.Section);
        if (!node) return;
        wchar_t* text = nullptr;
        wchar_t* line = nullptr;
        ForEachKey(node, [&](void* key, const wchar_t* name) {
          Text(key, &text);
          const int nameLength = Length(name), textLength = Length(text);
          XmlRtl::Rtl().UStrClr(&line);
          line = Imports().NewUnicodeString(nameLength + 1 + textLength);
          for (int i = 0; i < nameLength; ++i) line[i] = name[i];
          line[nameLength] = L'=';
          for (int i = 0; i < textLength; ++i) line[nameLength + 1 + i] = text[i];
          AddStrings(call.Strings, line);
        });
        XmlRtl::Rtl().UStrClr(&text);
        XmlRtl::Rtl().UStrClr(&line);
        Release(node);
      },
      [&call] { Imports().EndUpdate(call.Strings); });
}

// The section's element deleted; the blank text around it stays.
void QM_HOST_REGISTER XmlIniEraseSection(void* self, const wchar_t* section) {
  void* node = FindSection(self, section);
  if (!node) return;
  void* list = ChildNodes(Root(self));
  const int index = Method<int(QM_HOST_REGISTER*)(void*, void*)>(list, ListSlot::IndexOf)(list, node);
  Method<void(QM_HOST_REGISTER*)(void*, int)>(list, ListSlot::Delete)(list, index);
  Release(list);
  Release(node);
}

// The key's element deleted; the blank text around it stays.
void QM_HOST_REGISTER XmlIniDeleteKey(void* self, const wchar_t* section, const wchar_t* ident) {
  void* node = FindSection(self, section);
  if (!node) return;
  void* key = nullptr;
  const int index = FindKey(node, ident, &key);
  if (index >= 0) {
    void* list = ChildNodes(node);
    Method<void(QM_HOST_REGISTER*)(void*, int)>(list, ListSlot::Delete)(list, index);
    Release(list);
    Release(key);
  }
  Release(node);
}

// The document's owner saves it.
void QM_HOST_REGISTER XmlIniUpdateFile(void*) {}

void QM_HOST_REGISTER XmlIniDestroy(void* self, int outermost) {
  Release(Root(self));
  using DestroyFn = void(QM_HOST_REGISTER*)(void*, int);
  reinterpret_cast<DestroyFn>(VmtSlot(Imports().CustomIniFileClass, kVmtDestroy))(self, outermost);
}

}  // extern "C"

namespace {

bool BuildIniFileClass() {
  static const bool built = [] {
    static void* parent = Imports().CustomIniFileClass;
    if (!parent) return false;
    HostClassBuilder(xml_TXmlIniFile_Class_Storage, "TXmlIniFile")
        .Parent(&parent)
        .InstanceSize(IniFileLayout::InstanceSize)
        .Virtual(IniSlot::ReadString, reinterpret_cast<const void*>(&XmlIniReadString))
        .Virtual(IniSlot::WriteString, reinterpret_cast<const void*>(&XmlIniWriteString))
        .Virtual(IniSlot::ReadBool, reinterpret_cast<const void*>(&XmlIniReadBool))
        .Virtual(IniSlot::WriteBool, reinterpret_cast<const void*>(&XmlIniWriteBool))
        .Virtual(IniSlot::ReadSection, reinterpret_cast<const void*>(&XmlIniReadSection))
        .Virtual(IniSlot::ReadSections, reinterpret_cast<const void*>(&XmlIniReadSections))
        .Virtual(IniSlot::ReadSectionValues, reinterpret_cast<const void*>(&XmlIniReadSectionValues))
        .Virtual(IniSlot::EraseSection, reinterpret_cast<const void*>(&XmlIniEraseSection))
        .Virtual(IniSlot::DeleteKey, reinterpret_cast<const void*>(&XmlIniDeleteKey))
        .Virtual(IniSlot::UpdateFile, reinterpret_cast<const void*>(&XmlIniUpdateFile))
        .Root(kVmtDestroy, reinterpret_cast<const void*>(&XmlIniDestroy))
        .Build();
    return true;
  }();
  return built;
}

// Built when the module loads (the run-time package is loaded before it).
const bool kIniFileClassBuilt = BuildIniFileClass();

}  // namespace

extern "C" {

// constructor Create(const Node: IXMLNode).
void* QM_HOST_REGISTER XmlIniCreate(void* classOrSelf, int alloc, void* node) QM_HOST_SYMBOL(xml_TXmlIniFile_Create);
void* QM_HOST_REGISTER XmlIniCreate(void* classOrSelf, int alloc, void* node) {
  BuildIniFileClass();
  void* self = Imports().CustomIniFileCreate(classOrSelf, alloc, nullptr);
  if (node) Method<ULONG(__stdcall*)(void*)>(node, 1)(node);
  Root(self) = node;
  return self;
}

void* __stdcall XmlNewDocument(const wchar_t* rootName) {
  return XmlRtl::NewElement(rootName ? rootName : L"", 0, true);
}

void* __stdcall XmlLoadDocument(const wchar_t* path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return nullptr;
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  return XmlRtl::ReadDocument(text);
}

BOOL __stdcall XmlSaveDocument(void* root, const wchar_t* path) {
  const std::string text = XmlRtl::WriteDocument(static_cast<XmlRtl::TXmlNode*>(root));
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(text.data(), std::streamsize(text.size()));
  return file.good() ? TRUE : FALSE;
}

void __stdcall XmlReleaseNode(void* node) {
  if (node) XmlRtl::ReleaseNode(static_cast<XmlRtl::TXmlNode*>(node));
}

int __stdcall XmlLiveNodes() { return XmlRtl::LiveNodeCount(); }

}  // extern "C"

static_assert(std::is_same_v<decltype(&XmlIniCreate), IniFileCreateFn> &&
                  std::is_same_v<decltype(&XmlNewDocument), NewDocumentFn> &&
                  std::is_same_v<decltype(&XmlLoadDocument), LoadDocumentFn> &&
                  std::is_same_v<decltype(&XmlSaveDocument), SaveDocumentFn> &&
                  std::is_same_v<decltype(&XmlReleaseNode), ReleaseNodeFn> &&
                  std::is_same_v<decltype(&XmlLiveNodes), LiveNodesFn> &&
                  std::is_same_v<decltype(&XmlIniReadString), IniFilesDriver::ReadStringFn> &&
                  std::is_same_v<decltype(&XmlIniWriteString), IniFilesDriver::WriteStringFn> &&
                  std::is_same_v<decltype(&XmlIniReadBool), IniFilesDriver::ReadBoolFn> &&
                  std::is_same_v<decltype(&XmlIniReadSection), IniFilesDriver::ReadSectionFn> &&
                  std::is_same_v<decltype(&XmlIniReadSections), IniFilesDriver::ReadSectionsFn> &&
                  std::is_same_v<decltype(&XmlIniEraseSection), IniFilesDriver::EraseSectionFn> &&
                  std::is_same_v<decltype(&XmlIniDeleteKey), IniFilesDriver::DeleteKeyFn>,
              "the ini file's methods have the driver's types");

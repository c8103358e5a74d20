#include "Patches/Xml/XmlIniFile.h"

#include <oleauto.h>

#include <cwchar>

#include "Framework/HostExcept.h"
#include "Framework/HostFinally.h"
#include "Framework/HostObjectModel.h"
#include "Framework/HostSubclass.h"

namespace Quillmend {

namespace {

constexpr const wchar_t* XmlPackage = L"xmlrtl150.bpl";
constexpr const wchar_t* RuntimePackage = L"rtl150.bpl";
constexpr uint16_t VarUString = 0x102, VarString = 0x100;
constexpr int RootNewInstance = -12, RootFreeInstance = -8;

using TNewInstance = void*(QM_REGISTER*)(void* classRef);
using TFreeInstance = void(QM_REGISTER*)(void* self);
using TStrToInt = int32_t(QM_REGISTER*)(const wchar_t* s);
using TStringsProc = void(QM_REGISTER*)(void* strings);

// Bound at the commit.
void* g_hostClass = nullptr;
void* g_subclass = nullptr;
TNewInstance g_objectNewInstance = nullptr;
TFreeInstance g_freeInstance = nullptr;
TStrToInt g_strToInt = nullptr;
TStringsProc g_beginUpdate = nullptr;
TStringsProc g_endUpdate = nullptr;
THostStrings g_strings;
volatile LONG g_live = 0;

constexpr THostLiteral<5> NameAttribute(L"Name");
constexpr THostLiteral<5> TrueText(L"True");
constexpr THostLiteral<6> FalseText(L"False");

// ---- the document's interfaces ------------------------------------------------------

template <class Fn>
Fn Node(void* intf, int slot) {
  return HostIntfMethod<Fn>(intf, slot);
}

// What an operation holds while it runs: interface references, strings and
// a variant, released by its host try/finally also when a host exception
// passes.
struct TLocals {
  void* List = nullptr;
  void* Section = nullptr;
  void* Child = nullptr;
  void* ChildList = nullptr;
  wchar_t* Name = nullptr;
  wchar_t* Text = nullptr;
  VARIANT Value;
  TLocals() { VariantInit(&Value); }
  void Release() noexcept {
    for (void** intf : {&List, &Section, &Child, &ChildList}) {
      void* old = *intf;
      *intf = nullptr;
      HostIntfRelease(old);
    }
    if (Name) g_strings.Clear(&Name);
    if (Text) g_strings.Clear(&Text);
    VariantClear(&Value);
  }
};

// body(locals) inside a host try/finally that releases them; a C++
// exception becomes a host exception at the boundary.
template <class TBody>
void Guarded(TBody&& body) {
  HostBoundary([&] {
    TLocals locals;
    HostTryFinally([&] { body(locals); }, [&]() noexcept { locals.Release(); });
  });
}

void ChildNodes(void* node, void** list) {
  Node<void(QM_REGISTER*)(void*, void**)>(node, HostXmlNodeSlot::GetChildNodes)(node, list);
}
int32_t Count(void* list) { return Node<int32_t(QM_REGISTER*)(void*)>(list, HostXmlNodeListSlot::GetCount)(list); }
void Item(void* list, int32_t index, void** node) {
  Node<void(QM_REGISTER*)(void*, int32_t, void**)>(list, HostXmlNodeListSlot::Get)(list, index, node);
}
void DeleteItem(void* list, int32_t index) {
  Node<void(QM_REGISTER*)(void*, int32_t)>(list, HostXmlNodeListSlot::Delete)(list, index);
}
int32_t NodeType(void* node) { return Node<int32_t(QM_REGISTER*)(void*)>(node, HostXmlNodeSlot::GetNodeType)(node); }
void GetText(void* node, wchar_t** result) {
  Node<void(QM_REGISTER*)(void*, wchar_t**)>(node, HostXmlNodeSlot::GetText)(node, result);
}
void GetName(void* node, VARIANT* value) {
  Node<void(QM_REGISTER*)(void*, const wchar_t*, VARIANT*)>(node, HostXmlNodeSlot::GetAttribute)(node, NameAttribute.Get(), value);
}
void AddChild(void* node, const wchar_t* name, void** result) {
  Node<void(QM_REGISTER*)(void*, const wchar_t*, int32_t, void**)>(node, HostXmlNodeSlot::AddChild)(node, name, -1, result);
}

void AddString(void* strings, const wchar_t* text) {
  reinterpret_cast<int32_t(QM_REGISTER*)(void*, const wchar_t*)>(
      HostClassSlot(HostClassOf(strings), 4 * HostStringsLayout::AddSlot))(strings, text);
}
void ClearStrings(void* strings) {
  reinterpret_cast<void(QM_REGISTER*)(void*)>(HostClassSlot(HostClassOf(strings), 4 * HostStringsLayout::ClearSlot))(strings);
}

bool HasNameValue(const VARIANT& v) { return v.vt != VT_NULL && v.vt != VT_EMPTY; }

// The "Name" attribute's text compared with key without converting it: an
// OLE string or the run-time's string (UTF-16), or its 8-bit string.
bool NameEquals(const VARIANT& v, const wchar_t* key) {
  const int32_t keyLength = HostStringLength(key);
  const wchar_t* chars = nullptr;
  int32_t length = 0;
  if (v.vt == VT_BSTR) {
    chars = v.bstrVal;
    length = v.bstrVal ? int32_t(SysStringLen(v.bstrVal)) : 0;
  } else if (v.vt == VarUString) {
    chars = static_cast<const wchar_t*>(v.byref);
    length = HostStringLength(chars);
  } else if (v.vt == VarString) {
    const char* bytes = static_cast<const char*>(v.byref);
    const int32_t size = HostAnsiStringLength(bytes);
    if (size == 0 || keyLength == 0) return size == keyLength;
    std::wstring wide(size_t(size), L'\0');
    const int n = MultiByteToWideChar(HostAnsiStringCodePage(bytes), 0, bytes, size, &wide[0], size);
    return n == keyLength && std::wmemcmp(wide.data(), key, size_t(n)) == 0;
  } else {
    return false;
  }
  return length == keyLength && (length == 0 || std::wmemcmp(chars, key, size_t(length)) == 0);
}

// The name as an element name: the given string itself when it has nothing
// to replace, otherwise a new one kept in *scratch.
const wchar_t* SanitizedHost(const wchar_t* name, wchar_t** scratch) {
  const int32_t length = HostStringLength(name);
  int32_t i = 0;
  while (i < length && name[i] != L' ' && name[i] != L'\\') ++i;
  if (i == length) return name;
  g_strings.StoreNew(scratch, g_strings.New(name, length));
  for (wchar_t* c = *scratch; *c; ++c)
    if (*c == L' ' || *c == L'\\') *c = L'_';
  return *scratch;
}

void* Root(void* self) { return *reinterpret_cast<void**>(static_cast<char*>(self) + HostXmlIniFileLayout::Root); }

// l.Section := the section's element (nil when none).
void FindSection(void* self, const wchar_t* section, TLocals& l) {
  void* root = Root(self);
  if (!root) return;
  ChildNodes(root, &l.List);
  Node<void(QM_REGISTER*)(void*, const wchar_t*, void**)>(l.List, HostXmlNodeListSlot::FindNode)(
      l.List, SanitizedHost(section, &l.Name), &l.Section);
}

void FindOrAddSection(void* self, const wchar_t* section, TLocals& l) {
  FindSection(self, section, l);
  if (!l.Section) AddChild(Root(self), SanitizedHost(section, &l.Name), &l.Section);
}

// The index of the section's first element whose "Name" equals key
// (l.Child: that element), or -1. l.ChildList: the section's children.
int32_t FindKey(const wchar_t* key, TLocals& l) {
  ChildNodes(l.Section, &l.ChildList);
  const int32_t count = Count(l.ChildList);
  for (int32_t i = 0; i < count; ++i) {
    Item(l.ChildList, i, &l.Child);
    if (NodeType(l.Child) != HostXmlElementNode) continue;
    GetName(l.Child, &l.Value);
    if (NameEquals(l.Value, key)) return i;
  }
  HostIntfRelease(l.Child);
  l.Child = nullptr;
  return -1;
}

// Calls f(element) for each element child of the node with a "Name"
// (l.Value holds it).
template <class F>
void ForEachNamed(void* node, TLocals& l, F&& f) {
  ChildNodes(node, &l.ChildList);
  const int32_t count = Count(l.ChildList);
  for (int32_t i = 0; i < count; ++i) {
    Item(l.ChildList, i, &l.Child);
    if (NodeType(l.Child) != HostXmlElementNode) continue;
    GetName(l.Child, &l.Value);
    if (HasNameValue(l.Value)) f(l.Child);
  }
}

// The "Name" attribute's text as a new string in *into.
void NameText(const VARIANT& v, wchar_t** into) {
  if (v.vt == VT_BSTR) {
    g_strings.StoreNew(into, g_strings.New(v.bstrVal, v.bstrVal ? int32_t(SysStringLen(v.bstrVal)) : 0));
  } else if (v.vt == VarUString) {
    g_strings.Assign(into, static_cast<const wchar_t*>(v.byref));
  } else {
    VARIANT text;
    VariantInit(&text);
    VariantChangeType(&text, const_cast<VARIANT*>(&v), 0, VT_BSTR);
    g_strings.StoreNew(into, g_strings.New(text.bstrVal, text.bstrVal ? int32_t(SysStringLen(text.bstrVal)) : 0));
    VariantClear(&text);
  }
}

bool IsBlankTextNode(void* list, int32_t index, TLocals& l) {
  Item(list, index, &l.Child);
  if (NodeType(l.Child) != HostXmlTextNode) return false;
  GetText(l.Child, &l.Text);
  return IsBlankText(l.Text, HostStringLength(l.Text));
}

// Child i removed, and with it the blank text that indented it; a parent
// left with nothing but blank text is emptied.
void RemoveChildTrimmed(void* parent, int32_t i, TLocals& l) {
  ChildNodes(parent, &l.ChildList);
  void* list = l.ChildList;
  DeleteItem(list, i);
  if (i - 1 >= 0 && IsBlankTextNode(list, i - 1, l)) DeleteItem(list, i - 1);
  if (i - 2 >= 0 && IsBlankTextNode(list, i - 2, l)) DeleteItem(list, i - 2);
  if (Count(list) == 1 && IsBlankTextNode(list, 0, l))
    Node<void(QM_REGISTER*)(void*)>(list, HostXmlNodeListSlot::Clear)(list);
}

void ReadStringCore(void* self, const wchar_t* section, const wchar_t* ident, wchar_t** result,
                    const wchar_t* defaultValue) {
  Guarded([&](TLocals& l) {
    FindSection(self, section, l);
    if (l.Section && FindKey(ident, l) >= 0) GetText(l.Child, result);
    else g_strings.Assign(result, defaultValue);
  });
}

void WriteStringCore(void* self, const wchar_t* section, const wchar_t* ident, const wchar_t* value) {
  Guarded([&](TLocals& l) {
    FindOrAddSection(self, section, l);
    if (FindKey(ident, l) < 0) {
      AddChild(l.Section, SanitizedHost(ident, &l.Name), &l.Child);
      VariantClear(&l.Value);
      l.Value.vt = VT_BSTR;
      l.Value.bstrVal = SysAllocStringLen(ident, UINT(HostStringLength(ident)));
      Node<void(QM_REGISTER*)(void*, const wchar_t*, const VARIANT*)>(l.Child, HostXmlNodeSlot::SetAttribute)(
          l.Child, NameAttribute.Get(), &l.Value);
    }
    Node<void(QM_REGISTER*)(void*, const wchar_t*)>(l.Child, HostXmlNodeSlot::SetText)(l.Child, value);
  });
}

wchar_t* DecimalText(int32_t value) {
  wchar_t digits[16];
  const int length = std::swprintf(digits, 16, L"%d", int(value));
  return g_strings.New(digits, length);
}

// ---- the overrides (host register convention) -------------------------------------------

void QM_REGISTER ReadString(void* self, const wchar_t* section, const wchar_t* ident, wchar_t** result,
                            const wchar_t* defaultValue) {
  ReadStringCore(self, section, ident, result, defaultValue);
}

void QM_REGISTER WriteString(void* self, const wchar_t* section, const wchar_t* ident, const wchar_t* value) {
  WriteStringCore(self, section, ident, value);
}

// The text read with the default's text as default, then StrToInt; any
// exception on the way gives the default.
int32_t QM_REGISTER ReadInteger(void* self, const wchar_t* section, const wchar_t* ident, int32_t defaultValue) {
  struct TRead {
    void* Self;
    const wchar_t* Section;
    const wchar_t* Ident;
    wchar_t* Default;
    wchar_t* Text;
    int32_t Value;
  } read{self, section, ident, nullptr, nullptr, defaultValue};
  THostCaught caught;
  const bool converted = HostBoundary([&] {
    read.Default = DecimalText(defaultValue);
    return HostTryExcept(
        [&read] {
          ReadStringCore(read.Self, read.Section, read.Ident, &read.Text, read.Default);
          read.Value = g_strToInt(read.Text);
        },
        caught);
  });
  if (!converted && caught.Object) HostObjectFree(caught.Object);
  if (read.Text) g_strings.Clear(&read.Text);
  if (read.Default) g_strings.Clear(&read.Default);
  return converted ? read.Value : defaultValue;
}

void QM_REGISTER WriteInteger(void* self, const wchar_t* section, const wchar_t* ident, int32_t value) {
  wchar_t* text = HostBoundary([value] { return DecimalText(value); });
  struct TWrite {
    void* Self;
    const wchar_t* Section;
    const wchar_t* Ident;
    wchar_t* Text;
  } write{self, section, ident, text};
  HostTryFinally([](void* d) { auto* w = static_cast<TWrite*>(d); WriteStringCore(w->Self, w->Section, w->Ident, w->Text); },
                 &write, [](void* d) { g_strings.Clear(&static_cast<TWrite*>(d)->Text); });
}

// Empty gives the default; otherwise true exactly for "True", case ignored.
bool QM_REGISTER ReadBool(void* self, const wchar_t* section, const wchar_t* ident, bool defaultValue) {
  bool value = defaultValue;
  Guarded([&](TLocals& l) {
    ReadStringCore(self, section, ident, &l.Text, nullptr);
    const int32_t length = HostStringLength(l.Text);
    if (length == 0) return;
    value = length == 4 && CompareStringOrdinal(l.Text, 4, TrueText.Get(), 4, TRUE) == CSTR_EQUAL;
  });
  return value;
}

void QM_REGISTER WriteBool(void* self, const wchar_t* section, const wchar_t* ident, bool value) {
  WriteStringCore(self, section, ident, value ? TrueText.Get() : FalseText.Get());
}

void QM_REGISTER ReadSection(void* self, const wchar_t* section, void* strings) {
  Guarded([&](TLocals& l) {
    ClearStrings(strings);
    FindSection(self, section, l);
    if (!l.Section) return;
    ForEachNamed(l.Section, l, [&](void*) {
      NameText(l.Value, &l.Text);
      AddString(strings, l.Text);
    });
  });
}

// Every element of the root by its (sanitized) name, added to the list.
void QM_REGISTER ReadSections(void* self, void* strings) {
  Guarded([&](TLocals& l) {
    void* root = Root(self);
    if (!root) return;
    ChildNodes(root, &l.List);
    const int32_t count = Count(l.List);
    for (int32_t i = 0; i < count; ++i) {
      Item(l.List, i, &l.Child);
      if (NodeType(l.Child) != HostXmlElementNode) continue;
      Node<void(QM_REGISTER*)(void*, wchar_t**)>(l.Child, HostXmlNodeSlot::GetNodeName)(l.Child, &l.Text);
      AddString(strings, l.Text);
    }
  });
}

void QM_REGISTER ReadSectionValues(void* self, const wchar_t* section, void* strings) {
  g_beginUpdate(strings);
  HostTryFinally(
      [&] {
        Guarded([&](TLocals& l) {
          ClearStrings(strings);
          FindSection(self, section, l);
          if (!l.Section) return;
          ForEachNamed(l.Section, l, [&](void* key) {
            NameText(l.Value, &l.Name);
            GetText(key, &l.Text);
            const int32_t nameLength = HostStringLength(l.Name), textLength = HostStringLength(l.Text);
            wchar_t* line = g_strings.NewUnicodeString(nameLength + 1 + textLength);
            if (nameLength) std::wmemcpy(line, l.Name, size_t(nameLength));
            line[nameLength] = L'=';
            if (textLength) std::wmemcpy(line + nameLength + 1, l.Text, size_t(textLength));
            g_strings.StoreNew(&l.Name, line);
            AddString(strings, l.Name);
          });
        });
      },
      [&]() noexcept { g_endUpdate(strings); });
}

void QM_REGISTER EraseSection(void* self, const wchar_t* section) {
  Guarded([&](TLocals& l) {
    FindSection(self, section, l);
    if (!l.Section) return;
    const int32_t index = Node<int32_t(QM_REGISTER*)(void*, void*)>(l.List, HostXmlNodeListSlot::IndexOf)(l.List, l.Section);
    if (index >= 0) RemoveChildTrimmed(Root(self), index, l);
  });
}

void QM_REGISTER DeleteKey(void* self, const wchar_t* section, const wchar_t* ident) {
  Guarded([&](TLocals& l) {
    FindSection(self, section, l);
    if (!l.Section) return;
    const int32_t index = FindKey(ident, l);
    if (index >= 0) RemoveChildTrimmed(l.Section, index, l);
  });
}

void QM_REGISTER UpdateFile(void*) {}

// A key exists when an element of the section that holds a text, or
// nothing at all (an empty value), has that "Name".
bool QM_REGISTER ValueExists(void* self, const wchar_t* section, const wchar_t* ident) {
  bool found = false;
  Guarded([&](TLocals& l) {
    FindSection(self, section, l);
    if (!l.Section) return;
    ChildNodes(l.Section, &l.List);
    const int32_t count = Count(l.List);
    for (int32_t i = 0; i < count && !found; ++i) {
      Item(l.List, i, &l.Child);
      if (NodeType(l.Child) != HostXmlElementNode) continue;
      bool textElement = Node<bool(QM_REGISTER*)(void*)>(l.Child, HostXmlNodeSlot::IsTextElement)(l.Child);
      if (!textElement) {
        ChildNodes(l.Child, &l.ChildList);
        textElement = Count(l.ChildList) == 0;
      }
      if (!textElement) continue;
      GetName(l.Child, &l.Value);
      found = NameEquals(l.Value, ident);
    }
  });
  return found;
}

// ---- creation ---------------------------------------------------------------------------

// In the host class's NewInstance slot: an object of the host class is made
// as one of our subclass; a descendant's stays what it is.
void* QM_REGISTER XmlIniNewInstance(void* classRef) {
  if (classRef != g_hostClass) return g_objectNewInstance(classRef);
  void* object = g_objectNewInstance(g_subclass);
  InterlockedIncrement(&g_live);
  return object;
}

void QM_REGISTER XmlIniFreeInstance(void* self) {
  InterlockedDecrement(&g_live);
  g_freeInstance(self);
}

// Our subclass of the host class as it is now (its NewInstance slot still
// TObject's): the thirteen operations ours, NewInstance TObject's, and a
// FreeInstance counting the objects that go. Null without a readable record.
void* BuildSubclass(void* hostClass, void* objectNewInstance) {
  THostSubclass subclass("TXmlIniFile", hostClass);
  if (!subclass.ClassRef() || subclass.VirtualCount() <= HostIniFileSlot::ValueExists) return nullptr;
  const void* overrides[] = {
      reinterpret_cast<const void*>(&ReadString),   reinterpret_cast<const void*>(&WriteString),
      reinterpret_cast<const void*>(&ReadInteger),  reinterpret_cast<const void*>(&WriteInteger),
      reinterpret_cast<const void*>(&ReadBool),     reinterpret_cast<const void*>(&WriteBool),
      reinterpret_cast<const void*>(&ReadSection),  reinterpret_cast<const void*>(&ReadSections),
      reinterpret_cast<const void*>(&ReadSectionValues), reinterpret_cast<const void*>(&EraseSection),
      reinterpret_cast<const void*>(&DeleteKey),    reinterpret_cast<const void*>(&UpdateFile),
      reinterpret_cast<const void*>(&ValueExists)};
  for (int32_t slot = 0; slot <= HostIniFileSlot::ValueExists; ++slot) subclass.SetVirtual(slot, overrides[slot]);
  subclass.SetRoot(RootNewInstance, objectNewInstance);
  subclass.SetRoot(RootFreeInstance, reinterpret_cast<const void*>(&XmlIniFreeInstance));
  return subclass.ClassRef();
}

}  // namespace

std::wstring SanitizeName(const std::wstring& name) {
  std::wstring out = name;
  for (wchar_t& c : out)
    if (c == L' ' || c == L'\\') c = L'_';
  return out;
}

bool IsBlankText(const wchar_t* text, int32_t length) {
  for (int32_t i = 0; i < length; ++i)
    if (text[i] > L' ') return false;
  return true;
}

int32_t LiveXmlIniFiles() { return g_live; }

TPatchPlan XmlIniFilePlan() {
  TPatchPlan plan(L"RTL.XmlIniFile", L"TXmlIniFile optimization/indention fix", TInstallMoment::UnitInit);
  TSiteRef exported = plan.Export(L"TXmlIniFile", XmlPackage, XmlIniFileClassExport);
  // A package builds its class records when it starts: an image that has
  // not run can only be answered by the running IDE.
  TSiteRef hostClass = plan.Computed(
      L"TXmlIniFile class record",
      [exported](const TPlanValues& v) -> void* { return HostInstanceSize(v.Site(exported)) > 0 ? v.Site(exported) : nullptr; },
      true);
  TSiteRef newInstance = plan.Export(L"TObject.NewInstance", RuntimePackage, "@System@TObject@NewInstance$qqrv");
  TSiteRef strToInt = plan.Export(L"StrToInt", RuntimePackage, "@Sysutils@StrToInt$qqrx20System@UnicodeString");
  TSiteRef beginUpdate = plan.Export(L"TStrings.BeginUpdate", RuntimePackage, "@Classes@TStrings@BeginUpdate$qqrv");
  TSiteRef endUpdate = plan.Export(L"TStrings.EndUpdate", RuntimePackage, "@Classes@TStrings@EndUpdate$qqrv");
  TSiteRef newString = plan.Export(L"NewUnicodeString", RuntimePackage, HostStringExport::NewUnicodeString);
  TSiteRef ustrAsg = plan.Export(L"UStrAsg", RuntimePackage, HostStringExport::UStrAsg);
  TSiteRef ustrClr = plan.Export(L"UStrClr", RuntimePackage, HostStringExport::UStrClr);
  TSiteRef reallocMem = plan.Export(L"ReallocMem", RuntimePackage, HostStringExport::ReallocMem);
  plan.Expect(L"TXmlIniFile: the ini file's 13 virtual methods expected", [hostClass](const TPlanValues& v) {
    const int32_t count = GetVirtualMethodCount(v.Site(hostClass));
    return count > HostIniFileSlot::ValueExists && count <= 4096;
  });
  TSiteRef subclass = plan.Computed(L"TXmlIniFile subclass", [hostClass, newInstance](const TPlanValues& v) {
    return BuildSubclass(v.Site(hostClass), v.Site(newInstance));
  });
  plan.VmtField(hostClass, plan.Address(newInstance), &XmlIniNewInstance);
  plan.OnCommit([=](const TPlanValues& v) {
    g_hostClass = v.Site(hostClass);
    g_subclass = v.Site(subclass);
    g_freeInstance = reinterpret_cast<TFreeInstance>(HostClassSlot(g_hostClass, RootFreeInstance));
    g_objectNewInstance = reinterpret_cast<TNewInstance>(v.Site(newInstance));
    g_strToInt = reinterpret_cast<TStrToInt>(v.Site(strToInt));
    g_beginUpdate = reinterpret_cast<TStringsProc>(v.Site(beginUpdate));
    g_endUpdate = reinterpret_cast<TStringsProc>(v.Site(endUpdate));
    g_strings.NewUnicodeString = reinterpret_cast<decltype(g_strings.NewUnicodeString)>(v.Site(newString));
    g_strings.UStrAsg = reinterpret_cast<decltype(g_strings.UStrAsg)>(v.Site(ustrAsg));
    g_strings.UStrClr = reinterpret_cast<decltype(g_strings.UStrClr)>(v.Site(ustrClr));
    g_strings.ReallocMem = reinterpret_cast<decltype(g_strings.ReallocMem)>(v.Site(reallocMem));
  });
  // Objects of our subclass run our methods: the slot stays while one lives.
  plan.KeepInPlaceWhile([] { return g_live > 0; });
  return plan;
}

}  // namespace Quillmend

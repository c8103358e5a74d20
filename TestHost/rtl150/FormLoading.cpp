// Classes.InitInheritedComponent: a form's constructor has each class's
// binary form read into the new instance, from the class below the root
// ancestor down to the instance's own class. The reader makes every new
// component of the form (owned by the root, of the class its form names),
// names it and stores it in the root's published field of that name, found
// through TObject.FieldAddress — the run-time's walk over the field tables,
// once per component. A component whose class has a form of its own (a
// frame) is loaded the same way, inside its owner's load.
//
// Form classes are made at run time (RtlMakeFormClass) and their binary
// forms registered beside them (RtlSetClassForm), as the host keeps them in
// resources named after the classes.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "Common/HostClass.h"
#include "ComponentsDriver.h"
#include "FormLoadingDriver.h"
#include "RtlServices.h"

using namespace QmHost;

extern "C" {
extern char rtl_TComponent_Class[] QM_HOST_SYMBOL(rtl_TComponent_Class);
void* QM_HOST_REGISTER RtlFieldAddress(void* self, const wchar_t* name) QM_HOST_SYMBOL(rtl_TObject_FieldAddress);
std::uint8_t QM_HOST_REGISTER RtlInitInheritedComponent(void* instance, void* rootAncestor)
    QM_HOST_SYMBOL(rtl_InitInheritedComponent);
std::uint8_t QM_HOST_REGISTER RtlInitInheritedBody(void* instance, void* rootAncestor)
    QM_HOST_SYMBOL(rtl_InitInheritedBody);
void* QM_HOST_REGISTER RtlComponentCreate(void* classOrSelf, int alloc, void* owner)
    QM_HOST_SYMBOL(rtl_TComponent_Create);
void* QM_HOST_REGISTER RtlFindComponent(void* self, const wchar_t* name) QM_HOST_SYMBOL(rtl_TComponent_FindComponent);
void QM_HOST_REGISTER RtlComponentSetName(void* self, const wchar_t* name) QM_HOST_SYMBOL(rtl_TComponent_SetName);
}

namespace {

namespace VT = FormLoadingDriver::ValueType;

void* g_componentClassVar = rtl_TComponent_Class;

// Class records of every size a form needs: the header, TComponent's
// virtual methods, then the name and the field table.
constexpr int VirtualCount = ComponentsDriver::ComponentSlot::Count;
template <int Tail>
void* BuildInto(HostClassBuilder& (*describe)(HostClassBuilder&, void*), void* data, const char* name) {
  auto* storage = static_cast<HostClassStorage<VirtualCount, Tail>*>(
      VirtualAlloc(nullptr, sizeof(HostClassStorage<VirtualCount, Tail>), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (!storage) return nullptr;
  HostClassBuilder builder(*storage, name);
  return describe(builder, data).Build();
}

struct TFormClass {
  std::string Name;
  void* ClassVar = nullptr;  // the class reference, a parent variable for descendants
  std::vector<std::uint8_t> Form;
};

std::mutex g_lock;
std::vector<TFormClass*> g_classes;  // never freed: classes live as long as the module

TFormClass* FormClassOf(const void* classRef) {
  std::lock_guard<std::mutex> hold(g_lock);
  for (TFormClass* c : g_classes)
    if (c->ClassVar == classRef) return c;
  return nullptr;
}

bool SameAscii(const std::string& a, const char* b, size_t length) {
  if (a.size() != length) return false;
  for (size_t i = 0; i < length; ++i)
    if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
  return true;
}

// TComponent or a form class made here, by name (ASCII case ignored); null when unknown.
void* ClassNamed(const char* name, size_t length) {
  if (SameAscii("TComponent", name, length)) return rtl_TComponent_Class;
  std::lock_guard<std::mutex> hold(g_lock);
  for (TFormClass* c : g_classes)
    if (SameAscii(c->Name, name, length)) return c->ClassVar;
  return nullptr;
}

volatile FormLoadingDriver::ReadProbeFn g_probe = nullptr;

// ---- the reader ------------------------------------------------------------
// Plain data only: a read error leaves these frames as a host exception.

struct TReader {
  const std::uint8_t* At;
  const std::uint8_t* End;
};

[[noreturn]] void ReadError(const wchar_t* what, const std::uint8_t* name = nullptr) {
  wchar_t message[300];
  wchar_t text[256] = {};
  if (name) MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char*>(name + 1), name[0], text, 255);
  wsprintfW(message, what, text);
  RtlRaiseNew(rtl_EReadError_Class, message);
}

const std::uint8_t* Take(TReader& r, size_t count) {
  if (size_t(r.End - r.At) < count) ReadError(L"Stream read error");
  const std::uint8_t* at = r.At;
  r.At += count;
  return at;
}
std::uint8_t Byte(TReader& r) { return *Take(r, 1); }
const std::uint8_t* ShortString(TReader& r) {
  const std::uint8_t* at = Take(r, 1);
  Take(r, at[0]);
  return at;
}

void SkipValue(TReader& r) {
  switch (Byte(r)) {
    case VT::Int8: Take(r, 1); break;
    case VT::Int16: Take(r, 2); break;
    case VT::Int32: Take(r, 4); break;
    case VT::String:
    case VT::Ident: ShortString(r); break;
    case VT::False:
    case VT::True:
    case VT::Nil: break;
    case VT::Utf8String: {
      const std::uint8_t* size = Take(r, 4);
      Take(r, size_t(size[0] | size[1] << 8 | size[2] << 16 | uint32_t(size[3]) << 24));
      break;
    }
    default: ReadError(L"Invalid property value");
  }
}

void SkipProperties(TReader& r) {
  while (r.At < r.End && *r.At) {
    ShortString(r);
    SkipValue(r);
  }
  Byte(r);
}

// The name as a new host string (released by the caller).
wchar_t* HostName(const std::uint8_t* name) {
  wchar_t text[256];
  const int length = MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char*>(name + 1), name[0], text, 256);
  wchar_t* s = RtlNewUnicodeString(length);
  if (length) std::memcpy(s, text, size_t(length) * 2);
  return s;
}

void ReadObject(TReader& r, void* root) {
  // A prefix byte 0xF0 | flags, bit 0 for an object of the ancestor's form.
  bool inherited = false;
  if (r.At < r.End && (*r.At & 0xF0) == 0xF0) inherited = (Byte(r) & 1) != 0;
  const std::uint8_t* className = ShortString(r);
  const std::uint8_t* name = ShortString(r);
  wchar_t* hostName = HostName(name);
  void* component = nullptr;
  if (inherited) {
    component = RtlFindComponent(root, hostName);
    if (!component) {
      RtlUStrClr(&hostName);
      ReadError(L"Ancestor for '%s' not found", name);
    }
  } else {
    void* classRef = ClassNamed(reinterpret_cast<const char*>(className + 1), className[0]);
    if (!classRef) {
      RtlUStrClr(&hostName);
      ReadError(L"Class %s not found", className);
    }
    component = RtlComponentCreate(classRef, 1, root);
    RtlComponentSetName(component, hostName);
    if (FormClassOf(classRef)) RtlInitInheritedComponent(component, rtl_TComponent_Class);
    if (void** field = static_cast<void**>(RtlFieldAddress(root, hostName))) *field = component;
  }
  RtlUStrClr(&hostName);
  SkipProperties(r);
  while (r.At < r.End && *r.At) ReadObject(r, root);
  Byte(r);
  if (FormLoadingDriver::ReadProbeFn probe = g_probe) probe(root, component);
}

void ReadRoot(void* root, const std::vector<std::uint8_t>& form) {
  TReader r{form.data(), form.data() + form.size()};
  if (form.size() < 4 || std::memcmp(form.data(), "TPF0", 4) != 0) ReadError(L"Invalid stream format");
  r.At += 4;
  if (r.At < r.End && (*r.At & 0xF0) == 0xF0) Byte(r);
  ShortString(r);  // the root's class name
  ShortString(r);  // its name
  SkipProperties(r);
  while (r.At < r.End && *r.At) ReadObject(r, root);
  Byte(r);
}

bool InitComponent(void* instance, const void* classRef, const void* rootAncestor) {
  if (!classRef || classRef == rtl_TComponent_Class || classRef == rootAncestor) return false;
  auto* parentVar = static_cast<void* const*>(VmtSlot(classRef, kVmtParent));
  bool read = InitComponent(instance, parentVar ? *parentVar : nullptr, rootAncestor);
  TFormClass* formClass = FormClassOf(classRef);
  if (formClass && !formClass->Form.empty()) {
    ReadRoot(instance, formClass->Form);
    read = true;
  }
  return read;
}

// ---- form classes -------------------------------------------------------------

struct TClassSpec {
  void* const* ParentVar;
  std::vector<std::pair<std::string, void* const*>> Fields;  // name, its class's variable
  int FirstOffset;
};

HostClassBuilder& Describe(HostClassBuilder& builder, void* data) {
  auto* spec = static_cast<TClassSpec*>(data);
  builder.Parent(spec->ParentVar).InstanceSize(spec->FirstOffset + 4 * int(spec->Fields.size()));
  for (size_t i = 0; i < spec->Fields.size(); ++i)
    builder.Field(spec->Fields[i].first.c_str(), uint32_t(spec->FirstOffset + 4 * int(i)), spec->Fields[i].second);
  return builder;
}

} // namespace

extern "C" {

// function InitInheritedComponent(Instance: TComponent; RootAncestor: TClass): Boolean
// (the body behind its entry).
std::uint8_t QM_HOST_REGISTER RtlInitInheritedBody(void* instance, void* rootAncestor) {
  return InitComponent(instance, *static_cast<void* const*>(instance), rootAncestor) ? 1 : 0;
}

void* __stdcall RtlMakeFormClass(void* parent, const char* name, const char* fields) {
  TFormClass* parentForm = FormClassOf(parent);
  if (!name || (parent != rtl_TComponent_Class && !parentForm)) return nullptr;
  TClassSpec spec{parentForm ? &parentForm->ClassVar : &g_componentClassVar, {},
                  int(reinterpret_cast<std::intptr_t>(VmtSlot(parent, kVmtInstanceSize)))};
  size_t need = 0;
  for (const char* at = fields ? fields : ""; *at;) {
    while (*at == ' ') ++at;
    const char* end = at;
    while (*end && *end != ' ') ++end;
    if (end == at) break;
    std::string field(at, end);
    void* const* classVar = &g_componentClassVar;
    const size_t colon = field.find(':');
    if (colon != std::string::npos) {
      TFormClass* fieldClass = FormClassOf(ClassNamed(field.c_str() + colon + 1, field.size() - colon - 1));
      if (!fieldClass) return nullptr;
      classVar = &fieldClass->ClassVar;
      field.resize(colon);
    }
    if (field.empty() || field.size() > 255) return nullptr;
    need += 16 + field.size();
    spec.Fields.emplace_back(field, classVar);
    at = end;
  }
  if (spec.Fields.size() > 0xFFFF) return nullptr;
  auto* formClass = new TFormClass{name, nullptr, {}};
  formClass->ClassVar = need < 0x3000     ? BuildInto<0x4000>(&Describe, &spec, formClass->Name.c_str())
                        : need < 0x3C000  ? BuildInto<0x40000>(&Describe, &spec, formClass->Name.c_str())
                        : need < 0x1F0000 ? BuildInto<0x200000>(&Describe, &spec, formClass->Name.c_str())
                                          : nullptr;
  if (!formClass->ClassVar) {
    delete formClass;
    return nullptr;
  }
  std::lock_guard<std::mutex> hold(g_lock);
  g_classes.push_back(formClass);
  return formClass->ClassVar;
}

void __stdcall RtlSetClassForm(void* classRef, const void* data, int size) {
  TFormClass* formClass = FormClassOf(classRef);
  if (!formClass || size < 0) return;
  auto* bytes = static_cast<const std::uint8_t*>(data);
  std::lock_guard<std::mutex> hold(g_lock);
  formClass->Form.assign(bytes, bytes + size);
}

void __stdcall RtlSetFormReadProbe(FormLoadingDriver::ReadProbeFn probe) { g_probe = probe; }

} // extern "C"

// Forms loaded the run-time's way: TObject.FieldAddress (both overloads, each
// a walk over the field tables of the object's class and its ancestors) and
// Classes.InitInheritedComponent (reading the binary form of each class from
// the root ancestor down and setting every new component's field by name).
// Declared once for rtl150.bpl, bds.exe, the tests and the benchmarks.
//
// Form classes are made at run time (the field tables of thousands of
// fields), each a TComponent descendant whose published fields hold
// components; a class's binary form is registered beside it, as the host
// keeps it in a resource named after the class.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Common/HostLayout.h"
#include "rtl150/ComponentsDriver.h"

namespace FormLoadingDriver {

namespace Export {
// EAX Self, EDX name (host string) → EAX the field's address or nil.
constexpr const char* FieldAddress = "@System@TObject@FieldAddress$qqrx20System@UnicodeString";
// EAX Self, EDX the name as a UTF-8 short string → EAX the field's address or nil.
constexpr const char* FieldAddressShort = "@System@TObject@FieldAddress$qqrrx28System@%SmallString$iuc$255%";
// EAX the instance, EDX the root ancestor (a class) → AL whether any form was read.
constexpr const char* InitInheritedComponent =
    "@Classes@InitInheritedComponent$qqrp18Classes@TComponentp17System@TMetaClass";
// Driver (stdcall): a new form class (parent, name, its published fields as
// "Name" or "Name:Class" separated by spaces) → the class reference, or nil.
constexpr const char* MakeFormClass = "RtlMakeFormClass";
// Driver (stdcall): the class's binary form (copied), replacing an earlier one.
constexpr const char* SetClassForm = "RtlSetClassForm";
// Driver (stdcall): field-table walks of the two overloads so far.
constexpr const char* FieldWalks = "RtlFieldAddressWalks";
// Driver (stdcall): called after each component the reader made (null: none).
constexpr const char* SetReadProbe = "RtlSetFormReadProbe";
} // namespace Export

// The value types of the binary form's properties the reader skips.
namespace ValueType {
constexpr std::uint8_t Int8 = 2, Int16 = 3, Int32 = 4, String = 6, Ident = 7, False = 8, True = 9, Nil = 13,
                       Utf8String = 20;
}
// The prefix byte of an object inherited from the ancestor's form.
constexpr std::uint8_t InheritedPrefix = 0xF1;

using FieldAddressFn = void*(QM_HOST_REGISTER*)(void* self, const wchar_t* name);
using FieldAddressShortFn = void*(QM_HOST_REGISTER*)(void* self, const unsigned char* name);
using InitInheritedComponentFn = std::uint8_t(QM_HOST_REGISTER*)(void* instance, void* rootAncestor);
using MakeFormClassFn = void*(__stdcall*)(void* parent, const char* name, const char* fields);
using SetClassFormFn = void(__stdcall*)(void* classRef, const void* data, int size);
using FieldWalksFn = int(__stdcall*)();
using ReadProbeFn = void(__stdcall*)(void* root, void* component);
using SetReadProbeFn = void(__stdcall*)(ReadProbeFn probe);
using ComponentCreateFn = void*(QM_HOST_REGISTER*)(void* classOrSelf, int alloc, void* owner);

struct Driver {
  FieldAddressFn FieldAddress = nullptr;
  FieldAddressShortFn FieldAddressShort = nullptr;
  InitInheritedComponentFn InitInheritedComponent = nullptr;  // null in a build without it
  MakeFormClassFn MakeFormClass = nullptr;
  SetClassFormFn SetClassForm = nullptr;
  FieldWalksFn FieldWalks = nullptr;
  SetReadProbeFn SetReadProbe = nullptr;
  ComponentCreateFn ComponentCreate = nullptr;
  void* ComponentClass = nullptr;

  bool Bind(HMODULE rtl) {
    auto get = [rtl](const char* name) { return reinterpret_cast<void*>(GetProcAddress(rtl, name)); };
    FieldAddress = reinterpret_cast<FieldAddressFn>(get(Export::FieldAddress));
    FieldAddressShort = reinterpret_cast<FieldAddressShortFn>(get(Export::FieldAddressShort));
    InitInheritedComponent = reinterpret_cast<InitInheritedComponentFn>(get(Export::InitInheritedComponent));
    MakeFormClass = reinterpret_cast<MakeFormClassFn>(get(Export::MakeFormClass));
    SetClassForm = reinterpret_cast<SetClassFormFn>(get(Export::SetClassForm));
    FieldWalks = reinterpret_cast<FieldWalksFn>(get(Export::FieldWalks));
    SetReadProbe = reinterpret_cast<SetReadProbeFn>(get(Export::SetReadProbe));
    ComponentCreate =
        reinterpret_cast<ComponentCreateFn>(get("@Classes@TComponent@$bctr$qqrp18Classes@TComponent"));
    ComponentClass = get("@Classes@TComponent@");
    return rtl && FieldAddress && FieldAddressShort && MakeFormClass && SetClassForm && FieldWalks &&
           SetReadProbe && ComponentCreate && ComponentClass;
  }

  // A new instance of the form class loaded as a form's constructor loads
  // it (InitInheritedComponent with TComponent as the root ancestor); a
  // raise leaves the instance to the caller through *made.
  void* Load(void* formClass, void** made = nullptr) const {
    void* form = ComponentCreate(formClass, 1, nullptr);
    if (made) *made = form;
    InitInheritedComponent(form, ComponentClass);
    return form;
  }
};

// A binary form as the host's form writer stores it ("TPF0", then the root
// object): objects with a class name, a name, properties and children.
class FormWriter {
public:
  FormWriter() { Bytes_ = "TPF0"; }
  // An object (the root first); `inherited`: present in the ancestor's form.
  FormWriter& Begin(const std::string& className, const std::string& name, bool inherited = false) {
    if (inherited) Bytes_ += char(InheritedPrefix);
    Short(className);
    Short(name);
    return *this;
  }
  FormWriter& IntProperty(const std::string& name, std::int32_t value) {
    Short(name);
    Bytes_ += char(ValueType::Int32);
    for (int i = 0; i < 4; ++i) Bytes_ += char(std::uint32_t(value) >> (8 * i));
    return *this;
  }
  FormWriter& StringProperty(const std::string& name, const std::string& value) {
    Short(name);
    Bytes_ += char(ValueType::String);
    Short(value);
    return *this;
  }
  // The end of the current object's properties, or of its children.
  FormWriter& End() {
    Bytes_ += '\0';
    return *this;
  }
  // A child without properties or children of its own.
  FormWriter& Child(const std::string& className, const std::string& name, bool inherited = false) {
    return Begin(className, name, inherited).End().End();
  }
  const std::string& Bytes() const { return Bytes_; }

private:
  void Short(const std::string& text) {
    Bytes_ += char(text.size());
    Bytes_ += text;
  }
  std::string Bytes_;
};

// A form class of `fields` fields over an ancestor form class holding
// about half of them ("Edit<i>" in the ancestor, "Button<i>" in the form),
// each with its binary form: the ancestor's names its components, the
// form's names its own and the ancestor's first one as inherited.
// `tag` makes the class names unique in the process. Null when a class
// cannot be made.
inline void* MakeInheritedForm(const Driver& rtl, int fields, const std::string& tag) {
  const int inherited = fields / 2;
  std::string baseFields, ownFields;
  FormWriter baseForm, ownForm;
  baseForm.Begin("TBase" + tag, "Base" + tag).End();
  for (int i = 1; i <= inherited; ++i) {
    baseFields += " Edit" + std::to_string(i);
    baseForm.Child("TComponent", "Edit" + std::to_string(i));
  }
  baseForm.End();
  ownForm.Begin("TForm" + tag, "Form" + tag, true).IntProperty("Tag", fields).End();
  if (inherited) ownForm.Child("TComponent", "Edit1", true);
  for (int i = 1; i <= fields - inherited; ++i) {
    ownFields += " Button" + std::to_string(i);
    ownForm.Child("TComponent", "Button" + std::to_string(i));
  }
  ownForm.End();
  void* base = rtl.MakeFormClass(rtl.ComponentClass, ("TBase" + tag).c_str(), baseFields.c_str());
  void* form = base ? rtl.MakeFormClass(base, ("TForm" + tag).c_str(), ownFields.c_str()) : nullptr;
  if (!form) return nullptr;
  rtl.SetClassForm(base, baseForm.Bytes().data(), int(baseForm.Bytes().size()));
  rtl.SetClassForm(form, ownForm.Bytes().data(), int(ownForm.Bytes().size()));
  return form;
}

// What a loaded form's published fields hold, the same in every process
// that loaded the same form: fields, fields set, fields holding the
// component of their own name, and a checksum over each field's offset and
// the name of the component it holds (field tables walked from the form's
// class up, as FieldAddress walks them).
struct FieldSummary {
  int Fields = 0, Set = 0, Right = 0;
  std::uint32_t Checksum = 2166136261u;
};

inline FieldSummary SummarizeFields(const void* form) {
  FieldSummary s;
  auto mix = [&s](std::uint32_t value) {
    for (int i = 0; i < 4; ++i) s.Checksum = (s.Checksum ^ ((value >> (8 * i)) & 0xFF)) * 16777619u;
  };
  for (const void* c = *static_cast<void* const*>(form); c;) {
    auto* table = static_cast<const std::uint8_t*>(QmHost::VmtSlot(c, QmHost::kVmtFieldTable));
    const std::uint8_t* entry = table ? table + 6 : nullptr;
    for (int i = table ? table[0] | table[1] << 8 : 0; i > 0; --i, entry += 7 + entry[6]) {
      const std::uint32_t offset = std::uint32_t(entry[0] | entry[1] << 8 | entry[2] << 16 | entry[3] << 24);
      void* component = *reinterpret_cast<void* const*>(static_cast<const char*>(form) + offset);
      const wchar_t* name = component ? *reinterpret_cast<const wchar_t* const*>(static_cast<char*>(component) + ComponentsDriver::ComponentLayout::Name) : nullptr;
      ++s.Fields;
      s.Set += component != nullptr;
      mix(offset);
      bool same = name != nullptr;
      int length = 0;
      for (; name && name[length]; ++length) {
        mix(name[length]);
        same = same && length < entry[6] && (name[length] | 0x20) == (entry[7 + length] | 0x20);
      }
      s.Right += same && length == entry[6];
    }
    auto* parentVar = static_cast<void* const*>(QmHost::VmtSlot(c, QmHost::kVmtParent));
    c = parentVar ? *parentVar : nullptr;
  }
  return s;
}

} // namespace FormLoadingDriver

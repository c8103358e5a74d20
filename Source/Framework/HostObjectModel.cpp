#include "Framework/HostObjectModel.h"

#include <algorithm>
#include <cstring>

namespace Quillmend {

namespace {

using TQueryInterface = HRESULT(__stdcall*)(void* self, const GUID* iid, void** out);
using TCountRef = ULONG(__stdcall*)(void* self);
using TDestroy = void(QM_REGISTER*)(void* self, int32_t outermost);
using TListProc = void(QM_REGISTER*)(void* self);
using TUStrClr = void(QM_REGISTER*)(wchar_t** variable);

TUStrClr HostUStrClr() {
  static TUStrClr clear = nullptr;
  if (!clear) {
    if (HMODULE rtl = GetModuleHandleW(L"rtl150.bpl"))
      clear = reinterpret_cast<TUStrClr>(reinterpret_cast<void*>(GetProcAddress(rtl, "@System@@UStrClr$qqrpv")));
  }
  return clear;
}

using TNewUnicodeString = wchar_t*(QM_REGISTER*)(int32_t length);

TNewUnicodeString HostNewUnicodeString() {
  static TNewUnicodeString create = nullptr;
  if (!create) {
    if (HMODULE rtl = GetModuleHandleW(L"rtl150.bpl"))
      create = reinterpret_cast<TNewUnicodeString>(
          reinterpret_cast<void*>(GetProcAddress(rtl, "@System@@NewUnicodeString$qqri")));
  }
  return create;
}

}  // namespace

bool AssignHostString(wchar_t** variable, const std::wstring& text) {
  TNewUnicodeString create = HostNewUnicodeString();
  TUStrClr clear = HostUStrClr();
  if (!create || !clear) return false;
  wchar_t* fresh = nullptr;
  if (!text.empty()) {
    fresh = create(int32_t(text.size()));
    std::memcpy(fresh, text.data(), text.size() * sizeof(wchar_t));
  }
  clear(variable);
  *variable = fresh;
  return true;
}

HRESULT HostIntfQuery(void* intf, const GUID& iid, void** out) {
  *out = nullptr;
  if (!intf) return E_NOINTERFACE;
  HRESULT result = HostIntfMethod<TQueryInterface>(intf, 0)(intf, &iid, out);
  if (result != S_OK) *out = nullptr;
  return result;
}

void HostIntfAddRef(void* intf) {
  if (intf) HostIntfMethod<TCountRef>(intf, 1)(intf);
}

void HostIntfRelease(void* intf) {
  if (intf) HostIntfMethod<TCountRef>(intf, 2)(intf);
}

void HostIntfAssign(void** variable, void* value) {
  HostIntfAddRef(value);
  void* old = *variable;
  *variable = value;
  HostIntfRelease(old);
}

THostStringVar::~THostStringVar() { Release(); }

void THostStringVar::Release() {
  if (!FChars) return;
  if (TUStrClr clear = HostUStrClr()) clear(&FChars);
  FChars = nullptr;
}

void* HostClassParent(const void* classRef) {
  auto parentVar = static_cast<void* const*>(HostClassSlot(classRef, HostClassLayout::Parent));
  return parentVar ? *parentVar : nullptr;
}

int32_t HostInstanceSize(const void* classRef) {
  return int32_t(reinterpret_cast<intptr_t>(HostClassSlot(classRef, HostClassLayout::InstanceSize)));
}

bool HostClassInherits(const void* classRef, const void* ancestor) {
  for (const void* c = classRef; c; c = HostClassParent(c))
    if (c == ancestor) return true;
  return false;
}

void HostObjectFree(void* object) {
  if (object) reinterpret_cast<TDestroy>(HostClassSlot(HostClassOf(object), -4))(object, 1);
}

void* HostNewObject(const void* classRef) {
  using TNewInstance = void*(QM_REGISTER*)(const void* classRef);
  using TAfterConstruction = void(QM_REGISTER*)(void* object);
  constexpr int NewInstance = -12, AfterConstruction = -28;  // root virtual methods
  void* object = reinterpret_cast<TNewInstance>(HostClassSlot(classRef, NewInstance))(classRef);
  reinterpret_cast<TAfterConstruction>(HostClassSlot(classRef, AfterConstruction))(object);
  return object;
}

void HostListClear(void* list) {
  reinterpret_cast<TListProc>(HostClassSlot(HostClassOf(list), 4 * HostListLayout::ClearSlot))(list);
}

void* HostInterfaceListInner(const void* interfaceList) {
  auto threadList = *reinterpret_cast<char* const*>(static_cast<const char*>(interfaceList) +
                                                    HostInterfaceListLayout::ThreadList);
  return *reinterpret_cast<void* const*>(threadList + HostThreadListLayout::List);
}

CRITICAL_SECTION* HostInterfaceListLock(const void* interfaceList) {
  auto threadList = *reinterpret_cast<char* const*>(static_cast<const char*>(interfaceList) +
                                                    HostInterfaceListLayout::ThreadList);
  return reinterpret_cast<CRITICAL_SECTION*>(threadList + HostThreadListLayout::Lock);
}

std::wstring LoadHostResString(const THostResStringRec* record) {
  if (!record) return std::wstring();
  if (record->Identifier > 0xFFFF) return reinterpret_cast<const wchar_t*>(record->Identifier);
  const wchar_t* text = nullptr;
  int length = LoadStringW(record->Module ? *record->Module : nullptr, UINT(record->Identifier),
                           reinterpret_cast<wchar_t*>(&text), 0);
  return length > 0 ? std::wstring(text, size_t(length)) : std::wstring();
}

std::wstring FormatHostInt(const std::wstring& pattern, int32_t value) {
  std::wstring text;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == L'%' && i + 1 < pattern.size()) {
      if (pattern[i + 1] == L'd') {
        text += std::to_wstring(value);
        ++i;
        continue;
      }
      if (pattern[i + 1] == L'%') ++i;
    }
    text += pattern[i];
  }
  return text;
}

THostClassRecord::THostClassRecord(const char* name, void* parent, int32_t instanceSize,
                                   void(QM_REGISTER* destroy)(void* self, int32_t outermost)) {
  void** classRef = FSlots + 22;
  // Root virtual methods (Equals .. FreeInstance) from the parent.
  for (int offset = HostClassLayout::FirstRootVirtual; offset < -4; offset += 4)
    classRef[offset / 4] = parent ? HostClassSlot(parent, offset) : nullptr;
  classRef[-1] = reinterpret_cast<void*>(destroy);
  size_t length = std::min<size_t>(std::strlen(name), sizeof FName - 1);
  FName[0] = static_cast<unsigned char>(length);
  std::memcpy(FName + 1, name, length);
  FParentVar = parent;
  classRef[HostClassLayout::SelfPtr / 4] = classRef;
  classRef[HostClassLayout::ClassName / 4] = FName;
  classRef[HostClassLayout::InstanceSize / 4] = reinterpret_cast<void*>(intptr_t(instanceSize));
  classRef[HostClassLayout::Parent / 4] = parent ? &FParentVar : nullptr;
}

}  // namespace Quillmend

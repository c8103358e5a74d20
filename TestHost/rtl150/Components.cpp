// Classes: TPersistent (assignment between objects) and TComponent
// (ownership and names: a component frees the components it owns, leaves
// its owner's list when it goes, and finds an owned component by name).
// They belong to the run-time (unit Classes) as in the host's package
// graph; vcl150.bpl derives its graphics and controls from them.
#include <windows.h>

#include <cstring>

#include "Common/HostClass.h"
#include "ComponentsDriver.h"
#include "RtlInternal.h"

using namespace QmHost;
namespace L = ComponentsDriver::ComponentLayout;

QM_HOST_CLASS(rtl_TPersistent_Class, ComponentsDriver::PersistentSlot::Count);
QM_HOST_CLASS(rtl_TComponent_Class, ComponentsDriver::ComponentSlot::Count);

extern "C" {
extern char rtl_EConvertError_Class[] QM_HOST_SYMBOL(rtl_EConvertError_Class);
extern void* rtl_TObject_ClassVar QM_HOST_SYMBOL(rtl_TObject_ClassVar);
void* rtl_TPersistent_ClassVar QM_HOST_SYMBOL(rtl_TPersistent_ClassVar) = nullptr;

void QM_HOST_REGISTER RtlPersistentAssign(void* self, void* source) QM_HOST_SYMBOL(rtl_TPersistent_Assign);
void* QM_HOST_REGISTER RtlComponentCreate(void* classOrSelf, int alloc, void* owner)
    QM_HOST_SYMBOL(rtl_TComponent_Create);
void QM_HOST_REGISTER RtlComponentDestroy(void* self, int outermost) QM_HOST_SYMBOL(rtl_TComponent_Destroy);
void* QM_HOST_REGISTER RtlFindComponent(void* self, const wchar_t* name) QM_HOST_SYMBOL(rtl_TComponent_FindComponent);
void QM_HOST_REGISTER RtlComponentSetName(void* self, const wchar_t* name) QM_HOST_SYMBOL(rtl_TComponent_SetName);
std::uint8_t QM_HOST_REGISTER RtlSameText(const wchar_t* a, const wchar_t* b) QM_HOST_SYMBOL(rtl_SameText);
}

namespace {

using TSelfFn = void(QM_HOST_REGISTER*)(void* self);
using TDestroyFn = void(QM_HOST_REGISTER*)(void* self, int outermost);
using TNewInstanceFn = void*(QM_HOST_REGISTER*)(void* classRef);

template <class T>
T& Field(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}
void* ClassOf(const void* object) { return *static_cast<void* const*>(object); }
void* Virtual(const void* object, int slot) { return VmtSlot(ClassOf(object), 4 * slot); }
void* Root(const void* object, VmtOffset offset) { return VmtSlot(ClassOf(object), offset); }

void ClassNameTo(const void* classRef, wchar_t* out, int room) {
  const auto* name = static_cast<const unsigned char*>(VmtSlot(classRef, kVmtClassName));
  int length = name[0] < room - 1 ? name[0] : room - 1;
  for (int i = 0; i < length; ++i) out[i] = name[1 + i];
  out[length] = 0;
}

// "Cannot assign a <source> to a <dest>", as the host's run-time words it.
// Plain buffers only: the raise leaves this frame the host's way.
[[noreturn]] void AssignError(void* source, void* dest) {
  wchar_t from[64] = L"nil", to[64], message[160];
  if (source) ClassNameTo(ClassOf(source), from, 64);
  ClassNameTo(ClassOf(dest), to, 64);
  wsprintfW(message, L"Cannot assign a %s to a %s", from, to);
  RtlRaiseNew(rtl_EConvertError_Class, message);
}

void QM_HOST_REGISTER PersistentAssignTo(void* self, void* dest) { AssignError(self, dest); }
void QM_HOST_REGISTER PersistentDefineProperties(void*, void*) {}

void*& Owner(void* c) { return Field<void*>(c, L::Owner); }
void**& Components(void* c) { return Field<void**>(c, L::Components); }
int32_t& ComponentCount(void* c) { return Field<int32_t>(c, L::ComponentCount); }
int32_t& ComponentCapacity(void* c) { return Field<int32_t>(c, L::ComponentCapacity); }

void InsertComponent(void* owner, void* component) {
  if (ComponentCount(owner) == ComponentCapacity(owner)) {
    const int32_t capacity = ComponentCapacity(owner) ? 2 * ComponentCapacity(owner) : 4;
    auto* items = static_cast<void**>(RtlGetMem(capacity * 4));
    if (ComponentCount(owner)) std::memcpy(items, Components(owner), size_t(ComponentCount(owner)) * 4);
    RtlFreeMem(Components(owner));
    Components(owner) = items;
    ComponentCapacity(owner) = capacity;
  }
  Components(owner)[ComponentCount(owner)++] = component;
  Owner(component) = owner;
}

void RemoveComponent(void* owner, void* component) {
  for (int32_t i = 0; i < ComponentCount(owner); ++i) {
    if (Components(owner)[i] != component) continue;
    std::memmove(&Components(owner)[i], &Components(owner)[i + 1], size_t(ComponentCount(owner) - i - 1) * 4);
    --ComponentCount(owner);
    break;
  }
  Owner(component) = nullptr;
}

void QM_HOST_REGISTER ComponentLoaded(void*) {}
void QM_HOST_REGISTER ComponentNotification(void*, void*, int32_t) {}
void QM_HOST_REGISTER ComponentSetNameVirtual(void* self, const wchar_t* name) {
  RtlUStrAsg(&Field<wchar_t*>(self, L::Name), name);
}

bool BuildComponents() {
  if (!RtlBaseClassesBuilt()) return false;
  namespace PS = ComponentsDriver::PersistentSlot;
  namespace CS = ComponentsDriver::ComponentSlot;
  rtl_TPersistent_ClassVar = HostClassBuilder(rtl_TPersistent_Class_Storage, "TPersistent")
                                 .Parent(&rtl_TObject_ClassVar)
                                 .InstanceSize(4)
                                 .Virtual(PS::AssignTo, reinterpret_cast<void*>(&PersistentAssignTo))
                                 .Virtual(PS::DefineProperties, reinterpret_cast<void*>(&PersistentDefineProperties))
                                 .Virtual(PS::Assign, reinterpret_cast<void*>(&RtlPersistentAssign))
                                 .TypeInfo("Classes")
                                 .Build();
  return HostClassBuilder(rtl_TComponent_Class_Storage, "TComponent")
             .Parent(&rtl_TPersistent_ClassVar)
             .InstanceSize(L::Size)
             .Virtual(CS::Loaded, reinterpret_cast<void*>(&ComponentLoaded))
             .Virtual(CS::Notification, reinterpret_cast<void*>(&ComponentNotification))
             .Virtual(CS::SetName, reinterpret_cast<void*>(&ComponentSetNameVirtual))
             .Virtual(CS::Create, reinterpret_cast<void*>(&RtlComponentCreate))
             .Root(kVmtDestroy, reinterpret_cast<void*>(&RtlComponentDestroy))
             .TypeInfo("Classes")
             .Build() != nullptr;
}

const bool kComponentsBuilt = BuildComponents();

} // namespace

extern "C" {

// procedure Assign(Source: TPersistent); virtual — the source assigns itself
// (AssignTo); nil cannot be assigned to a plain persistent.
void QM_HOST_REGISTER RtlPersistentAssign(void* self, void* source) {
  if (!source) AssignError(nullptr, self);
  reinterpret_cast<void(QM_HOST_REGISTER*)(void*, void*)>(Virtual(source, ComponentsDriver::PersistentSlot::AssignTo))(
      source, self);
}

// constructor Create(AOwner: TComponent); virtual
void* QM_HOST_REGISTER RtlComponentCreate(void* classOrSelf, int alloc, void* owner) {
  void* self = (alloc & 0xFF) ? reinterpret_cast<TNewInstanceFn>(VmtSlot(classOrSelf, kVmtNewInstance))(classOrSelf)
                              : classOrSelf;
  if (owner) InsertComponent(owner, self);
  if (alloc & 0xFF) reinterpret_cast<TSelfFn>(Root(self, kVmtAfterConstruction))(self);
  return self;
}

// destructor Destroy: the owned components go first (last created first).
void QM_HOST_REGISTER RtlComponentDestroy(void* self, int outermost) {
  if (outermost & 0xFF) reinterpret_cast<TSelfFn>(Root(self, kVmtBeforeDestruction))(self);
  while (ComponentCount(self) > 0) {
    void* owned = Components(self)[ComponentCount(self) - 1];
    RemoveComponent(self, owned);
    RtlObjectFree(owned);
  }
  RtlFreeMem(Components(self));
  Components(self) = nullptr;
  ComponentCapacity(self) = 0;
  if (Owner(self)) RemoveComponent(Owner(self), self);
  RtlUStrClr(&Field<wchar_t*>(self, L::Name));
  RtlObjectDestroy(self, 0);
  if (outermost & 0xFF) reinterpret_cast<TSelfFn>(Root(self, kVmtFreeInstance))(self);
}

// function FindComponent(const AName: string): TComponent — the owned
// component of that name (ASCII case ignored), nil for none or for ''.
void* QM_HOST_REGISTER RtlFindComponent(void* self, const wchar_t* name) {
  if (!name) return nullptr;
  for (int32_t i = 0; i < ComponentCount(self); ++i) {
    void* component = Components(self)[i];
    if (RtlSameText(Field<const wchar_t*>(component, L::Name), name) & 0xFF) return component;
  }
  return nullptr;
}

// procedure SetName(const NewName: TComponentName) — through the virtual slot.
void QM_HOST_REGISTER RtlComponentSetName(void* self, const wchar_t* name) {
  reinterpret_cast<void(QM_HOST_REGISTER*)(void*, const wchar_t*)>(
      Virtual(self, ComponentsDriver::ComponentSlot::SetName))(self, name);
}

} // extern "C"

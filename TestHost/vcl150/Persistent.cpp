// Classes: TPersistent (assignment between objects) and TComponent
// (ownership: a component frees the components it owns, and leaves its
// owner's list when it goes).
#include <cstring>

#include "Common/HostClass.h"
#include "VclClasses.h"
#include "VclInternal.h"

using namespace QmHost;
using namespace Vcl;

QM_HOST_CLASS(vcl_TPersistent_Class, PersistentSlot::Count);
QM_HOST_CLASS(vcl_TComponent_Class, ComponentSlot::Count);
QM_HOST_CLASS(vcl_EConvertError_Class, 0);
QM_HOST_CLASS(vcl_EOutOfResources_Class, 0);

extern "C" {
void* vcl_TPersistent_ClassVar = nullptr;
void* vcl_TComponent_ClassVar = nullptr;
}

namespace {

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
  RaiseError(vcl_EConvertError_Class, message);
}

void QM_HOST_REGISTER PersistentAssignTo(void* self, void* dest) { AssignError(self, dest); }
void QM_HOST_REGISTER PersistentDefineProperties(void*, void*) {}

// ---- TComponent ----------------------------------------------------------------

void*& Owner(void* c) { return Field<void*>(c, ComponentLayout::Owner); }
void**& Components(void* c) { return Field<void**>(c, ComponentLayout::Components); }
int32_t& ComponentCount(void* c) { return Field<int32_t>(c, ComponentLayout::ComponentCount); }
int32_t& ComponentCapacity(void* c) { return Field<int32_t>(c, ComponentLayout::ComponentCapacity); }

void InsertComponent(void* owner, void* component) {
  if (ComponentCount(owner) == ComponentCapacity(owner)) {
    const int32_t capacity = ComponentCapacity(owner) ? 2 * ComponentCapacity(owner) : 4;
    auto* items = static_cast<void**>(Rtl().getMem(capacity * 4));
    if (ComponentCount(owner)) std::memcpy(items, Components(owner), size_t(ComponentCount(owner)) * 4);
    Rtl().freeMem(Components(owner));
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
void QM_HOST_REGISTER ComponentSetName(void* self, const wchar_t* name) {
  Rtl().ustrAsg(&Field<wchar_t*>(self, ComponentLayout::Name), name);
}

bool BuildPersistent() {
  vcl_TPersistent_ClassVar = HostClassBuilder(vcl_TPersistent_Class_Storage, "TPersistent")
                                 .Parent(&vcl_TObject_ClassVar)
                                 .InstanceSize(4)
                                 .Virtual(PersistentSlot::AssignTo, reinterpret_cast<void*>(&PersistentAssignTo))
                                 .Virtual(PersistentSlot::DefineProperties,
                                          reinterpret_cast<void*>(&PersistentDefineProperties))
                                 .Virtual(PersistentSlot::Assign, reinterpret_cast<void*>(&vcl_TPersistent_Assign))
                                 .TypeInfo("Classes")
                                 .Build();
  return vcl_TPersistent_ClassVar != nullptr;
}

bool BuildComponent() {
  vcl_TComponent_ClassVar = HostClassBuilder(vcl_TComponent_Class_Storage, "TComponent")
                                .Parent(&vcl_TPersistent_ClassVar)
                                .InstanceSize(ComponentLayout::Size)
                                .Virtual(ComponentSlot::Loaded, reinterpret_cast<void*>(&ComponentLoaded))
                                .Virtual(ComponentSlot::Notification, reinterpret_cast<void*>(&ComponentNotification))
                                .Virtual(ComponentSlot::SetName, reinterpret_cast<void*>(&ComponentSetName))
                                .Virtual(ComponentSlot::Create, reinterpret_cast<void*>(&vcl_TComponent_Create))
                                .Root(kVmtDestroy, reinterpret_cast<void*>(&vcl_TComponent_Destroy))
                                .TypeInfo("Classes")
                                .Build();
  return vcl_TComponent_ClassVar != nullptr;
}

bool BuildErrors() {
  return HostClassBuilder(vcl_EConvertError_Class_Storage, "EConvertError").Parent(&vcl_Exception_ClassVar).Build() &&
         HostClassBuilder(vcl_EOutOfResources_Class_Storage, "EOutOfResources")
             .Parent(&vcl_Exception_ClassVar)
             .Build();
}

const VclClassRegistration kPersistent{"TPersistent", "TObject", &BuildPersistent};
const VclClassRegistration kComponent{"TComponent", "TPersistent", &BuildComponent};
const VclClassRegistration kErrors{"EConvertError EOutOfResources", "Exception", &BuildErrors};

} // namespace

extern "C" {

// procedure Assign(Source: TPersistent); virtual — the source assigns itself
// (AssignTo); nil cannot be assigned to a plain persistent.
void QM_HOST_REGISTER vcl_TPersistent_Assign(void* self, void* source) {
  if (!source) AssignError(nullptr, self);
  Virtual<void(QM_HOST_REGISTER*)(void*, void*)>(source, PersistentSlot::AssignTo)(source, self);
}

// constructor Create(AOwner: TComponent); virtual
void* QM_HOST_REGISTER vcl_TComponent_Create(void* classOrSelf, int alloc, void* owner) {
  void* self = ConstructorStart(classOrSelf, alloc);
  if (owner) InsertComponent(owner, self);
  ConstructorEnd(self, alloc);
  return self;
}

// destructor Destroy: the owned components go first (last created first).
void QM_HOST_REGISTER vcl_TComponent_Destroy(void* self, int outermost) {
  DestructorStart(self, outermost);
  while (ComponentCount(self) > 0) {
    void* owned = Components(self)[ComponentCount(self) - 1];
    RemoveComponent(self, owned);
    FreeObject(owned);
  }
  Rtl().freeMem(Components(self));
  Components(self) = nullptr;
  ComponentCapacity(self) = 0;
  if (Owner(self)) RemoveComponent(Owner(self), self);
  Rtl().ustrClr(&Field<wchar_t*>(self, ComponentLayout::Name));
  InheritedDestroy(self, vcl_TComponent_Class);
  DestructorEnd(self, outermost);
}

} // extern "C"

// Toolutils.AddToList, the host's way (every slot fetched through the
// interface's Get), and the driver's list and notifier objects.
#include <windows.h>

#include <type_traits>

#include "Common/HostRtl.h"
#include "ToolUtilsDriver.h"
#include "rtl150/ObjectModelDriver.h"

using namespace QmHost;
using namespace RtlObjects;

namespace {

template <class Fn>
Fn Method(void* intf, int index) {
  return reinterpret_cast<Fn>((*static_cast<void* const* const*>(intf))[index]);
}
void Release(void* intf) {
  if (intf) Method<RefCountFn>(intf, 2)(intf);
}
void AddRef(void* intf) {
  if (intf) Method<RefCountFn>(intf, 1)(intf);
}

using ProcFn = void(QM_HOST_REGISTER*)(void*);
using CountFn = std::int32_t(QM_HOST_REGISTER*)(void*);
using GetFn = void(QM_HOST_REGISTER*)(void*, std::int32_t, void**);
using PutFn = void(QM_HOST_REGISTER*)(void*, std::int32_t, void*);
using AddFn = std::int32_t(QM_HOST_REGISTER*)(void*, void*);
using NewInstanceFn = void*(QM_HOST_REGISTER*)(void*);
using HookFn = void(QM_HOST_REGISTER*)(void*);

HMODULE Rtl() { return GetModuleHandleW(L"rtl150.bpl"); }

void* NewObject(void* classRef) {
  void* self = reinterpret_cast<NewInstanceFn>(VmtSlot(classRef, kVmtNewInstance))(classRef);
  reinterpret_cast<HookFn>(VmtSlot(classRef, kVmtAfterConstruction))(self);
  return self;
}

} // namespace

extern "C" {

std::int32_t QM_HOST_REGISTER DesignIdeAddToList(void* list, void* item) QM_HOST_SYMBOL(DesignIdeAddToList);
std::int32_t QM_HOST_REGISTER DesignIdeAddToList(void* list, void* item) {
  Method<ProcFn>(list, IInterfaceListSlot::Lock)(list);
  std::int32_t count = Method<CountFn>(list, IInterfaceListSlot::GetCount)(list);
  for (std::int32_t i = 0; i < count; ++i) {
    void* slot = nullptr;
    Method<GetFn>(list, IInterfaceListSlot::Get)(list, i, &slot);
    if (!slot) {
      Method<PutFn>(list, IInterfaceListSlot::Put)(list, i, item);
      Method<ProcFn>(list, IInterfaceListSlot::Unlock)(list);
      return i;
    }
    Release(slot);
  }
  std::int32_t index = Method<AddFn>(list, IInterfaceListSlot::Add)(list, item);
  Method<ProcFn>(list, IInterfaceListSlot::Unlock)(list);
  return index;
}

void* __stdcall NotifierListNew() {
  void* object = Bind<CreateFn>(Rtl(), Export::InterfaceListCreate)(ClassExport(Rtl(), Export::TInterfaceListClass), 1);
  void* intf = static_cast<char*>(object) + InterfaceListLayout::IInterfaceListSlot;
  AddRef(intf);
  return intf;
}

void* __stdcall NotifierNew() {
  void* object = NewObject(ClassExport(Rtl(), Export::TInterfacedObjectClass));
  void* intf = static_cast<char*>(object) + InterfacedLayout::IInterfaceSlot;
  AddRef(intf);
  return intf;
}

} // extern "C"

static_assert(std::is_same_v<decltype(&DesignIdeAddToList), ToolUtilsDriver::AddToListFn>, "AddToList");
static_assert(std::is_same_v<decltype(&NotifierListNew), ToolUtilsDriver::NewFn>, "NewList");

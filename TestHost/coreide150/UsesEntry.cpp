// TUsesEntry: one unit of a project's uses list (its file name and unit
// name; the rest of its 92 bytes is the project's bookkeeping).
#include <windows.h>

#include <type_traits>

#include "Common/HostClass.h"
#include "Common/HostRtl.h"
#include "UsesEntryDriver.h"
#include "rtl150/ObjectModelDriver.h"

using namespace QmHost;

QM_HOST_CLASS(coreide_TUsesEntry_Class, 0);

extern "C" {
extern char coreide_TUsesEntry_Class[] QM_HOST_SYMBOL(coreide_TUsesEntry_Class);
}

namespace {

using HookFn = void(QM_HOST_REGISTER*)(void*);
using NewInstanceFn = void*(QM_HOST_REGISTER*)(void*);

wchar_t*& Text(void* entry, int offset) { return *reinterpret_cast<wchar_t**>(static_cast<char*>(entry) + offset); }

void QM_HOST_REGISTER UsesEntryDestroy(void* self, int outermost) {
  void* classRef = *static_cast<void**>(self);
  if (outermost & 0xFF) reinterpret_cast<HookFn>(VmtSlot(classRef, kVmtBeforeDestruction))(self);
  LoadedHostRtl()->ustrClr(&Text(self, UsesEntryDriver::FileName));
  LoadedHostRtl()->ustrClr(&Text(self, UsesEntryDriver::UnitName));
  if (outermost & 0xFF) reinterpret_cast<HookFn>(VmtSlot(classRef, kVmtFreeInstance))(self);
}

void* g_objectClassVar = nullptr;

const bool kBuilt = [] {
  g_objectClassVar = RtlObjects::ClassExport(GetModuleHandleW(L"rtl150.bpl"), "@System@TObject@");
  HostClassBuilder(coreide_TUsesEntry_Class_Storage, "TUsesEntry")
      .Parent(&g_objectClassVar)
      .InstanceSize(UsesEntryDriver::InstanceSize)
      .Root(kVmtDestroy, reinterpret_cast<const void*>(&UsesEntryDestroy))
      .Build();
  return true;
}();

} // namespace

extern "C" void* __stdcall UsesEntryNew(const wchar_t* unitName, const wchar_t* fileName) {
  void* self = reinterpret_cast<NewInstanceFn>(VmtSlot(coreide_TUsesEntry_Class, kVmtNewInstance))(coreide_TUsesEntry_Class);
  Text(self, UsesEntryDriver::UnitName) = LoadedHostRtl()->NewString(unitName ? unitName : L"");
  Text(self, UsesEntryDriver::FileName) = LoadedHostRtl()->NewString(fileName ? fileName : L"");
  return self;
}

static_assert(std::is_same_v<decltype(&UsesEntryNew), UsesEntryDriver::NewFn>, "UsesEntryNew");

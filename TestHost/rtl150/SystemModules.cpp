// Modules in the run-time's system unit: the main thread, the module an
// address belongs to (FindHInstance, a VirtualQuery per call), a module's
// resource instance, and the procedures told before a module is unloaded.
#include <windows.h>

#include <type_traits>

#include "RtlInternal.h"
#include "SystemUnitDriver.h"

using namespace SystemUnitDriver;

namespace {

// Registered unload procedures, newest first, as the host keeps them.
struct TUnloadNode {
  ModuleUnloadProc proc;
  TUnloadNode* next;
};
TUnloadNode* g_unloadProcs = nullptr;

// Resource modules standing in for modules (language resource modules).
struct TResourceMapping {
  HINSTANCE instance, resourceInstance;
};
TResourceMapping g_resourceMappings[32];
int g_resourceMappingCount = 0;

}  // namespace

extern "C" {

// The thread that loaded the run-time.
uint32_t rtl_MainThreadID QM_HOST_SYMBOL(rtl_MainThreadID) = GetCurrentThreadId();

// The locale the run-time compares UTF-8 texts in (class names).
uint32_t rtl_UTF8CompareLocale QM_HOST_SYMBOL(rtl_UTF8CompareLocale) = 0x0409;

HINSTANCE QM_HOST_REGISTER RtlFindHInstance(const void* address) QM_HOST_SYMBOL(rtl_FindHInstance);
HINSTANCE QM_HOST_REGISTER RtlFindHInstance(const void* address) {
  MEMORY_BASIC_INFORMATION info = {};
  VirtualQuery(address, &info, sizeof info);
  return info.State == MEM_COMMIT ? static_cast<HINSTANCE>(info.AllocationBase) : nullptr;
}

HINSTANCE QM_HOST_REGISTER RtlFindResourceHInstance(HINSTANCE instance) QM_HOST_SYMBOL(rtl_FindResourceHInstance);
HINSTANCE QM_HOST_REGISTER RtlFindResourceHInstance(HINSTANCE instance) {
  for (int i = 0; i < g_resourceMappingCount; ++i)
    if (g_resourceMappings[i].instance == instance) return g_resourceMappings[i].resourceInstance;
  return instance;
}

void __stdcall RtlSetResourceInstance(HINSTANCE instance, HINSTANCE resourceInstance)
    QM_HOST_SYMBOL(rtl_SetResourceInstance);
void __stdcall RtlSetResourceInstance(HINSTANCE instance, HINSTANCE resourceInstance) {
  for (int i = 0; i < g_resourceMappingCount; ++i)
    if (g_resourceMappings[i].instance == instance) {
      g_resourceMappings[i].resourceInstance = resourceInstance;
      return;
    }
  if (g_resourceMappingCount < 32) g_resourceMappings[g_resourceMappingCount++] = {instance, resourceInstance};
}

void QM_HOST_REGISTER RtlAddModuleUnloadProc(ModuleUnloadProc proc) QM_HOST_SYMBOL(rtl_AddModuleUnloadProc);
void QM_HOST_REGISTER RtlAddModuleUnloadProc(ModuleUnloadProc proc) {
  auto* node = static_cast<TUnloadNode*>(RtlGetMem(sizeof(TUnloadNode)));
  node->proc = proc;
  node->next = g_unloadProcs;
  g_unloadProcs = node;
}

void QM_HOST_REGISTER RtlRemoveModuleUnloadProc(ModuleUnloadProc proc) QM_HOST_SYMBOL(rtl_RemoveModuleUnloadProc);
void QM_HOST_REGISTER RtlRemoveModuleUnloadProc(ModuleUnloadProc proc) {
  for (TUnloadNode** link = &g_unloadProcs; *link; link = &(*link)->next) {
    if ((*link)->proc != proc) continue;
    TUnloadNode* node = *link;
    *link = node->next;
    RtlFreeMem(node);
    return;
  }
}

void QM_HOST_REGISTER RtlNotifyModuleUnload(uint32_t instance) QM_HOST_SYMBOL(rtl_NotifyModuleUnload);
void QM_HOST_REGISTER RtlNotifyModuleUnload(uint32_t instance) {
  // A procedure may remove itself while it is told.
  for (TUnloadNode* node = g_unloadProcs; node;) {
    TUnloadNode* next = node->next;
    node->proc(instance);
    node = next;
  }
}

} // extern "C"

static_assert(std::is_same_v<decltype(&RtlFindHInstance), FindHInstanceFn>, "FindHInstance has the driver's type");
static_assert(std::is_same_v<decltype(&RtlFindResourceHInstance), FindResourceHInstanceFn>,
              "FindResourceHInstance has the driver's type");
static_assert(std::is_same_v<decltype(&RtlAddModuleUnloadProc), ModuleUnloadProcFn>, "AddModuleUnloadProc");
static_assert(std::is_same_v<decltype(&RtlRemoveModuleUnloadProc), ModuleUnloadProcFn>, "RemoveModuleUnloadProc");
static_assert(std::is_same_v<decltype(&RtlNotifyModuleUnload), NotifyModuleUnloadFn>, "NotifyModuleUnload");
static_assert(std::is_same_v<decltype(&RtlSetResourceInstance), SetResourceInstanceFn>, "SetResourceInstance");

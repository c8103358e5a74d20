// Stand-in dbkdebugproide150.bpl: expression inspectors of the Watch and
// Local lists and the debugged process's notifier list they register with.
//
// Layouts (test host choices; only +0x10, +0x68 and the slots below are
// what the host's searched code relies on):
// - inspector (0x74 bytes): +0x04 reference count, +0x10 the evaluator's
//   interface (IDbkInspect), +0x68 its process-notifier interface, +0x6C
//   the index the list answered (-1: not listed), +0x70 notifications
//   received. Reference counted through the interface at +0x68: IUnknown
//   (stdcall) in slots 0..2, the notifier's AfterSave, BeforeSave,
//   Destroyed, Modified (3..6, do nothing) and the process notifications
//   ThreadCreated, ThreadDestroyed, ProcessModuleCreated,
//   ProcessModuleDestroyed (7..10, register convention, the thread or
//   module in EDX: each counted). At its last release it leaves the list.
// - the evaluator: slot 24 (+0x60) gives the process's notifier list
//   (EAX = Self, EDX = the result variable: the old value released, a
//   counted reference stored).
// - the notifier list: IUnknown (no counting: it lives as long as the
//   process), 3 Add(EAX = Self, EDX = notifier) -> index (the notifier
//   counted), 4 Remove(EAX = Self, EDX = index) (released).
// Whatever the list holds stays alive: an inspector that listed itself is
// kept alive by the list until it leaves it.
#include <windows.h>

#include <cstdint>
#include <cstddef>
#include <type_traits>
#include <vector>

#include "Common/HostLayout.h"
#include "Common/RegisterCall.h"
#include "Common/SearchedSites.h"
#include "DbkDebugProIdeDriver.h"

namespace {

struct TInspector {
  void* ClassRef;
  LONG RefCount;
  uint8_t Reserved1[0x08];
  void* Evaluator;  // +0x10
  uint8_t Reserved2[0x54];
  const void* const* NotifierVmt;  // +0x68
  int32_t Index;                   // +0x6C
  int32_t Notifications;           // +0x70
};
static_assert(offsetof(TInspector, Evaluator) == 0x10 && offsetof(TInspector, NotifierVmt) == 0x68 &&
                  offsetof(TInspector, Index) == 0x6C && sizeof(TInspector) == 0x74,
              "the inspector's layout");

struct TInterfaceObject {
  const void* const* Vmt;
};

using QueryFn = HRESULT(__stdcall*)(void* self, const GUID* iid, void** out);
using CountingFn = ULONG(__stdcall*)(void* self);
using NotifyFn = void(QM_HOST_REGISTER*)(void* self, void* subject);
using AddFn = int32_t(QM_HOST_REGISTER*)(void* self, void* item);
using RemoveFn = void(QM_HOST_REGISTER*)(void* self, int32_t index);

const void* const* Vmt(void* intf) { return *static_cast<const void* const* const*>(intf); }
ULONG AddRef(void* intf) { return reinterpret_cast<CountingFn>(const_cast<void*>(Vmt(intf)[1]))(intf); }
ULONG Release(void* intf) { return reinterpret_cast<CountingFn>(const_cast<void*>(Vmt(intf)[2]))(intf); }

int g_live = 0;
std::vector<void*> g_items;  // the list's entries; nil where one was removed
TInterfaceObject g_list;
TInterfaceObject g_evaluator;
int g_inspectorClass;  // stands for the class reference the constructors take

// ---- the notifier list ----------------------------------------------------------
HRESULT __stdcall ListQueryInterface(void*, const GUID*, void** out) {
  *out = nullptr;
  return E_NOINTERFACE;
}
ULONG __stdcall NoCounting(void*) { return 1; }
int32_t QM_HOST_REGISTER ListAdd(void*, void* item) {
  if (item) AddRef(item);
  g_items.push_back(item);
  return int32_t(g_items.size() - 1);
}
void QM_HOST_REGISTER ListRemove(void*, int32_t index) {
  if (index < 0 || size_t(index) >= g_items.size() || !g_items[size_t(index)]) return;
  void* item = g_items[size_t(index)];
  g_items[size_t(index)] = nullptr;
  Release(item);
}
const void* const ListVmt[] = {reinterpret_cast<const void*>(&ListQueryInterface),
                               reinterpret_cast<const void*>(&NoCounting), reinterpret_cast<const void*>(&NoCounting),
                               reinterpret_cast<const void*>(&ListAdd), reinterpret_cast<const void*>(&ListRemove)};

void RemoveFromList(int32_t index) {
  reinterpret_cast<RemoveFn>(const_cast<void*>(Vmt(&g_list)[4]))(&g_list, index);
}

// ---- the evaluator --------------------------------------------------------------
uint32_t QM_HOST_REGISTER EvaluatorUnsupported(void*) { return 0; }
void QM_HOST_REGISTER EvaluatorProcessNotifiers(void*, void** result) {
  if (*result) Release(*result);
  AddRef(&g_list);
  *result = &g_list;
}
struct TEvaluatorVmt {
  const void* Slots[25];
  TEvaluatorVmt() {
    Slots[0] = reinterpret_cast<const void*>(&ListQueryInterface);
    Slots[1] = Slots[2] = reinterpret_cast<const void*>(&NoCounting);
    for (int i = 3; i < 24; ++i) Slots[i] = reinterpret_cast<const void*>(&EvaluatorUnsupported);
    Slots[24] = reinterpret_cast<const void*>(&EvaluatorProcessNotifiers);
  }
};
const TEvaluatorVmt EvaluatorVmt;

// ---- the inspector ----------------------------------------------------------------
TInspector* FromInterface(void* intf) {
  return reinterpret_cast<TInspector*>(static_cast<uint8_t*>(intf) - offsetof(TInspector, NotifierVmt));
}
ULONG __stdcall InspectorAddRef(void* intf) { return ULONG(InterlockedIncrement(&FromInterface(intf)->RefCount)); }
ULONG __stdcall InspectorRelease(void* intf) {
  TInspector* inspector = FromInterface(intf);
  const LONG count = InterlockedDecrement(&inspector->RefCount);
  if (count == 0) {
    if (inspector->Index >= 0) RemoveFromList(inspector->Index);
    --g_live;
    HeapFree(GetProcessHeap(), 0, inspector);
  }
  return ULONG(count);
}
HRESULT __stdcall InspectorQueryInterface(void* intf, const GUID* iid, void** out) {
  static const GUID Unknown = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  if (IsEqualGUID(*iid, Unknown)) {
    InspectorAddRef(intf);
    *out = intf;
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}
void QM_HOST_REGISTER InspectorNothing(void*) {}
void QM_HOST_REGISTER InspectorNotified(void* intf, void*) { ++FromInterface(intf)->Notifications; }
const void* const InspectorVmt[] = {
    reinterpret_cast<const void*>(&InspectorQueryInterface), reinterpret_cast<const void*>(&InspectorAddRef),
    reinterpret_cast<const void*>(&InspectorRelease),        reinterpret_cast<const void*>(&InspectorNothing),
    reinterpret_cast<const void*>(&InspectorNothing),        reinterpret_cast<const void*>(&InspectorNothing),
    reinterpret_cast<const void*>(&InspectorNothing),        reinterpret_cast<const void*>(&InspectorNotified),
    reinterpret_cast<const void*>(&InspectorNotified),       reinterpret_cast<const void*>(&InspectorNotified),
    reinterpret_cast<const void*>(&InspectorNotified)};

// The list and the evaluator get their method tables when the module loads.
struct TWiring {
  TWiring() {
    g_list.Vmt = ListVmt;
    g_evaluator.Vmt = EvaluatorVmt.Slots;
  }
} const g_wiring;

void* OwnExport(const char* name) {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&g_live), &self);
  return reinterpret_cast<void*>(GetProcAddress(self, name));
}

}  // namespace

extern "C" {

// Called from InspectorCode.S (register convention).
TInspector* QM_HOST_REGISTER DbgProNewInspector(void* evaluator) QM_HOST_SYMBOL(DbgProNewInspector);
TInspector* QM_HOST_REGISTER DbgProNewInspector(void* evaluator) {
  auto* inspector = static_cast<TInspector*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TInspector)));
  inspector->ClassRef = &g_inspectorClass;
  inspector->Evaluator = evaluator;
  inspector->NotifierVmt = InspectorVmt;
  inspector->Index = -1;
  ++g_live;
  return inspector;
}

void QM_HOST_REGISTER DbgProLeaveNotifiers(TInspector* inspector) QM_HOST_SYMBOL(DbgProLeaveNotifiers);
void QM_HOST_REGISTER DbgProLeaveNotifiers(TInspector* inspector) {
  const int32_t index = inspector->Index;
  inspector->Index = -1;
  if (index >= 0) RemoveFromList(index);
}

void QM_HOST_REGISTER DbgProReleaseLocal(void** local) QM_HOST_SYMBOL(DbgProReleaseLocal);
void QM_HOST_REGISTER DbgProReleaseLocal(void** local) {
  void* intf = *local;
  *local = nullptr;
  if (intf) Release(intf);
}

void* __stdcall DbgProOpenWatch(int form) {
  using namespace DbkDebugProIdeDriver;
  QmHost::RegisterCallReport report;
  const QmHost::RegisterArgs create = {QmHost::RegisterWord(&g_inspectorClass), 1, QmHost::RegisterWord(&g_evaluator)};
  int evaluateResult = 0;
  auto* inspector = reinterpret_cast<TInspector*>(
      form == owCreateForThread
          ? QmHost::CallRegisterChecked(OwnExport(Export::InspectorCreateForThread), report, create, 0u, 0u, 0u, 0u)
          : QmHost::CallRegisterChecked(OwnExport(Export::InspectorCreate), report, create, 0u, 0u, 0u, &evaluateResult,
                                        0u, 0u, 0u));
  if (!report.Clean() || !inspector) return nullptr;
  void* intf = &inspector->NotifierVmt;
  AddRef(intf);  // the Watch list's reference
  if (form == owCreateAndSetup) {
    QmHost::CallRegisterChecked(OwnExport(Export::SetupInspector), report, {QmHost::RegisterWord(inspector), 0, 0}, 0u);
    if (!report.Clean()) return nullptr;
  }
  return intf;
}

void __stdcall DbgProCloseWatch(void* inspector) {
  if (inspector) Release(inspector);
}

int __stdcall DbgProLiveInspectors() { return g_live; }

int __stdcall DbgProListedNotifiers() {
  int listed = 0;
  for (void* item : g_items) listed += item != nullptr;
  return listed;
}

int __stdcall DbgProFireProcessNotification(int kind) {
  if (kind < 0 || kind > 3) return 0;
  int told = 0;
  const std::vector<void*> items = g_items;
  for (void* item : items) {
    if (!item) continue;
    reinterpret_cast<NotifyFn>(const_cast<void*>(Vmt(item)[7 + kind]))(item, nullptr);
    ++told;
  }
  return told;
}

int __stdcall DbgProInspectorNotifications(void* inspector) {
  return inspector ? FromInterface(inspector)->Notifications : 0;
}

void* __stdcall DbgProPatternSite(const char* site) {
  const QmHost::SearchedSite* found = QmHost::FindSearchedSite(site);
  return found ? found->Address : nullptr;
}

void __stdcall Initialize() {}
void __stdcall Finalize() {}

}  // extern "C"

static_assert(std::is_same_v<decltype(&DbgProOpenWatch), DbkDebugProIdeDriver::OpenWatchFn> &&
                  std::is_same_v<decltype(&DbgProCloseWatch), DbkDebugProIdeDriver::CloseWatchFn> &&
                  std::is_same_v<decltype(&DbgProLiveInspectors), DbkDebugProIdeDriver::CountFn> &&
                  std::is_same_v<decltype(&DbgProFireProcessNotification), DbkDebugProIdeDriver::FireFn> &&
                  std::is_same_v<decltype(&DbgProInspectorNotifications), DbkDebugProIdeDriver::InspectorCountFn> &&
                  std::is_same_v<decltype(&DbgProPatternSite), DbkDebugProIdeDriver::PatternSiteFn>,
              "the driver's types");

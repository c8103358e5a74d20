// The refactoring commands: the actions' update routine (it asks the
// parser's refactoring engine whether its refactoring can run here, which
// is unsafe while a background compile or parse runs, and sets the action's
// Enabled), the menu items' OnUpdate leading there, actnImportNamespaceExecute,
// and the background compile's state. Each run is counted with whether a
// kibitzing-monitor section of kind 2 was open around it.
#include <windows.h>

#include <cstdlib>
#include <type_traits>

#include "Common/HostLayout.h"
#include "Common/SearchedSites.h"
#include "RefactorDriver.h"
#include "coreide150/KibitzingMonitorDriver.h"

namespace {

namespace ActionLayout {
constexpr int Enabled = 44;  // vcl150's TCustomAction
}
namespace CommandsLayout {
constexpr int Available = 4;  // byte: the engine can refactor here
constexpr int Size = 8;
}
namespace MenuItemLayout {
constexpr int Commands = 4;
constexpr int Size = 8;
}

int32_t g_updateRuns = 0, g_updatesInMonitor = 0, g_importRuns = 0, g_importsInMonitor = 0;
void* g_commands = nullptr;

bool InMonitorSection() {
  static const KibitzingMonitorDriver::SectionFn section = KibitzingMonitorDriver::Bind<KibitzingMonitorDriver::SectionFn>(
      GetModuleHandleW(L"coreide150.bpl"), KibitzingMonitorDriver::Export::Section);
  int32_t kind = 0;
  return section && section(&kind) > 0 && kind == 2;
}

void* Commands() {
  if (!g_commands) {
    g_commands = std::calloc(1, CommandsLayout::Size);
    static_cast<uint8_t*>(g_commands)[CommandsLayout::Available] = 1;
  }
  return g_commands;
}

}  // namespace

extern "C" {

// vcl150's TCustomAction (the class reference), read when first needed.
void* refactor_CustomActionClass = nullptr;
uint8_t refactor_BackgroundCompiling = 0;

void QM_HOST_REGISTER RefactorMenuItemUpdate(void* self, void* sender) QM_HOST_SYMBOL(refactor_MenuItemUpdate);

// Sender as TCustomAction: the object when its class is that class or derives from it.
void* QM_HOST_REGISTER RefactorAsClass(void* object, void* classRef) QM_HOST_SYMBOL(refactor_AsClass);
void* QM_HOST_REGISTER RefactorAsClass(void* object, void* classRef) {
  for (void* c = object ? *static_cast<void**>(object) : nullptr; c;) {
    if (c == classRef) return object;
    void** parent = *reinterpret_cast<void***>(static_cast<char*>(c) - 48);
    c = parent ? *parent : nullptr;
  }
  return object;  // the host raises an invalid-cast error; the stand-in's senders are actions
}

// The update routine and actnImportNamespaceExecute: their entries (HostEntries.S), and the bodies.
void QM_HOST_REGISTER RefactorUpdateAction(void* action, void* commands, uint32_t force) QM_HOST_SYMBOL(refactor_UpdateAction);
void QM_HOST_REGISTER RefactorUpdateActionBody(void* action, void* commands, uint32_t force)
    QM_HOST_SYMBOL(refactor_UpdateActionBody);
void QM_HOST_REGISTER RefactorUpdateActionBody(void* action, void* commands, uint32_t) {
  ++g_updateRuns;
  if (InMonitorSection()) ++g_updatesInMonitor;
  static_cast<uint8_t*>(action)[ActionLayout::Enabled] = static_cast<uint8_t*>(commands)[CommandsLayout::Available];
}

void QM_HOST_REGISTER RefactorImportNamespaceExecute(void* self, void* sender) QM_HOST_SYMBOL(refactor_ImportNamespaceExecute);
void QM_HOST_REGISTER RefactorImportNamespaceExecuteBody(void* self, void* sender)
    QM_HOST_SYMBOL(refactor_ImportNamespaceExecuteBody);
void QM_HOST_REGISTER RefactorImportNamespaceExecuteBody(void*, void*) {
  ++g_importRuns;
  if (InMonitorSection()) ++g_importsInMonitor;
}

// ---- driver (RefactorDriver.h) -------------------------------------------------------

void* __stdcall RefactorNewMenuItem() {
  if (!refactor_CustomActionClass) {
    HMODULE vcl = GetModuleHandleW(L"vcl150.bpl");
    refactor_CustomActionClass = vcl ? reinterpret_cast<void*>(GetProcAddress(vcl, "@Actnlist@TCustomAction@")) : nullptr;
  }
  void* item = std::calloc(1, MenuItemLayout::Size);
  static_cast<void**>(item)[MenuItemLayout::Commands / 4] = Commands();
  return item;
}

void __stdcall RefactorSetState(int32_t backgroundCompiling, int32_t available) {
  refactor_BackgroundCompiling = backgroundCompiling ? 1 : 0;
  static_cast<uint8_t*>(Commands())[CommandsLayout::Available] = available ? 1 : 0;
}

void __stdcall RefactorForceUpdate(void* action) { RefactorUpdateAction(action, Commands(), 1); }

void __stdcall RefactorImportNamespace() { RefactorImportNamespaceExecute(Commands(), nullptr); }

void __stdcall RefactorCounts(int32_t* updateRuns, int32_t* updatesInMonitor, int32_t* importRuns,
                              int32_t* importsInMonitor) {
  if (updateRuns) *updateRuns = g_updateRuns;
  if (updatesInMonitor) *updatesInMonitor = g_updatesInMonitor;
  if (importRuns) *importRuns = g_importRuns;
  if (importsInMonitor) *importsInMonitor = g_importsInMonitor;
}

void* __stdcall RefactorPatternSite(const char* site) {
  const QmHost::SearchedSite* found = QmHost::FindSearchedSite(site);
  return found ? found->Address : nullptr;
}

const QmHost::SearchedSite* __stdcall RefactorPatternSites(int* count) { return QmHost::SearchedSites(count); }

// The package's entry points: nothing to set up beyond what the first use binds.
void __stdcall RefactorInitialize() {}
void __stdcall RefactorFinalize() {}

}  // extern "C"

namespace D = RefactorDriver;
static_assert(std::is_same_v<decltype(&RefactorNewMenuItem), D::NewMenuItemFn> &&
                  std::is_same_v<decltype(&RefactorSetState), D::SetStateFn> &&
                  std::is_same_v<decltype(&RefactorForceUpdate), D::ForceUpdateFn> &&
                  std::is_same_v<decltype(&RefactorImportNamespace), D::ImportNamespaceFn> &&
                  std::is_same_v<decltype(&RefactorCounts), D::CountsFn> &&
                  std::is_same_v<decltype(&RefactorMenuItemUpdate), D::MenuItemUpdateFn>,
              "exports differ from RefactorDriver.h");

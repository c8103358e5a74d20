// The Pascal module handler's view switch (DelphiModuleDriver.h): handlers,
// their views and items, the file registry, and what the nested routine
// calls.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <type_traits>

#include "Common/HostLayout.h"
#include "DelphiModuleDriver.h"

using namespace DelphiModuleDriver;

namespace {

namespace HandlerLayout {
constexpr int Methods = 0x00, View = 0x10, ShowsForm = 0x14, File = 0x18, Removed = 0x1C, Items = 0x20, Count = 0x24,
              Size = 0x30;
}
constexpr int SwitchViewSlot = 0x108 / 4;
constexpr int RefreshSlot = 0x1C / 4;

std::mutex g_lock;
std::map<std::string, const void*> g_registry;  // file → its handler
std::set<const void*> g_freed;
int g_refreshes = 0, g_notified = 0, g_switches = 0;

template <class T>
T& At(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

void QM_HOST_REGISTER SwitchView(void*) { ++g_switches; }
void QM_HOST_REGISTER Refresh(void*) { ++g_refreshes; }

const void* g_handlerMethods[SwitchViewSlot + 1] = {};
const void* g_viewMethods[RefreshSlot + 1] = {};
struct TView {
  const void* const* Methods;
} g_view = {g_viewMethods};

void Unregister(void* handler) {
  std::lock_guard<std::mutex> hold(g_lock);
  auto found = g_registry.find(At<char*>(handler, HandlerLayout::File));
  if (found != g_registry.end() && found->second == handler) g_registry.erase(found);
}

} // namespace

extern "C" {

// Brings the handler's file registration up to date (the enclosing frame
// on the stack; the handler is the enclosing routine's first local).
void __cdecl delphicore_SyncFileRegistration(char* frame) QM_HOST_SYMBOL(delphicore_SyncFileRegistration);
void __cdecl delphicore_SyncFileRegistration(char* frame) {
  void* handler = *reinterpret_cast<void**>(frame - 4);
  if (At<std::uint8_t>(handler, HandlerLayout::Removed)) {
    Unregister(handler);
    return;
  }
  std::lock_guard<std::mutex> hold(g_lock);
  g_registry[At<char*>(handler, HandlerLayout::File)] = handler;
}

std::int32_t QM_HOST_REGISTER delphicore_HandlerItemCount(void* handler) QM_HOST_SYMBOL(delphicore_HandlerItemCount);
std::int32_t QM_HOST_REGISTER delphicore_HandlerItemCount(void* handler) {
  return At<std::int32_t>(handler, HandlerLayout::Count);
}

void* QM_HOST_REGISTER delphicore_HandlerItem(void* handler, std::int32_t index) QM_HOST_SYMBOL(delphicore_HandlerItem);
void* QM_HOST_REGISTER delphicore_HandlerItem(void* handler, std::int32_t index) {
  return At<void**>(handler, HandlerLayout::Items)[index];
}

void QM_HOST_REGISTER delphicore_NotifyItem(void*) QM_HOST_SYMBOL(delphicore_NotifyItem);
void QM_HOST_REGISTER delphicore_NotifyItem(void*) { ++g_notified; }

// TObject.Free for a handler (EAX).
void QM_HOST_REGISTER delphicore_FreeHandler(void* handler) QM_HOST_SYMBOL(delphicore_FreeHandler);
void QM_HOST_REGISTER delphicore_FreeHandler(void* handler) {
  if (!handler) return;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    g_freed.insert(handler);
  }
  std::free(At<char*>(handler, HandlerLayout::File));
  std::free(At<void**>(handler, HandlerLayout::Items));
  std::free(handler);
}

void* __stdcall DelphiModuleNewHandler(const char* file, int showsForm, int items) {
  g_handlerMethods[SwitchViewSlot] = reinterpret_cast<const void*>(&SwitchView);
  g_viewMethods[RefreshSlot] = reinterpret_cast<const void*>(&Refresh);
  void* handler = std::calloc(1, HandlerLayout::Size);
  At<const void* const*>(handler, HandlerLayout::Methods) = g_handlerMethods;
  At<TView*>(handler, HandlerLayout::View) = &g_view;
  At<std::uint8_t>(handler, HandlerLayout::ShowsForm) = showsForm ? 1 : 0;
  char* name = static_cast<char*>(std::malloc(std::strlen(file) + 1));
  std::strcpy(name, file);
  At<char*>(handler, HandlerLayout::File) = name;
  void** list = static_cast<void**>(std::calloc(size_t(items) + 1, sizeof(void*)));
  for (int i = 0; i < items; ++i) list[i] = reinterpret_cast<void*>(std::uintptr_t(0x1000 + i));
  At<void**>(handler, HandlerLayout::Items) = list;
  At<std::int32_t>(handler, HandlerLayout::Count) = items;
  std::lock_guard<std::mutex> hold(g_lock);
  g_freed.erase(handler);
  g_registry[name] = handler;
  return handler;
}

void __stdcall DelphiModuleMarkRemoved(void* handler) { At<std::uint8_t>(handler, HandlerLayout::Removed) = 1; }

int __stdcall DelphiModuleRegistered(const char* file) {
  std::lock_guard<std::mutex> hold(g_lock);
  return g_registry.count(file) ? 1 : 0;
}

int __stdcall DelphiModuleFreed(const void* handler) {
  std::lock_guard<std::mutex> hold(g_lock);
  return g_freed.count(handler) ? 1 : 0;
}

void __stdcall DelphiModuleCounts(int* refreshes, int* notified, int* switches) {
  if (refreshes) *refreshes = g_refreshes;
  if (notified) *notified = g_notified;
  if (switches) *switches = g_switches;
}

void __stdcall DelphiModuleFreeHandler(void* handler) {
  if (!handler) return;
  Unregister(handler);
  delphicore_FreeHandler(handler);
}

} // extern "C"

static_assert(std::is_same_v<decltype(&DelphiModuleNewHandler), NewHandlerFn>, "NewHandler");
static_assert(std::is_same_v<decltype(&DelphiModuleMarkRemoved), MarkRemovedFn>, "MarkRemoved");
static_assert(std::is_same_v<decltype(&DelphiModuleRegistered), RegisteredFn>, "Registered");
static_assert(std::is_same_v<decltype(&DelphiModuleFreed), FreedFn>, "Freed");
static_assert(std::is_same_v<decltype(&DelphiModuleCounts), CountsFn>, "Counts");
static_assert(std::is_same_v<decltype(&DelphiModuleFreeHandler), FreeHandlerFn>, "FreeHandler");

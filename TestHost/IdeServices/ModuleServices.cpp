#include "IdeServices/ModuleServices.h"

#include <algorithm>
#include <vector>

#include "Common/HostRtl.h"
#include "Common/Journal.h"
#include "IdeServices/IdeServices.h"

namespace QmHost {

const GUID ModuleServicesId = {0x55A5E848, 0x27FB, 0x4880, {0x8E, 0x7C, 0x7F, 0x05, 0xA9, 0x80, 0x24, 0x82}};
// The module interface: the test host's own identifier.
const GUID ModuleId = {0x7D5E1C20, 0x3F4B, 0x4C8A, {0x9E, 0x21, 0x5A, 0x6B, 0x7C, 0x8D, 0x9E, 0x01}};

struct Module {
  ComObject Object;
  std::wstring FileName;
  std::vector<void*> Notifiers;  // index - 1 → notifier, null once removed
  ComObject* Editor = nullptr;
};

namespace {

const GUID EditorId = {0x7D5E1C20, 0x3F4B, 0x4C8A, {0x9E, 0x21, 0x5A, 0x6B, 0x7C, 0x8D, 0x9E, 0x02}};
constexpr int FindModuleSlot = 9;
constexpr int AddNotifierSlot = 3;
constexpr int GetFileNameSlot = 6;
constexpr int RemoveNotifierSlot = 13;
constexpr int CurrentEditorSlot = 18;

// Open, in opening order; never destroyed (experts may call in while the process ends).
std::vector<Module*>& g_modules = *new std::vector<Module*>();

Module* Of(ComObject* object) { return reinterpret_cast<Module*>(object); }

bool SameFile(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_EQUAL;
}

void DestroyModule(ComObject* object) {
  Module* module = Of(object);
  if (module->Editor) ComRelease(module->Editor);
  delete module;
}

void DestroyEditor(ComObject* object) { delete object; }

void QM_HOST_REGISTER FindModule(ComObject*, const wchar_t* fileName, void** result) {
  void* old = *result;
  *result = nullptr;
  if (Module* module = FindOpenModule(HostStringText(fileName))) {
    ComAddRef(&module->Object);
    *result = &module->Object;
  }
  if (old) ReleaseInterface(old);
}

int QM_HOST_REGISTER ModuleAddNotifier(ComObject* self, void* notifier) {
  if (!notifier) return -1;
  Module* module = Of(self);
  AddRefInterface(notifier);
  module->Notifiers.push_back(notifier);
  const int index = int(module->Notifiers.size());
  ServicesJournal(L"MODULE-NOTIFIER-ADD " + JournalEscape(module->FileName) + L" " + std::to_wstring(index));
  return index;
}

void QM_HOST_REGISTER ModuleRemoveNotifier(ComObject* self, int index) {
  Module* module = Of(self);
  if (index < 1 || size_t(index) > module->Notifiers.size() || !module->Notifiers[size_t(index - 1)]) {
    ServicesJournal(L"MODULE-NOTIFIER-REMOVE " + JournalEscape(module->FileName) + L" " + std::to_wstring(index) +
                    L" unknown");
    return;
  }
  void* notifier = module->Notifiers[size_t(index - 1)];
  module->Notifiers[size_t(index - 1)] = nullptr;
  ServicesJournal(L"MODULE-NOTIFIER-REMOVE " + JournalEscape(module->FileName) + L" " + std::to_wstring(index));
  ReleaseInterface(notifier);
}

void QM_HOST_REGISTER GetFileName(ComObject* self, wchar_t** result) {
  const HostRtl* rtl = LoadedHostRtl();
  if (!rtl) return;
  rtl->Release(*result);
  *result = rtl->NewString(Of(self)->FileName);
}

void QM_HOST_REGISTER CurrentEditor(ComObject* self, void** result) {
  void* old = *result;
  *result = nullptr;
  if (ComObject* editor = Of(self)->Editor) {
    ComAddRef(editor);
    *result = editor;
  }
  if (old) ReleaseInterface(old);
}

// Tells every notifier of the module (the list is read afresh: a notifier may remove itself).
template <class F>
void ForEachNotifier(Module* module, F&& tell) {
  ComAddRef(&module->Object);
  for (size_t i = 0; i < module->Notifiers.size(); ++i) {
    void* notifier = module->Notifiers[i];
    if (!notifier) continue;
    AddRefInterface(notifier);
    tell(notifier);
    ReleaseInterface(notifier);
  }
  ComRelease(&module->Object);
}

} // namespace

MethodTable& ModuleServicesMethods() {
  // Never destroyed (as the lists): experts may call in while the process ends.
  static MethodTable& table = *new MethodTable([] {
    MethodTable t(24);
    t.Set(FindModuleSlot, reinterpret_cast<const void*>(&FindModule));
    return t;
  }());
  return table;
}

MethodTable& ModuleMethods() {
  static MethodTable& table = *new MethodTable([] {
    MethodTable t(40);
    t.Set(AddNotifierSlot, reinterpret_cast<const void*>(&ModuleAddNotifier));
    t.Set(GetFileNameSlot, reinterpret_cast<const void*>(&GetFileName));
    t.Set(RemoveNotifierSlot, reinterpret_cast<const void*>(&ModuleRemoveNotifier));
    t.Set(CurrentEditorSlot, reinterpret_cast<const void*>(&CurrentEditor));
    return t;
  }());
  return table;
}

ComObject* ModuleServices() {
  static ComObject object = {ModuleServicesMethods().Get(), 1, &ModuleServicesId, 1, L"ModuleServices", nullptr};
  return &object;
}

Module* OpenModule(const std::wstring& fileName, bool withEditor) {
  if (Module* open = FindOpenModule(fileName)) return open;
  auto* module = new Module{{ModuleMethods().Get(), 1, &ModuleId, 1, L"Module", &DestroyModule}, fileName, {}, nullptr};
  static const MethodTable& editorMethods = *new MethodTable(3);
  if (withEditor) module->Editor = new ComObject{editorMethods.Get(), 1, &EditorId, 1, L"Editor", &DestroyEditor};
  g_modules.push_back(module);
  ServicesJournal(L"MODULE-OPEN " + JournalEscape(fileName));
  NotifyFile(1, fileName);
  return module;
}

Module* FindOpenModule(const std::wstring& fileName) {
  for (Module* module : g_modules)
    if (SameFile(module->FileName, fileName)) return module;
  return nullptr;
}

void ModifyModule(Module* module) {
  using TModified = void(QM_HOST_REGISTER*)(void* self);
  ForEachNotifier(module, [](void* notifier) { InterfaceMethod<TModified>(notifier, NotifierSlot::Modified)(notifier); });
}

void RenameModule(Module* module, const std::wstring& newName) {
  using TRenamed = void(QM_HOST_REGISTER*)(void* self, const wchar_t* newName);
  const HostRtl* rtl = LoadedHostRtl();
  wchar_t* name = rtl ? rtl->NewString(newName) : nullptr;
  ForEachNotifier(module, [name](void* notifier) {
    InterfaceMethod<TRenamed>(notifier, NotifierSlot::ModuleRenamed)(notifier, name);
  });
  if (rtl) rtl->Release(name);
  module->FileName = newName;
}

void CloseModule(Module* module) {
  using TDestroyed = void(QM_HOST_REGISTER*)(void* self);
  auto it = std::find(g_modules.begin(), g_modules.end(), module);
  if (it == g_modules.end()) return;
  g_modules.erase(it);
  ForEachNotifier(module, [](void* notifier) { InterfaceMethod<TDestroyed>(notifier, NotifierSlot::Destroyed)(notifier); });
  // Notifiers still registered lose the module's reference.
  int left = 0;
  for (void*& notifier : module->Notifiers) {
    if (!notifier) continue;
    ++left;
    void* held = notifier;
    notifier = nullptr;
    ReleaseInterface(held);
  }
  ServicesJournal(L"MODULE-CLOSE " + JournalEscape(module->FileName) + L" notifiers=" + std::to_wstring(left));
  NotifyFile(2, module->FileName);
  ComRelease(&module->Object);
}

void CloseAllModules() {
  while (!g_modules.empty()) CloseModule(g_modules.back());
}

int ModuleNotifierCount(const Module* module) {
  int count = 0;
  for (void* notifier : module->Notifiers) count += notifier != nullptr;
  return count;
}

int AllModuleNotifiers() {
  int count = 0;
  for (const Module* module : g_modules) count += ModuleNotifierCount(module);
  return count;
}

} // namespace QmHost

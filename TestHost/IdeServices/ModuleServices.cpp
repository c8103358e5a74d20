#include "IdeServices/ModuleServices.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "Common/HostRtl.h"
#include "Common/Journal.h"
#include "IdeServices/IdeServices.h"

namespace QmHost {

const GUID ModuleServicesId = {0x55A5E848, 0x27FB, 0x4880, {0x8E, 0x7C, 0x7F, 0x05, 0xA9, 0x80, 0x24, 0x82}};
// The module interface: the test host's own identifier.
const GUID ModuleId = {0x7D5E1C20, 0x3F4B, 0x4C8A, {0x9E, 0x21, 0x5A, 0x6B, 0x7C, 0x8D, 0x9E, 0x01}};

// A module's editor: the module's file; a modification time once its buffer has one.
struct EditorObject {
  ComObject Object;
  std::wstring FileName;
  bool Timed = false;
  double Modified = 0;
};

struct Module {
  ComObject Object;
  std::wstring FileName;
  std::vector<void*> Notifiers;  // index - 1 → notifier, null once removed
  EditorObject* Editor = nullptr;
};

namespace {

const GUID EditorId = {0x7D5E1C20, 0x3F4B, 0x4C8A, {0x9E, 0x21, 0x5A, 0x6B, 0x7C, 0x8D, 0x9E, 0x02}};
// An editor's own interface, then the modification-time one (answered once it has a time).
const GUID EditorIds[2] = {EditorId, {0x748FB436, 0x59B9, 0x495D, {0x8A, 0xC8, 0x80, 0x7C, 0xF6, 0x62, 0x29, 0x67}}};
constexpr int FindModuleSlot = 9;
constexpr int AddNotifierSlot = 3;
constexpr int GetFileNameSlot = 6;
constexpr int RemoveNotifierSlot = 13;
constexpr int CurrentEditorSlot = 18;
constexpr int ModuleCountSlot = 10;
constexpr int ModuleAtSlot = 11;
constexpr int FileCountSlot = 8;
constexpr int FileEditorSlot = 9;
constexpr int EditorFileNameSlot = 4;
constexpr int EditorModifiedSlot = 5;
constexpr double DaysFrom1601To1899 = 109205.0;
constexpr double TicksPerDay = 864000000000.0;

// Open, in opening order; never destroyed (experts may call in while the process ends).
std::vector<Module*>& g_modules = *new std::vector<Module*>();

Module* Of(ComObject* object) { return reinterpret_cast<Module*>(object); }

bool SameFile(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_EQUAL;
}

void DestroyModule(ComObject* object) {
  Module* module = Of(object);
  if (module->Editor) ComRelease(&module->Editor->Object);
  delete module;
}

void DestroyEditor(ComObject* object) { delete reinterpret_cast<EditorObject*>(object); }

// The caller's variable gets `object` with a reference; its old value is released.
void AssignInterface(void** result, ComObject* object) {
  void* old = *result;
  *result = nullptr;
  if (object) {
    ComAddRef(object);
    *result = object;
  }
  if (old) ReleaseInterface(old);
}

void AssignString(wchar_t** result, const std::wstring& text) {
  const HostRtl* rtl = LoadedHostRtl();
  if (!rtl) return;
  rtl->Release(*result);
  *result = rtl->NewString(text);
}

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
  AssignInterface(result, Of(self)->Editor ? &Of(self)->Editor->Object : nullptr);
}

int QM_HOST_REGISTER ModuleFileCount(ComObject* self) { return Of(self)->Editor ? 1 : 0; }

void QM_HOST_REGISTER ModuleFileEditor(ComObject* self, int index, void** result) {
  AssignInterface(result, index == 0 && Of(self)->Editor ? &Of(self)->Editor->Object : nullptr);
}

int QM_HOST_REGISTER ModuleCount(ComObject*) { return int(g_modules.size()); }

void QM_HOST_REGISTER ModuleAt(ComObject*, int index, void** result) {
  AssignInterface(result, index >= 0 && size_t(index) < g_modules.size() ? &g_modules[size_t(index)]->Object : nullptr);
}

void QM_HOST_REGISTER EditorFileName(ComObject* self, wchar_t** result) {
  AssignString(result, reinterpret_cast<EditorObject*>(self)->FileName);
}

double QM_HOST_REGISTER EditorModified(ComObject* self) { return reinterpret_cast<EditorObject*>(self)->Modified; }

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
    t.Set(ModuleCountSlot, reinterpret_cast<const void*>(&ModuleCount));
    t.Set(ModuleAtSlot, reinterpret_cast<const void*>(&ModuleAt));
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
    t.Set(FileCountSlot, reinterpret_cast<const void*>(&ModuleFileCount));
    t.Set(FileEditorSlot, reinterpret_cast<const void*>(&ModuleFileEditor));
    return t;
  }());
  return table;
}

ComObject* ModuleServices() {
  static ComObject object = {ModuleServicesMethods().Get(), 1, &ModuleServicesId, 1, L"ModuleServices", nullptr};
  return &object;
}

ComObject* ModuleObject(Module* module) { return &module->Object; }

Module* OpenModule(const std::wstring& fileName, bool withEditor) {
  if (Module* open = FindOpenModule(fileName)) return open;
  auto* module = new Module{{ModuleMethods().Get(), 1, &ModuleId, 1, L"Module", &DestroyModule}, fileName, {}, nullptr};
  static const MethodTable& editorMethods = *new MethodTable([] {
    MethodTable t(6);
    t.Set(EditorFileNameSlot, reinterpret_cast<const void*>(&EditorFileName));
    t.Set(EditorModifiedSlot, reinterpret_cast<const void*>(&EditorModified));
    return t;
  }());
  if (withEditor)
    module->Editor = new EditorObject{{editorMethods.Get(), 1, EditorIds, 1, L"Editor", &DestroyEditor}, fileName};
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
  if (module->Editor) module->Editor->FileName = newName;
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

int OpenModuleCount() { return int(g_modules.size()); }

void SetEditorModified(Module* module, double modified) {
  if (!module->Editor) return;
  module->Editor->Timed = true;
  module->Editor->Modified = modified;
  module->Editor->Object.iidCount = 2;
}

bool EditorModifiedTime(const std::wstring& fullPath, double& modified) {
  for (const Module* module : g_modules)
    if (const EditorObject* editor = module->Editor)
      if (editor->Timed && SameFile(editor->FileName, fullPath)) {
        modified = editor->Modified;
        return true;
      }
  return false;
}

double DateTimeOfLocalFileTime(const FILETIME& local) {
  const uint64_t ticks = (uint64_t(local.dwHighDateTime) << 32) | local.dwLowDateTime;
  return double(ticks) / TicksPerDay - DaysFrom1601To1899;
}

FILETIME LocalFileTimeOfDateTime(double dateTime) {
  const int64_t milliseconds = std::llround((dateTime + DaysFrom1601To1899) * 86400000.0);
  const uint64_t ticks = uint64_t(milliseconds) * 10000;
  return FILETIME{DWORD(ticks), DWORD(ticks >> 32)};
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

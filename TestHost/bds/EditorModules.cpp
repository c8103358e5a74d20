#include "EditorModules.h"

#include <cmath>
#include <vector>

#include "Common/HostRtl.h"
#include "HostApp.h"

namespace QmHost {

namespace {

const GUID kModuleServices = {0x55A5E848, 0x27FB, 0x4880, {0x8E, 0x7C, 0x7F, 0x05, 0xA9, 0x80, 0x24, 0x82}};
const GUID kEditorTime = {0x748FB436, 0x59B9, 0x495D, {0x8A, 0xC8, 0x80, 0x7C, 0xF6, 0x62, 0x29, 0x67}};
// The module and editor interfaces' own identifiers (the test host's).
const GUID kModule = {0x3C8A5D10, 0x6E2B, 0x4F71, {0x9A, 0x40, 0x2D, 0x11, 0x5B, 0x7E, 0x61, 0x01}};
const GUID kEditor = {0x3C8A5D10, 0x6E2B, 0x4F71, {0x9A, 0x40, 0x2D, 0x11, 0x5B, 0x7E, 0x61, 0x02}};
const GUID kIUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

constexpr double DaysFrom1601To1899 = 109205.0;
constexpr double TicksPerDay = 864000000000.0;

struct Editor {
  ServiceObject Object;
  std::wstring FileName;
  bool Timed;
  double Modified;
};

struct Module {
  ServiceObject Object;
  std::wstring FileName;
  std::vector<Editor*> Editors;
};

std::vector<Module*> g_modules;

void AssignString(wchar_t** result, const std::wstring& text) {
  const HostRtl& rtl = App().rtl;
  rtl.Release(*result);
  *result = rtl.NewString(text);
}

void AssignInterface(void** result, ServiceObject* object) {
  if (void* old = *result) {  // the caller's earlier reference
    using TRelease = ULONG(__stdcall*)(void*);
    reinterpret_cast<TRelease>(const_cast<void*>((*static_cast<const void* const* const*>(old))[2]))(old);
  }
  *result = nullptr;
  if (!object) return;
  ServiceAddRef(object);
  *result = object;
}

// An editor answers its own interface and, when it has a time, the time interface.
HRESULT __stdcall EditorQueryInterface(ServiceObject* self, const GUID* iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  auto* editor = reinterpret_cast<Editor*>(self);
  if (IsEqualGUID(*iid, kIUnknown) || IsEqualGUID(*iid, kEditor) || (editor->Timed && IsEqualGUID(*iid, kEditorTime))) {
    ServiceAddRef(self);
    *out = self;
    return S_OK;
  }
  return E_NOINTERFACE;
}

void QM_HOST_REGISTER EditorFileName(ServiceObject* self, wchar_t** result) {
  AssignString(result, reinterpret_cast<Editor*>(self)->FileName);
}

double QM_HOST_REGISTER EditorModified(ServiceObject* self) { return reinterpret_cast<Editor*>(self)->Modified; }

const void* const kEditorMethods[] = {
    reinterpret_cast<const void*>(&EditorQueryInterface), reinterpret_cast<const void*>(&ServiceAddRef),
    reinterpret_cast<const void*>(&ServiceRelease),       reinterpret_cast<const void*>(&UnsupportedMethod<3>),
    reinterpret_cast<const void*>(&EditorFileName),       reinterpret_cast<const void*>(&EditorModified),
};

void QM_HOST_REGISTER ModuleFileName(ServiceObject* self, wchar_t** result) {
  AssignString(result, reinterpret_cast<Module*>(self)->FileName);
}

int QM_HOST_REGISTER ModuleFileCount(ServiceObject* self) { return int(reinterpret_cast<Module*>(self)->Editors.size()); }

void QM_HOST_REGISTER ModuleFileEditor(ServiceObject* self, int index, void** result) {
  Module* module = reinterpret_cast<Module*>(self);
  AssignInterface(result, index >= 0 && size_t(index) < module->Editors.size() ? &module->Editors[size_t(index)]->Object
                                                                              : nullptr);
}

const void* const kModuleMethods[] = {
    reinterpret_cast<const void*>(&ServiceQueryInterface), reinterpret_cast<const void*>(&ServiceAddRef),
    reinterpret_cast<const void*>(&ServiceRelease),        reinterpret_cast<const void*>(&UnsupportedMethod<3>),
    reinterpret_cast<const void*>(&UnsupportedMethod<4>),  reinterpret_cast<const void*>(&UnsupportedMethod<5>),
    reinterpret_cast<const void*>(&ModuleFileName),        reinterpret_cast<const void*>(&UnsupportedMethod<7>),
    reinterpret_cast<const void*>(&ModuleFileCount),       reinterpret_cast<const void*>(&ModuleFileEditor),
};

int QM_HOST_REGISTER ModuleCount(ServiceObject*) { return int(g_modules.size()); }

void QM_HOST_REGISTER ModuleAt(ServiceObject*, int index, void** result) {
  AssignInterface(result, index >= 0 && size_t(index) < g_modules.size() ? &g_modules[size_t(index)]->Object : nullptr);
}

const void* const kServiceMethods[] = {
    reinterpret_cast<const void*>(&ServiceQueryInterface), reinterpret_cast<const void*>(&ServiceAddRef),
    reinterpret_cast<const void*>(&ServiceRelease),        reinterpret_cast<const void*>(&UnsupportedMethod<3>),
    reinterpret_cast<const void*>(&UnsupportedMethod<4>),  reinterpret_cast<const void*>(&UnsupportedMethod<5>),
    reinterpret_cast<const void*>(&UnsupportedMethod<6>),  reinterpret_cast<const void*>(&UnsupportedMethod<7>),
    reinterpret_cast<const void*>(&UnsupportedMethod<8>),  reinterpret_cast<const void*>(&UnsupportedMethod<9>),
    reinterpret_cast<const void*>(&ModuleCount),           reinterpret_cast<const void*>(&ModuleAt),
};

ServiceObject g_services = {kServiceMethods, kModuleServices, L"ModuleServices", 1};

Module* NewModule(const std::wstring& fileName) {
  auto* module = new Module{{kModuleMethods, kModule, L"Module", 1}, fileName, {}};
  g_modules.push_back(module);
  return module;
}

void AddEditor(Module* module, bool timed, double modified) {
  module->Editors.push_back(new Editor{{kEditorMethods, kEditor, L"Editor", 1}, module->FileName, timed, modified});
}

} // namespace

ServiceObject* ModuleServices() { return &g_services; }

void OpenSourceModule(const std::wstring& fileName, double modified) { AddEditor(NewModule(fileName), true, modified); }

void OpenUntimedModule(const std::wstring& fileName) { AddEditor(NewModule(fileName), false, 0); }

void OpenFilelessModule(const std::wstring& fileName) { NewModule(fileName); }

// Modules stay allocated: an expert may still hold a reference.
void CloseAllModules() { g_modules.clear(); }

int OpenModuleCount() { return int(g_modules.size()); }

bool EditorModifiedTime(const std::wstring& fullPath, double& modified) {
  for (const Module* module : g_modules)
    for (const Editor* editor : module->Editors)
      if (editor->Timed && CompareStringOrdinal(editor->FileName.c_str(), int(editor->FileName.size()), fullPath.c_str(),
                                                int(fullPath.size()), TRUE) == CSTR_EQUAL) {
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

} // namespace QmHost

// vcl150.bpl's start-up: rtl150.bpl is bound (its TObject, Exception,
// TPersistent and TComponent become the roots of this library's classes),
// the class records are built, and live bitmap handles are counted from then
// on. The package entry points
// Initialize and Finalize have nothing left to do.
#include <windows.h>

#include <cstring>
#include <vector>

#include "BitmapHandleCounter.h"
#include "Common/HostClass.h"
#include "VclClasses.h"
#include "VclInternal.h"

using namespace QmHost;

extern "C" {
void* vcl_TObject_ClassVar = nullptr;
void* vcl_Exception_ClassVar = nullptr;
void* vcl_RtlObjectFree = nullptr;
}

namespace Vcl {

namespace {

struct TRegistration {
  const char* Name;
  const char* Parent;
  bool (*Build)();
  bool Built;
};

// Filled by static registrations before DllMain runs; never freed.
std::vector<TRegistration>& Registrations() {
  static auto* list = new std::vector<TRegistration>();
  return *list;
}

const HostRtl* g_rtl = nullptr;
LONG g_armedBitmapFailures = 0;

// Whether `name` is one of the space-separated names in `list`.
bool Names(const char* list, const char* name) {
  const size_t length = std::strlen(name);
  for (const char* at = list; *at;) {
    const char* end = std::strchr(at, ' ');
    const size_t size = end ? size_t(end - at) : std::strlen(at);
    if (size == length && std::strncmp(at, name, length) == 0) return true;
    if (!end) break;
    at = end + 1;
  }
  return false;
}

bool Known(const char* name) {
  for (const char* runtime : {"TObject", "Exception", "TPersistent", "TComponent"})
    if (std::strcmp(name, runtime) == 0) return true;
  for (const TRegistration& r : Registrations())
    if (r.Built && Names(r.Name, name)) return true;
  return false;
}

// rtl150.bpl is loaded before this package (its requirement); a process that
// loads this package alone gets it from the package's own directory.
HMODULE RuntimePackage() {
  if (HMODULE rtl = GetModuleHandleW(L"rtl150.bpl")) return rtl;
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&RuntimePackage), &self);
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
  while (n > 0 && path[n - 1] != L'\\' && path[n - 1] != L'/') --n;
  lstrcpyW(path + n, L"rtl150.bpl");
  return LoadLibraryW(path);
}

bool Start() {
  if (!RuntimePackage()) return false;
  g_rtl = LoadedHostRtl();
  if (!g_rtl) return false;
  HMODULE rtl = g_rtl->module;
  vcl_TObject_ClassVar = reinterpret_cast<void*>(GetProcAddress(rtl, "@System@TObject@"));
  vcl_Exception_ClassVar = g_rtl->exceptionClass;
  vcl_RtlObjectFree = reinterpret_cast<void*>(g_rtl->objectFree);
  const char* failed = nullptr;
  if (!vcl_TObject_ClassVar || !BindRuntimeComponents(rtl) || !BuildVclClasses(&failed)) return false;
  StartCountingBitmapHandles();
  return true;
}

} // namespace

VclClassRegistration::VclClassRegistration(const char* classes, const char* parent, bool (*build)()) {
  Registrations().push_back({classes, parent, build, false});
}

bool BuildVclClasses(const char** failed) {
  bool progress = true;
  while (progress) {
    progress = false;
    for (TRegistration& r : Registrations()) {
      if (r.Built || !Known(r.Parent)) continue;
      if (!r.Build()) {
        *failed = r.Name;
        return false;
      }
      r.Built = progress = true;
    }
  }
  for (TRegistration& r : Registrations())
    if (!r.Built) {
      *failed = r.Name;
      return false;
    }
  return true;
}

const HostRtl& Rtl() { return *g_rtl; }

void FreeObject(void* object) { g_rtl->objectFree(object); }

void RaiseError(void* classRef, const wchar_t* message) {
  wchar_t* text = g_rtl->NewString(message);
  void* error = g_rtl->exceptionCreate(classRef, 1, text);
  g_rtl->Release(text);
  g_rtl->raiseExcept(error);
  __builtin_unreachable();
}

bool TakeArmedBitmapFailure() {
  LONG armed = g_armedBitmapFailures;
  while (armed > 0) {
    LONG seen = InterlockedCompareExchange(&g_armedBitmapFailures, armed - 1, armed);
    if (seen == armed) return true;
    armed = seen;
  }
  return false;
}

void ArmBitmapFailures(int count) { InterlockedExchange(&g_armedBitmapFailures, count); }

void* ConstructorStart(void* classOrSelf, int alloc) {
  if (!(alloc & 0xFF)) return classOrSelf;
  using TNewInstance = void*(QM_HOST_REGISTER*)(void* classRef);
  return reinterpret_cast<TNewInstance>(VmtSlot(classOrSelf, kVmtNewInstance))(classOrSelf);
}

void ConstructorEnd(void* self, int alloc) {
  if (alloc & 0xFF) Root<TSelfFn>(self, kVmtAfterConstruction)(self);
}

void DestructorStart(void* self, int outermost) {
  if (outermost & 0xFF) Root<TSelfFn>(self, kVmtBeforeDestruction)(self);
}

void DestructorEnd(void* self, int outermost) {
  if (outermost & 0xFF) Root<TSelfFn>(self, kVmtFreeInstance)(self);
}

void InheritedDestroy(void* self, void* classRef) {
  reinterpret_cast<TDestroyFn>(VmtSlot(HostParentClass(classRef), kVmtDestroy))(self, 0);
}

} // namespace Vcl

extern "C" {

// Package entry points (stdcall, no arguments): the module's load did the work.
void __stdcall vcl_PackageInitialize() {}
void __stdcall vcl_PackageFinalize() {}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      DisableThreadLibraryCalls(instance);
      return Vcl::Start() ? TRUE : FALSE;
    case DLL_PROCESS_DETACH:
      // An unload (not the process's end): the counting hooks must go with the code.
      if (!reserved) Vcl::StopCountingBitmapHandles();
      return TRUE;
    default:
      return TRUE;
  }
}

} // extern "C"

#include "Services.h"

#include <cstdio>
#include <vector>

#include "AboutBoxService.h"
#include "PaletteServices.h"
#include "HostApp.h"
#include "IdeServices/ServicesRoot.h"

namespace QmHost {

namespace {

std::vector<ServiceObject*>& Registry() {
  static std::vector<ServiceObject*> services;
  return services;
}

const GUID kIUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID kRootServices = {0x7A1B5C1D, 0x0D86, 0x4E8F, {0x9C, 0x3E, 0x51, 0x0B, 0x6F, 0x1A, 0x2C, 0x40}};

// The root answers for itself like any service, for every registered one,
// and for the tool services of the IDE services library (IdeServices/).
HRESULT __stdcall RootQueryInterface(ServiceObject* self, const GUID* iid, void** out) {
  HRESULT own = ServiceQueryInterface(self, iid, out);
  if (own != E_NOINTERFACE) return own;
  if (ServiceObject* service = FindService(*iid)) {
    ServiceAddRef(service);
    *out = service;
    return S_OK;
  }
  if (ComObject* service = FindIdeService(*iid)) {
    ComAddRef(service);
    *out = service;
    return S_OK;
  }
  return E_NOINTERFACE;
}

const void* const kRootMethods[] = {
    reinterpret_cast<const void*>(&RootQueryInterface),
    reinterpret_cast<const void*>(&ServiceAddRef),
    reinterpret_cast<const void*>(&ServiceRelease),
};

ServiceObject g_root = {kRootMethods, kRootServices, L"Services", 1};

} // namespace

HRESULT __stdcall ServiceQueryInterface(ServiceObject* self, const GUID* iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!iid) return E_POINTER;
  if (IsEqualGUID(*iid, kIUnknown) || IsEqualGUID(*iid, self->iid)) {
    ServiceAddRef(self);
    *out = self;
    return S_OK;
  }
  return E_NOINTERFACE;
}

ULONG __stdcall ServiceAddRef(ServiceObject* self) { return static_cast<ULONG>(InterlockedIncrement(&self->refCount)); }

// Service objects live as long as the process; the count only shows use.
ULONG __stdcall ServiceRelease(ServiceObject* self) { return static_cast<ULONG>(InterlockedDecrement(&self->refCount)); }

void JournalUnsupportedCall(ServiceObject* self, int index) {
  App().Log(L"SERVICE-UNSUPPORTED " + std::wstring(self->name) + L" " + std::to_wstring(index));
}

void RegisterService(ServiceObject* service) { Registry().push_back(service); }

ServiceObject* FindService(const GUID& iid) {
  for (ServiceObject* s : Registry())
    if (IsEqualGUID(s->iid, iid)) return s;
  return nullptr;
}

void* InstallServices() {
  // Every service the stand-in IDE offers, one line each.
  RegisterService(AboutBoxService());
  RegisterService(PaletteServices());
  SetServicesJournal([](const std::wstring& line) { App().Log(line); });
  return &g_root;
}

std::wstring GuidText(const GUID& g) {
  wchar_t buffer[40];
  swprintf(buffer, 40, L"{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
           g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return buffer;
}

} // namespace QmHost

#include "IdeServices/ServicesRoot.h"

#include <vector>

#include "IdeServices/IdeServices.h"
#include "IdeServices/ModuleServices.h"

namespace QmHost {

namespace {

struct Registered {
  GUID Iid;
  ComObject* Service;
};

std::vector<Registered>& Services() {
  // Never destroyed: experts may ask for services while the process ends.
  static std::vector<Registered>& services =
      *new std::vector<Registered>{{IdeServicesId, IdeServices()}, {ModuleServicesId, ModuleServices()}};
  return services;
}

const GUID RootId = {0x7D5E1C20, 0x3F4B, 0x4C8A, {0x9E, 0x21, 0x5A, 0x6B, 0x7C, 0x8D, 0x9E, 0x00}};

HRESULT __stdcall RootQueryInterface(ComObject* self, const GUID* iid, void** out) {
  HRESULT own = ComQueryInterface(self, iid, out);
  if (own != E_NOINTERFACE || !iid) return own;
  if (ComObject* service = FindIdeService(*iid)) {
    ComAddRef(service);
    *out = service;
    return S_OK;
  }
  return E_NOINTERFACE;
}

} // namespace

void RegisterIdeService(const GUID& iid, ComObject* service) { Services().push_back({iid, service}); }

ComObject* FindIdeService(const GUID& iid) {
  for (const Registered& r : Services())
    if (IsEqualGUID(r.Iid, iid)) return r.Service;
  return nullptr;
}

ComObject* ServicesRoot() {
  static const MethodTable& methods = *new MethodTable([] {
    MethodTable t(3);
    t.Set(0, reinterpret_cast<const void*>(&RootQueryInterface));
    return t;
  }());
  static ComObject root = {methods.Get(), 1, &RootId, 1, L"Services", nullptr};
  return &root;
}

} // namespace QmHost

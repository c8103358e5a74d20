// The Services object handed to experts: a COM-style object (IUnknown
// first, stdcall) whose QueryInterface hands out the service objects
// registered here by interface GUID.
//
// A service object is a ServiceObject whose method table lists the three
// IUnknown methods (ServiceQueryInterface, ServiceAddRef, ServiceRelease)
// followed by the interface's own methods. The IDE's tool-service
// interfaces are declared without a calling convention, so those methods
// use the host's register convention (QM_HOST_REGISTER, interface pointer
// in EAX). Slots a stand-in does not implement use UnsupportedMethod<n>.
// To add a service: define its method table and object in a file of its
// own, and call RegisterService from InstallServices (Services.cpp).
#pragma once

#include <windows.h>

#include <string>

#include "Common/HostLayout.h"

namespace QmHost {

struct ServiceObject {
  const void* const* methods;   // the interface's method table
  GUID iid;
  const wchar_t* name;          // for the journal
  LONG refCount;
};

HRESULT __stdcall ServiceQueryInterface(ServiceObject* self, const GUID* iid, void** out);
ULONG __stdcall ServiceAddRef(ServiceObject* self);
ULONG __stdcall ServiceRelease(ServiceObject* self);

// Journals "SERVICE-UNSUPPORTED <name> <index>" and returns 0. Safe for
// methods with up to three arguments (register-passed, nothing to pop).
void JournalUnsupportedCall(ServiceObject* self, int index);
template <int Index>
int QM_HOST_REGISTER UnsupportedMethod(ServiceObject* self) {
  JournalUnsupportedCall(self, Index);
  return 0;
}

void RegisterService(ServiceObject* service);
ServiceObject* FindService(const GUID& iid);

// Registers every service the stand-in offers; returns the root Services
// interface pointer.
void* InstallServices();

std::wstring GuidText(const GUID& guid);

} // namespace QmHost

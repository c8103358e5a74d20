// The Services interface an expert receives (IUnknown only): its
// QueryInterface hands out the IDE services, the module services and every
// service registered here. bds.exe's own root asks FindIdeService for what
// it does not offer itself.
#pragma once

#include <windows.h>

#include "IdeServices/ComObject.h"

namespace QmHost {

void RegisterIdeService(const GUID& iid, ComObject* service);
// The service for the interface, or null.
ComObject* FindIdeService(const GUID& iid);
// A root answering the registered services (for tests in their own process).
ComObject* ServicesRoot();

} // namespace QmHost

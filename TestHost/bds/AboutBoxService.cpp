#include "AboutBoxService.h"

#include "Common/HostRtl.h"
#include "HostApp.h"

namespace QmHost {

namespace {

const GUID kAboutBoxServices = {0x62A2F7FD, 0x16F1, 0x45B9, {0x94, 0x17, 0xA2, 0xD2, 0x93, 0xD0, 0x7A, 0x22}};

std::vector<AboutEntry> g_entries;
int g_nextIndex = 1;

// Stack arguments are declared in reverse: the host pushes them left to
// right, so the last one (ProductName) lies nearest the return address.
int QM_HOST_REGISTER AddPluginInfo(ServiceObject* self, const wchar_t* title, const wchar_t* description,
                                   const wchar_t* productName, const wchar_t* skuName,
                                   const wchar_t* licenseStatus, int isUnRegistered, HBITMAP image) {
  AboutEntry entry{g_nextIndex++, HostStringText(title), HostStringText(description)};
  App().Log(L"ABOUT-ADD " + std::to_wstring(entry.index) + L" " + JournalEscape(entry.title) + L"|" +
            JournalEscape(entry.description));
  g_entries.push_back(entry);
  return entry.index;
}

void QM_HOST_REGISTER RemovePluginInfo(ServiceObject* self, int index) {
  for (auto it = g_entries.begin(); it != g_entries.end(); ++it) {
    if (it->index == index) {
      g_entries.erase(it);
      App().Log(L"ABOUT-REMOVE " + std::to_wstring(index));
      return;
    }
  }
  App().Log(L"ABOUT-REMOVE " + std::to_wstring(index) + L" unknown");
}

const void* const kMethods[] = {
    reinterpret_cast<const void*>(&ServiceQueryInterface),
    reinterpret_cast<const void*>(&ServiceAddRef),
    reinterpret_cast<const void*>(&ServiceRelease),
    reinterpret_cast<const void*>(&UnsupportedMethod<3>),
    reinterpret_cast<const void*>(&UnsupportedMethod<4>),
    reinterpret_cast<const void*>(&RemovePluginInfo),
    reinterpret_cast<const void*>(&UnsupportedMethod<6>),
    reinterpret_cast<const void*>(&AddPluginInfo),
};

ServiceObject g_service = {kMethods, kAboutBoxServices, L"AboutBoxServices", 1};

} // namespace

ServiceObject* AboutBoxService() { return &g_service; }

const std::vector<AboutEntry>& AboutEntries() { return g_entries; }

} // namespace QmHost

#include "IdeServices/IdeServices.h"

#include <vector>

#include "Common/HostRtl.h"
#include "Common/Journal.h"

namespace QmHost {

const GUID IdeServicesId = {0x86602DE0, 0x50BF, 0x4AE5, {0xBA, 0xF4, 0xD9, 0x43, 0x8B, 0xD3, 0x32, 0x18}};

namespace {

constexpr int AddNotifierSlot = 3;
constexpr int RemoveNotifierSlot = 4;
constexpr int BaseRegistryKeySlot = 5;
constexpr int DefProjectDirectorySlot = 13;

std::wstring& g_baseRegistryKey = *new std::wstring();
std::wstring& g_defProjectDirectory = *new std::wstring();

// Index - 1 → notifier (null once removed); indices are never reused. Never
// destroyed: an expert may release what it registered while the process ends.
std::vector<void*>& g_notifiers = *new std::vector<void*>();

int QM_HOST_REGISTER AddNotifier(ComObject*, void* notifier) {
  if (!notifier) return -1;
  AddRefInterface(notifier);
  g_notifiers.push_back(notifier);
  const int index = int(g_notifiers.size());
  ServicesJournal(L"IDE-NOTIFIER-ADD " + std::to_wstring(index));
  return index;
}

void QM_HOST_REGISTER RemoveNotifier(ComObject*, int index) {
  if (index < 1 || size_t(index) > g_notifiers.size() || !g_notifiers[size_t(index - 1)]) {
    ServicesJournal(L"IDE-NOTIFIER-REMOVE " + std::to_wstring(index) + L" unknown");
    return;
  }
  void* notifier = g_notifiers[size_t(index - 1)];
  g_notifiers[size_t(index - 1)] = nullptr;
  ServicesJournal(L"IDE-NOTIFIER-REMOVE " + std::to_wstring(index));
  ReleaseInterface(notifier);
}

void QM_HOST_REGISTER GetBaseRegistryKey(ComObject*, wchar_t** result) {
  const HostRtl* rtl = LoadedHostRtl();
  if (!rtl) return;
  rtl->Release(*result);
  *result = rtl->NewString(g_baseRegistryKey);
}

void QM_HOST_REGISTER GetDefProjectDirectory(ComObject*, wchar_t** result) {
  const HostRtl* rtl = LoadedHostRtl();
  if (!rtl) return;
  rtl->Release(*result);
  *result = rtl->NewString(g_defProjectDirectory);
}

const MethodTable& Methods() {
  // Never destroyed (as the lists): experts may call in while the process ends.
  static const MethodTable& table = *new MethodTable([] {
    MethodTable t(14);
    t.Set(AddNotifierSlot, reinterpret_cast<const void*>(&AddNotifier));
    t.Set(RemoveNotifierSlot, reinterpret_cast<const void*>(&RemoveNotifier));
    t.Set(BaseRegistryKeySlot, reinterpret_cast<const void*>(&GetBaseRegistryKey));
    t.Set(DefProjectDirectorySlot, reinterpret_cast<const void*>(&GetDefProjectDirectory));
    return t;
  }());
  return table;
}

} // namespace

ComObject* IdeServices() {
  static ComObject object = {Methods().Get(), 1, &IdeServicesId, 1, L"IDEServices", nullptr};
  return &object;
}

bool NotifyFile(int code, const std::wstring& fileName) {
  using TFileNotification = void(QM_HOST_REGISTER*)(void* self, int code, const wchar_t* fileName, uint8_t* cancel);
  const HostRtl* rtl = LoadedHostRtl();
  wchar_t* name = rtl ? rtl->NewString(fileName) : nullptr;
  uint8_t cancel = 0;
  int told = 0;
  // A notifier may remove itself (or others) while it is told: the list is read afresh.
  for (size_t i = 0; i < g_notifiers.size(); ++i) {
    void* notifier = g_notifiers[i];
    if (!notifier) continue;
    AddRefInterface(notifier);
    InterfaceMethod<TFileNotification>(notifier, NotifierSlot::FileNotification)(notifier, code, name, &cancel);
    ReleaseInterface(notifier);
    ++told;
  }
  if (rtl) rtl->Release(name);
  ServicesJournal(L"FILE-NOTIFICATION " + std::to_wstring(code) + L" " + JournalEscape(fileName) +
                  L" notifiers=" + std::to_wstring(told));
  return cancel != 0;
}

void SetBaseRegistryKey(const std::wstring& key) { g_baseRegistryKey = key; }
void SetDefProjectDirectory(const std::wstring& directory) { g_defProjectDirectory = directory; }

int IdeNotifierCount() {
  int count = 0;
  for (void* notifier : g_notifiers) count += notifier != nullptr;
  return count;
}

} // namespace QmHost

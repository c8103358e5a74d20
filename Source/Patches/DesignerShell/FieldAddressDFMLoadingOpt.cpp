#include "Patches/DesignerShell/FieldAddressDFMLoadingOpt.h"

#include <algorithm>
#include <new>

#include "Framework/HostFinally.h"
#include "Framework/HostObjectModel.h"
#include "Framework/LibraryEntry.h"
#include "Hooking/MethodTables.h"
#include "Patches/DesignerShell/DesignerShellHost.h"

namespace Quillmend {

using namespace DesignerShellHost;

TInitInheritedComponent OrgInitInheritedComponent = nullptr;
TFieldAddressShort HostFieldAddressShort = nullptr;

namespace {

// The form being loaded on this thread and its fields; put back by the
// load that set them, so a nested load (a frame inside a form) hands its
// owner's back.
thread_local void* g_loadingInstance = nullptr;
thread_local const TFieldNameList* g_loadingFields = nullptr;

uint8_t FoldAscii(uint8_t c) { return c >= 'A' && c <= 'Z' ? uint8_t(c + 32) : c; }

// ASCII-folded bytes compared (<0, 0, >0), names of one length.
int CompareFolded(const uint8_t* a, const uint8_t* b, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (a[i] == b[i]) continue;
    const int d = int(FoldAscii(a[i])) - int(FoldAscii(b[i]));
    if (d) return d;
  }
  return 0;
}

uint32_t Read32(const uint8_t* p) { return uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24); }

} // namespace

uint32_t TFieldNameList::KeyOf(const uint8_t* name, size_t length) {
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < length; ++i) hash = (hash ^ FoldAscii(name[i])) * 16777619u;
  return uint32_t(length) << 24 | ((hash >> 24 ^ hash) & 0xFFFFFF);
}

int TFieldNameList::Compare(const TEntry& a, uint32_t key, const uint8_t* name) {
  if (a.Key != key) return a.Key < key ? -1 : 1;
  return CompareFolded(a.Name + 1, name, a.Name[0]);
}

// Field table: 16-bit count, the class table's address, then entries of a
// 32-bit offset, a 16-bit class index and the name as a short string.
TFieldNameList::TFieldNameList(const void* classRef) {
  for (const void* c = classRef; c; c = HostClassParent(c)) {
    auto* table = static_cast<const uint8_t*>(HostClassSlot(c, HostClassLayout::FieldTable));
    if (!table) continue;
    const uint8_t* entry = table + 6;
    for (int i = table[0] | table[1] << 8; i > 0; --i, entry += 7 + entry[6])
      FEntries.push_back({KeyOf(entry + 7, entry[6]), entry + 6, int32_t(Read32(entry))});
  }
  // Stable: among equal names the one met first in the walk, the most
  // derived class's, stays first and the others go.
  std::stable_sort(FEntries.begin(), FEntries.end(),
                   [](const TEntry& a, const TEntry& b) { return Compare(a, b.Key, b.Name + 1) < 0; });
  FEntries.erase(std::unique(FEntries.begin(), FEntries.end(),
                             [](const TEntry& a, const TEntry& b) { return Compare(a, b.Key, b.Name + 1) == 0; }),
                 FEntries.end());
}

int32_t TFieldNameList::Find(const uint8_t* name, size_t length) const {
  if (length > 255) return -1;
  const uint32_t key = KeyOf(name, length);
  size_t low = 0, high = FEntries.size();
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    const int d = Compare(FEntries[middle], key, name);
    if (d == 0) return FEntries[middle].Offset;
    if (d < 0)
      low = middle + 1;
    else
      high = middle;
  }
  return -1;
}

void HostNameToShortUtf8(const wchar_t* name, uint8_t (&shortName)[256]) {
  size_t length = 0;
  for (const wchar_t* at = name; at && *at;) {
    uint32_t c = *at++;
    if (c >= 0xD800 && c <= 0xDBFF && *at >= 0xDC00 && *at <= 0xDFFF)
      c = 0x10000 + ((c - 0xD800) << 10) + (uint32_t(*at++) - 0xDC00);
    else if (c >= 0xD800 && c <= 0xDFFF)
      c = 0xFFFD;
    const size_t size = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    if (length + size > 255) break;
    uint8_t* out = shortName + 1 + length;
    if (size == 1) {
      out[0] = uint8_t(c);
    } else {
      for (size_t i = size - 1; i > 0; --i, c >>= 6) out[i] = uint8_t(0x80 | (c & 0x3F));
      out[0] = uint8_t((0xF00u >> size) | c);
    }
    length += size;
  }
  shortName[0] = uint8_t(length);
}

uint8_t QM_REGISTER InitInheritedComponentReplacement(void* instance, void* rootAncestor) {
  TFieldNameList* fields = nullptr;
  if (instance) {
    try {
      fields = new TFieldNameList(HostClassOf(instance));
    } catch (const std::bad_alloc&) {
      fields = nullptr;  // the load goes on with the run-time's look-ups
    }
  }
  if (!fields) return OrgInitInheritedComponent(instance, rootAncestor);
  void* const outerInstance = g_loadingInstance;
  const TFieldNameList* const outerFields = g_loadingFields;
  g_loadingInstance = instance;
  g_loadingFields = fields;
  uint8_t result = 0;
  HostTryFinally([&] { result = OrgInitInheritedComponent(instance, rootAncestor); },
                 [&]() noexcept {
                   g_loadingInstance = outerInstance;
                   g_loadingFields = outerFields;
                   delete fields;
                 });
  return result;
}

void* QM_REGISTER FieldAddressReplacement(void* self, const wchar_t* name) {
  if (!name || !*name) return nullptr;
  uint8_t shortName[256];
  HostNameToShortUtf8(name, shortName);
  const TFieldNameList* fields = g_loadingFields;
  if (!self || self != g_loadingInstance || !fields) return HostFieldAddressShort(self, shortName);
  const int32_t offset = fields->Find(shortName + 1, shortName[0]);
  return offset < 0 ? nullptr : static_cast<char*>(self) + offset;
}

void* FieldAddressLoadingInstance() { return g_loadingInstance; }
const TFieldNameList* FieldAddressLoadingList() { return g_loadingFields; }

TPatchPlan FieldAddressPlan() {
  TPatchPlan plan(L"RTL.FieldAddress", L"DFM FieldAddress performance");
  TSiteRef init = plan.Export(L"InitInheritedComponent", Rtl, Export::InitInheritedComponent);
  TSiteRef fieldAddress = plan.Export(L"TObject.FieldAddress", Rtl, Export::FieldAddress);
  TSiteRef shortOverload = plan.Export(L"TObject.FieldAddress(ShortString)", Rtl, Export::FieldAddressShort);
  TCaptureRef shortAddress = plan.Address(shortOverload);
  plan.RedirectOrgCall(init, &InitInheritedComponentReplacement, reinterpret_cast<void**>(&OrgInitInheritedComponent));
  plan.Redirect(fieldAddress, &FieldAddressReplacement);
  plan.OnCommit([=](const TPlanValues& v) { HostFieldAddressShort = v.Get<TFieldAddressShort>(shortAddress); });
  return plan;
}

void InstallFieldAddressDFMLoadingOpt() {
  TPatchPlan plan = FieldAddressPlan();
  InstallPlan(plan);
}

namespace {

void InitializeFieldAddressDFMLoadingOpt() { AddWizardInitProc(&InstallFieldAddressDFMLoadingOpt); }

std::vector<TPatchPlan> FieldAddressDFMLoadingOptPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(FieldAddressPlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_FieldAddressDFMLoadingOpt = {"FieldAddressDFMLoadingOpt", &InitializeFieldAddressDFMLoadingOpt,
                                                  nullptr, &FieldAddressDFMLoadingOptPlans};

} // namespace Quillmend

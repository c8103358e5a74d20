// The component tool bar's tabs, the host's way: FillTabs asks
// FindComponentGroupName (through its export) for every item, and that walks
// the whole palette each time.
#include <windows.h>

#include <string>
#include <type_traits>

#include "Common/HostRtl.h"
#include "ToolbarDriver.h"
#include "coreide150/PaletteDriver.h"
#include "delphicoreide150/PaletteManagerDriver.h"
#include "rtl150/ObjectModelDriver.h"

using namespace QmHost;
using namespace ToolbarDriver;

extern "C" {
void QM_HOST_REGISTER ToolbarFillTabs(void* frame) QM_HOST_SYMBOL(ToolbarFillTabs);
void QM_HOST_REGISTER ToolbarFindComponentGroupName(void* frame, const wchar_t* name, wchar_t** result)
    QM_HOST_SYMBOL(ToolbarFindComponentGroupName);
}

namespace {

using QueryFn = HRESULT(__stdcall*)(void*, const GUID*, void**);
using RefFn = ULONG(__stdcall*)(void*);
using StringMethodFn = void(QM_HOST_REGISTER*)(void*, wchar_t**);
using CountMethodFn = std::int32_t(QM_HOST_REGISTER*)(void*);
using ItemMethodFn = void(QM_HOST_REGISTER*)(void*, std::int32_t, void**);
using BoolMethodFn = std::uint32_t(QM_HOST_REGISTER*)(void*);

const HostRtl& Rtl() { return *LoadedHostRtl(); }

template <class Fn>
Fn Method(void* intf, int index) {
  return reinterpret_cast<Fn>((*static_cast<void* const* const*>(intf))[index]);
}
void Release(void* intf) {
  if (intf) Method<RefFn>(intf, 2)(intf);
}
void* Query(void* intf, const GUID& iid) {
  void* out = nullptr;
  return Method<QueryFn>(intf, 0)(intf, &iid, &out) == S_OK ? out : nullptr;
}
std::wstring Text(const wchar_t* s) { return s ? std::wstring(s, static_cast<std::size_t>(StrHeader(s)->length)) : std::wstring(); }
std::wstring StringOf(void* intf, int slot) {
  wchar_t* s = nullptr;
  Method<StringMethodFn>(intf, slot)(intf, &s);
  std::wstring text = Text(s);
  Rtl().Release(s);
  return text;
}

struct Frame {
  void* classRef;
  std::uint32_t checksum;
  std::uint32_t filed;
};

// The palette's base group (one reference), through the palette services.
void* BaseGroup() {
  using namespace PaletteManagerDriver;
  auto services = PaletteManagerDriver::Bind<ServicesFn>(GetModuleHandleW(L"delphicoreide150.bpl"),
                                                        PaletteManagerDriver::Export::Services);
  if (!services) return nullptr;
  void* root = services();
  void* palette = Query(root, PaletteDriver::IID_PaletteServices);
  if (!palette) return nullptr;
  void* group = nullptr;
  Method<void(QM_HOST_REGISTER*)(void*, void**)>(palette, PaletteDriver::Slot::BaseGroup)(palette, &group);
  Release(palette);
  return group;
}

// Calls f(group, groupName, item) for every visible component item of every group.
template <class F>
void ForEachComponent(F&& f) {
  using namespace PaletteDriver;
  void* base = BaseGroup();
  if (!base) return;
  std::int32_t groups = Method<CountMethodFn>(base, Slot::Count)(base);
  for (std::int32_t g = 0; g < groups; ++g) {
    void* child = nullptr;
    Method<ItemMethodFn>(base, Slot::Item)(base, g, &child);
    void* group = child ? Query(child, IID_Group) : nullptr;
    Release(child);
    if (!group) continue;
    std::wstring groupName = StringOf(group, Slot::IDString);
    std::int32_t items = Method<CountMethodFn>(group, Slot::Count)(group);
    for (std::int32_t i = 0; i < items; ++i) {
      void* entry = nullptr;
      Method<ItemMethodFn>(group, Slot::Item)(group, i, &entry);
      void* item = entry ? Query(entry, IID_ComponentItem) : nullptr;
      Release(entry);
      if (!item) continue;
      if (Method<BoolMethodFn>(item, Slot::Visible)(item) & 0xFF) f(groupName, item);
      Release(item);
    }
    Release(group);
  }
  Release(base);
}

bool SameAsciiText(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    wchar_t x = a[i], y = b[i];
    if (x >= L'a' && x <= L'z') x -= 0x20;
    if (y >= L'a' && y <= L'z') y -= 0x20;
    if (x != y) return false;
  }
  return true;
}

void* g_findExport = nullptr;  // FindComponentGroupName as the package exports it

} // namespace

extern "C" {

void QM_HOST_REGISTER ToolbarFindComponentGroupName(void*, const wchar_t* name, wchar_t** result) {
  std::wstring wanted = Text(name), found;
  ForEachComponent([&](const std::wstring& groupName, void* item) {
    if (SameAsciiText(StringOf(item, PaletteDriver::Slot::IDString), wanted)) found = groupName;
  });
  wchar_t* fresh = Rtl().NewString(found);
  Rtl().ustrClr(result);
  *result = fresh;
}

void QM_HOST_REGISTER ToolbarFillTabsImpl(Frame* frame) QM_HOST_SYMBOL(ToolbarFillTabsImpl);
void QM_HOST_REGISTER ToolbarFillTabsImpl(Frame* frame) {
  auto find = reinterpret_cast<FindComponentGroupNameFn>(g_findExport);
  frame->checksum = 2166136261u;
  frame->filed = 0;
  ForEachComponent([&](const std::wstring&, void* item) {
    wchar_t* id = Rtl().NewString(StringOf(item, PaletteDriver::Slot::IDString));
    wchar_t* tab = nullptr;
    find(frame, id, &tab);
    std::wstring line = Text(id) + L"=" + Text(tab) + L";";
    for (wchar_t c : line) frame->checksum = (frame->checksum ^ c) * 16777619u;
    ++frame->filed;
    Rtl().Release(id);
    Rtl().Release(tab);
  });
}

void* __stdcall ToolbarNew() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ToolbarNew), &self);
  g_findExport = reinterpret_cast<void*>(GetProcAddress(self, Export::FindComponentGroupName));
  auto* frame = static_cast<Frame*>(Rtl().getMem(sizeof(Frame)));
  *frame = Frame{nullptr, 0, 0};
  return frame;
}
void __stdcall ToolbarFree(void* frame) { Rtl().freeMem(frame); }
void __stdcall ToolbarFill(void* frame) { ToolbarFillTabs(frame); }
std::uint32_t __stdcall ToolbarChecksum(void* frame) { return static_cast<Frame*>(frame)->checksum; }
std::uint32_t __stdcall ToolbarFiled(void* frame) { return static_cast<Frame*>(frame)->filed; }
std::int32_t __stdcall ToolbarGroupNameOf(void* frame, const wchar_t* name, wchar_t* buffer, std::int32_t size) {
  wchar_t* text = Rtl().NewString(name ? name : L"");
  wchar_t* tab = nullptr;
  reinterpret_cast<FindComponentGroupNameFn>(g_findExport)(frame, text, &tab);
  std::wstring answer = Text(tab);
  Rtl().Release(text);
  Rtl().Release(tab);
  lstrcpynW(buffer, answer.c_str(), size);
  return static_cast<std::int32_t>(answer.size());
}

} // extern "C"

static_assert(std::is_same_v<decltype(&ToolbarFindComponentGroupName), FindComponentGroupNameFn>, "Find");
static_assert(std::is_same_v<decltype(&ToolbarFillTabs), FillTabsFn>, "FillTabs");
static_assert(std::is_same_v<decltype(&ToolbarNew), NewFn>, "New");
static_assert(std::is_same_v<decltype(&ToolbarFill), FrameFn>, "Fill");
static_assert(std::is_same_v<decltype(&ToolbarChecksum), CounterFn>, "Checksum");
static_assert(std::is_same_v<decltype(&ToolbarGroupNameOf), GroupNameOfFn>, "GroupNameOf");

// 1,000 Help Insight requests (documentation queries of the code editor
// module, each followed by its methods 7 and 8, then released) against the
// stand-in core package, as the host has them and then with
// "IDE.HelpInsight.InteropCache" installed, beside the managed bridge's
// native double. Printed: the bridge's begins and ends (goal with the
// patch: one pair per method 7 and 8 call, balanced). No times: the
// stand-in's documentation object looks for the bridge on every call, which
// costs more than the request itself while the bridge is not loaded.
#include <windows.h>

#include <oleauto.h>

#include <cstdio>
#include <string>

#include "Framework/PatchRegistry.h"
#include "Patches/IdeCorrections/HelpInsightInteropCache.h"
#include "clr/BridgeDoubleDriver.h"
#include "coreide150/HelpInsightDocDriver.h"

namespace {

constexpr int Requests = 1000;

std::wstring Parent(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/")); }

std::wstring BuildDirectory() {
  wchar_t path[MAX_PATH];
  return Parent(Parent(std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH))));
}

void RunRequests(const HelpInsightDocDriver::Driver& d) {
  using TMethod7 = HRESULT(__stdcall*)(void*, uint32_t, uint32_t, uint32_t, wchar_t**);
  using TMethod8 = HRESULT(__stdcall*)(void*, uint32_t, wchar_t**);
  using TRelease = ULONG(__stdcall*)(void*);
  void* module = d.NewModule();
  for (int i = 0; i < Requests; ++i) {
    void* doc = nullptr;
    d.QueryInterface(module, &HelpInsightDocDriver::IID_Documentation, &doc);
    void* const* methods = *static_cast<void* const* const*>(doc);
    wchar_t* text = nullptr;
    reinterpret_cast<TMethod7>(methods[7])(doc, uint32_t(i), 1, 2, &text);
    SysFreeString(text);
    text = nullptr;
    reinterpret_cast<TMethod8>(methods[8])(doc, uint32_t(i), &text);
    SysFreeString(text);
    reinterpret_cast<TRelease>(methods[2])(doc);
  }
}

}  // namespace

int main() {
  const std::wstring host = BuildDirectory() + L"\\host\\";
  for (const wchar_t* file : {L"rtl150.bpl", L"designide150.bpl", L"coreide150.bpl", L"mscoreei.dll",
                              L"Borland.Studio.Interop.dll"})
    if (!LoadLibraryW((host + file).c_str())) {
      std::printf("cannot load %ls from %ls\n", file, host.c_str());
      return 1;
    }
  HelpInsightDocDriver::Driver d;
  if (!d.Bind(GetModuleHandleW(L"coreide150.bpl"))) return 1;
  RunRequests(d);
  Quillmend::InstallHelpInsightInteropCache();
  HMODULE bridge = GetModuleHandleW(L"QuillmendClr.dll");
  if (!Quillmend::IsPatchApplied(L"IDE.HelpInsight.InteropCache") || !bridge) {
    std::printf("IDE.HelpInsight.InteropCache did not apply\n");
    return 1;
  }
  RunRequests(d);
  int32_t begins = 0, ends = 0, unbalanced = 0;
  reinterpret_cast<BridgeDoubleDriver::CountsFn>(reinterpret_cast<void*>(GetProcAddress(bridge, "QuillmendClrCounts")))(
      &begins, &ends, &unbalanced);
  std::printf("Help Insight requests: %d (each: query, method 7, method 8, release)\n", Requests);
  std::printf("%-22s %10s %10s %18s\n", "", "begins", "ends", "unbalanced threads");
  std::printf("%-22s %10s %10s %18s\n", "host (no cache)", "0", "0", "-");
  std::printf("%-22s %10d %10d %18d\n", "with the interop cache", begins, ends, unbalanced);
  const bool met = begins == 2 * Requests && ends == begins && unbalanced == 0;
  std::printf("goal (one begin and end per method 7 and 8 call, balanced): %s\n", met ? "met" : "MISSED");
  return met ? 0 : 1;
}

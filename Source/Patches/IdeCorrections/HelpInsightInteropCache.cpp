#include "Patches/IdeCorrections/HelpInsightInteropCache.h"

#include "Framework/HostExcept.h"
#include "Framework/LibraryEntry.h"
#include "Framework/PatchRegistry.h"

namespace Quillmend {

const GUID IID_HelpInsightDocumentation = {0xD05FBF46, 0x8468, 0x4934, {0xBF, 0x70, 0x7E, 0xAE, 0x1A, 0xB8, 0xFE, 0xAB}};

namespace {

const wchar_t* const PatchName = L"IDE.HelpInsight.InteropCache";
const wchar_t* const CoreIde = L"coreide150.bpl";
const char* const QueryInterfaceExport = "@Docmodul@TCodeIDocModule@QueryInterface$qqsrx5_GUIDpv";
const char* const SafeLoadLibraryExport = "@Sysutils@SafeLoadLibrary$qqrx20System@UnicodeStringui";
constexpr uint32_t NoOpenFileErrorBox = 0x8000;

using TQueryInterface = HRESULT(__stdcall*)(void* self, const GUID* iid, void** obj);
using TBridgeProc = void(__stdcall*)();
using TSafeLoadLibrary = HMODULE(QM_REGISTER*)(const wchar_t* fileName, uint32_t errorMode);

// Published before the redirection goes live; read by the helpers on any thread.
TBridgeProc BeginInteropCacheProc = nullptr;
TBridgeProc EndInteropCacheProc = nullptr;
void* g_orgQueryInterface = nullptr;
// The host's event and its Add/Remove, from the installation.
void* g_mainFormShown = nullptr;
const void* g_eventAdd = nullptr;
const void* g_eventRemove = nullptr;
volatile LONG g_alive = 0;

// ---- the helper ----------------------------------------------------------------

struct THelper {
  const void* const* Methods;
  volatile LONG References;
  void* Wrapped;  // W
};

void* const* MethodsOf(void* intf) { return *static_cast<void* const* const*>(intf); }
template <class Fn>
Fn WMethod(THelper* self, int index) {
  return reinterpret_cast<Fn>(MethodsOf(self->Wrapped)[index]);
}
ULONG IntfRelease(void* intf) { return reinterpret_cast<ULONG(__stdcall*)(void*)>(MethodsOf(intf)[2])(intf); }
ULONG IntfAddRef(void* intf) { return reinterpret_cast<ULONG(__stdcall*)(void*)>(MethodsOf(intf)[1])(intf); }

HRESULT __stdcall HelperQueryInterface(THelper* self, const GUID* iid, void** obj) {
  return WMethod<TQueryInterface>(self, 0)(self->Wrapped, iid, obj);
}
ULONG __stdcall HelperAddRef(THelper* self) { return ULONG(InterlockedIncrement(&self->References)); }
ULONG __stdcall HelperRelease(THelper* self) {
  const LONG left = InterlockedDecrement(&self->References);
  if (left == 0) {
    void* wrapped = self->Wrapped;
    delete self;
    InterlockedDecrement(&g_alive);
    IntfRelease(wrapped);
  }
  return ULONG(left);
}
HRESULT __stdcall Helper3(THelper* self, uint32_t a) {
  return WMethod<HRESULT(__stdcall*)(void*, uint32_t)>(self, 3)(self->Wrapped, a);
}
HRESULT __stdcall Helper4(THelper* self, uint32_t a, uint32_t b, uint32_t c) {
  return WMethod<HRESULT(__stdcall*)(void*, uint32_t, uint32_t, uint32_t)>(self, 4)(self->Wrapped, a, b, c);
}
HRESULT __stdcall Helper5(THelper* self, uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t e) {
  using TFn = HRESULT(__stdcall*)(void*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
  return WMethod<TFn>(self, 5)(self->Wrapped, a, b, c, d, e);
}
HRESULT __stdcall Helper6(THelper* self, uint32_t a, uint32_t b, uint32_t c, uint16_t d, uint32_t e, uint32_t f,
                          uint32_t g, uint32_t h) {
  using TFn = HRESULT(__stdcall*)(void*, uint32_t, uint32_t, uint32_t, uint16_t, uint32_t, uint32_t, uint32_t, uint32_t);
  return WMethod<TFn>(self, 6)(self->Wrapped, a, b, c, d, e, f, g, h);
}

// A failing HRESULT is W's; an exception (of W or of the bridge) becomes
// E_UNEXPECTED, as the host's safecall methods answer one. The exception
// object, if any, is ours to free.
HRESULT Checked(bool returned, const THostCaught& caught, HRESULT hr) {
  if (!returned) {
    FreeHostObject(caught.Object);
    return E_UNEXPECTED;
  }
  return FAILED(hr) ? hr : S_OK;
}

// W's call between the begin and the end of the interop cache; the end runs
// also when W raises, never when the begin did not complete.
template <class TCall>
HRESULT Cached(TCall&& call) {
  bool began = false;
  HRESULT hr = E_UNEXPECTED;
  THostCaught caught;
  bool returned = HostTryExcept(
      [&] {
        BeginInteropCacheProc();
        began = true;
        hr = call();
      },
      caught);
  if (began) {
    THostCaught ended;
    if (!HostTryExcept([] { EndInteropCacheProc(); }, ended)) {
      if (returned) caught = ended;
      else FreeHostObject(ended.Object);
      returned = false;
    }
  }
  return Checked(returned, caught, hr);
}

HRESULT __stdcall Helper7(THelper* self, uint32_t a, uint32_t b, uint32_t c, wchar_t** text) {
  // An out parameter: whatever it held is not ours to free.
  if (text) *text = nullptr;
  using TFn = HRESULT(__stdcall*)(void*, uint32_t, uint32_t, uint32_t, wchar_t**);
  return Cached([&] { return WMethod<TFn>(self, 7)(self->Wrapped, a, b, c, text); });
}
HRESULT __stdcall Helper8(THelper* self, uint32_t a, wchar_t** text) {
  if (text) *text = nullptr;
  using TFn = HRESULT(__stdcall*)(void*, uint32_t, wchar_t**);
  return Cached([&] { return WMethod<TFn>(self, 8)(self->Wrapped, a, text); });
}
HRESULT __stdcall Helper9(THelper* self, uint8_t* value) {
  using TFn = HRESULT(__stdcall*)(void*, uint8_t*);
  HRESULT hr = E_UNEXPECTED;
  THostCaught caught;
  const bool returned = HostTryExcept([&] { hr = WMethod<TFn>(self, 9)(self->Wrapped, value); }, caught);
  return Checked(returned, caught, hr);
}

const void* const HelperMethods[] = {
    reinterpret_cast<const void*>(&HelperQueryInterface), reinterpret_cast<const void*>(&HelperAddRef),
    reinterpret_cast<const void*>(&HelperRelease),        reinterpret_cast<const void*>(&Helper3),
    reinterpret_cast<const void*>(&Helper4),              reinterpret_cast<const void*>(&Helper5),
    reinterpret_cast<const void*>(&Helper6),              reinterpret_cast<const void*>(&Helper7),
    reinterpret_cast<const void*>(&Helper8),              reinterpret_cast<const void*>(&Helper9),
};

// ---- installation ---------------------------------------------------------------

bool RuntimeLoaded() { return GetModuleHandleW(L"mscoreei.dll") || GetModuleHandleW(L"mscoree.dll"); }

bool BridgePresent() { return GetFileAttributesW(InteropBridgePath().c_str()) != INVALID_FILE_ATTRIBUTES; }

// The patch's own plan: what the host must offer (the module's
// QueryInterface, the event and its Add/Remove, the run-time's safe loader).
// It writes nothing; the redirection follows when the bridge is loaded.
TPatchPlan InteropCachePlan() {
  TPatchPlan plan(PatchName, L"Enable Interop-Cache for HelpInsight", TInstallMoment::WizardInit);
  plan.IgnoreUnless(L"no .NET runtime in the process for the managed bridge", &RuntimeLoaded);
  plan.IgnoreUnless(L"QuillmendClr.dll is not beside the library", &BridgePresent);
  plan.Export(L"TCodeIDocModule.QueryInterface", CoreIde, QueryInterfaceExport);
  plan.Export(L"SafeLoadLibrary", L"rtl150.bpl", SafeLoadLibraryExport);
  TSiteRef shown = plan.Export(L"MainFormShown", CoreIde, "@Ideintf@MainFormShown$qqrv");
  TSiteRef add = plan.Export(L"TEvent.Add", L"designide150.bpl", "@Events@TEvent@Add$qqrynpqqrp14System@TObject$v");
  TSiteRef remove =
      plan.Export(L"TEvent.Remove", L"designide150.bpl", "@Events@TEvent@Remove$qqrynpqqrp14System@TObject$v");
  plan.OnCommit([=](const TPlanValues& v) {
    g_mainFormShown = reinterpret_cast<void*(QM_REGISTER*)()>(v.Site(shown))();
    g_eventAdd = v.Site(add);
    g_eventRemove = v.Site(remove);
  });
  return plan;
}

// The redirection, installed when the bridge is loaded; undone at unload.
TPatchPlan QueryInterfacePlan() {
  TPatchPlan plan(PatchName, L"Enable Interop-Cache for HelpInsight", TInstallMoment::WizardInit);
  TSiteRef queryInterface = plan.Export(L"TCodeIDocModule.QueryInterface", CoreIde, QueryInterfaceExport);
  plan.RedirectOrgCall(queryInterface, &QueryInterfaceHook, &g_orgQueryInterface);
  return plan;
}

void QM_REGISTER MainFormShownHandler(void* data, void* sender);
const THostMethod Handler = {reinterpret_cast<const void*>(&MainFormShownHandler), nullptr};

// The first showing of the main window: the load's last chance.
void QM_REGISTER MainFormShownHandler(void*, void* sender) {
  HostBoundary([sender] {
    if (!LoadInteropCache(sender, true)) SetPatchIgnored(PatchName);
  });
}

HMODULE LoadBridge() {
  auto load = reinterpret_cast<TSafeLoadLibrary>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"rtl150.bpl"), SafeLoadLibraryExport)));
  if (!load) return nullptr;
  THostString path(InteropBridgePath());
  return load(path.Get(), NoOpenFileErrorBox);
}

void InitializeHelpInsightInteropCache() { AddWizardInitProc(&InstallHelpInsightInteropCache); }

}  // namespace

void* THelpInsightInteropCacheHelper::Wrap(void* documentation) {
  IntfAddRef(documentation);
  InterlockedIncrement(&g_alive);
  return new THelper{HelperMethods, 1, documentation};
}

int32_t THelpInsightInteropCacheHelper::Alive() { return g_alive; }

// Only a successful query that handed out an interface is wrapped: a failed
// one leaves nothing to wrap (a helper around nil would fault on first use).
HRESULT __stdcall QueryInterfaceHook(void* self, const GUID* iid, void** obj) {
  const HRESULT hr = reinterpret_cast<TQueryInterface>(g_orgQueryInterface)(self, iid, obj);
  if (SUCCEEDED(hr) && obj && *obj && iid && IsEqualGUID(*iid, IID_HelpInsightDocumentation)) {
    void* documentation = *obj;
    *obj = THelpInsightInteropCacheHelper::Wrap(documentation);
    IntfRelease(documentation);  // the helper holds its own reference
  }
  return hr;
}

std::wstring InteropBridgePath() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&InteropBridgePath), &self);
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
  while (n > 0 && path[n - 1] != L'\\' && path[n - 1] != L'/') --n;
  return std::wstring(path, n) + L"QuillmendClr.dll";
}

bool LoadInteropCache(void*, bool fromEvent) {
  if (fromEvent && g_eventRemove) CallHostWithMethod(g_eventRemove, g_mainFormShown, Handler);
  HMODULE bridge = LoadBridge();
  if (!bridge) return false;
  auto begin = reinterpret_cast<TBridgeProc>(reinterpret_cast<void*>(GetProcAddress(bridge, "BeginInteropCache")));
  auto end = reinterpret_cast<TBridgeProc>(reinterpret_cast<void*>(GetProcAddress(bridge, "EndInteropCache")));
  if (!begin || !end) return false;
  BeginInteropCacheProc = begin;
  EndInteropCacheProc = end;
  TPatchPlan plan = QueryInterfacePlan();
  return InstallUnregisteredPlan(plan).Applies;
}

std::vector<TPatchPlan> HelpInsightInteropCachePlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(InteropCachePlan());
  return plans;
}

// Applied while the load is pending or done; ignored when nothing can be
// installed (no runtime, no bridge, or the last attempt failed).
void InstallHelpInsightInteropCache() {
  TPatchPlan plan = InteropCachePlan();
  if (!InstallPlan(plan)) return;
  if (GetModuleHandleW(L"Borland.Studio.Interop.dll") && LoadInteropCache(nullptr, false)) return;
  if (g_mainFormShown) CallHostWithMethod(g_eventAdd, g_mainFormShown, Handler);
  else SetPatchIgnored(PatchName);
}

const TUnitInfo Unit_HelpInsightInteropCache = {"HelpInsightInteropCache", &InitializeHelpInsightInteropCache, nullptr,
                                                &HelpInsightInteropCachePlans};

}  // namespace Quillmend

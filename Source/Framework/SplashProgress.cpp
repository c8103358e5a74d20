#include "Framework/SplashProgress.h"

#include <windows.h>

#include "Framework/HostControls.h"
#include "Framework/HostFinally.h"
#include "Framework/HostGraphics.h"
#include "Framework/LibraryEntry.h"
#include "Framework/PatchPlan.h"
#include "Framework/SplashLabel.h"
#include "Hooking/CodeTransaction.h"

namespace Quillmend {

namespace {

// The owner of the redirections: no registry knows it (an unregistered plan).
const wchar_t* const Owner = L"SplashProgress";

// {86602DE0-50BF-4AE5-BAF4-D9438BD33218}
const GUID IdeServicesId = {0x86602DE0, 0x50BF, 0x4AE5, {0xBA, 0xF4, 0xD9, 0x43, 0x8B, 0xD3, 0x32, 0x18}};
constexpr int BaseRegistryKeySlot = 5;      // GetBaseRegistryKey: string
constexpr int DefProjectDirectorySlot = 13;  // the directory of "DefProject.bdsproj": string
constexpr int32_t LabelTop = 4, LabelMargin = 8, LabelPoints = 9;
constexpr int32_t White = 0xFFFFFF;

using TCreate = void*(QM_REGISTER*)(void* classRef, uint32_t alloc, const wchar_t* fileName, void* packages);
using TLoad = void(QM_REGISTER*)(const wchar_t* fileName);

TExpectedPackages* g_list = nullptr;  // while installed
bool g_installed = false;
bool g_hostBound = false;  // the label's host calls are bound (the plan committed)
std::wstring g_hookReason;
void* g_splash = nullptr;
void* g_label = nullptr;
// The original-call entries while redirected, and the routines themselves
// (a load running while the redirections are undone calls them directly).
void* g_orgCreate = nullptr;
void* g_orgLoad = nullptr;
void* g_create = nullptr;
void* g_load = nullptr;

TPatchPlan HookPlan() {
  TPatchPlan plan(Owner, L"Splash progress", TInstallMoment::UnitInit);
  TSiteRef create = plan.Export(L"TDesignPackage.Create", L"coreide150.bpl",
                                "@Pakmgr@TDesignPackage@$bctr$qqrx20System@UnicodeStringp22Pakmgr@TDesignPackages");
  TSiteRef load = plan.Export(L"LoadDesignPackage", L"delphicoreide150.bpl",
                              "@Pascpppakmgr@LoadDesignPackage$qqrx20System@UnicodeString");
  const THostControlSites controls = DeclareHostControls(plan);
  const THostGraphicsSites graphics = DeclareHostGraphics(plan);
  plan.OnCommit([=](const TPlanValues& v) {
    g_create = v.Site(create);
    g_load = v.Site(load);
    BindHostControls(v, controls);
    BindHostGraphics(v, graphics);
    g_hostBound = true;
  });
  plan.RedirectOrgCall(create, &DesignPackageCreateHook, &g_orgCreate);
  plan.RedirectOrgCall(load, &LoadDesignPackageHook, &g_orgLoad);
  return plan;
}

TLoadedModules g_loaded;  // refreshed right before it is asked
bool IsModuleLoaded(const std::wstring& fileName) { return g_loaded.Contains(fileName); }

// A text the IDE services answer through a result variable; "" without them.
std::wstring IdeServicesText(int slot) {
  if (!BorlandIDEServices) return L"";
  THostInterface services;
  if (HostQueryInterface(BorlandIDEServices, IdeServicesId, services.Ref()) != S_OK || !services) return L"";
  THostStringResult result;
  HostInterfaceMethod<void(QM_REGISTER*)(void*, wchar_t**)>(services.Get(), slot)(services.Get(), result.Ref());
  return result.Text();
}

TExpectedPackageSources Sources() {
  TExpectedPackageSources sources;
  sources.Params = ProcessParams();
  sources.BaseKey = IdeServicesText(BaseRegistryKeySlot);
  sources.DefProjectDirectory = IdeServicesText(DefProjectDirectorySlot);
  g_loaded.Start();
  sources.IsLoaded = &IsModuleLoaded;
  return sources;
}

void* FindNamed(void* owner, const wchar_t* name) {
  THostString hostName(name);
  return HostFindComponent(owner, hostName.Get());
}

void LeftOfRightEdge(void* label) {
  HostSetLeft(label, HostClientWidth(g_splash) - HostControlField(label, HostControlLayout::Width) - LabelMargin);
}

void* CreateLabel() {
  void* label = NewSplashLabel(g_splash);
  if (!label) return nullptr;
  {
    THostString caption(SplashCaption(0, false));
    HostSetText(label, caption.Get());
  }
  void* font = HostControlFont(label);
  {
    THostString arial(L"Arial");
    HostFontSetName(font, arial.Get());
  }
  HostFontSetColor(font, White);
  HostSetAutoSize(label, true);
  HostSetTop(label, LabelTop);
  LeftOfRightEdge(label);
  HostSetAnchors(label, HostAnchorTop | HostAnchorRight);
  HostFontSetStyle(font, HostFontBold);
  HostFontSetSize(font, LabelPoints);
  LeftOfRightEdge(label);  // the font changed its width
  HostSetParent(label, g_splash);
  return label;
}

void ShowProgress(void* label, int32_t percent) {
  if (IsSplashLabel(label)) {
    SetSplashPosition(label, percent);
    return;
  }
  // A label of that name we did not make: its caption tells the progress.
  THostString caption(SplashCaption(percent, true));
  HostSetText(label, caption.Get());
}

// The "finally" of a hooked load: no C++ exception may leave it.
void UpdateAfterLoad(const wchar_t* hostFileName) noexcept {
  std::wstring ignored;
  CatchToMessage([hostFileName] { UpdateSplashProgress(FromHostString(hostFileName)); }, ignored);
}

void FinalizeSplashProgress() {
  UninstallSplashProgress();
  // A label still on a form outlives the library's code.
  RetireSplashLabelClass();
  g_label = nullptr;
  g_splash = nullptr;
}

}  // namespace

void InstallSplashProgress() {
  if (g_installed) return;
  g_list = new TExpectedPackages();
  g_installed = true;
  TPatchPlan plan = HookPlan();
  const TPlanVerdict verdict = InstallUnregisteredPlan(plan);
  g_hookReason = verdict.Applies ? L"" : verdict.Reason;
  UpdateSplashProgress(L"");
}

void UpdateSplashProgress(const std::wstring& fileName) {
  if (!g_installed || !g_list) return;
  if (!g_list->Built() && IsWizardInitialized()) g_list->Build(Sources());
  if (g_hostBound) {
    if (!g_splash)
      if (void* application = HostApplication()) g_splash = FindNamed(application, L"SplashScreen");
    if (g_splash && !g_label) {
      g_label = FindNamed(g_splash, L"QuillmendLabel");
      if (!g_label) g_label = CreateLabel();
    }
  }
  if (fileName.empty()) return;
  // The entry goes whether or not a label shows it.
  if (g_list->Listed(fileName)) g_loaded.Refresh();
  const int32_t percent = g_list->PackageLoaded(fileName, &IsModuleLoaded);
  if (percent >= 0 && g_label && g_installed) ShowProgress(g_label, percent);
}

void UninstallSplashProgress() {
  if (!g_installed) return;
  g_installed = false;
  UndoTransactionsOf(Owner);
  g_loaded.Stop();
  delete g_list;
  g_list = nullptr;
}

bool SplashProgressInstalled() { return g_installed; }
const std::wstring& SplashProgressHookReason() { return g_hookReason; }
const TExpectedPackages* SplashExpectedPackages() { return g_list; }
void* SplashProgressForm() { return g_splash; }
void* SplashProgressLabel() { return g_label; }

void SplashLabelDestroyed(void* label) {
  if (label != g_label) return;
  g_label = nullptr;
  g_splash = nullptr;
  UninstallSplashProgress();
}

void* QM_REGISTER DesignPackageCreateHook(void* classRef, uint32_t alloc, const wchar_t* fileName, void* packages) {
  struct TCall {
    void* ClassRef;
    uint32_t Alloc;
    const wchar_t* FileName;
    void* Packages;
    void* Result;
  } call{classRef, alloc, fileName, packages, nullptr};
  // The update runs also when the constructor raises (the cleanup of a host
  // try/finally, while the exception passes on).
  HostTryFinally(
      [](void* data) {
        auto* c = static_cast<TCall*>(data);
        auto original = reinterpret_cast<TCreate>(g_orgCreate ? g_orgCreate : g_create);
        c->Result = original(c->ClassRef, c->Alloc, c->FileName, c->Packages);
      },
      &call,
      [](void* data) {
        auto* c = static_cast<TCall*>(data);
        if (c->FileName) UpdateAfterLoad(c->FileName);
      });
  return call.Result;
}

void QM_REGISTER LoadDesignPackageHook(const wchar_t* fileName) {
  auto original = reinterpret_cast<TLoad>(g_orgLoad ? g_orgLoad : g_load);
  original(fileName);  // a raise leaves here: only a successful load counts
  UpdateAfterLoad(fileName);
}

const TUnitInfo SplashProgressUnit = {"SplashProgress", &InstallSplashProgress, &FinalizeSplashProgress};

}  // namespace Quillmend

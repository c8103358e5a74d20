// The library's entry protocol: the queues of installation procedures, the
// expert entry, the interception of the C++ compiler load, the about-box
// entry and the warning about failed patches.
//
// Queues and flags have no lock: they are filled while the library loads and
// run from the expert entry and the compiler-load interception, which the
// host never runs at the same time.
#include "Framework/LibraryEntry.h"

#include "Framework/HostAbi.h"
#include "Framework/IDEHooks.h"
#include "Framework/PatchRegistry.h"
#include "Hooking/CodeTransaction.h"
#include "Hooking/EngineError.h"
#include "Hooking/OrgCall.h"

#include <memory>
#include <vector>
#include <windows.h>

namespace Quillmend {

const wchar_t* const ProductTitle = L"Quillmend XE 5.7";

namespace {

const wchar_t* const CppCaption = L"Quillmend";
const wchar_t* const AttributionLine =
    L"Run-time corrections and speed-ups for the RAD Studio XE IDE, applied in memory; no IDE file is changed.";

using TInitQueue = std::vector<TInitProc>;
using TCppLoadCompiler = int32_t(__stdcall*)(int32_t action, uint32_t flag);

std::unique_ptr<TInitQueue> g_wizardInitProcs;  // run and destroyed at the expert entry
std::unique_ptr<TInitQueue> g_cppInitProcs;     // never destroyed: run on every compiler load
bool g_wizardInitialized = false;
bool g_cppInitDone = false;
bool g_entered = false;  // the expert entry ran before in this process
bool g_pinned = false;

// The interception of CppLoadCompiler: where it was, and the original-call entry.
void* g_cppLoadCompiler = nullptr;
HMODULE g_bccide = nullptr;
TCppLoadCompiler g_cppLoadCompilerOrg = nullptr;

// The about-box service and our entry in it.
void* g_aboutService = nullptr;
int32_t g_aboutIndex = 0;

// {62A2F7FD-16F1-45B9-9417-A2D293D07A22}
const GUID AboutBoxServiceId = {0x62A2F7FD, 0x16F1, 0x45B9, {0x94, 0x17, 0xA2, 0xD2, 0x93, 0xD0, 0x7A, 0x22}};

// Method slots of the host's interfaces; the three IUnknown methods are
// stdcall, the about-box service's own methods use the host's register convention.
using TQueryInterface = HRESULT(__stdcall*)(void* self, const GUID* id, void** object);
using TRelease = ULONG(__stdcall*)(void* self);
// AddPluginInfo(Title, Description, Image, IsUnRegistered, LicenseStatus, SKUName, ProductName)
using TAddPluginInfo = int32_t(QM_REGISTER*)(void* self, const wchar_t* title, const wchar_t* description,
                                             int32_t productName, int32_t skuName, int32_t licenseStatus,
                                             int32_t isUnRegistered, int32_t image);
using TRemovePluginInfo = void(QM_REGISTER*)(void* self, int32_t index);

constexpr int QueryInterfaceSlot = 0;
constexpr int ReleaseSlot = 2;
constexpr int RemovePluginInfoSlot = 5;
constexpr int AddPluginInfoSlot = 7;

template <class T>
T Method(void* object, int slot) {
  return reinterpret_cast<T>((*static_cast<void***>(object))[slot]);
}

void ReleaseAboutService() {
  void* service = g_aboutService;
  g_aboutService = nullptr;
  if (service) Method<TRelease>(service, ReleaseSlot)(service);
}

HMODULE OwnModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&OwnModule), &module);
  return module;
}

// One extra reference that is never released keeps the library mapped after
// the IDE releases the expert (the host still jumps into our replacements).
void PinOwnModule() {
  if (g_pinned) return;
  g_pinned = true;
  wchar_t path[MAX_PATH * 2];
  DWORD n = GetModuleFileNameW(OwnModule(), path, DWORD(std::size(path)));
  if (n > 0 && n < std::size(path)) LoadLibraryW(path);
}

void AddAboutBoxEntry(void* services) {
  g_aboutService = nullptr;
  if (!services) return;
  void* service = nullptr;
  if (Method<TQueryInterface>(services, QueryInterfaceSlot)(services, &AboutBoxServiceId, &service) != S_OK ||
      !service)
    return;
  g_aboutService = service;
  THostString title(ProductTitle);
  THostString description(AboutBoxDescription());
  g_aboutIndex = Method<TAddPluginInfo>(service, AddPluginInfoSlot)(service, title.Get(), description.Get(),
                                                                    0, 0, 0, 0, 0);
}

void InterceptCppLoadCompiler(HMODULE bccide) {
  void* proc = DbgStrictGetProcAddress(bccide, "CppLoadCompiler");
  if (!proc) RaiseError("External symbol \"CppLoadCompiler\" not found in module \"bccide.dll\"");
  g_cppLoadCompilerOrg =
      reinterpret_cast<TCppLoadCompiler>(RedirectOrgCall(proc, reinterpret_cast<void*>(&CppLoadCompilerHook)));
  g_cppLoadCompiler = proc;
  g_bccide = bccide;
}

// Puts CppLoadCompiler back, if the module we rewrote is still the one loaded.
void RemoveCppLoadCompilerInterception() {
  if (!g_cppLoadCompilerOrg) return;
  if (GetModuleHandleW(L"bccide.dll") == g_bccide)
    RestoreOrgCall(g_cppLoadCompiler, reinterpret_cast<void*>(g_cppLoadCompilerOrg));
  g_cppLoadCompilerOrg = nullptr;
  g_cppLoadCompiler = nullptr;
  g_bccide = nullptr;
}

// Runs the C++ procedures after a compiler load; any C++ exception is shown
// (global handler or error box) and swallowed, once its frames are unwound.
void InitializeAfterCompilerLoad() {
  std::wstring message;
  const bool succeeded = CatchToMessage(
      [] {
        RunCppCompilerInitProcs();
        if (HasFailedPatches())
          MessageBoxW(GetActiveWindow(), FailedPatchWarning().c_str(), CppCaption, MB_ICONWARNING);
      },
      message);
  if (!succeeded) ReportError(message, CppCaption);
}

// The host's CppLoadCompiler. When the compiler library it had loaded is gone
// afterwards, the patches' edits inside it are dropped with their
// trampolines: they belonged to that load, and a later load (possibly at the
// same address) must be neither restored into nor refused as patched.
int32_t CallCppLoadCompiler(int32_t action, uint32_t flag) {
  HMODULE compiler = GetModuleHandleW(L"comp32x.dll");
  size_t imageSize = 0;
  if (compiler) {
    const auto* base = reinterpret_cast<const uint8_t*>(compiler);
    imageSize = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew)
                    ->OptionalHeader.SizeOfImage;
  }
  int32_t result = g_cppLoadCompilerOrg(action, flag);
  if (compiler && GetModuleHandleW(L"comp32x.dll") != compiler) DropTransactionsIn(compiler, imageSize);
  return result;
}

int32_t CppLoadCompilerHookImpl(int32_t action, uint32_t flag) {
  if (action != 1) return CallCppLoadCompiler(action, flag);
  bool forced = (flag & 0xFF) != 0;  // a Boolean: only the low byte counts
  bool loadedBefore = !forced && GetModuleHandleW(L"comp32x.dll") != nullptr;
  int32_t result = CallCppLoadCompiler(action, flag);
  if (forced || !loadedBefore || !g_cppInitDone) {
    if (GetModuleHandleW(L"comp32x.dll")) InitializeAfterCompilerLoad();
  }
  return result;
}

void FinalizeLibraryEntry() {
  RemoveCppLoadCompilerInterception();
  ReleaseAboutService();
}

}  // namespace

const TUnitInfo LibraryEntryUnit = {"QuillmendMain", nullptr, FinalizeLibraryEntry};

void AddWizardInitProc(TInitProc proc) {
  if (!g_wizardInitProcs) g_wizardInitProcs = std::make_unique<TInitQueue>();
  g_wizardInitProcs->push_back(proc);
}

void AddCppCompilerInitProc(TInitProc proc) {
  if (!g_cppInitProcs) g_cppInitProcs = std::make_unique<TInitQueue>();
  g_cppInitProcs->push_back(proc);
}

bool IsWizardInitialized() { return g_wizardInitialized; }

std::wstring AboutBoxDescription() {
  std::wstring status;
  GetPatchStatusText(false, status);
  return std::wstring(ProductTitle) + L"\r\n\r\n" + AttributionLine + L"\r\nUse at your own risk.\r\n\r\n" + status;
}

std::wstring FailedPatchWarning() {
  std::wstring failed;
  GetPatchStatusText(true, failed);
  return L"Not all Quillmend patches were applied. Failed patches: \n\n" + failed;
}

void RunWizardInitProcs() {
  bool first = !g_wizardInitialized;
  g_wizardInitialized = true;
  if (!first) return;  // a second expert entry installs nothing again
  if (g_wizardInitProcs) {
    // Taken out before running: a raising procedure ends the run, and the
    // queue is gone all the same, so no procedure ever runs twice.
    std::unique_ptr<TInitQueue> queue = std::move(g_wizardInitProcs);
    size_t count = queue->size();
    for (size_t i = 0; i < count; ++i) (*queue)[i]();
  }
  if (g_cppInitProcs) {
    HMODULE bccide = GetModuleHandleW(L"bccide.dll");
    if (!bccide) return;
    if (GetModuleHandleW(L"comp32x.dll")) RunCppCompilerInitProcs();
    InterceptCppLoadCompiler(bccide);
  }
}

void RunCppCompilerInitProcs() {
  g_cppInitDone = true;
  if (!g_cppInitProcs) return;
  RemoveCppCompilerPatches();
  size_t count = g_cppInitProcs->size();
  for (size_t i = 0; i < count; ++i) (*g_cppInitProcs)[i]();
}

void* BorlandIDEServices = nullptr;

bool WizardEntry(void* services, void* registerProc, void** terminate) {
  if (services) BorlandIDEServices = services;
  PinOwnModule();
  RunWizardInitProcs();
  if (terminate) *terminate = reinterpret_cast<void*>(&WizardTerminate);
  bool first = !g_entered;
  g_entered = true;
  // A second entry adds no second about-box entry while the first is held.
  if (!g_aboutService) AddAboutBoxEntry(services);
  if (first && HasFailedPatches())
    MessageBoxW(GetActiveWindow(), FailedPatchWarning().c_str(), ProductTitle, MB_ICONWARNING);
  return true;
}

int32_t __stdcall CppLoadCompilerHook(int32_t action, uint32_t flag) {
  return HostBoundary([&] { return CppLoadCompilerHookImpl(action, flag); });
}

void __stdcall WizardTerminate() {
  HostBoundary([] {
    if (!g_aboutService) return;
    void* service = g_aboutService;
    Method<TRemovePluginInfo>(service, RemovePluginInfoSlot)(service, g_aboutIndex);
    ReleaseAboutService();
  });
}

} // namespace Quillmend

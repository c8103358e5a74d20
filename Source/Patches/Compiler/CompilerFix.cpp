#include "Patches/Compiler/CompilerFix.h"

#include <algorithm>
#include <cwctype>

#include "Framework/IDEHooks.h"
#include "Framework/LibraryEntry.h"
#include "Framework/PatchRegistry.h"
#include "Patches/Compiler/CompilerFixPatterns.h"
#include "Patches/Compiler/CompilerOptimization.h"
#include "Patches/Compiler/UnitNameDictionary.h"

namespace Quillmend {

TKibitzThreadList* KibitzThreads = nullptr;
std::vector<TModuleModifyNotifier*>* ModuleNotifiers = nullptr;
int32_t IgnoredErrorCount = 0;

namespace {

namespace Patterns = CompilerFixPatterns;

const wchar_t* const Dcc = L"dcc150.dll";
const wchar_t* const Fixes = L"Compiler.Fixes";
const wchar_t* const IgnoreErrors = L"Compiler.KibitzIgnoreErrors";
constexpr int32_t SearchLimit = 0x10000;  // the pattern search reads this as 16 MB
constexpr int32_t ErrorsSwallowed = 249;

// {86602DE0-50BF-4AE5-BAF4-D9438BD33218}
const GUID IdeServicesId = {0x86602DE0, 0x50BF, 0x4AE5, {0xBA, 0xF4, 0xD9, 0x43, 0x8B, 0xD3, 0x32, 0x18}};
// {55A5E848-27FB-4880-8E7C-7F05A9802482}
const GUID ModuleServicesId = {0x55A5E848, 0x27FB, 0x4880, {0x8E, 0x7C, 0x7F, 0x05, 0xA9, 0x80, 0x24, 0x82}};

// Method slots of the IDE's interfaces (byte offset / 4).
constexpr int IdeAddNotifier = 0x0C / 4;
constexpr int IdeRemoveNotifier = 0x10 / 4;
constexpr int FindModuleSlot = 0x24 / 4;
constexpr int ModuleAddNotifier = 0x0C / 4;
constexpr int ModuleFileName = 0x18 / 4;
constexpr int ModuleRemoveNotifier = 0x34 / 4;
constexpr int ModuleEditor = 0x48 / 4;

// IDE file notification codes.
constexpr int32_t FileOpened = 1;
constexpr int32_t FileClosing = 2;
constexpr int32_t AllClosing = 9;

// The compiler's variables.
uint8_t* g_kibitzMode = nullptr;     // 3: a CodeInsight compile
uint8_t* g_errorMode = nullptr;      // 2: errors are not reported
uint32_t* g_kibitzActive = nullptr;  // nonzero during a CodeInsight compile

// The body skipping's host variables and routines.
struct TToken {
  uint8_t Code;
  uint8_t Reserved[3];
  int32_t Value;
};
using THostBool = uint32_t QM_REGISTER (*)();
using THostMark = uint32_t QM_REGISTER (*)();
using THostProc = void QM_REGISTER (*)();
using THostReport = void QM_REGISTER (*)(uint32_t mark, uint32_t adjusted, uint32_t position);
using THostFinalize = void QM_REGISTER (*)(uint32_t eax, uint32_t edx, uint32_t ecx);
uint32_t* g_skipDisabled = nullptr;
uint32_t* g_position = nullptr;
uint32_t* g_firstOffset = nullptr;
uint32_t* g_secondOffset = nullptr;
TToken* g_token = nullptr;
THostBool g_canSkip = nullptr;
THostMark g_mark = nullptr;
THostProc g_endFound = nullptr;
THostReport g_report = nullptr;
THostProc g_nextToken = nullptr;
THostFinalize g_finalize = nullptr;

bool InKibitzCompile() { return *g_kibitzMode == 3 || *g_kibitzActive != 0; }

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = wchar_t(std::towlower(c));
  return text;
}

bool EndsWith(const std::wstring& text, const wchar_t* suffix) {
  const std::wstring tail = Lower(suffix);
  return text.size() >= tail.size() && Lower(text.substr(text.size() - tail.size())) == tail;
}

// File name without path and extension.
std::wstring UnitNameOf(const std::wstring& fileName) {
  size_t start = fileName.find_last_of(L"\\/:");
  start = start == std::wstring::npos ? 0 : start + 1;
  size_t dot = fileName.find_last_of(L'.');
  if (dot == std::wstring::npos || dot < start) dot = fileName.size();
  return fileName.substr(start, dot - start);
}

bool SameText(const std::wstring& a, const std::wstring& b) { return Lower(a) == Lower(b); }

class TLockHold {
public:
  explicit TLockHold(TKibitzThreadList& list) : FList(list) { FList.Lock(); }
  ~TLockHold() { FList.Unlock(); }
  TLockHold(const TLockHold&) = delete;
  TLockHold& operator=(const TLockHold&) = delete;

private:
  TKibitzThreadList& FList;
};

// The module's file name (method at 0x18, a string result).
std::wstring ModuleFileNameOf(void* module) {
  THostStringResult name;
  HostInterfaceMethod<void(QM_REGISTER*)(void*, wchar_t**)>(module, ModuleFileName)(module, name.Ref());
  return name.Text();
}

} // namespace

// ---- the thread records --------------------------------------------------------------------

TKibitzThreadList::TKibitzThreadList() { InitializeCriticalSectionAndSpinCount(&FLock, 4000); }
TKibitzThreadList::~TKibitzThreadList() { DeleteCriticalSection(&FLock); }

TKibitzThreadInfo& TKibitzThreadList::ForCurrentThread() {
  const DWORD id = GetCurrentThreadId();
  for (auto& info : FItems)
    if (info->ThreadId == id) return *info;
  FItems.push_back(std::make_unique<TKibitzThreadInfo>());
  FItems.back()->ThreadId = id;
  return *FItems.back();
}

void TKibitzThreadList::Clear() { FItems.clear(); }

// ---- the notifiers we hand the IDE ------------------------------------------------------------

// Watches one module: its modification is recorded once per reset.
struct TModuleModifyNotifier {
  THostObject Object;  // first: what the IDE sees
  THostInterface Module;
  int32_t NotifierIndex = -1;
  std::wstring UnitName;
  uint8_t Reported = 0;
};

// Told about files the IDE opens and closes.
struct TIDEServicesNotifier {
  THostObject Object;
  int32_t NotifierIndex = -1;
};

namespace {

// The IDE services (one reference of ours), released by the finalization,
// never by a static destructor: the IDE's objects may be gone by then.
void* g_ideServices = nullptr;
TIDEServicesNotifier* g_ideNotifier = nullptr;

// Under the lock: the unit name goes to every thread that has compiled.
void RecordModification(TModuleModifyNotifier& notifier) {
  TLockHold hold(*KibitzThreads);
  if (notifier.Reported) return;
  notifier.Reported = 1;
  for (auto& info : KibitzThreads->Items()) {
    if (!info->UnitListHead) continue;
    auto& names = info->ModifiedUnits;
    if (std::none_of(names.begin(), names.end(), [&](const std::wstring& n) { return SameText(n, notifier.UnitName); }))
      names.push_back(notifier.UnitName);
  }
}

// Unregisters from its module and leaves the list (our reference with it).
void DetachModuleNotifier(TModuleModifyNotifier* notifier) {
  {
    TLockHold hold(*KibitzThreads);
    auto& list = *ModuleNotifiers;
    auto it = std::find(list.begin(), list.end(), notifier);
    if (it == list.end()) return;
    list.erase(it);
  }
  if (void* module = notifier->Module.Get()) {
    if (notifier->NotifierIndex >= 0)
      HostInterfaceMethod<void(QM_REGISTER*)(void*, int32_t)>(module, ModuleRemoveNotifier)(module, notifier->NotifierIndex);
    notifier->NotifierIndex = -1;
  }
  notifier->Module.Reset();
  HostObjectRelease(&notifier->Object);
}

void QM_REGISTER NotifierNothing(void*) {}

void QM_REGISTER ModuleModified(TModuleModifyNotifier* self) {
  HostBoundary([self] { RecordModification(*self); });
}

void QM_REGISTER ModuleDestroyed(TModuleModifyNotifier* self) {
  HostBoundary([self] { DetachModuleNotifier(self); });
}

uint32_t QM_REGISTER ModuleCheckOverwrite(TModuleModifyNotifier*) { return 1; }

void QM_REGISTER ModuleRenamed(TModuleModifyNotifier* self, const wchar_t* newName) {
  HostBoundary([self, newName] {
    const std::wstring unitName = UnitNameOf(FromHostString(newName));
    if (!SameText(unitName, self->UnitName)) RecordModification(*self);
    TLockHold hold(*KibitzThreads);
    self->UnitName = unitName;
  });
}

// Slots as the IDE calls a module notifier: 3 AfterSave, 4 BeforeSave,
// 5 Destroyed, 6 Modified, 7 CheckOverwrite, 8 ModuleRenamed.
const void* const ModuleNotifierMethods[] = {
    QM_HOST_OBJECT_IUNKNOWN,
    reinterpret_cast<const void*>(&NotifierNothing),
    reinterpret_cast<const void*>(&NotifierNothing),
    reinterpret_cast<const void*>(&ModuleDestroyed),
    reinterpret_cast<const void*>(&ModuleModified),
    reinterpret_cast<const void*>(&ModuleCheckOverwrite),
    reinterpret_cast<const void*>(&ModuleRenamed),
};

void DestroyModuleNotifier(THostObject* object) { delete reinterpret_cast<TModuleModifyNotifier*>(object); }

// A notifier for the module, registered with it; null when one watches it already.
void WatchModule(THostInterface module, const std::wstring& fileName) {
  {
    TLockHold hold(*KibitzThreads);
    for (TModuleModifyNotifier* notifier : *ModuleNotifiers)
      if (notifier->Module.Get() == module.Get()) return;
  }
  auto* notifier = new TModuleModifyNotifier();
  notifier->Object = {ModuleNotifierMethods, 1, nullptr, 0, &DestroyModuleNotifier};
  notifier->UnitName = UnitNameOf(fileName);
  notifier->Module = std::move(module);
  void* target = notifier->Module.Get();
  {
    TLockHold hold(*KibitzThreads);
    ModuleNotifiers->push_back(notifier);
  }
  notifier->NotifierIndex =
      HostInterfaceMethod<int32_t(QM_REGISTER*)(void*, void*)>(target, ModuleAddNotifier)(target, notifier);
}

void FileOpenedNotification(const std::wstring& fileName) {
  THostInterface moduleServices;
  if (!BorlandIDEServices ||
      HostQueryInterface(BorlandIDEServices, ModuleServicesId, moduleServices.Ref()) != S_OK || !moduleServices)
    return;
  THostString name(fileName);
  THostInterface module;
  void* services = moduleServices.Get();
  HostInterfaceMethod<void(QM_REGISTER*)(void*, const wchar_t*, void**)>(services, FindModuleSlot)(services, name.Get(),
                                                                                                  module.Ref());
  if (!module) return;
  THostInterface editor;
  void* target = module.Get();
  HostInterfaceMethod<void(QM_REGISTER*)(void*, void**)>(target, ModuleEditor)(target, editor.Ref());
  if (!editor) return;
  const std::wstring moduleFile = ModuleFileNameOf(target);
  if (!EndsWith(moduleFile, L".pas")) return;
  WatchModule(std::move(module), moduleFile);
}

void QM_REGISTER IdeFileNotification(TIDEServicesNotifier*, int32_t code, const wchar_t* fileName, uint8_t*) {
  HostBoundary([code, fileName] {
    const std::wstring name = FromHostString(fileName);
    if (code == FileOpened && EndsWith(name, L".pas")) {
      FileOpenedNotification(name);
      return;
    }
    const bool projectClosing = code == FileClosing && (EndsWith(name, L".dpr") || EndsWith(name, L".dpk") ||
                                                        EndsWith(name, L".dpkw") || EndsWith(name, L".dproj") ||
                                                        EndsWith(name, L".bdsproj"));
    if (projectClosing || code == AllClosing) {
      TLockHold hold(*KibitzThreads);
      KibitzThreads->Clear();
    }
  });
}

void QM_REGISTER IdeCompileNothing(void*, uint32_t, uint32_t) {}

// Slots as the IDE calls an IDE notifier: 3 AfterSave, 4 BeforeSave,
// 5 Destroyed, 6 Modified, 7 FileNotification, 8 BeforeCompile, 9 AfterCompile.
const void* const IdeNotifierMethods[] = {
    QM_HOST_OBJECT_IUNKNOWN,
    reinterpret_cast<const void*>(&NotifierNothing),
    reinterpret_cast<const void*>(&NotifierNothing),
    reinterpret_cast<const void*>(&NotifierNothing),
    reinterpret_cast<const void*>(&NotifierNothing),
    reinterpret_cast<const void*>(&IdeFileNotification),
    reinterpret_cast<const void*>(&IdeCompileNothing),
    reinterpret_cast<const void*>(&IdeCompileNothing),
};

void DestroyIdeNotifier(THostObject* object) { delete reinterpret_cast<TIDEServicesNotifier*>(object); }

void RegisterIdeNotifier() {
  g_ideNotifier = new TIDEServicesNotifier();
  g_ideNotifier->Object = {IdeNotifierMethods, 1, nullptr, 0, &DestroyIdeNotifier};
  void* services = g_ideServices;
  g_ideNotifier->NotifierIndex =
      HostInterfaceMethod<int32_t(QM_REGISTER*)(void*, void*)>(services, IdeAddNotifier)(services, g_ideNotifier);
}

// Everything the IDE holds of ours goes back: module notifiers, the IDE
// notifier, the services; thread records are freed.
void ReleaseIdeState() {
  if (ModuleNotifiers) {
    while (!ModuleNotifiers->empty()) DetachModuleNotifier(ModuleNotifiers->back());
    delete ModuleNotifiers;
    ModuleNotifiers = nullptr;
  }
  if (g_ideNotifier) {
    if (void* services = g_ideServices; services && g_ideNotifier->NotifierIndex >= 0)
      HostInterfaceMethod<void(QM_REGISTER*)(void*, int32_t)>(services, IdeRemoveNotifier)(services,
                                                                                             g_ideNotifier->NotifierIndex);
    HostObjectRelease(&g_ideNotifier->Object);
    g_ideNotifier = nullptr;
  }
  if (void* services = g_ideServices) {
    g_ideServices = nullptr;
    HostRelease(services);
  }
  delete KibitzThreads;
  KibitzThreads = nullptr;
}

} // namespace

int32_t IdeNotifierIndex() { return g_ideNotifier ? g_ideNotifier->NotifierIndex : -1; }
std::wstring WatchedUnitName(const TModuleModifyNotifier* notifier) { return notifier->UnitName; }

// ---- the reset of edited units ------------------------------------------------------------

void ResetEditedUnits(uint32_t, uint32_t, uint32_t) {
  std::wstring ignored;
  CatchToMessage(
      [] {
        IgnoredErrorCount = 0;
        UnitNameDictionary.Reset();
        // The thread's record and every notifier's flag are only touched
        // under the lock; a project closed meanwhile waits for the end.
        TLockHold hold(*KibitzThreads);
        TKibitzThreadInfo& info = KibitzThreads->ForCurrentThread();
        if (!info.ModifiedUnits.empty()) {
          std::vector<TDccUnit*> edited;
          for (const std::wstring& name : info.ModifiedUnits) {
            if (SameText(name, L"System") || SameText(name, L"SysInit")) continue;
            if (TDccUnit* unit = FindUnitByTextName(name)) edited.push_back(unit);
          }
          info.ModifiedUnits.clear();
          for (TDccUnit* unit : edited) unit->State = 5;
        }
        info.UnitListHead = UnitListHead ? *UnitListHead : nullptr;
        for (TModuleModifyNotifier* notifier : *ModuleNotifiers) notifier->Reported = 0;
        UnitNameDictionary.Reset();
      },
      ignored);
}

// ---- the error report and the CodeInsight-active test --------------------------------------

uint32_t SkipErrorCheck() {
  const uint32_t hostAnswer = uint32_t(*g_errorMode) - 2;
  if (IgnoredErrorCount + 1 > ErrorsSwallowed) return hostAnswer;
  ++IgnoredErrorCount;
  return InKibitzCompile() ? 0 : hostAnswer;
}

uint32_t KibitzActiveCheck() { return *g_kibitzMode == 3 ? 0 : *g_kibitzActive; }

namespace {

// Called from the middle of the compiler's routines: the answer in eax
// (SkipErrorCheck) or edx (KibitzActiveCheck); every other register is kept.
extern "C" uint32_t SkipErrorCheckCall() asm("QmSkipErrorCheck");
extern "C" uint32_t KibitzActiveCheckCall() asm("QmKibitzActiveCheck");
uint32_t SkipErrorCheckCall() { return SkipErrorCheck(); }
uint32_t KibitzActiveCheckCall() { return KibitzActiveCheck(); }

extern "C" void SkipErrorCheckStub() asm("QmSkipErrorCheckStub");
extern "C" void KibitzActiveCheckStub() asm("QmKibitzActiveCheckStub");
asm(".text\n"
    ".balign 16\n"
    "QmSkipErrorCheckStub:\n"
    "  pushl %ecx\n"
    "  pushl %edx\n"
    "  call QmSkipErrorCheck\n"
    "  popl %edx\n"
    "  popl %ecx\n"
    "  ret\n"
    ".balign 16\n"
    "QmKibitzActiveCheckStub:\n"
    "  pushl %eax\n"
    "  pushl %ecx\n"
    "  call QmKibitzActiveCheck\n"
    "  movl %eax, %edx\n"
    "  popl %ecx\n"
    "  popl %eax\n"
    "  ret\n");

} // namespace

// ---- the body skipping ----------------------------------------------------------------------

uint32_t QM_REGISTER SkipBody() {
  enum : uint8_t {
    InlineBlock = 0x0A, Begin = 0x0B, Case = 0x0C, Try = 0x23, Asm = 0x3E, End = 0x16, Procedure = 0x2C,
    Function = 0x34, RegionStart = 0x51, RegionEnd = 0x52, Level = 0x5C, SourceEnd = 0x5D, BodyEnd = 0x5E,
  };
  if (*g_skipDisabled != 0 || g_canSkip() != 0) return 0;
  const uint32_t mark = g_mark();
  const uint32_t position = *g_position;
  const uint32_t adjusted = position - *g_firstOffset + *g_secondOffset;
  int32_t depth = 0, inner = 0;
  auto atEnd = [] { return g_token->Code == SourceEnd || g_token->Code == BodyEnd; };
  for (;;) {
    const uint8_t code = g_token->Code;
    bool advance = true;
    if ((code == Procedure || code == Function) && inner == 0) {
      // A nested routine: up to its own end.
      inner = 1;
      do {
        g_nextToken();
        const uint8_t t = g_token->Code;
        if (t == End) --inner;
        else if (t == Procedure || t == Function) ++inner;
        else if (t == SourceEnd || t == BodyEnd) break;
      } while (inner > 0);
      inner = 0;
      advance = !atEnd();
    } else if (code == InlineBlock && inner == 0) {
      int32_t level = 0;
      for (;;) {
        g_nextToken();
        const uint8_t t = g_token->Code;
        if (t == SourceEnd || t == BodyEnd) break;
        if (t == Level) level = g_token->Value;
        if (t == End && g_token->Value - 1 != level) break;
      }
      advance = !atEnd();
    } else if ((code == Begin || code == Case || code == Try || code == Asm) && inner == 0) {
      ++depth;
    } else if (code == End && inner == 0) {
      --depth;
    } else if (code == RegionStart) {
      ++inner;
    } else if (code == RegionEnd) {
      if (inner > 0) --inner;
    } else if (code == BodyEnd) {
      depth = -1;
    } else if (code == SourceEnd) {
      g_endFound();
      g_report(mark, adjusted, position);
      g_nextToken();
      return 0;
    }
    if (!advance) continue;
    if (depth < 0) return 1;
    g_nextToken();
  }
}

void QM_REGISTER FinalizeUnlessKibitz(uint32_t eax, uint32_t edx, uint32_t ecx) {
  if (*g_kibitzActive == 0 && *g_kibitzMode != 3) g_finalize(eax, edx, ecx);
}

// ---- the plans ------------------------------------------------------------------------------

namespace {

TPatchPlan FixesPlan() {
  TPatchPlan plan(Fixes, L"Compiler fixes");
  plan.LoadedModule(Dcc, &GetDccHandle);
  // Without the reset replacement nothing would ever call the handler.
  plan.Needs({L"Compiler.ResetUnits"});
  plan.Computed(
      L"IDE services",
      [](const TPlanValues&) -> void* {
        THostInterface services;
        if (!BorlandIDEServices || HostQueryInterface(BorlandIDEServices, IdeServicesId, services.Ref()) != S_OK)
          return nullptr;
        return services.Get();  // the IDE keeps its services alive
      },
      true);
  plan.OnCommit([](const TPlanValues&) {
    if (!KibitzThreads) KibitzThreads = new TKibitzThreadList();
    if (!ModuleNotifiers) ModuleNotifiers = new std::vector<TModuleModifyNotifier*>();
    if (!g_ideServices) HostQueryInterface(BorlandIDEServices, IdeServicesId, &g_ideServices);
    RegisterIdeNotifier();
    PreResetHandler = &ResetEditedUnits;
  });
  plan.OnRollback([] {
    PreResetHandler = nullptr;
    ReleaseIdeState();
  });
  return plan;
}

TPatchPlan IgnoreErrorsPlan() {
  TPatchPlan plan(IgnoreErrors, L"CodeInsight ignore errors");
  TSiteRef start = plan.Pattern(L"KibitzCompileStart", Dcc, Patterns::KibitzCompileStart, SearchLimit);
  TSiteRef report = plan.Pattern(L"ErrorReport", Dcc, Patterns::ErrorReport, SearchLimit);
  TSiteRef active = plan.PatternFrom(L"KibitzActiveTest", report, -0x1000, Patterns::KibitzActiveTest, 0x1000);
  TCaptureRef kibitzMode = plan.Operand(start, 0x34);
  TCaptureRef errorMode = plan.Operand(report, 0x07);
  TCaptureRef kibitzActive = plan.Operand(active, 0x0C);
  plan.WriteCall(report, 0x05, &SkipErrorCheckStub, {0x85, 0xC0});
  plan.WriteCall(active, 0x0A, &KibitzActiveCheckStub, {0x85, 0xD2});
  plan.OnCommit([=](const TPlanValues& v) {
    g_kibitzMode = v.Get<uint8_t*>(kibitzMode);
    g_errorMode = v.Get<uint8_t*>(errorMode);
    g_kibitzActive = v.Get<uint32_t*>(kibitzActive);
  });
  return plan;
}

TPatchPlan SkipBodyPlan() {
  TPatchPlan plan(L"Compiler.SkipBody", L"CodeInsight SkipBody bugfix");
  TSiteRef skip = plan.Pattern(L"SkipBody", Dcc, Patterns::SkipBody, SearchLimit);
  TCaptureRef disabled = plan.Operand(skip, 0x06);
  TCaptureRef position = plan.Operand(skip, 0x2C);
  TCaptureRef first = plan.Operand(skip, 0x36);
  TCaptureRef second = plan.Operand(skip, 0x3C);
  TCaptureRef token = plan.Operand(skip, 0x45);
  TCaptureRef canSkip = plan.CallTarget(skip, 0x14);
  TCaptureRef mark = plan.CallTarget(skip, 0x24);
  TCaptureRef endFound = plan.CallTarget(skip, 0x7C);
  TCaptureRef reportEnd = plan.CallTarget(skip, 0x87);
  TCaptureRef nextToken = plan.CallTarget(skip, 0x8C);
  plan.ExpectEqual(plan.CallTarget(skip, 0x99), nextToken, L"SkipBody +0x99: the next-token routine");
  plan.Redirect(skip, &SkipBody);
  plan.OnCommit([=](const TPlanValues& v) {
    g_skipDisabled = v.Get<uint32_t*>(disabled);
    g_position = v.Get<uint32_t*>(position);
    g_firstOffset = v.Get<uint32_t*>(first);
    g_secondOffset = v.Get<uint32_t*>(second);
    g_token = v.Get<TToken*>(token);
    g_canSkip = v.Get<THostBool>(canSkip);
    g_mark = v.Get<THostMark>(mark);
    g_endFound = v.Get<THostProc>(endFound);
    g_report = v.Get<THostReport>(reportEnd);
    g_nextToken = v.Get<THostProc>(nextToken);
  });
  return plan;
}

TPatchPlan MainUnitFinalizePlan() {
  TPatchPlan plan(L"Compiler.MainUnitFinalize", L"Compiler optimizations (MainUnitFinalize)");
  plan.Needs({IgnoreErrors});  // the CodeInsight mode and active variables
  TSiteRef site = plan.Pattern(L"MainUnitFinalize", Dcc, Patterns::MainUnitFinalize, SearchLimit);
  TCaptureRef finalize = plan.CallTarget(site, 0x08);
  plan.RetargetCall(site, 0x08, &FinalizeUnlessKibitz);
  plan.OnCommit([=](const TPlanValues& v) { g_finalize = v.Get<THostFinalize>(finalize); });
  return plan;
}

void InitializeCompilerFix() { AddWizardInitProc(&InstallCompilerFix); }

// The framework has put every byte back before the units finalize.
void FinalizeCompilerFix() {
  if (PreResetHandler == &ResetEditedUnits) PreResetHandler = nullptr;
  ReleaseIdeState();
}

} // namespace

std::vector<TPatchPlan> CompilerFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(FixesPlan());
  plans.push_back(IgnoreErrorsPlan());
  plans.push_back(SkipBodyPlan());
  plans.push_back(MainUnitFinalizePlan());
  return plans;
}

void InstallCompilerFix() {
  TPatchPlan fixes = FixesPlan();
  const TPlanVerdict verdict = InstallPlanVerdict(fixes);
  // Disabled, or no compiler library: nothing more. A failed umbrella (no
  // unit reset to run its handler) leaves the sub-patches to install.
  if (!verdict.Registered || !GetDccHandle()) return;
  std::vector<TPatchPlan> plans = CompilerFixPlans();
  for (size_t i = 1; i < plans.size(); ++i) InstallPlan(plans[i]);
}

const TUnitInfo Unit_CompilerFix = {"CompilerFix", &InitializeCompilerFix, &FinalizeCompilerFix, &CompilerFixPlans};

} // namespace Quillmend

// One shape for every patch: a plan.
//
// A plan describes a named patch as data: where its targets are (sites), what
// the matched code must hold (expectations), what is read out of it
// (captures) and what is written (edits), plus small callbacks where the data
// needs our own code. Installing a plan runs, in this order:
//
//   register (RegisterPatch; a disabled patch ends here, nothing recorded)
//   → the patches it needs must be applied
//   → resolve every site → check every expectation → read every capture
//   → stage every edit in one code transaction (nothing written yet)
//   → publish (OnCommit: captures into module state, before any byte goes live)
//   → commit all edits or none → report applied.
//
// Any miss leaves the patch registered as failed with a readable reason
// ("UnitFind: pattern not found", "SymLookupScope +0x19: 0x16C expected,
// 0x170 found") and not one byte written. A dry run does everything up to
// the commit and answers whether the patch would apply, and why not.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>
#include <windows.h>

#include "Hooking/CodeTransaction.h"
#include "Hooking/PatternSearch.h"

namespace Quillmend {

enum class TInstallMoment : uint8_t {
  UnitInit,         // library load, in link order
  WizardInit,       // the expert entry (INITWIZARD0001)
  CppCompilerLoad,  // every load of the C++ compiler; registered as a C++ compiler patch
};

// Handles to what a plan declared, valid for that plan.
struct TSiteRef {
  int Index = -1;
};
struct TCaptureRef {
  int Index = -1;
};

// What installing a plan found: site addresses and captured values.
class TPlanValues {
public:
  uint8_t* Site(TSiteRef site) const { return Sites.at(size_t(site.Index)); }
  uint8_t* At(TSiteRef site, int32_t offset) const { return Site(site) + offset; }
  // Which of a site's alternative pattern forms matched (0 for the first).
  int Form(TSiteRef site) const { return Forms.at(size_t(site.Index)); }
  uintptr_t Value(TCaptureRef capture) const { return Captures.at(size_t(capture.Index)); }
  template <class T>
  T Get(TCaptureRef capture) const {
    return reinterpret_cast<T>(Value(capture));
  }

  std::vector<uint8_t*> Sites;
  std::vector<int> Forms;
  std::vector<uintptr_t> Captures;
};

// Where an edit points: one of our routines, or a captured address.
class TTarget {
public:
  TTarget(const void* address) : Address(address) {}  // NOLINT: a function pointer converts
  // Any function pointer, whatever its calling convention.
  template <class F, class = std::enable_if_t<std::is_function_v<F>>>
  TTarget(F* function) : Address(reinterpret_cast<const void*>(function)) {}  // NOLINT
  TTarget(TCaptureRef capture) : Capture(capture.Index) {}  // NOLINT
  const void* Resolve(const TPlanValues& values) const {
    return Capture >= 0 ? reinterpret_cast<const void*>(values.Captures.at(size_t(Capture))) : Address;
  }

private:
  const void* Address = nullptr;
  int Capture = -1;
};

// How a plan's module names become module handles. Normally the module
// loaded in this process (GetModuleHandleW); the check tool maps images itself.
using TModuleResolver = HMODULE (*)(const wchar_t* moduleName);
void SetPlanModuleResolver(TModuleResolver resolver);  // null: the default
HMODULE ResolvePlanModule(const wchar_t* moduleName);
// True while a custom module resolver is set (the check tool): nothing may
// load an IDE module then.
bool HasCustomPlanModuleResolver();
// How an export of such a module is found. Normally GetProcAddress; images
// the check tool mapped itself are not known to the system loader, so it
// reads their export tables. Patch code looking up exports in a Computed
// site uses ResolvePlanExport (or DbgStrictGetProcAddress), not GetProcAddress.
using TExportResolver = void* (*)(HMODULE module, const char* exportName);
void SetPlanExportResolver(TExportResolver resolver);  // null: GetProcAddress
void* ResolvePlanExport(HMODULE module, const char* exportName);

struct TPlanRun;
struct TPlanVerdict;
struct TDryRunOptions;

// A pattern site searched from a module's base (Pattern): what the check
// tool can search for ahead of time, every module once for all its patterns.
struct TPlanPatternSearch {
  std::wstring Module;
  std::vector<TBytePattern> Forms;
  int32_t MaxSize;
};

class TPatchPlan {
public:
  TPatchPlan(std::wstring name, std::wstring description, TInstallMoment moment = TInstallMoment::WizardInit);
  ~TPatchPlan();
  TPatchPlan(TPatchPlan&&) noexcept;
  TPatchPlan& operator=(TPatchPlan&&) noexcept;

  const std::wstring& Name() const { return FName; }
  const std::vector<TPlanPatternSearch>& PatternSearches() const { return FPatternSearches; }
  const std::wstring& Description() const { return FDescription; }
  TInstallMoment Moment() const { return FMoment; }

  // Patches that must be applied before this one (failed otherwise: "needs X").
  TPatchPlan& Needs(std::initializer_list<const wchar_t*> names);
  // Checked first, before the patches it needs: when `condition` is false
  // here, the patch does not apply to this host by design (reported ignored
  // with `why`, nothing written). For a patch that its installer registers
  // only when something is there; `condition` reaches modules through
  // ResolvePlanModule and ResolvePlanExport.
  TPatchPlan& IgnoreUnless(const wchar_t* why, std::function<bool()> condition);
  // A patch that is tried only after others were applied, or only in hosts
  // where a condition holds: otherwise it is not tried at all. Installing
  // then registers nothing (the patch is never listed, not even as failed);
  // a dry run answers ignored, the reason "not tried: needs X" or `why`.
  // The condition must load and run nothing of the host (the check calls it).
  TPatchPlan& TriedOnlyAfter(std::initializer_list<const wchar_t*> names);
  TPatchPlan& TriedOnlyWhen(const wchar_t* why, std::function<bool()> condition);

  // ---- sites -----------------------------------------------------------------
  // Every site has a label used in reasons. A site that cannot be resolved
  // fails the plan; sites resolve in declaration order, so a site may start
  // from an earlier one.

  // The base of a module ("<module>: module not loaded").
  TSiteRef Module(const wchar_t* moduleName);
  // A module the patch loads itself when installing (GetDccHandle, say);
  // under a custom module resolver (the check tool) it is only looked up.
  TSiteRef LoadedModule(const wchar_t* moduleName, HMODULE (*load)());
  // An export by exact name ("<label>: export not found").
  TSiteRef Export(const wchar_t* label, const wchar_t* moduleName, const char* exportName);
  // A byte pattern searched from the module's base; maxSize as FindMethodPtr
  // takes it (0x10000 means 16 MB, 0 to the end of the region).
  TSiteRef Pattern(const wchar_t* label, const wchar_t* moduleName, const char* pattern, int32_t maxSize);
  // Alternative forms, tried in order; TPlanValues::Form tells which matched.
  TSiteRef Pattern(const wchar_t* label, const wchar_t* moduleName, std::vector<const char*> forms,
                   int32_t maxSize);
  // A pattern the patch needs only in some states of the host, searched as
  // Pattern: a miss leaves the site null instead of failing the plan (an
  // expectation says when it is needed; edits and captures at the site may
  // only run when it was found).
  TSiteRef OptionalPattern(const wchar_t* label, const wchar_t* moduleName, const char* pattern, int32_t maxSize);
  // A pattern searched from an earlier site's address + offset, within `window` bytes.
  TSiteRef PatternFrom(const wchar_t* label, TSiteRef from, int32_t offset, const char* pattern, int32_t window);
  // A pattern whose entries are computed from earlier findings (for example
  // an embedded address that must equal a captured variable).
  TSiteRef PatternWith(const wchar_t* label, const wchar_t* moduleName,
                       std::function<std::vector<const char*>(const TPlanValues&)> forms,
                       std::function<void(const TPlanValues&, std::vector<int16_t>& pattern)> complete,
                       int32_t maxSize);
  // The target of the relative call or jump at an earlier site + offset.
  TSiteRef CallTargetOf(const wchar_t* label, TSiteRef site, int32_t offset);
  // An address the patch module computes itself (null: "<label>: not found").
  // `needsRunningIde`: it depends on what only the running IDE offers
  // (services, objects), so a check without the IDE cannot answer it.
  TSiteRef Computed(const wchar_t* label, std::function<void*(const TPlanValues&)> resolve,
                    bool needsRunningIde = false);

  // ---- expectations on matched code -----------------------------------------
  void ExpectU8(TSiteRef site, int32_t offset, uint8_t value);
  void ExpectU32(TSiteRef site, int32_t offset, uint32_t value);
  void ExpectBytes(TSiteRef site, int32_t offset, const char* hexPattern);
  // The relative call at site + offset must reach `routine`.
  void ExpectCallTo(TSiteRef site, int32_t offset, TSiteRef routine);
  // A captured value must equal another one (what: a few words for the reason).
  void ExpectEqual(TCaptureRef a, TCaptureRef b, const wchar_t* what);
  // Anything else: true when satisfied; `reason` is kept otherwise.
  void Expect(const wchar_t* reason, std::function<bool(const TPlanValues&)> check);
  // When `condition` holds here, the patch does not apply to this host by
  // design: it is reported ignored (not failed) and nothing is written.
  void IgnoreWhen(const wchar_t* why, std::function<bool(const TPlanValues&)> condition);

  // ---- captures --------------------------------------------------------------
  // The 32-bit value at site + offset (an embedded address or constant).
  TCaptureRef Operand(TSiteRef site, int32_t offset);
  // The target of the relative call or jump at site + offset.
  TCaptureRef CallTarget(TSiteRef site, int32_t offset);
  // site + offset itself.
  TCaptureRef Address(TSiteRef site, int32_t offset = 0);
  TCaptureRef Compute(std::function<uintptr_t(const TPlanValues&)> compute);

  // ---- edits, staged in one code transaction --------------------------------
  void WriteBytes(TSiteRef site, int32_t offset, std::vector<uint8_t> bytes);
  void WriteBytes(TSiteRef site, int32_t offset, const char* hexBytes);
  // `size` bytes built from the findings; `at` is where they will run.
  void WriteCode(TSiteRef site, int32_t offset,
                 std::function<std::vector<uint8_t>(const TPlanValues&, const uint8_t* at)> build);
  // E8 rel32 (call) or E9 rel32 (jump) at site + offset, then `tail`.
  void WriteCall(TSiteRef site, int32_t offset, TTarget target, std::vector<uint8_t> tail = {});
  void WriteJump(TSiteRef site, int32_t offset, TTarget target, std::vector<uint8_t> tail = {});
  // The call or jump already at site + offset, aimed elsewhere.
  void RetargetCall(TSiteRef site, int32_t offset, TTarget target);
  // A jump from the routine's start to the replacement.
  void Redirect(TSiteRef routine, TTarget replacement);
  // The same with an original-call trampoline, stored into *orgCall before
  // the jump goes live.
  void RedirectOrgCall(TSiteRef routine, TTarget replacement, void** orgCall);
  // A hook over a Win32 function's entry (hot-patch prologue, an earlier
  // hot-patch hook taken over, or a trampoline), the way to call the
  // function as it was stored into *orgCall before the hook goes live.
  void HookWinApi(TSiteRef function, TTarget replacement, void** orgCall);
  // A 32-bit slot at site + offset (data variable, table entry).
  void WritePointer(TSiteRef site, int32_t offset, TTarget value);
  // Virtual method `index` of the class at `classRef` (the slot's old value
  // into *old when given, at publication).
  void VirtualMethod(TSiteRef classRef, int32_t index, TTarget method, void** old = nullptr);
  // The slot in the class's virtual method table or header that holds
  // `oldMethod` (import thunks followed), replaced by `method`.
  void VmtField(TSiteRef classRef, TTarget oldMethod, TTarget method);
  // The dynamic method table entry of `index` (the class's own table).
  void DynamicMethod(TSiteRef classRef, int32_t index, TTarget method, void** old = nullptr);
  // Every import address table entry of the module at `module` importing
  // `function` from `dllName`; at least one must exist.
  void ImportSlots(TSiteRef module, const char* dllName, const char* function, TTarget replacement,
                   void** old = nullptr);

  // ---- publication -----------------------------------------------------------
  // Runs once every check passed and every edit is staged, right before the
  // first byte is written: replacements may run as soon as it is, so the
  // state they read must be there.
  void OnCommit(std::function<void(const TPlanValues&)> publish);
  // Runs when the commit fails after OnCommit ran (undo the publication).
  void OnRollback(std::function<void()> unpublish);
  // While `inUse` answers true the library's undo leaves this patch's edits
  // in place (TCodeTransaction::KeepInPlaceWhile): host objects hold what
  // its replacements handed out, and the host's own code would mishandle it.
  void KeepInPlaceWhile(TInUse inUse) { FInUse = inUse; }

  struct TStep;  // one resolution, check, capture or edit step

private:
  friend struct TPlanRun;
  friend TPlanVerdict InstallPlanVerdict(TPatchPlan& plan);
  friend TPlanVerdict DryRunPlan(TPatchPlan& plan, const TDryRunOptions& options);
  // Why the plan is not tried here ("" when it is).
  std::wstring NotTriedReason(const std::function<bool(const std::wstring&)>& isApplied) const;
  TSiteRef AddSite(std::wstring label, std::function<bool(TPlanRun&, TSiteRef)> resolve);
  TCaptureRef AddCapture(std::function<bool(TPlanRun&, uintptr_t&)> read);
  void AddEdit(std::function<bool(TPlanRun&)> stage);

  std::wstring FName, FDescription;
  TInstallMoment FMoment;
  std::vector<std::wstring> FNeeds;
  std::vector<std::pair<std::wstring, std::function<bool()>>> FPreconditions;
  std::vector<std::wstring> FTriedAfter;
  std::vector<std::pair<std::wstring, std::function<bool()>>> FTriedWhen;
  std::vector<std::wstring> FSiteLabels;
  std::vector<TPlanPatternSearch> FPatternSearches;
  std::vector<TStep> FSteps;
  int FSiteCount = 0;
  int FCaptureCount = 0;
  std::function<void(const TPlanValues&)> FPublish;
  std::function<void()> FUnpublish;
  TInUse FInUse = nullptr;
};

// The answer of a dry run or an installation.
struct TPlanVerdict {
  bool Registered = false;      // false: disabled or not tried (installation) — a dry run never registers
  bool Applies = false;
  bool Ignored = false;         // IgnoreWhen held; Reason says why
  bool NeedsRunningIde = false; // a computed site could not be answered without the IDE
  std::wstring Reason;          // why not, when !Applies
  TPlanValues Values;           // what was found (dry run and installation)
  std::vector<TCodeEdit> Edits; // the staged edits (addresses, new and saved bytes)
};

// Installs the plan: true when it is applied. A disabled plan answers false
// and registers nothing; a failed one stays registered as failed with its
// reason (SetPatchFailed). The committed transaction is kept by the process
// log and undone at unload.
bool InstallPlan(TPatchPlan& plan);
// The same with the full verdict.
TPlanVerdict InstallPlanVerdict(TPatchPlan& plan);
// Installs a plan that is no named patch (an always-active part of the
// library, such as the processor-specific move): the registry is neither
// asked nor told, "Quillmend.DisabledPatches" does not apply, and what it
// needs counts as applied only when the registry says so. The verdict
// carries the reason of a failure; the transaction (owned by the plan's
// name) is undone at unload like every other.
TPlanVerdict InstallUnregisteredPlan(TPatchPlan& plan);
struct TDryRunOptions {
  // Whether a needed patch counts as applied; empty: the registry says.
  std::function<bool(const std::wstring& name)> IsApplied;
  // Run the plan's publication (OnCommit) although nothing is committed: in a
  // process that runs no replacement (the check tool), later plans may need
  // what an earlier one found.
  bool Publish = false;
};

// Everything but registering and committing: would this plan apply here?
TPlanVerdict DryRunPlan(TPatchPlan& plan, const TDryRunOptions& options = {});

} // namespace Quillmend

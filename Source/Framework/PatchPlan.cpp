#include "Framework/PatchPlan.h"

#include <cstdio>
#include <exception>

#include "Framework/PatchRegistry.h"
#include "Hooking/EngineError.h"
#include "Hooking/CodeRedirect.h"
#include "Hooking/ImportHooking.h"
#include "Hooking/MatchedCode.h"
#include "Hooking/MemoryRegions.h"
#include "Hooking/MethodTables.h"
#include "Hooking/PatternSearch.h"
#include "Hooking/Utf8Conversion.h"

namespace Quillmend {

namespace {

TModuleResolver g_moduleResolver = nullptr;
TExportResolver g_exportResolver = nullptr;

std::wstring Widen(const char* text) { return FromUtf8(text ? text : ""); }

std::wstring HexValue(uint32_t value) {
  wchar_t text[16];
  std::swprintf(text, 16, L"0x%X", value);
  return text;
}

std::wstring OffsetText(int32_t offset) {
  wchar_t text[20];
  std::swprintf(text, 20, offset < 0 ? L"-0x%02X" : L"+0x%02X", unsigned(offset < 0 ? -offset : offset));
  return text;
}

} // namespace

struct TPatchPlan::TStep {
  enum TKind { Site, Check, Edit } Kind;
  std::function<bool(TPlanRun&)> Run;
};

// One installation or dry run of a plan.
struct TPlanRun {
  TPatchPlan& Plan;
  bool DryRun;
  TPlanValues Values;
  TCodeTransaction Transaction;
  std::wstring Reason;
  bool NeedsRunningIde = false;
  bool Ignored = false;
  std::function<bool(const std::wstring&)> IsApplied;  // for Needs; empty: the registry
  // Slots whose old values are handed out at publication (where, what).
  std::vector<std::pair<void**, void*>> OldValues;

  TPlanRun(TPatchPlan& plan, bool dryRun) : Plan(plan), DryRun(dryRun), Transaction(plan.Name()) {
    Transaction.KeepInPlaceWhile(plan.FInUse);
    Values.Sites.assign(size_t(plan.FSiteCount), nullptr);
    Values.Forms.assign(size_t(plan.FSiteCount), 0);
    Values.Captures.assign(size_t(plan.FCaptureCount), 0);
  }

  bool Fail(std::wstring reason) {
    if (Reason.empty()) Reason = std::move(reason);
    return false;
  }
  const std::wstring& Label(TSiteRef site) const { return Plan.FSiteLabels.at(size_t(site.Index)); }
  std::wstring Where(TSiteRef site, int32_t offset) const { return Label(site) + L" " + OffsetText(offset); }
  // site + offset, when `size` bytes there can be read.
  uint8_t* Readable(TSiteRef site, int32_t offset, size_t size) {
    uint8_t* p = Values.At(site, offset);
    if (!IsReadableMemory(p, size)) {
      Fail(Where(site, offset) + L": memory not readable");
      return nullptr;
    }
    return p;
  }
  bool Staged(bool ok) { return ok || Fail(Transaction.Reason()); }

  // After a run without a miss: old slot values and the plan's publication
  // first, then the commit; a refused commit takes the publication back.
  void PublishAndCommit() {
    for (auto& [slot, value] : OldValues) *slot = value;
    if (Plan.FPublish) Plan.FPublish(Values);
    if (!Transaction.Commit()) {
      Fail(Transaction.Reason());
      for (auto& [slot, value] : OldValues) *slot = nullptr;
      if (Plan.FUnpublish) Plan.FUnpublish();
    }
  }

  void Run() {
    for (const auto& [why, condition] : Plan.FPreconditions)
      if (!condition()) {
        Ignored = true;
        Fail(why);
        return;
      }
    for (const std::wstring& need : Plan.FNeeds)
      if (!(IsApplied ? IsApplied(need) : IsPatchApplied(need))) {
        Fail(L"needs " + need);
        return;
      }
    // Sites, expectations and captures in declaration order, then the edits.
    for (const TPatchPlan::TStep& step : Plan.FSteps)
      if (step.Kind != TPatchPlan::TStep::Edit && !Guarded(step)) return;
    for (const TPatchPlan::TStep& step : Plan.FSteps)
      if (step.Kind == TPatchPlan::TStep::Edit && !Guarded(step)) return;
  }

  // A step's own errors (a malformed pattern, a raising decoder) fail the plan.
  bool Guarded(const TPatchPlan::TStep& step) {
    try {
      if (step.Run(*this)) return true;
    } catch (const std::exception& e) {
      Fail(Widen(e.what()));
    }
    if (Reason.empty()) Fail(L"step failed");
    return false;
  }
};

void SetPlanModuleResolver(TModuleResolver resolver) { g_moduleResolver = resolver; }

HMODULE ResolvePlanModule(const wchar_t* moduleName) {
  return g_moduleResolver ? g_moduleResolver(moduleName) : GetModuleHandleW(moduleName);
}

bool HasCustomPlanModuleResolver() { return g_moduleResolver != nullptr; }

void SetPlanExportResolver(TExportResolver resolver) { g_exportResolver = resolver; }

void* ResolvePlanExport(HMODULE module, const char* exportName) {
  if (!module) return nullptr;
  return g_exportResolver ? g_exportResolver(module, exportName)
                          : reinterpret_cast<void*>(GetProcAddress(module, exportName));
}

TPatchPlan::TPatchPlan(std::wstring name, std::wstring description, TInstallMoment moment)
    : FName(std::move(name)), FDescription(std::move(description)), FMoment(moment) {}

TPatchPlan::~TPatchPlan() = default;
TPatchPlan::TPatchPlan(TPatchPlan&&) noexcept = default;
TPatchPlan& TPatchPlan::operator=(TPatchPlan&&) noexcept = default;

TPatchPlan& TPatchPlan::Needs(std::initializer_list<const wchar_t*> names) {
  for (const wchar_t* name : names) FNeeds.emplace_back(name);
  return *this;
}

TPatchPlan& TPatchPlan::IgnoreUnless(const wchar_t* why, std::function<bool()> condition) {
  FPreconditions.emplace_back(why, std::move(condition));
  return *this;
}

TPatchPlan& TPatchPlan::TriedOnlyAfter(std::initializer_list<const wchar_t*> names) {
  for (const wchar_t* name : names) FTriedAfter.emplace_back(name);
  return *this;
}

TPatchPlan& TPatchPlan::TriedOnlyWhen(const wchar_t* why, std::function<bool()> condition) {
  FTriedWhen.emplace_back(why, std::move(condition));
  return *this;
}

std::wstring TPatchPlan::NotTriedReason(const std::function<bool(const std::wstring&)>& isApplied) const {
  for (const std::wstring& name : FTriedAfter)
    if (!(isApplied ? isApplied(name) : IsPatchApplied(name))) return L"not tried: needs " + name;
  for (const auto& [why, condition] : FTriedWhen)
    if (!condition()) return why;
  return std::wstring();
}

TSiteRef TPatchPlan::AddSite(std::wstring label, std::function<bool(TPlanRun&, TSiteRef)> resolve) {
  TSiteRef site{FSiteCount++};
  FSiteLabels.push_back(std::move(label));
  FSteps.push_back({TStep::Site, [site, resolve = std::move(resolve)](TPlanRun& run) { return resolve(run, site); }});
  return site;
}

namespace {

// The module of a site, or a failed run.
HMODULE SiteModule(TPlanRun& run, const std::wstring& moduleName) {
  HMODULE module = ResolvePlanModule(moduleName.c_str());
  if (!module) run.Fail(moduleName + L": module not loaded");
  return module;
}

} // namespace

TSiteRef TPatchPlan::Module(const wchar_t* moduleName) {
  std::wstring name = moduleName;
  return AddSite(name, [name](TPlanRun& run, TSiteRef site) {
    HMODULE module = SiteModule(run, name);
    run.Values.Sites[size_t(site.Index)] = reinterpret_cast<uint8_t*>(module);
    return module != nullptr;
  });
}

TSiteRef TPatchPlan::LoadedModule(const wchar_t* moduleName, HMODULE (*load)()) {
  std::wstring name = moduleName;
  return AddSite(name, [name, load](TPlanRun& run, TSiteRef site) {
    HMODULE module = g_moduleResolver ? g_moduleResolver(name.c_str()) : load();
    if (!module) return run.Fail(name + L": module not loaded");
    run.Values.Sites[size_t(site.Index)] = reinterpret_cast<uint8_t*>(module);
    return true;
  });
}

TSiteRef TPatchPlan::Export(const wchar_t* label, const wchar_t* moduleName, const char* exportName) {
  std::wstring name = moduleName;
  std::string symbol = exportName;
  return AddSite(label, [name, symbol](TPlanRun& run, TSiteRef site) {
    HMODULE module = SiteModule(run, name);
    if (!module) return false;
    auto* proc = static_cast<uint8_t*>(ResolvePlanExport(module, symbol.c_str()));
    if (!proc) return run.Fail(run.Label(site) + L": export not found in " + name);
    run.Values.Sites[size_t(site.Index)] = proc;
    return true;
  });
}

TSiteRef TPatchPlan::Pattern(const wchar_t* label, const wchar_t* moduleName, const char* pattern, int32_t maxSize) {
  return Pattern(label, moduleName, std::vector<const char*>{pattern}, maxSize);
}

TSiteRef TPatchPlan::Pattern(const wchar_t* label, const wchar_t* moduleName, std::vector<const char*> forms,
                             int32_t maxSize) {
  std::vector<TBytePattern> patterns;
  for (const char* form : forms) patterns.push_back(ParsePattern(form));
  std::wstring name = moduleName;
  FPatternSearches.push_back({name, patterns, maxSize});
  return AddSite(label, [name, patterns, maxSize](TPlanRun& run, TSiteRef site) {
    HMODULE module = SiteModule(run, name);
    if (!module) return false;
    for (size_t form = 0; form < patterns.size(); ++form) {
      if (auto* match = static_cast<uint8_t*>(FindMethodPtr(module, patterns[form], maxSize))) {
        run.Values.Sites[size_t(site.Index)] = match;
        run.Values.Forms[size_t(site.Index)] = int(form);
        return true;
      }
    }
    return run.Fail(run.Label(site) + L": pattern not found");
  });
}

TSiteRef TPatchPlan::OptionalPattern(const wchar_t* label, const wchar_t* moduleName, const char* pattern,
                                     int32_t maxSize) {
  TBytePattern bytes = ParsePattern(pattern);
  std::wstring name = moduleName;
  FPatternSearches.push_back({name, {bytes}, maxSize});
  return AddSite(label, [name, bytes, maxSize](TPlanRun& run, TSiteRef site) {
    HMODULE module = SiteModule(run, name);
    if (!module) return false;
    run.Values.Sites[size_t(site.Index)] = static_cast<uint8_t*>(FindMethodPtr(module, bytes, maxSize));
    return true;
  });
}

TSiteRef TPatchPlan::PatternFrom(const wchar_t* label, TSiteRef from, int32_t offset, const char* pattern,
                                 int32_t window) {
  TBytePattern bytes = ParsePattern(pattern);
  return AddSite(label, [from, offset, bytes, window](TPlanRun& run, TSiteRef site) {
    auto* match = static_cast<uint8_t*>(FindMethodPtr(run.Values.At(from, offset), bytes, window));
    if (!match) return run.Fail(run.Label(site) + L": pattern not found");
    run.Values.Sites[size_t(site.Index)] = match;
    return true;
  });
}

TSiteRef TPatchPlan::PatternWith(const wchar_t* label, const wchar_t* moduleName,
                                 std::function<std::vector<const char*>(const TPlanValues&)> forms,
                                 std::function<void(const TPlanValues&, std::vector<int16_t>&)> complete,
                                 int32_t maxSize) {
  std::wstring name = moduleName;
  return AddSite(label, [name, forms, complete, maxSize](TPlanRun& run, TSiteRef site) {
    HMODULE module = SiteModule(run, name);
    if (!module) return false;
    std::vector<const char*> texts = forms(run.Values);
    for (size_t form = 0; form < texts.size(); ++form) {
      TBytePattern pattern = ParsePattern(texts[form]);
      if (complete) complete(run.Values, pattern);
      if (auto* match = static_cast<uint8_t*>(FindMethodPtr(module, pattern, maxSize))) {
        run.Values.Sites[size_t(site.Index)] = match;
        run.Values.Forms[size_t(site.Index)] = int(form);
        return true;
      }
    }
    return run.Fail(run.Label(site) + L": pattern not found");
  });
}

TSiteRef TPatchPlan::CallTargetOf(const wchar_t* label, TSiteRef from, int32_t offset) {
  return AddSite(label, [from, offset](TPlanRun& run, TSiteRef site) {
    uint8_t* call = run.Readable(from, offset, 5);
    if (!call) return false;
    auto* target = static_cast<uint8_t*>(GetCallTargetAddress(call));
    if (!target) return run.Fail(run.Where(from, offset) + L": no relative call");
    run.Values.Sites[size_t(site.Index)] = target;
    return true;
  });
}

TSiteRef TPatchPlan::Computed(const wchar_t* label, std::function<void*(const TPlanValues&)> resolve,
                              bool needsRunningIde) {
  return AddSite(label, [resolve, needsRunningIde](TPlanRun& run, TSiteRef site) {
    auto* address = static_cast<uint8_t*>(resolve(run.Values));
    if (!address) {
      if (needsRunningIde) run.NeedsRunningIde = true;
      return run.Fail(run.Label(site) + L": not found");
    }
    run.Values.Sites[size_t(site.Index)] = address;
    return true;
  });
}

// ---- expectations ----------------------------------------------------------------

void TPatchPlan::ExpectU8(TSiteRef site, int32_t offset, uint8_t value) {
  FSteps.push_back({TStep::Check, [site, offset, value](TPlanRun& run) {
                      uint8_t* p = run.Readable(site, offset, 1);
                      if (!p) return false;
                      if (*p == value) return true;
                      return run.Fail(run.Where(site, offset) + L": " + HexValue(value) + L" expected, " +
                                      HexValue(*p) + L" found");
                    }});
}

void TPatchPlan::ExpectU32(TSiteRef site, int32_t offset, uint32_t value) {
  FSteps.push_back({TStep::Check, [site, offset, value](TPlanRun& run) {
                      uint8_t* p = run.Readable(site, offset, 4);
                      if (!p) return false;
                      const uint32_t found = ReadCodeU32(p);
                      if (found == value) return true;
                      return run.Fail(run.Where(site, offset) + L": " + HexValue(value) + L" expected, " +
                                      HexValue(found) + L" found");
                    }});
}

void TPatchPlan::ExpectBytes(TSiteRef site, int32_t offset, const char* hexPattern) {
  TBytePattern pattern = ParsePattern(hexPattern);
  std::wstring text = Widen(hexPattern);
  FSteps.push_back({TStep::Check, [site, offset, pattern, text](TPlanRun& run) {
                      uint8_t* p = run.Readable(site, offset, pattern.size());
                      if (!p) return false;
                      for (size_t i = 0; i < pattern.size(); ++i)
                        if (pattern[i] >= 0 && p[i] != uint8_t(pattern[i]))
                          return run.Fail(run.Where(site, offset) + L": " + text + L" expected");
                      return true;
                    }});
}

void TPatchPlan::ExpectCallTo(TSiteRef site, int32_t offset, TSiteRef routine) {
  FSteps.push_back({TStep::Check, [site, offset, routine](TPlanRun& run) {
                      uint8_t* call = run.Readable(site, offset, 5);
                      if (!call) return false;
                      if (GetCallTargetAddress(call) == run.Values.Site(routine)) return true;
                      return run.Fail(run.Where(site, offset) + L": call to " + run.Label(routine) + L" expected");
                    }});
}

void TPatchPlan::ExpectEqual(TCaptureRef a, TCaptureRef b, const wchar_t* what) {
  std::wstring text = what;
  FSteps.push_back({TStep::Check, [a, b, text](TPlanRun& run) {
                      if (run.Values.Value(a) == run.Values.Value(b)) return true;
                      return run.Fail(text + L": " + HexValue(uint32_t(run.Values.Value(a))) + L" and " +
                                      HexValue(uint32_t(run.Values.Value(b))) + L" differ");
                    }});
}

void TPatchPlan::Expect(const wchar_t* reason, std::function<bool(const TPlanValues&)> check) {
  std::wstring text = reason;
  FSteps.push_back({TStep::Check, [text, check](TPlanRun& run) { return check(run.Values) || run.Fail(text); }});
}

void TPatchPlan::IgnoreWhen(const wchar_t* why, std::function<bool(const TPlanValues&)> condition) {
  std::wstring text = why;
  FSteps.push_back({TStep::Check, [text, condition](TPlanRun& run) {
                      if (!condition(run.Values)) return true;
                      run.Ignored = true;
                      return run.Fail(text);
                    }});
}

// ---- captures ----------------------------------------------------------------------

TCaptureRef TPatchPlan::AddCapture(std::function<bool(TPlanRun&, uintptr_t&)> read) {
  TCaptureRef capture{FCaptureCount++};
  FSteps.push_back({TStep::Check, [capture, read = std::move(read)](TPlanRun& run) {
                      return read(run, run.Values.Captures[size_t(capture.Index)]);
                    }});
  return capture;
}

TCaptureRef TPatchPlan::Operand(TSiteRef site, int32_t offset) {
  return AddCapture([site, offset](TPlanRun& run, uintptr_t& value) {
    uint8_t* p = run.Readable(site, offset, 4);
    if (!p) return false;
    value = ReadCodeU32(p);
    return true;
  });
}

TCaptureRef TPatchPlan::CallTarget(TSiteRef site, int32_t offset) {
  return AddCapture([site, offset](TPlanRun& run, uintptr_t& value) {
    uint8_t* p = run.Readable(site, offset, 5);
    if (!p) return false;
    value = reinterpret_cast<uintptr_t>(GetCallTargetAddress(p));
    return value != 0 || run.Fail(run.Where(site, offset) + L": no relative call");
  });
}

TCaptureRef TPatchPlan::Address(TSiteRef site, int32_t offset) {
  return AddCapture([site, offset](TPlanRun& run, uintptr_t& value) {
    value = reinterpret_cast<uintptr_t>(run.Values.At(site, offset));
    return true;
  });
}

TCaptureRef TPatchPlan::Compute(std::function<uintptr_t(const TPlanValues&)> compute) {
  return AddCapture([compute](TPlanRun& run, uintptr_t& value) {
    value = compute(run.Values);
    return true;
  });
}

// ---- edits -------------------------------------------------------------------------

void TPatchPlan::AddEdit(std::function<bool(TPlanRun&)> stage) { FSteps.push_back({TStep::Edit, std::move(stage)}); }

void TPatchPlan::WriteBytes(TSiteRef site, int32_t offset, std::vector<uint8_t> bytes) {
  AddEdit([site, offset, bytes](TPlanRun& run) {
    return run.Staged(run.Transaction.Stage(run.Values.At(site, offset), bytes, run.Where(site, offset)));
  });
}

void TPatchPlan::WriteBytes(TSiteRef site, int32_t offset, const char* hexBytes) {
  TBytePattern pattern = ParsePattern(hexBytes);
  std::vector<uint8_t> bytes;
  for (int16_t entry : pattern) {
    if (entry < 0) RaiseError("WriteBytes: \"??\" in bytes to write");
    bytes.push_back(uint8_t(entry));
  }
  WriteBytes(site, offset, std::move(bytes));
}

void TPatchPlan::WriteCode(TSiteRef site, int32_t offset,
                           std::function<std::vector<uint8_t>(const TPlanValues&, const uint8_t* at)> build) {
  AddEdit([site, offset, build](TPlanRun& run) {
    uint8_t* at = run.Values.At(site, offset);
    return run.Staged(run.Transaction.Stage(at, build(run.Values, at), run.Where(site, offset)));
  });
}

void TPatchPlan::WriteCall(TSiteRef site, int32_t offset, TTarget target, std::vector<uint8_t> tail) {
  AddEdit([site, offset, target, tail](TPlanRun& run) {
    return run.Staged(run.Transaction.StageCall(run.Values.At(site, offset), target.Resolve(run.Values), tail,
                                                run.Where(site, offset)));
  });
}

void TPatchPlan::WriteJump(TSiteRef site, int32_t offset, TTarget target, std::vector<uint8_t> tail) {
  AddEdit([site, offset, target, tail](TPlanRun& run) {
    return run.Staged(run.Transaction.StageJump(run.Values.At(site, offset), target.Resolve(run.Values), tail,
                                                run.Where(site, offset)));
  });
}

void TPatchPlan::RetargetCall(TSiteRef site, int32_t offset, TTarget target) {
  AddEdit([site, offset, target](TPlanRun& run) {
    return run.Staged(run.Transaction.StageRetarget(run.Values.At(site, offset), target.Resolve(run.Values),
                                                    run.Where(site, offset)));
  });
}

void TPatchPlan::Redirect(TSiteRef routine, TTarget replacement) {
  AddEdit([routine, replacement](TPlanRun& run) {
    return run.Staged(
        run.Transaction.StageRedirect(run.Values.Site(routine), replacement.Resolve(run.Values), run.Label(routine)));
  });
}

void TPatchPlan::RedirectOrgCall(TSiteRef routine, TTarget replacement, void** orgCall) {
  AddEdit([routine, replacement, orgCall](TPlanRun& run) {
    return run.Staged(run.Transaction.StageRedirectOrgCall(run.Values.Site(routine), replacement.Resolve(run.Values),
                                                           orgCall, run.Label(routine)));
  });
}

void TPatchPlan::HookWinApi(TSiteRef function, TTarget replacement, void** orgCall) {
  AddEdit([function, replacement, orgCall](TPlanRun& run) {
    return run.Staged(run.Transaction.StageWinApiHook(run.Values.Site(function), replacement.Resolve(run.Values),
                                                      orgCall, run.Label(function)));
  });
}

void TPatchPlan::WritePointer(TSiteRef site, int32_t offset, TTarget value) {
  AddEdit([site, offset, value](TPlanRun& run) {
    return run.Staged(
        run.Transaction.StagePointer(run.Values.At(site, offset), value.Resolve(run.Values), run.Where(site, offset)));
  });
}

namespace {

// Stages a slot write and arranges for the slot's old value to be handed out
// at publication.
bool StageSlot(TPlanRun& run, void** slot, const void* value, void** old, const std::wstring& label) {
  if (!run.Staged(run.Transaction.StagePointer(slot, value, label))) return false;
  if (old) run.OldValues.emplace_back(old, ReadPointer(slot));
  return true;
}

} // namespace

void TPatchPlan::VirtualMethod(TSiteRef classRef, int32_t index, TTarget method, void** old) {
  AddEdit([classRef, index, method, old](TPlanRun& run) {
    auto** slot = reinterpret_cast<void**>(run.Values.Site(classRef) + 4 * index);
    return StageSlot(run, slot, method.Resolve(run.Values), old,
                     run.Label(classRef) + L" virtual " + std::to_wstring(index));
  });
}

void TPatchPlan::VmtField(TSiteRef classRef, TTarget oldMethod, TTarget method) {
  AddEdit([classRef, oldMethod, method](TPlanRun& run) {
    void** slot = FindVmtField(run.Values.Site(classRef), const_cast<void*>(oldMethod.Resolve(run.Values)));
    if (!slot) return run.Fail(run.Label(classRef) + L": method not in its table");
    return run.Staged(run.Transaction.StagePointer(slot, GetActualAddr(const_cast<void*>(method.Resolve(run.Values))),
                                                   run.Label(classRef) + L" method table"));
  });
}

void TPatchPlan::DynamicMethod(TSiteRef classRef, int32_t index, TTarget method, void** old) {
  AddEdit([classRef, index, method, old](TPlanRun& run) {
    void** slot = FindDynamicMethodSlot(run.Values.Site(classRef), index);
    if (!slot) return run.Fail(run.Label(classRef) + L": no dynamic method " + std::to_wstring(index));
    return StageSlot(run, slot, method.Resolve(run.Values), old,
                     run.Label(classRef) + L" dynamic " + std::to_wstring(index));
  });
}

void TPatchPlan::ImportSlots(TSiteRef module, const char* dllName, const char* function, TTarget replacement,
                             void** old) {
  std::string dll = dllName, name = function;
  AddEdit([module, dll, name, replacement, old](TPlanRun& run) {
    HMODULE source = ResolvePlanModule(Widen(dll.c_str()).c_str());
    void* proc = ResolvePlanExport(source, name.c_str());
    const std::wstring label = run.Label(module) + L" import " + Widen(name.c_str());
    if (!proc) return run.Fail(label + L": " + Widen(dll.c_str()) + L" does not export it");
    std::vector<void**> slots = FindImportSlots(run.Values.Site(module), Widen(dll.c_str()), proc);
    if (slots.empty()) return run.Fail(label + L": no import slot");
    for (void** slot : slots)
      if (!StageSlot(run, slot, replacement.Resolve(run.Values), old, label)) return false;
    return true;
  });
}

void TPatchPlan::OnCommit(std::function<void(const TPlanValues&)> publish) { FPublish = std::move(publish); }

void TPatchPlan::OnRollback(std::function<void()> unpublish) { FUnpublish = std::move(unpublish); }

// ---- installation ------------------------------------------------------------------

namespace {

TPlanVerdict Verdict(TPlanRun& run) {
  TPlanVerdict verdict;
  verdict.Reason = run.Reason;
  verdict.Applies = run.Reason.empty();
  verdict.Ignored = run.Ignored;
  verdict.NeedsRunningIde = run.NeedsRunningIde;
  verdict.Values = run.Values;
  verdict.Edits = run.Transaction.Edits();
  return verdict;
}

} // namespace

TPlanVerdict DryRunPlan(TPatchPlan& plan, const TDryRunOptions& options) {
  TPlanVerdict notTried;
  notTried.Reason = plan.NotTriedReason(options.IsApplied);
  if (!notTried.Reason.empty()) {
    notTried.Ignored = true;
    return notTried;
  }
  TPlanRun run(plan, true);
  run.IsApplied = options.IsApplied;
  run.Run();
  if (run.Reason.empty() && options.Publish && plan.FPublish) plan.FPublish(run.Values);
  return Verdict(run);
}

namespace {

// Resolves, checks, stages, publishes and commits (or rolls back the publication).
TPlanVerdict RunAndCommit(TPatchPlan& plan) {
  TPlanRun run(plan, false);
  run.Run();
  if (run.Reason.empty()) run.PublishAndCommit();
  return Verdict(run);
}

} // namespace

TPlanVerdict InstallPlanVerdict(TPatchPlan& plan) {
  TPlanVerdict verdict;
  verdict.Reason = plan.NotTriedReason(nullptr);
  if (!verdict.Reason.empty()) {
    verdict.Ignored = true;
    return verdict;
  }
  if (!RegisterPatch(plan.Name(), plan.Description(), plan.Moment() == TInstallMoment::CppCompilerLoad))
    return verdict;
  verdict = RunAndCommit(plan);
  verdict.Registered = true;
  if (verdict.Applies)
    SetPatchApplied(plan.Name());
  else if (verdict.Ignored)
    SetPatchIgnored(plan.Name());
  else
    SetPatchFailed(plan.Name(), verdict.Reason);
  return verdict;
}

bool InstallPlan(TPatchPlan& plan) { return InstallPlanVerdict(plan).Applies; }

TPlanVerdict InstallUnregisteredPlan(TPatchPlan& plan) { return RunAndCommit(plan); }

} // namespace Quillmend

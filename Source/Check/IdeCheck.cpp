#include "Check/IdeCheck.h"

#include <algorithm>
#include <map>
#include <memory>

#include "Framework/HostAbi.h"
#include "Framework/PatchRegistry.h"
#include "Hooking/CodeTransaction.h"

namespace Quillmend {

namespace {

struct TNameLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const { return PatchNameLess(a, b); }
};

struct TQueuedPlan {
  TPatchPlan Plan;
  size_t Order;  // link order, then the module's own order
};

const std::wstring ModuleNotLoaded = L": module not loaded";

// "dcc150.dll: module not loaded" says what the running IDE would say; here
// the module set knows why: missing from the bin folder, or not a usable image.
std::wstring ExplainModuleProblem(const TIdeModules& modules, const std::wstring& reason) {
  if (reason.size() <= ModuleNotLoaded.size() ||
      reason.compare(reason.size() - ModuleNotLoaded.size(), ModuleNotLoaded.size(), ModuleNotLoaded) != 0)
    return reason;
  const std::wstring name = reason.substr(0, reason.size() - ModuleNotLoaded.size());
  const TModuleEntry* entry = modules.Find(name);
  if (!entry || entry->Problem.empty()) return reason;
  return name + L": " + entry->Problem;
}

std::wstring UnitName(const TUnitInfo& unit) {
  std::wstring name;
  for (const char* c = unit.Name ? unit.Name : "?"; *c; ++c) name += wchar_t(static_cast<unsigned char>(*c));
  return name;
}

// Searches each module the plans search from its base once for all their
// patterns; the answers stand in for the plans' own searches while it lives.
class TModuleSearchesOnce {
public:
  TModuleSearchesOnce(TIdeModules& modules, const std::vector<TQueuedPlan>& queue) {
    std::vector<std::pair<HMODULE, std::vector<TPatternRequest>>> byModule;
    for (const TQueuedPlan& queued : queue)
      for (const TPlanPatternSearch& search : queued.Plan.PatternSearches()) {
        HMODULE module = modules.Resolve(search.Module);
        if (!module) continue;
        auto found = std::find_if(byModule.begin(), byModule.end(), [module](const auto& m) { return m.first == module; });
        if (found == byModule.end()) found = byModule.insert(byModule.end(), {module, {}});
        for (const TBytePattern& form : search.Forms) found->second.push_back({form, search.MaxSize});
      }
    for (auto& [module, requests] : byModule) {
      FindPatternsOnce(static_cast<void*>(module), requests);
      FAnswers.insert(FAnswers.end(), requests.begin(), requests.end());
    }
    SetPatternAnswers(&FAnswers);
  }
  ~TModuleSearchesOnce() { SetPatternAnswers(nullptr); }
  TModuleSearchesOnce(const TModuleSearchesOnce&) = delete;
  TModuleSearchesOnce& operator=(const TModuleSearchesOnce&) = delete;

private:
  std::vector<TPatternRequest> FAnswers;
};

} // namespace

const wchar_t* VerdictText(TCheckVerdict verdict) {
  switch (verdict) {
    case TCheckVerdict::Applies: return L"applies";
    case TCheckVerdict::Fails: return L"fails";
    case TCheckVerdict::NeedsRunningIde: return L"needs the running IDE";
    case TCheckVerdict::Disabled: return L"disabled";
    case TCheckVerdict::Ignored: return L"ignored";
  }
  return L"?";
}

size_t TIdeCheck::Count(TCheckVerdict verdict) const {
  return size_t(std::count_if(Patches.begin(), Patches.end(), [verdict](const TPatchCheck& p) { return p.Verdict == verdict; }));
}

TIdeCheck CheckIde(TIdeModules& modules, const std::vector<const TUnitInfo*>& units, bool searchModulesOnce) {
  TIdeCheck check;
  std::vector<TQueuedPlan> queue;
  for (const TUnitInfo* unit : units) {
    if (!unit || !unit->Plans) continue;
    std::vector<TPatchPlan> plans;
    std::wstring message;
    if (!CatchToMessage([&] { plans = unit->Plans(); }, message)) {
      check.Errors.push_back(L"patch module " + UnitName(*unit) + L": its plans could not be listed: " + message);
      continue;
    }
    for (TPatchPlan& plan : plans) queue.push_back({std::move(plan), queue.size()});
  }
  // The library installs at unit initialization first, then at the expert
  // entry, then at each load of the C++ compiler; in link order within each.
  std::stable_sort(queue.begin(), queue.end(), [](const TQueuedPlan& a, const TQueuedPlan& b) {
    return a.Plan.Moment() < b.Plan.Moment();
  });

  const size_t committedBefore = CommittedRanges().size();
  std::map<std::wstring, TCheckVerdict, TNameLess> verdicts;
  TPlanModulesScope scope(modules);
  std::unique_ptr<TModuleSearchesOnce> searchesOnce;
  if (searchModulesOnce) searchesOnce = std::make_unique<TModuleSearchesOnce>(modules, queue);
  for (TQueuedPlan& queued : queue) {
    TPatchPlan& plan = queued.Plan;
    if (verdicts.count(plan.Name())) {
      check.Errors.push_back(L"patch " + plan.Name() + L" is listed twice");
      continue;
    }
    TPatchCheck result;
    result.Name = plan.Name();
    result.Description = plan.Description();
    if (IsPatchDisabled(plan.Name())) {
      result.Verdict = TCheckVerdict::Disabled;
    } else {
      // A patch that builds on one only the running IDE can check is checked
      // as far as it goes; if nothing else stops it, it waits for the IDE too.
      std::vector<std::wstring> waitsFor;
      TDryRunOptions options;
      options.Publish = true;
      options.IsApplied = [&](const std::wstring& need) {
        auto found = verdicts.find(need);
        if (found == verdicts.end()) return false;
        if (found->second == TCheckVerdict::NeedsRunningIde) waitsFor.push_back(need);
        return found->second == TCheckVerdict::Applies || found->second == TCheckVerdict::NeedsRunningIde;
      };
      TPlanVerdict verdict;
      std::wstring message;
      if (!CatchToMessage([&] { verdict = DryRunPlan(plan, options); }, message)) {
        verdict.Applies = false;
        verdict.Reason = L"the check raised: " + message;
      }
      if (verdict.Applies && waitsFor.empty()) {
        result.Verdict = TCheckVerdict::Applies;
      } else if (verdict.Applies) {
        result.Verdict = TCheckVerdict::NeedsRunningIde;
        result.Reason = L"builds on " + waitsFor.front() + L", which only the running IDE can check";
      } else if (verdict.Ignored) {
        result.Verdict = TCheckVerdict::Ignored;
        result.Reason = verdict.Reason;
      } else if (verdict.NeedsRunningIde) {
        result.Verdict = TCheckVerdict::NeedsRunningIde;
        result.Reason = verdict.Reason;
      } else {
        result.Verdict = TCheckVerdict::Fails;
        result.Reason = ExplainModuleProblem(modules, verdict.Reason);
      }
    }
    verdicts.emplace(result.Name, result.Verdict);
    check.Patches.push_back(std::move(result));
  }
  // A dry run commits nothing; a patch module that did anyway is a fault of its own.
  const std::vector<TCommittedRange> committed = CommittedRanges();
  std::vector<std::wstring> writers;
  for (size_t i = committedBefore; i < committed.size(); ++i)
    if (std::find(writers.begin(), writers.end(), committed[i].Owner) == writers.end())
      writers.push_back(committed[i].Owner);
  for (const std::wstring& owner : writers)
    check.Errors.push_back(L"patch " + owner + L" wrote into a module during the check");

  std::stable_sort(check.Patches.begin(), check.Patches.end(),
                   [](const TPatchCheck& a, const TPatchCheck& b) { return PatchNameLess(a.Name, b.Name); });
  return check;
}

} // namespace Quillmend

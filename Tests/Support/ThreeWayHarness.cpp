#include "ThreeWayHarness.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "Hooking/CodeTransaction.h"
#include "TestPaths.h"

using Quillmend::TPatchReport;

namespace {

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? char(c) : '?';
  return out;
}

std::wstring Hex(const void* p) {
  wchar_t text[16];
  std::swprintf(text, 16, L"%08X", unsigned(reinterpret_cast<uintptr_t>(p)));
  return text;
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool Contains(const std::vector<std::wstring>& list, const std::wstring& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

std::wstring Join(const std::vector<std::wstring>& names) {
  std::wstring text;
  for (const std::wstring& name : names) text += name + L";";
  return text;
}

}  // namespace

TThreeWayRun::TThreeWayRun(const TThreeWaySubsystem& subsystem) : FSubsystem(subsystem) {}

void TThreeWayRun::Load(const std::string& variant, const std::function<void()>& alter,
                        const std::vector<std::wstring>& absent) {
  const std::wstring build = BuildDirectory();
  std::vector<std::wstring> loaded;
  for (const std::wstring& file : FSubsystem.Modules) {
    if (Contains(absent, file)) continue;
    loaded.push_back(file);
    std::wstring path = build + L"\\host\\" + file;
    if (!variant.empty()) {
      std::wstring altered = build + L"\\host-variants\\" + Widen(variant) + L"\\" + file;
      if (FileExists(altered)) path = altered;
    }
    HMODULE module = LoadLibraryW(path.c_str());
    if (!module) throw std::runtime_error("cannot load " + Narrow(path));
    FModules.push_back(module);
  }
  if (alter) alter();
  for (size_t m = 0; m < FModules.size(); ++m) {
    const std::wstring& file = loaded[m];
    HMODULE module = FModules[m];
    // Code and read-only data: what patches write and the host never does.
    auto* base = reinterpret_cast<uint8_t*>(module);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
      const bool code = section->Characteristics & IMAGE_SCN_MEM_EXECUTE;
      const bool readOnly = !(section->Characteristics & IMAGE_SCN_MEM_WRITE);
      if (!code && !readOnly) continue;
      uint8_t* start = base + section->VirtualAddress;
      std::string name(reinterpret_cast<const char*>(section->Name), strnlen(reinterpret_cast<const char*>(section->Name), 8));
      FSnapshot.push_back({file + L" " + Widen(name), start, std::vector<uint8_t>(start, start + section->Misc.VirtualSize)});
    }
  }
  if (FSubsystem.AfterLoad) FSubsystem.AfterLoad();
}

void TThreeWayRun::Install(const std::wstring& disabledPatches) {
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", disabledPatches.c_str());
  FSubsystem.Install();
  FReports = Quillmend::PatchReports();
}

const TPatchReport* TThreeWayRun::Report(const std::wstring& patch) const {
  for (const TPatchReport& report : FReports)
    if (report.Name == patch) return &report;
  return nullptr;
}

std::wstring StatusText(const TPatchReport* report) {
  if (!report) return L"";
  switch (report->Status) {
    case Quillmend::psApplied: return L"applied";
    case Quillmend::psIgnored: return L"ignored";
    default: return L"failed";
  }
}

std::wstring TThreeWayRun::Status(const std::wstring& patch) const { return StatusText(Report(patch)); }

std::wstring ReportedStatus(const std::wstring& patch) {
  for (const TPatchReport& report : Quillmend::PatchReports())
    if (report.Name == patch) return StatusText(&report);
  return L"";
}

std::string FailedReasonsText() {
  std::string text;
  for (wchar_t c : Quillmend::FailedPatchReasons()) text += c < 0x80 ? char(c) : '?';
  return text;
}

std::vector<std::wstring> TThreeWayRun::UndeclaredChanges() const {
  const std::vector<Quillmend::TCommittedRange> ranges = Quillmend::CommittedRanges();
  std::vector<std::wstring> changes;
  for (const TSection& section : FSnapshot) {
    for (size_t i = 0; i < section.Bytes.size(); ++i) {
      uint8_t* at = section.Start + i;
      if (*at == section.Bytes[i]) continue;
      const bool declared = std::any_of(ranges.begin(), ranges.end(), [at](const Quillmend::TCommittedRange& r) {
        return at >= r.Address && at < r.Address + r.Size;
      });
      if (!declared) changes.push_back(section.Name + L" at " + Hex(at));
    }
  }
  return changes;
}

size_t TThreeWayRun::CommittedRangesOf(const std::wstring& patch) const {
  const std::vector<Quillmend::TCommittedRange> ranges = Quillmend::CommittedRanges();
  return size_t(std::count_if(ranges.begin(), ranges.end(),
                              [&](const Quillmend::TCommittedRange& r) { return r.Owner == patch; }));
}

std::vector<std::wstring> TThreeWayRun::UndoAndCompare() {
  Quillmend::UndoAllTransactions();
  std::vector<std::wstring> left;
  for (const TSection& section : FSnapshot)
    for (size_t i = 0; i < section.Bytes.size(); ++i)
      if (section.Start[i] != section.Bytes[i]) left.push_back(section.Name + L" at " + Hex(section.Start + i));
  for (const std::wstring& report : Quillmend::UndoReports()) left.push_back(report);
  return left;
}

std::string TThreeWayRun::Exercise() const { return FSubsystem.Exercise ? FSubsystem.Exercise() : std::string(); }

std::vector<std::wstring> NeedsClosure(const std::vector<TPatchRow>& rows, const std::wstring& patch) {
  std::vector<std::wstring> closure;
  std::vector<std::wstring> pending = {patch};
  while (!pending.empty()) {
    std::wstring name = pending.back();
    pending.pop_back();
    for (const TPatchRow& row : rows) {
      if (row.Patch != name) continue;
      std::vector<std::wstring> direct = row.Needs;
      if (!row.Parent.empty()) direct.push_back(row.Parent);
      for (const std::wstring& need : direct)
        if (!Contains(closure, need)) {
          closure.push_back(need);
          pending.push_back(need);
        }
    }
  }
  return closure;
}

std::vector<std::wstring> Dependants(const std::vector<TPatchRow>& rows, const std::wstring& patch) {
  // Not registered: the children of the disabled patch, and theirs.
  std::vector<std::wstring> absent = {patch};
  for (size_t i = 0; i < absent.size(); ++i)
    for (const TPatchRow& row : rows)
      if (row.Parent == absent[i] && !Contains(absent, row.Patch)) absent.push_back(row.Patch);
  // Failed: whatever needs one of them, or a failed one.
  std::vector<std::wstring> affected = absent;
  for (size_t i = 0; i < affected.size(); ++i)
    for (const TPatchRow& row : rows)
      if (Contains(row.Needs, affected[i]) && !Contains(affected, row.Patch)) affected.push_back(row.Patch);
  affected.erase(affected.begin());
  return affected;
}

std::wstring ExpectedStatus(const TThreeWaySubsystem& s, const TVariantRow* row, const std::wstring& patch) {
  const bool triedHere = row && Contains(row->Tried, patch);
  if ((row && Contains(row->Unregistered, patch)) || (Contains(s.NotTried, patch) && !triedHere)) return L"";
  if (row && Contains(row->Failing, patch)) return L"failed";
  return Contains(s.Ignored, patch) || (row && Contains(row->Ignored, patch)) ? L"ignored" : L"applied";
}

namespace {

// What every case checks after installing: nothing written outside the
// committed writes, the host's results unchanged, the code restored at undo.
void ExpectConsistent(TThreeWayRun& run, const std::string& before) {
  EXPECT_EQ(run.UndeclaredChanges(), std::vector<std::wstring>()) << "bytes changed outside every committed write";
  EXPECT_EQ(run.Exercise(), before) << "the host's results changed";
  EXPECT_EQ(run.UndoAndCompare(), std::vector<std::wstring>()) << "not restored byte for byte";
}

}  // namespace

void ExpectAppliedAlone(const TThreeWaySubsystem& s, const std::vector<TPatchRow>& rows, const TPatchRow& row) {
  TThreeWayRun run(s);
  run.Load();
  const std::string before = run.Exercise();
  // Everything but this patch, its ancestors and the patches it needs is off.
  const std::vector<std::wstring> needed = NeedsClosure(rows, row.Patch);
  std::vector<std::wstring> disabled;
  for (const TPatchRow& other : rows)
    if (other.Patch != row.Patch && !Contains(needed, other.Patch)) disabled.push_back(other.Patch);
  run.Install(Join(disabled));
  const TPatchReport* report = run.Report(row.Patch);
  ASSERT_NE(report, nullptr) << "not registered";
  EXPECT_EQ(run.Status(row.Patch), ExpectedStatus(s, nullptr, row.Patch)) << Narrow(report->Reason);
  for (const std::wstring& off : disabled) EXPECT_EQ(run.Status(off), L"") << Narrow(off) << " is disabled";
  ExpectConsistent(run, before);
}

void ExpectDisabledUntouched(const TThreeWaySubsystem& s, const std::vector<TPatchRow>& rows, const TPatchRow& row) {
  TThreeWayRun run(s);
  run.Load();
  const std::string before = run.Exercise();
  run.Install(row.Patch);
  EXPECT_EQ(run.Status(row.Patch), L"");
  EXPECT_EQ(run.CommittedRangesOf(row.Patch), 0u);
  const std::vector<std::wstring> dependants = Dependants(rows, row.Patch);
  for (const TPatchRow& other : rows) {
    if (other.Patch == row.Patch) continue;
    SCOPED_TRACE(Narrow(other.Patch));
    // What builds on it is failed, or not even registered when the disabled
    // patch is the parent that installs it.
    if (Contains(dependants, other.Patch)) {
      EXPECT_NE(run.Status(other.Patch), L"applied");
      EXPECT_EQ(run.CommittedRangesOf(other.Patch), 0u);
    } else {
      EXPECT_EQ(run.Status(other.Patch), ExpectedStatus(s, nullptr, other.Patch));
    }
  }
  ExpectConsistent(run, before);
}

void ExpectMismatchedFails(const TThreeWaySubsystem& s, const TVariantRow& row) {
  TThreeWayRun run(s);
  if (row.Alter || !row.Absent.empty())
    run.Load("", row.Alter, row.Absent);
  else
    run.Load(row.Variant);
  const std::string before = run.Exercise();
  run.Install(L"");
  // A failing patch may be one registered only when it fails (a helper's pseudo-patch).
  std::vector<std::wstring> patches = s.Patches;
  for (const std::wstring& patch : row.Failing)
    if (!Contains(patches, patch)) patches.push_back(patch);
  for (const std::wstring& patch : patches) {
    SCOPED_TRACE(Narrow(patch));
    const bool failing = Contains(row.Failing, patch);
    if (Contains(row.Unregistered, patch)) {
      EXPECT_EQ(run.Status(patch), L"");
      EXPECT_EQ(run.CommittedRangesOf(patch), 0u);
      continue;
    }
    EXPECT_EQ(run.Status(patch), ExpectedStatus(s, &row, patch));
    if (Contains(row.Ignored, patch)) {
      EXPECT_EQ(run.CommittedRangesOf(patch), 0u);
      continue;
    }
    if (!failing) continue;
    EXPECT_EQ(run.CommittedRangesOf(patch), 0u);
    const TPatchReport* report = run.Report(patch);
    if (report) {
      EXPECT_FALSE(report->Reason.empty()) << "failed without a reason";
    }
  }
  ExpectConsistent(run, before);
}

void ExpectAllApplied(const TThreeWaySubsystem& s) {
  TThreeWayRun run(s);
  run.Load();
  const std::string before = run.Exercise();
  run.Install(L"");
  for (const std::wstring& patch : s.Patches) {
    const TPatchReport* report = run.Report(patch);
    EXPECT_EQ(run.Status(patch), ExpectedStatus(s, nullptr, patch)) << Narrow(patch) << ": "
                                                                    << (report ? Narrow(report->Reason) : "");
  }
  ExpectConsistent(run, before);
}

void PrintTo(const TPatchRow& row, std::ostream* out) { *out << Narrow(row.Patch); }
void PrintTo(const TVariantRow& row, std::ostream* out) { *out << row.Variant; }

std::string ThreeWayTestName(const std::wstring& patch) {
  std::string name;
  for (wchar_t c : patch) name += (c < 0x80 && isalnum(int(c))) ? char(c) : '_';
  return name;
}

void PrintTo(const TReasonRow& row, std::ostream* out) { *out << row.Variant; }

std::string ReasonTestName(const testing::TestParamInfo<TReasonRow>& info) {
  std::string name;
  for (const char* p = info.param.Variant; *p; ++p) name += isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
  return name;
}

void ExpectDryRunSaysWhy(std::vector<Quillmend::TPatchPlan> plans, const TReasonRow& row) {
  for (Quillmend::TPatchPlan& plan : plans) {
    if (plan.Name() != row.Patch) continue;
    const Quillmend::TPlanVerdict verdict = Quillmend::DryRunPlan(plan);
    EXPECT_FALSE(verdict.Applies);
    EXPECT_EQ(verdict.Reason.substr(0, wcslen(row.Reason)), row.Reason);
    return;
  }
  ADD_FAILURE() << "no plan " << Narrow(row.Patch);
}

// "Compiler.FindPackage" three ways against the stand-in compiler's package
// routines, and the package lookup's behaviour: answers compared with the
// compiler's own routines (run unpatched in the same process first), a
// leading '.', duplicate reports, the lookup following the list when its
// head goes, unloading packages, units held by two packages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Framework/PatchRegistry.h"
#include "Patches/Compiler/CompilerPackageLookupOptimization.h"
#include "ThreeWayHarness.h"
#include "dcc150/DccPackageDriver.h"

using Quillmend::TDccPackage;

namespace {

const wchar_t* const FindPackage = L"Compiler.FindPackage";

using TPackageDriver = DccPackageDriver::Driver<TDccPackage>;
TPackageDriver g_driver;
const TPackageDriver& D() { return g_driver; }

void BindLoaded() {
  const char* missing = nullptr;
  if (!g_driver.Bind(GetModuleHandleW(L"dcc150.dll"), &missing))
    throw std::runtime_error(std::string("dcc150.dll lacks ") + missing);
}

// The "packages" workload in small: load with duplicate checks, queries by
// unit and by name, packages unloading and removed, release of all.
std::string Workload(int packages, int units, int queries) {
  std::string out;
  auto step = [&out](const char* name, int value) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %d %08X; ", name, value, unsigned(D().Checksum()));
    out += text;
  };
  D().PreparePackages(packages, units, 5);
  step("load", D().LoadPackages());
  D().PrepareQueries(queries, queries, 11);
  step("units", D().UnitQueries());
  step("names", D().NameQueries());
  step("unload", D().UnloadPackages(7));
  D().ReleaseAll();
  step("released", 0);
  return out;
}

void WriteCode(void* at, uint32_t value) {
  DWORD old;
  VirtualProtect(at, 4, PAGE_EXECUTE_READWRITE, &old);
  std::memcpy(at, &value, 4);
  VirtualProtect(at, 4, old, &old);
}

void* Site(const char* name) {
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  auto site = reinterpret_cast<void*(__stdcall*)(const char*)>(reinterpret_cast<void*>(GetProcAddress(dcc, "DccPatternSite")));
  return site(name);
}

void AlterOperand(const char* site, int32_t offset, uint32_t value) {
  WriteCode(static_cast<uint8_t*>(Site(site)) + offset, value);
}

uint32_t DataAddress(const char* name) {
  return uint32_t(reinterpret_cast<uintptr_t>(GetProcAddress(GetModuleHandleW(L"dcc150.dll"), name)));
}

const TThreeWaySubsystem& Packages() {
  static const TThreeWaySubsystem subsystem{
      {L"dcc150.dll"}, [] { BindLoaded(); }, [] { Quillmend::InstallPackageLookup(); },
      [] { return Workload(40, 12, 400); }, {FindPackage}};
  return subsystem;
}

const std::vector<TPatchRow> PatchRows = {{FindPackage, {}}};

const std::vector<TVariantRow> VariantRows = {
    {"pkgfind", {FindPackage}},
    {"pkgremove", {FindPackage}},
    {"pkgreleaseall", {FindPackage}},
    {"pkgload", {FindPackage}},
    {"pkgofunit", {FindPackage}},
    {"pkgdupcheck", {FindPackage}},
    {"pkgerror", {FindPackage}},
    // Package names at another offset of the record: nothing fits.
    {"pkg-nameoffset", {FindPackage}, [] { AlterOperand("PackageFind", 0x27, 0x22C); }},
    // The duplicate check walks another list than the one the lookup is kept for.
    {"pkg-checkhead", {FindPackage},
     [] { AlterOperand("PackageDuplicateCheck", 0x0E, DataAddress("DccLastProbeMiss")); }},
};

QM_THREE_WAY_TESTS(CompilerPackages, Packages(), PatchRows, VariantRows)

// ---- behaviour -----------------------------------------------------------------------------

class PackageLookup : public testing::Test {
protected:
  void SetUp() override {
    FRun.Load();
    D().ClearCatalog();
  }
  void Install() {
    FRun.Install(L"");
    ASSERT_EQ(FRun.Status(FindPackage), L"applied");
  }
  void TearDown() override {
    if (FRun.Status(FindPackage) == L"applied") D().ReleaseAll();
  }
  static void Define(const char* name, std::vector<const char*> units, std::vector<uint32_t> flags = {}) {
    flags.resize(units.size());
    D().DefinePackage(name, units.data(), flags.data(), int(units.size()));
  }
  static std::vector<std::string> Errors(int from = 0) {
    std::vector<std::string> texts;
    for (int i = from; i < D().ErrorCount(); ++i) texts.push_back(D().ErrorText(i));
    std::sort(texts.begin(), texts.end());
    return texts;
  }
  TThreeWayRun FRun{Packages()};
};

TEST_F(PackageLookup, LeadingDotAndCaseAnswerAsTheCompiler) {
  Define("Alpha", {"Alpha.One"});
  Define("Beta", {"Beta.One"});
  const char* names[] = {"Alpha", ".Alpha", "ALPHA", ".beta", "Gamma", ".", ""};
  auto answers = [&] {
    std::vector<uint32_t> found;
    D().FindOrLoadPackage("Alpha");
    D().FindOrLoadPackage(".Beta");
    for (const char* name : names) found.push_back(D().FindPackage(name) ? *reinterpret_cast<uint32_t*>(
                                                                                 reinterpret_cast<uint8_t*>(D().FindPackage(name)) + 4)
                                                                           : 0xFFFF);
    found.push_back(D().FindPackage(nullptr) == nullptr);
    D().ReleaseAll();
    return found;
  };
  const std::vector<uint32_t> compiler = answers();
  EXPECT_EQ(compiler[1], compiler[0]) << "the stand-in skips the leading '.' itself";
  Install();
  EXPECT_EQ(answers(), compiler);
}

TEST_F(PackageLookup, SharedUnitsGiveTheCompilersReports) {
  Define("First", {"First.A", "Shared.Unit", "Shared.Weak", "Shared.Half"}, {0, 0, 0x20, 0x20});
  Define("Second", {"Shared.Half", "Second.A", "shared.unit", "Shared.Weak"}, {0, 0, 0, 0x20});
  auto reports = [] {
    TDccPackage* first = D().FindOrLoadPackage("First");
    TDccPackage* second = D().FindOrLoadPackage("Second");
    int before = D().ErrorCount();
    int reported = D().CheckPackageUnits(second) & 0xFF;
    reported += (D().CheckPackageUnits(first) & 0xFF) << 1;
    std::vector<std::string> texts = Errors(before);
    texts.push_back(std::to_string(reported));
    D().ReleaseAll();
    return texts;
  };
  const std::vector<std::string> compiler = reports();
  ASSERT_EQ(compiler.size(), 5u);  // two reports each way, both answered "reported"
  EXPECT_EQ(compiler[0], "2201|First|Second|Shared.Half");
  Install();
  EXPECT_EQ(reports(), compiler);
}

TEST_F(PackageLookup, RemovingTheHeadKeepsTheLookupForTheRest) {
  Install();
  Define("Head", {"Head.A"});
  Define("Middle", {"Middle.A"});
  Define("Tail", {"Tail.A"});
  TDccPackage* head = D().FindOrLoadPackage("Head");
  TDccPackage* middle = D().FindOrLoadPackage("Middle");
  D().FindOrLoadPackage("Tail");
  ASSERT_EQ(D().PackageOfUnit("Tail.A"), head->Next->Next);
  Quillmend::TPackageLookup* lookup = Quillmend::CurrentLookup;
  ASSERT_NE(lookup, nullptr);
  D().RemovePackage(head, 0);
  EXPECT_EQ(Quillmend::LookupHead, middle);
  EXPECT_EQ(Quillmend::Lookups->Count(), 1);
  EXPECT_EQ(D().PackageOfUnit("Middle.A"), middle);
  EXPECT_EQ(Quillmend::CurrentLookup, lookup) << "re-keyed, not rebuilt";
  EXPECT_EQ(lookup->RebuildCount(), 0u);
  EXPECT_EQ(D().PackageOfUnit("Head.A"), nullptr);
  EXPECT_EQ(D().FindPackage("Head"), nullptr);
  D().RemovePackage(middle, 0);
  D().RemovePackage(D().FindPackage("Tail"), 0);
  EXPECT_EQ(Quillmend::Lookups->Count(), 0) << "the last package took the lookup with it";
}

TEST_F(PackageLookup, UnloadingPackageIsNeverAnsweredAndStaysPending) {
  Install();
  Define("Leaving", {"Leaving.A", "Leaving.B"});
  Define("Staying", {"Staying.A"});
  TDccPackage* leaving = D().FindOrLoadPackage("Leaving");
  TDccPackage* staying = D().FindOrLoadPackage("Staying");
  ASSERT_EQ(D().PackageOfUnit("Leaving.A"), leaving);
  D().BeginUnload(leaving);
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(D().PackageOfUnit("Leaving.A"), nullptr);
    EXPECT_EQ(D().PackageOfUnit("Leaving.B"), nullptr);
    EXPECT_EQ(D().PackageOfUnit("Staying.A"), staying);
  }
  EXPECT_EQ(Quillmend::CurrentLookup->UnitCount(), 1) << "its units wait, unindexed";
  // Loaded again after the unload was called off, it is indexed at the next query.
  *reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(leaving) + 0x10) = 0;
  EXPECT_EQ(D().PackageOfUnit("Leaving.B"), leaving);
}

// The compiler's own answer is the first package, in list order, that holds
// the unit and is not unloading: the second holder answers once the first goes.
TEST_F(PackageLookup, UnitOfTwoPackagesStaysFoundWhenTheFirstGoes) {
  Install();
  Define("One", {"One.A", "Both.X"});
  Define("Two", {"Two.A", "Both.X"});
  Define("Three", {"Three.A"});
  TDccPackage* one = D().FindOrLoadPackage("One");
  TDccPackage* two = D().FindOrLoadPackage("Two");
  TDccPackage* three = D().FindOrLoadPackage("Three");
  EXPECT_EQ(D().PackageOfUnit("Both.X"), one);
  D().BeginUnload(one);
  EXPECT_EQ(D().PackageOfUnit("Both.X"), two) << "unloading: the other holder answers";
  D().RemovePackage(one, 0);
  EXPECT_EQ(D().PackageOfUnit("Both.X"), two) << "removed";
  EXPECT_EQ(D().PackageOfUnit("Three.A"), three);
  // Removing the second holder of a shadowed name, while the first is still there.
  TDccPackage* again = D().FindOrLoadPackage("One");
  EXPECT_EQ(D().PackageOfUnit("Both.X"), two);
  D().RemovePackage(two, 0);
  EXPECT_EQ(D().PackageOfUnit("Both.X"), again);
}

TEST_F(PackageLookup, WorkloadAnswersAsTheCompiler) {
  const std::string compiler = Workload(60, 20, 3000);
  Install();
  EXPECT_EQ(Workload(60, 20, 3000), compiler);
  EXPECT_EQ(D().PackageOfUnit("SysInit"), nullptr);
}

}  // namespace

// ---- the lookup on packages made here --------------------------------------------------------

namespace {

int32_t QM_REGISTER CompareIgnoringAsciiCase(const char* a, const char* b) { return _stricmp(a, b); }

// Package records in the compiler's layout, owned by the test.
struct TMadePackages {
  std::vector<std::vector<uint8_t>> Blocks;
  TDccPackage* Head = nullptr;
  TDccPackage* Tail = nullptr;

  TDccPackage* Add(const std::string& name, const std::vector<std::string>& units) {
    Blocks.emplace_back(0x330, 0);
    auto* package = reinterpret_cast<TDccPackage*>(Blocks.back().data());
    std::memcpy(package->Name, name.c_str(), name.size() + 1);
    Quillmend::TDccPackageUnit** link = &package->Units;
    for (const std::string& unit : units) {
      Blocks.emplace_back(0x45 + unit.size() + 1, 0);
      *link = reinterpret_cast<Quillmend::TDccPackageUnit*>(Blocks.back().data());
      std::memcpy((*link)->Name, unit.c_str(), unit.size() + 1);
      link = &(*link)->Next;
    }
    (Tail ? Tail->Next : Head) = package;
    Tail = package;
    return package;
  }
};

}  // namespace

// A removed package's slot may still wait on the pending list when the slot
// is taken again: the package that takes it is indexed all the same.
TEST(PackageLookupTable, ReusedPendingSlotIsIndexed) {
  TMadePackages made;
  TDccPackage* first = made.Add("First", {"First.A"});
  Quillmend::TPackageLookup lookup(&CompareIgnoringAsciiCase);
  lookup.Build(made.Head);
  lookup.RemovePackage(first);  // never indexed: its slot is still pending
  TDccPackage* second = made.Add("Second", {"Second.A"});
  lookup.AddPackage(second);
  const Quillmend::TPackageUnitSlot* slot = lookup.FindUnitEntry("second.a");
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(slot->Package, second);
  EXPECT_EQ(lookup.FindUnitEntry("First.A"), nullptr);
  EXPECT_EQ(lookup.PackageCount(), 1);
}

// Both tables grow past their first capacity (16 packages, 1,024 units) and
// every name stays found, the first holder of a shared one answering.
TEST(PackageLookupTable, GrowsAndKeepsEveryName) {
  TMadePackages made;
  constexpr int Packages = 40, Units = 60;
  for (int p = 0; p < Packages; ++p) {
    std::vector<std::string> units;
    for (int u = 0; u < Units; ++u) units.push_back("P" + std::to_string(p) + ".U" + std::to_string(u));
    units.push_back("Shared");
    made.Add("Pkg" + std::to_string(p), units);
  }
  Quillmend::TPackageLookup lookup(&CompareIgnoringAsciiCase);
  lookup.Build(made.Head);
  EXPECT_EQ(lookup.FindUnitEntry("Shared")->Package, made.Head);
  EXPECT_EQ(lookup.UnitCount(), Packages * Units + 1);
  EXPECT_EQ(lookup.Shadowed(), Packages - 1);
  for (int p = 0; p < Packages; ++p) {
    EXPECT_NE(lookup.FindPackage(("pkg" + std::to_string(p)).c_str()), nullptr);
    for (int u = 0; u < Units; u += 7)
      ASSERT_NE(lookup.FindUnitEntry(("P" + std::to_string(p) + ".U" + std::to_string(u)).c_str(), true), nullptr);
  }
  EXPECT_EQ(lookup.UnitsIndexed(), uint64_t(Packages * Units + 1)) << "each package's units indexed once";
}

// The stand-in IDE run as a process: package loading rules, the expert
// protocol with the about-box service, message-box recording, host
// exceptions reaching bds.exe, and the C++ compiler workloads.
#include <gtest/gtest.h>

#include "BdsRun.h"
#include "Common/Journal.h"

using namespace QmHostTest;
using QmHost::JournalEscape;

namespace {

std::wstring Fixture(const std::wstring& file) { return FixtureDir() + file; }
std::wstring J(const std::wstring& file) { return JournalEscape(Fixture(file)); }

} // namespace

TEST(BdsPackages, LoadsRefusesSkipsAndFinalizesInReverse) {
  TestRoot root(L"QmTest-Packages");
  const wchar_t* const packages[] = {L"pkgA_Base.bpl",  L"pkgB_Dup.bpl",    L"pkgC_NoInfo.bpl",
                                     L"pkgD_NoInit.bpl", L"pkgE_Raise.bpl", L"pkgF_Second.bpl"};
  for (const wchar_t* p : packages) root.SetValue(L"Known IDE Packages", Fixture(p), L"Fixture package");
  root.SetValue(L"Known IDE Packages", Fixture(L"pkgG_Hidden.bpl"), L"_hidden");
  root.SetValue(L"Known IDE Packages", Fixture(L"pkgH_Disabled.bpl"), L"Fixture package");
  root.SetValue(L"Disabled Packages", Fixture(L"pkgH_Disabled.bpl"), L"Fixture package");

  BdsResult r = RunBds(root.RegKey(), L"");
  ASSERT_EQ(0u, r.exitCode);
  const std::vector<std::wstring> expected = {
      L"PACKAGE-LOADED " + J(L"pkgA_Base.bpl"),
      L"FIXTURE pkgA_Base Initialize",
      L"PACKAGE-INITIALIZED " + J(L"pkgA_Base.bpl"),
      L"PACKAGE-REFUSED " + J(L"pkgB_Dup.bpl") +
          L": Cannot load package 'pkgB_Dup.' It contains unit 'sharedunit', which is also contained in package "
          L"'pkgA_Base'",
      L"PACKAGE-REFUSED " + J(L"pkgC_NoInfo.bpl") + L": no PACKAGEINFO resource",
      L"PACKAGE-REFUSED " + J(L"pkgD_NoInit.bpl") + L": no Initialize export",
      L"PACKAGE-LOADED " + J(L"pkgE_Raise.bpl"),
      L"EXCEPTION Exception: Package start failed\\r\\nin pkgE_Raise",
      L"PACKAGE-REFUSED " + J(L"pkgE_Raise.bpl") + L": Initialize raised an exception",
      L"PACKAGE-LOADED " + J(L"pkgF_Second.bpl"),
      L"FIXTURE pkgF_Second Initialize",
      L"PACKAGE-INITIALIZED " + J(L"pkgF_Second.bpl"),
      L"PACKAGE-SKIPPED " + J(L"pkgG_Hidden.bpl") + L": no description",
      L"PACKAGE-SKIPPED " + J(L"pkgH_Disabled.bpl") + L": disabled",
      L"FIXTURE pkgF_Second Finalize",
      L"PACKAGE-FINALIZED " + J(L"pkgF_Second.bpl"),
      L"FIXTURE pkgA_Base Finalize",
      L"PACKAGE-FINALIZED " + J(L"pkgA_Base.bpl"),
      L"SHUTDOWN",
  };
  EXPECT_EQ(expected, r.journal);
}

TEST(BdsExperts, AboutEntryMessageBoxAndTerminate) {
  TestRoot root(L"QmTest-ExpertAbout");
  root.SetValue(L"Experts", L"Fixture", Fixture(L"FixtureExpert.dll"));
  BdsResult r = RunBds(root.RegKey(), L"");
  ASSERT_EQ(0u, r.exitCode);
  const std::vector<std::wstring> expected = {
      L"EXPERT-LOADED " + J(L"FixtureExpert.dll"),
      L"ABOUT-ADD 1 Fixture|First line\\r\\nC:\\\\Tools\\\\x\\nend",
      L"MESSAGEBOX owner=0 caption=Fixture style=30 text=Hello\\nWorld",
      L"EXPERT-INIT " + J(L"FixtureExpert.dll") + L" -> true",
      L"EXPERT-TERMINATE " + J(L"FixtureExpert.dll"),
      L"ABOUT-REMOVE 1",
      L"SHUTDOWN",
  };
  EXPECT_EQ(expected, r.journal);
}

TEST(BdsExperts, FailedEntriesAreJournaledAndTheHostCarriesOn) {
  TestRoot root(L"QmTest-ExpertFail");
  root.SetValue(L"Experts", L"Fixture", Fixture(L"FixtureExpert.dll"));
  const std::wstring expert = J(L"FixtureExpert.dll");
  {
    BdsResult r = RunBds(root.RegKey(), L"", {{L"QM_FIXTURE_EXPERT", L"raise"}});
    EXPECT_EQ(0u, r.exitCode);
    EXPECT_EQ((std::vector<std::wstring>{L"EXPERT-LOADED " + expert, L"EXCEPTION Exception: Expert start failed",
                                         L"EXPERT-INIT " + expert + L" -> exception", L"SHUTDOWN"}),
              r.journal);
  }
  {
    BdsResult r = RunBds(root.RegKey(), L"", {{L"QM_FIXTURE_EXPERT", L"fault"}});
    EXPECT_EQ(0u, r.exitCode);
    ASSERT_EQ(4u, r.journal.size());
    EXPECT_EQ(0u, r.journal[1].find(L"EXCEPTION EAccessViolation: Access violation at address ")) << r.journal[1];
    EXPECT_NE(std::wstring::npos, r.journal[1].find(L"Write of address 00000000"));
  }
  {
    // A false result drops the expert at once, Terminate included.
    BdsResult r = RunBds(root.RegKey(), L"", {{L"QM_FIXTURE_EXPERT", L"false"}});
    EXPECT_EQ((std::vector<std::wstring>{L"EXPERT-LOADED " + expert, L"EXPERT-INIT " + expert + L" -> false",
                                         L"EXPERT-TERMINATE " + expert, L"SHUTDOWN"}),
              r.journal);
  }
}

TEST(BdsExperts, GlobalExceptionHandlerJournalsTheReportedObject) {
  TestRoot root(L"QmTest-Handler");
  root.SetValue(L"Experts", L"Fixture", Fixture(L"FixtureExpert.dll"));
  BdsResult with = RunBds(root.RegKey(), L"", {{L"QM_FIXTURE_EXPERT", L"handler"}});
  EXPECT_TRUE(with.Has(L"EXCEPTION Exception: Reported through the handler"));
  EXPECT_TRUE(with.Starting(L"APP-HANDLER-BAD-SELF").empty());
  BdsResult without = RunBds(root.RegKey(), L"-noapphandler", {{L"QM_FIXTURE_EXPERT", L"handler"}});
  EXPECT_TRUE(without.Has(L"FIXTURE no handler"));
  EXPECT_TRUE(without.Starting(L"EXCEPTION").empty());
}

TEST(BdsWorkloads, CppLoadCompilerActionsAndUnknownWorkload) {
  TestRoot root(L"QmTest-CppLoad");
  EXPECT_EQ((std::vector<std::wstring>{L"CPP-LOAD 1 0 -> 1", L"SHUTDOWN"}),
            RunBds(root.RegKey(), L"-bccide -run cppload").journal);
  // Other actions come back unchanged; the compiler preloaded by -comp32x.
  EXPECT_EQ((std::vector<std::wstring>{L"CPP-LOAD 1 0 -> 1", L"CPP-LOAD 7 1 -> 7", L"SHUTDOWN"}),
            RunBds(root.RegKey(), L"-comp32x -run cppload 7 1").journal);
  EXPECT_EQ((std::vector<std::wstring>{L"CPP-LOAD 0 0 -> 0", L"SHUTDOWN"}),
            RunBds(root.RegKey(), L"-run cppunload").journal);
  BdsResult unknown = RunBds(root.RegKey(), L"-run nosuchworkload");
  EXPECT_EQ(2u, unknown.exitCode);
  EXPECT_TRUE(unknown.Has(L"WORKLOAD-UNKNOWN nosuchworkload"));
}

// After the experts: "Known Packages" through TDesignPackage.Create, then per
// personality (-p, else Delphi and CBuilder) through LoadDesignPackage; both
// load with the IDE's package loader, a constructor that cannot load raises.
TEST(BdsDesignPackages, LoadedAfterTheExpertsPerPersonalityThroughBothExports) {
  TestRoot root(L"QmTest-DesignPackages");
  root.SetValue(L"Known Packages", Fixture(L"pkgA_Base.bpl"), L"Fixture package");
  root.SetValue(L"Known Packages", Fixture(L"pkgG_Hidden.bpl"), L"_hidden");
  root.SetValue(L"Known Packages", Fixture(L"missing.bpl"), L"Fixture package");
  root.SetValue(L"Known Packages\\Delphi", Fixture(L"pkgF_Second.bpl"), L"Fixture package");
  root.SetValue(L"Known IDE Packages\\CBuilder", Fixture(L"pkgH_Disabled.bpl"), L"Fixture package");
  const std::vector<std::wstring> common = {
      L"DESIGN-PACKAGE " + J(L"missing.bpl") + L" via=TDesignPackage",
      L"EXCEPTION Exception: Can't load package " + J(L"missing.bpl"),
      L"DESIGN-PACKAGE " + J(L"pkgA_Base.bpl") + L" via=TDesignPackage",
      L"PACKAGE-INITIALIZED " + J(L"pkgA_Base.bpl"),
      L"DESIGN-PACKAGE-SKIPPED " + J(L"pkgG_Hidden.bpl") + L": no description",
      L"DESIGN-PACKAGE " + J(L"pkgF_Second.bpl") + L" via=LoadDesignPackage",
      L"PACKAGE-INITIALIZED " + J(L"pkgF_Second.bpl"),
  };
  const struct {
    const wchar_t* Args;
    bool CBuilder;
  } rows[] = {{L"-p\"Delphi\"", false}, {L"/pDelphi;CBuilder", true}, {L"", true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.Args, row.Args + wcslen(row.Args)));
    BdsResult r = RunBds(root.RegKey(), row.Args);
    ASSERT_EQ(0u, r.exitCode);
    std::vector<std::wstring> seen;
    for (const std::wstring& line : r.journal)
      if (line.rfind(L"DESIGN-PACKAGE", 0) == 0 || line.rfind(L"PACKAGE-INITIALIZED", 0) == 0 ||
          line.rfind(L"EXCEPTION", 0) == 0)
        seen.push_back(line);
    std::vector<std::wstring> expected = common;
    if (row.CBuilder) {
      expected.push_back(L"DESIGN-PACKAGE " + J(L"pkgH_Disabled.bpl") + L" via=LoadDesignPackage");
      expected.push_back(L"PACKAGE-INITIALIZED " + J(L"pkgH_Disabled.bpl"));
    }
    EXPECT_EQ(expected, seen);
  }
}

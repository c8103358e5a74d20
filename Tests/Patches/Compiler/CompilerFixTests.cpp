// "Compiler.Fixes" and its sub-patches three ways against the stand-in
// compiler and the stand-in IDE's services (in this process), and their
// behaviour: errors in CodeInsight compiles, the body check's path, body
// skipping on token streams with a known end, finalizations, edited units
// reset per thread, a project closed in the middle of a reset, the umbrella
// without the unit reset, and nothing of ours called after finalization.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>
#include <windows.h>

#include "Framework/LibraryEntry.h"
#include "Hooking/CodeTransaction.h"
#include "IdeServices/IdeServices.h"
#include "IdeServices/ModuleServices.h"
#include "IdeServices/ServicesRoot.h"
#include "Patches/Compiler/CompilerFix.h"
#include "Patches/Compiler/CompilerOptimization.h"
#include "StandInCompiler.h"
#include "ThreeWayHarness.h"
#include "dcc150/DccCodeInsightDriver.h"

namespace {

const wchar_t* const Optimization = L"Compiler.Optimization";
const wchar_t* const Unlink = L"Compiler.UnlinkImports";
const wchar_t* const ResetUnits = L"Compiler.ResetUnits";
const wchar_t* const FindByAlias = L"Compiler.UnitFindByAlias";
const wchar_t* const Fixes = L"Compiler.Fixes";
const wchar_t* const IgnoreErrors = L"Compiler.KibitzIgnoreErrors";
const wchar_t* const SkipBody = L"Compiler.SkipBody";
const wchar_t* const Finalize = L"Compiler.MainUnitFinalize";

DccCodeInsightDriver::Driver g_ci;
const DccCodeInsightDriver::Driver& CI() { return g_ci; }
const StandIn::TDriver& D() { return StandIn::Driver(); }

void BindLoaded() {
  StandIn::BindLoaded();
  const char* missing = nullptr;
  if (!g_ci.Bind(GetModuleHandleW(L"dcc150.dll"), &missing))
    throw std::runtime_error(std::string("dcc150.dll lacks ") + missing);
  Quillmend::BorlandIDEServices = QmHost::ServicesRoot();
}

// ---- body token streams with a known end -----------------------------------------------------

struct TBody {
  const char* Name;
  std::vector<uint8_t> Codes;
  std::vector<int32_t> Values;
  int Found, End;           // what the body skipping answers: found, the token it stops at
  bool CompilerAgrees;      // the compiler's own routine answers the same
};

const std::vector<TBody> Bodies = {
    {"plain", {0x0B, 0x01, 0x16, 0x01, 0x16}, {}, 1, 4, true},
    {"caseAndTry", {0x0C, 0x01, 0x16, 0x23, 0x16, 0x3E, 0x16, 0x16}, {}, 1, 7, true},
    {"markedEnd", {0x0B, 0x01, 0x5E}, {}, 1, 2, true},
    {"sourceEnds", {0x0B, 0x01, 0x5D}, {}, 0, 3, true},
    {"nestedRoutine", {0x2C, 0x01, 0x16, 0x01, 0x16}, {}, 1, 4, false},
    {"nestedFunctions", {0x34, 0x2C, 0x16, 0x16, 0x0B, 0x16, 0x16}, {}, 1, 6, false},
    {"inlineBlock", {0x01, 0x0A, 0x5C, 0x16, 0x16, 0x01, 0x16}, {0, 0, 2, 3, 1, 0, 1}, 1, 6, false},
    {"region", {0x51, 0x16, 0x52, 0x01, 0x16}, {}, 1, 4, false},
};

std::pair<int, int> Skip(const TBody& body) {
  std::vector<int32_t> values = body.Values;
  values.resize(body.Codes.size());
  CI().SetTokens(body.Codes.data(), values.data(), int(body.Codes.size()));
  int end = -1;
  int found = CI().RunSkipBody(&end);
  return {found, end};
}

// ---- a normal compile: what the fixes must leave alone -----------------------------------------

std::string NormalCompile() {
  char text[160];
  D().LoadProject(40, 4, 3);
  CI().SetUnitFlags(3, 1);
  CI().ResetCounters();
  D().MarkOutdated(10, 4);
  D().Reset();
  CI().CompileBegin();
  int shown = CI().ReportErrors(150);
  int checked = CI().CheckBodies(5, 3);
  int finalized = CI().FinishCompile();
  std::string ends;
  for (const TBody& body : Bodies)
    if (body.CompilerAgrees) ends += std::to_string(Skip(body).second) + ",";
  const DccCodeInsightDriver::Counters c = CI().Read();
  std::snprintf(text, sizeof text, "units %d shown %d checked %d gaveup %u finalized %d ends %s sum %08X", D().UnitCount(),
                shown, checked, c.GaveUp, finalized, ends.c_str(), unsigned(D().Checksum()));
  D().FreeAll();
  return text;
}

const TThreeWaySubsystem& Fixing() {
  static const TThreeWaySubsystem subsystem{
      {L"rtl150.bpl", L"dcc150.dll"},
      [] { BindLoaded(); },
      [] {
        Quillmend::InstallCompilerOptimization();
        Quillmend::InstallCompilerFix();
      },
      [] { return NormalCompile(); },
      {Optimization, Unlink, ResetUnits, Fixes, IgnoreErrors, SkipBody, Finalize}};
  return subsystem;
}

const std::vector<TPatchRow> PatchRows = {
    {Optimization, {}},
    {Unlink, {}, Optimization},
    {ResetUnits, {Unlink}, Optimization},
    {Fixes, {ResetUnits}},
    {IgnoreErrors, {}, Fixes},
    {SkipBody, {}, Fixes},
    {Finalize, {IgnoreErrors}, Fixes},
};

const std::vector<TVariantRow> VariantRows = {
    {"kibitzstart", {IgnoreErrors, Finalize}},
    {"errorreport", {IgnoreErrors, Finalize}},
    {"kibitzactive", {IgnoreErrors, Finalize}},
    {"skipbody", {SkipBody}},
    {"finalize", {Finalize}},
    // Without the unit reset nothing runs the umbrella's handler: it fails, its sub-patches do not.
    {"reset", {ResetUnits, Fixes}},
};

QM_THREE_WAY_TESTS(CompilerFixes, Fixing(), PatchRows, VariantRows)

// ---- behaviour --------------------------------------------------------------------------------

// A thread that runs the compiler's work one task at a time, as the IDE's
// background compile thread does (the same thread id every time).
class TCompileThread {
public:
  TCompileThread() {
    FReady = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    FDone = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    FThread = CreateThread(nullptr, 0, &Main, this, 0, nullptr);
  }
  ~TCompileThread() {
    Run(nullptr);
    WaitForSingleObject(FThread, INFINITE);
    CloseHandle(FThread);
    CloseHandle(FReady);
    CloseHandle(FDone);
  }
  // Runs task on the thread; returns when it is done.
  void Run(std::function<void()> task) {
    Start(std::move(task));
    Wait();
  }
  void Start(std::function<void()> task) {
    FTask = std::move(task);
    FStop = !FTask;
    SetEvent(FReady);
  }
  void Wait() { WaitForSingleObject(FDone, INFINITE); }

private:
  static DWORD WINAPI Main(void* self) {
    auto* t = static_cast<TCompileThread*>(self);
    for (;;) {
      WaitForSingleObject(t->FReady, INFINITE);
      if (t->FStop) {
        SetEvent(t->FDone);
        return 0;
      }
      t->FTask();
      SetEvent(t->FDone);
    }
  }
  HANDLE FReady, FDone, FThread;
  std::function<void()> FTask;
  bool FStop = false;
};

class CodeInsight : public testing::Test {
protected:
  void SetUp() override {
    FRun.Load();
    CI().ResetCounters();
  }
  void Install(const std::wstring& disabled = L"") {
    FRun.Install(disabled);
    if (!disabled.empty()) return;
    for (const wchar_t* patch : {Fixes, IgnoreErrors, SkipBody, Finalize}) {
      ASSERT_EQ(FRun.Status(patch), L"applied") << std::string(patch, patch + wcslen(patch));
    }
  }
  // A CodeInsight compile: K1, the unit reset, then `work`, then its end.
  static void KibitzCompile(const std::function<void()>& work) {
    CI().KibitzBegin();
    D().Reset();
    work();
    CI().KibitzEnd();
  }
  TThreeWayRun FRun{Fixing()};
};

struct TErrorCase {
  const char* Name;
  bool Patched;
  bool Kibitz;
  int Errors;
  int Shown;  // taken by the error report
};

class ErrorsInCompiles : public CodeInsight, public testing::WithParamInterface<TErrorCase> {};

TEST_P(ErrorsInCompiles, AreReportedAsTheFixSays) {
  const TErrorCase& c = GetParam();
  if (c.Patched) Install();
  D().LoadProject(20, 3, 1);
  int shown = 0;
  if (c.Kibitz) {
    KibitzCompile([&] {
      shown = CI().ReportErrors(249);
      EXPECT_EQ(shown, c.Patched ? 0 : 249) << "the first 249";
      shown += CI().ReportErrors(1);
      EXPECT_EQ(shown, c.Patched ? 1 : 250) << "the 250th";
      shown += CI().ReportErrors(c.Errors - 250);
    });
  } else {
    CI().CompileBegin();
    shown = CI().ReportErrors(c.Errors);
  }
  EXPECT_EQ(shown, c.Shown);
  EXPECT_EQ(CI().Read().GaveUp, c.Kibitz ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(CodeInsight, ErrorsInCompiles,
                         testing::Values(TErrorCase{"kibitzUnpatched", false, true, 300, 300},
                                         TErrorCase{"kibitzPatched", true, true, 300, 51},
                                         TErrorCase{"normalUnpatched", false, false, 300, 101},
                                         TErrorCase{"normalPatched", true, false, 300, 101}),
                         [](const testing::TestParamInfo<TErrorCase>& info) { return std::string(info.param.Name); });

// The body check is skipped in CodeInsight compiles by the compiler; patched
// it runs, and its errors are swallowed with the others.
TEST_F(CodeInsight, BodyCheckTakesItsNormalPathInCodeInsightCompiles) {
  D().LoadProject(20, 3, 1);
  int unpatched = -1;
  KibitzCompile([&] { unpatched = CI().CheckBodies(10, 4); });
  EXPECT_EQ(unpatched, 0);
  EXPECT_EQ(Quillmend::IgnoredErrorCount, 0);
  Install();
  int patched = -1;
  KibitzCompile([&] { patched = CI().CheckBodies(10, 4); });
  EXPECT_EQ(patched, 0);
  EXPECT_EQ(Quillmend::IgnoredErrorCount, 10) << "checked, and swallowed";
  CI().CompileBegin();
  EXPECT_EQ(CI().CheckBodies(10, 4), 10) << "normal compiles report them";
}

class BodySkipping : public CodeInsight, public testing::WithParamInterface<TBody> {};

TEST_P(BodySkipping, StopsAtTheKnownEnd) {
  const TBody& body = GetParam();
  const std::pair<int, int> compiler = Skip(body);
  EXPECT_EQ(compiler == std::make_pair(body.Found, body.End), body.CompilerAgrees)
      << "the compiler's routine stopped at " << compiler.second;
  Install();
  EXPECT_EQ(Skip(body), std::make_pair(body.Found, body.End));
  // The source's end is reported by whichever routine met it.
  EXPECT_EQ(CI().Read().BodyEndsReported, unsigned(compiler.first == 0) + unsigned(body.Found == 0));
}

INSTANTIATE_TEST_SUITE_P(CodeInsight, BodySkipping, testing::ValuesIn(Bodies),
                         [](const testing::TestParamInfo<TBody>& info) { return std::string(info.param.Name); });

TEST_F(CodeInsight, NoFinalizationInCodeInsightCompiles) {
  D().LoadProject(30, 3, 2);
  const int flagged = CI().SetUnitFlags(3, 1);
  ASSERT_GT(flagged, 0);
  int finalized = -1;
  KibitzCompile([&] { finalized = CI().FinishCompile(); });
  EXPECT_EQ(finalized, D().UnitCount() >= 0 ? finalized : 0);
  const int unpatched = finalized;
  EXPECT_GT(unpatched, 0);
  Install();
  KibitzCompile([&] { finalized = CI().FinishCompile(); });
  EXPECT_EQ(finalized, 0);
  EXPECT_EQ(CI().FinishCompile(), unpatched) << "normal compiles finalize";
}

// ---- edited units -------------------------------------------------------------------------------

class EditedUnits : public CodeInsight {
protected:
  void SetUp() override {
    CodeInsight::SetUp();
    Install();
    D().LoadProject(30, 3, 5);
  }
  void TearDown() override { QmHost::CloseAllModules(); }
  static bool Loaded(const char* name) { return D().UnitFind(name) != nullptr; }
  static QmHost::Module* Edit(const wchar_t* file) {
    QmHost::Module* module = QmHost::OpenModule(file);
    QmHost::ModifyModule(module);
    return module;
  }
  TCompileThread FThread;
};

TEST_F(EditedUnits, AreResetOnAThreadThatCompiledBefore) {
  FThread.Run([] { D().Reset(); });  // the thread's first compile: its list head only
  QmHost::Module* module = QmHost::OpenModule(L"C:\\Project\\Proj.Unit00010.pas");
  EXPECT_EQ(QmHost::ModuleNotifierCount(module), 1);
  QmHost::ModifyModule(module);
  QmHost::ModifyModule(module);  // reported once per reset
  ASSERT_TRUE(Loaded("Proj.Unit00010"));
  TCompileThread first;  // another thread, compiling for the first time
  first.Run([] { D().Reset(); });
  EXPECT_TRUE(Loaded("Proj.Unit00010")) << "a first compile only records the list head";
  FThread.Run([] { D().Reset(); });
  EXPECT_FALSE(Loaded("Proj.Unit00010")) << "reset and freed";
}

TEST_F(EditedUnits, SystemAndSysInitAreNeverReset) {
  FThread.Run([] { D().Reset(); });
  Edit(L"C:\\rtl\\System.pas");
  Edit(L"C:\\rtl\\sysinit.pas");
  Edit(L"C:\\Project\\Proj.Unit00012.pas");
  FThread.Run([] { D().Reset(); });
  EXPECT_TRUE(Loaded("System"));
  EXPECT_TRUE(Loaded("SysInit"));
  EXPECT_FALSE(Loaded("Proj.Unit00012"));
}

TEST_F(EditedUnits, ProjectClosingForgetsEveryThread) {
  FThread.Run([] { D().Reset(); });
  Edit(L"C:\\Project\\Proj.Unit00011.pas");
  QmHost::NotifyFile(2, L"C:\\Project\\Proj.dproj");
  FThread.Run([] { D().Reset(); });
  EXPECT_TRUE(Loaded("Proj.Unit00011")) << "forgotten with the thread's record";
  // A file that is not a project closes without that.
  Edit(L"C:\\Project\\Proj.Unit00013.pas");
  QmHost::NotifyFile(2, L"C:\\Project\\Proj.Unit00013.pas");
  FThread.Run([] { D().Reset(); });
  EXPECT_FALSE(Loaded("Proj.Unit00013"));
}

TEST_F(EditedUnits, RenamedModuleCountsAsEdited) {
  FThread.Run([] { D().Reset(); });
  QmHost::Module* module = QmHost::OpenModule(L"C:\\Project\\Proj.Unit00014.pas");
  QmHost::RenameModule(module, L"C:\\Project\\Other.pas");
  FThread.Run([] { D().Reset(); });
  EXPECT_FALSE(Loaded("Proj.Unit00014"));
}

struct TClose {
  HANDLE Requested = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE Done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  bool DoneDuringLookup = false;
};

// Armed into the compiler's alias routine: asks the main thread to close the
// project and gives it time to finish.
void __stdcall RequestClose(void* data) {
  auto* c = static_cast<TClose*>(data);
  SetEvent(c->Requested);
  c->DoneDuringLookup = WaitForSingleObject(c->Done, 300) == WAIT_OBJECT_0;
}

// The compile thread's reset looks edited units up by name while the IDE's
// main thread closes the project: the close waits until the reset is done
// with the thread's record.
TEST_F(EditedUnits, ProjectClosedDuringTheLookupFreesNothingUnderIt) {
  FThread.Run([] { D().Reset(); });
  Edit(L"C:\\Project\\Proj.Unit00015.pas");
  TClose close;
  CI().ArmAliasHook(&RequestClose, &close);
  FThread.Start([] { D().Reset(); });
  ASSERT_EQ(WaitForSingleObject(close.Requested, 5000), WAIT_OBJECT_0);
  QmHost::NotifyFile(2, L"C:\\Project\\Proj.dproj");  // the main thread closes the project
  SetEvent(close.Done);
  FThread.Wait();
  EXPECT_FALSE(close.DoneDuringLookup) << "the close ran while the reset used the thread's record";
  EXPECT_FALSE(Loaded("Proj.Unit00015"));
  CloseHandle(close.Requested);
  CloseHandle(close.Done);
}

// ---- the umbrella and the end ---------------------------------------------------------------------

TEST_F(CodeInsight, WithoutTheUnitResetTheUmbrellaFailsAndRegistersNothing) {
  FRun.Install(ResetUnits);
  EXPECT_EQ(FRun.Status(Fixes), L"failed");
  EXPECT_EQ(FRun.Report(Fixes)->Reason, L"needs Compiler.ResetUnits");
  EXPECT_EQ(QmHost::IdeNotifierCount(), 0);
  EXPECT_EQ(Quillmend::PreResetHandler, nullptr);
  for (const wchar_t* patch : {IgnoreErrors, SkipBody, Finalize}) EXPECT_EQ(FRun.Status(patch), L"applied");
}

TEST_F(CodeInsight, AfterFinalizationNothingOfOursIsCalled) {
  Install();
  EXPECT_EQ(QmHost::IdeNotifierCount(), 1);
  QmHost::Module* module = QmHost::OpenModule(L"C:\\Project\\Proj.Unit00016.pas");
  EXPECT_EQ(QmHost::ModuleNotifierCount(module), 1);
  Quillmend::UndoAllTransactions();
  Quillmend::Unit_CompilerFix.Finalize();
  EXPECT_EQ(QmHost::IdeNotifierCount(), 0);
  EXPECT_EQ(QmHost::ModuleNotifierCount(module), 0) << "module notifiers removed too";
  // The IDE goes on: nothing reaches our code (which would read freed state).
  QmHost::ModifyModule(module);
  QmHost::CloseModule(module);
  QmHost::OpenModule(L"C:\\Project\\Proj.Unit00017.pas");
  EXPECT_EQ(QmHost::AllModuleNotifiers(), 0);
  QmHost::CloseAllModules();
}

}  // namespace

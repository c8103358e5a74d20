// The refactoring actions' updates with the pack, a table over force, a
// background compile, the executing action, a dispatched shortcut (the
// action's own or another) and a running parse: the action disabled, left
// alone, or the host's routine run inside a kibitzing-monitor section of
// kind 2. The executing action and the dispatched shortcut are put back
// after nested calls and exceptions; actnImportNamespaceExecute runs inside
// a monitor section; without refactoride150.bpl the patch is ignored.
#include <gtest/gtest.h>

#include "Common/HostGuard.h"
#include "Common/HostRtl.h"
#include "EditorStandIns.h"
#include "Patches/EditorParser/RefactoringActionUpdateFix.h"

namespace {

constexpr uint32_t ActionShortCut = 0x8052;  // Alt+R
constexpr int32_t AltKeyData = 0x20000000;

enum TWay { ByItemUpdate, ByForce, ByExecute, ByShortCutSame, ByShortCutOther };
enum TOutcome { Disabled, Untouched, Original };

struct TUpdateCase {
  const char* Name;
  TWay Way;
  bool Compiling, Parsing;
  TOutcome Patched;
};

const TUpdateCase UpdateCases[] = {
    {"plain", ByItemUpdate, false, false, Original},
    {"compiling", ByItemUpdate, true, false, Disabled},
    {"compiling forced", ByForce, true, false, Original},
    {"compiling executing", ByExecute, true, false, Disabled},
    {"parsing", ByItemUpdate, false, true, Disabled},
    {"parsing forced", ByForce, false, true, Disabled},
    {"parsing executing", ByExecute, false, true, Original},
    {"own shortcut", ByShortCutSame, false, false, Original},
    {"other shortcut", ByShortCutOther, false, false, Untouched},
    {"other shortcut parsing", ByShortCutOther, false, true, Untouched},
    {"own shortcut parsing", ByShortCutSame, false, true, Disabled},
};

struct TUpdateResult {
  int Enabled, Runs, RunsInMonitor;
};

TUpdateResult Update(const TUpdateCase& c) {
  const FormsDriver::Driver& f = EditorStandIns::Forms();
  const RefactorDriver::Driver& r = EditorStandIns::Refactor();
  void* thread = EditorStandIns::Parser().Start();
  // The parse thread's parsing flag, as Parse sets it while it runs.
  static_cast<uint8_t*>(thread)[0x30] = c.Parsing ? 1 : 0;
  r.SetState(c.Compiling, 0);  // the host's routine disables: it ran when the action is disabled
  void* item = r.NewMenuItem();
  void* action = f.NewAction(ActionShortCut);
  f.ActionSetEvents(action, nullptr, nullptr, reinterpret_cast<void*>(r.MenuItemUpdate), item);
  int runs = 0, inMonitor = 0;
  r.Counts(&runs, &inMonitor, nullptr, nullptr);
  switch (c.Way) {
    case ByItemUpdate: r.MenuItemUpdate(item, action); break;
    case ByForce: r.ForceUpdate(action); break;
    case ByExecute: f.ActionExecute(action); break;
    case ByShortCutSame:
    case ByShortCutOther: {
      void* menu = f.NewMenu();
      f.MenuAdd(menu, action, 0x1234);  // an item no key matches: IsShortCut only updates
      f.MenuIsShortCut(menu, c.Way == ByShortCutSame ? 'R' : 'Q', AltKeyData);
      break;
    }
  }
  TUpdateResult result{};
  f.ActionState(action, &result.Enabled, nullptr, nullptr);
  r.Counts(&result.Runs, &result.RunsInMonitor, nullptr, nullptr);
  result.Runs -= runs;
  result.RunsInMonitor -= inMonitor;
  static_cast<uint8_t*>(thread)[0x30] = 0;
  r.SetState(0, 1);
  return result;
}

TEST(EditorParserRefactoringUpdate, UpdatesDisabledLeftAloneOrRunInAMonitorSection) {
  EditorStandIns::Load();
  for (const TUpdateCase& c : UpdateCases) {
    const TUpdateResult host = Update(c);
    EXPECT_EQ(host.Runs, 1) << c.Name << ": the host updates whatever runs";
    EXPECT_EQ(host.RunsInMonitor, 0) << c.Name;
  }
  EditorStandIns::Install();
  ASSERT_EQ(EditorStandIns::Status(L"IDE.RefactoringCmdsUpdate"), L"applied") << EditorStandIns::Reasons();
  for (const TUpdateCase& c : UpdateCases) {
    SCOPED_TRACE(c.Name);
    const TUpdateResult patched = Update(c);
    EXPECT_EQ(patched.Runs, c.Patched == Original ? 1 : 0);
    EXPECT_EQ(patched.RunsInMonitor, patched.Runs);
    EXPECT_EQ(patched.Enabled, c.Patched == Untouched ? 1 : 0);
  }
}

// OnExecute handlers of the test (host register convention: EAX = Data, EDX = the action).
std::vector<void*> g_seen;
void* g_inner = nullptr;
void QM_HOST_REGISTER RecordAndNest(void*, void*) {
  g_seen.push_back(Quillmend::ExecutingAction());
  if (g_inner) EditorStandIns::Forms().ActionExecute(g_inner);
  g_seen.push_back(Quillmend::ExecutingAction());
}
void QM_HOST_REGISTER Record(void*, void*) { g_seen.push_back(Quillmend::ExecutingAction()); }
void QM_HOST_REGISTER Raise(void*, void*) {
  const QmHost::HostRtl* rtl = QmHost::LoadedHostRtl();
  rtl->raiseExcept(rtl->NewException(L"Refactoring failed"));
}
void QM_HOST_REGISTER RecordShortCut(void*, void*) { g_seen.push_back(reinterpret_cast<void*>(Quillmend::DispatchedShortCut())); }

TEST(EditorParserRefactoringUpdate, ExecutingActionAndShortCutPutBackAfterNestingAndExceptions) {
  EditorStandIns::Load();
  EditorStandIns::Install();
  const FormsDriver::Driver& f = EditorStandIns::Forms();
  void* outer = f.NewAction(0);
  g_inner = f.NewAction(0);
  f.ActionSetEvents(outer, reinterpret_cast<void*>(&RecordAndNest), nullptr, nullptr, nullptr);
  f.ActionSetEvents(g_inner, reinterpret_cast<void*>(&Record), nullptr, nullptr, nullptr);
  f.ActionExecute(outer);
  EXPECT_EQ(g_seen, (std::vector<void*>{outer, g_inner, outer}));
  EXPECT_EQ(Quillmend::ExecutingAction(), nullptr);
  f.ActionSetEvents(g_inner, reinterpret_cast<void*>(&Raise), nullptr, nullptr, nullptr);
  QmHost::HostExceptionReport report;
  EXPECT_FALSE(QmHost::CallHostGuarded([&] { f.ActionExecute(outer); }, report, QmHost::LoadedHostRtl()));
  EXPECT_EQ(report.Text(), L"Exception: Refactoring failed");
  EXPECT_EQ(Quillmend::ExecutingAction(), nullptr);
  // The shortcut of a key dispatched inside a dispatch, and after one that raised.
  g_seen.clear();
  void* menu = f.NewMenu();
  void* action = f.NewAction(0);
  f.ActionSetEvents(action, nullptr, nullptr, reinterpret_cast<void*>(&RecordShortCut), nullptr);
  f.MenuAdd(menu, action, 0x1234);
  f.MenuIsShortCut(menu, 'K', AltKeyData);  // Alt+K
  EXPECT_EQ(g_seen, (std::vector<void*>{reinterpret_cast<void*>(0x804B)}));
  EXPECT_EQ(Quillmend::DispatchedShortCut(), 0);
  f.ActionSetEvents(action, nullptr, nullptr, reinterpret_cast<void*>(&Raise), nullptr);
  EXPECT_FALSE(QmHost::CallHostGuarded([&] { f.MenuIsShortCut(menu, 'K', 0); }, report, QmHost::LoadedHostRtl()));
  EXPECT_EQ(Quillmend::DispatchedShortCut(), 0);
}

TEST(EditorParserRefactoringUpdate, ImportNamespaceRunsInAMonitorSection) {
  EditorStandIns::Load();
  const RefactorDriver::Driver& r = EditorStandIns::Refactor();
  auto counts = [&r] {
    int runs = 0, inMonitor = 0;
    r.Counts(nullptr, nullptr, &runs, &inMonitor);
    return std::make_pair(runs, inMonitor);
  };
  r.ImportNamespace();
  EXPECT_EQ(counts(), std::make_pair(1, 0));
  EditorStandIns::Install();
  r.ImportNamespace();
  EXPECT_EQ(counts(), std::make_pair(2, 1));
  auto section = EditorStandIns::CoreIdeExport<KibitzingMonitorDriver::SectionFn>(KibitzingMonitorDriver::Export::Section);
  EXPECT_EQ(section(nullptr), 0);  // closed again
}

TEST(EditorParserRefactoringUpdate, IgnoredWithoutTheRefactoringPackage) {
  EditorStandIns::Load(nullptr, L"refactoride150.bpl");
  EditorStandIns::Install();
  EXPECT_EQ(EditorStandIns::Status(L"IDE.RefactoringCmdsUpdate"), L"ignored");
}

} // namespace

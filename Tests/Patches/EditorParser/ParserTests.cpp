// The background parser with the pack: closing a module while it is parsed
// frees the text under the parser (the canary read) without the pack and
// never with it; off the main thread and without a parse thread the original
// runs alone; the parser is unlocked after a raising original. The helper
// reads the stand-in's parsing flag and lets the user cancel kibitzing.
#include <gtest/gtest.h>

#include "Common/HostGuard.h"
#include "Common/HostRtl.h"
#include "EditorStandIns.h"
#include "Hooking/CodeTransaction.h"
#include "Patches/EditorParser/BackgroundParserUtils.h"

namespace {

const ParserThreadDriver::Driver& P() { return EditorStandIns::Parser(); }

bool WaitUntilParsing() {
  for (DWORD start = GetTickCount(); GetTickCount() - start < 2000;)
    if (P().Parsing()) return true;
  return false;
}

int Parses() {
  int parses = 0;
  P().Counts(&parses, nullptr, nullptr);
  return parses;
}

// Asks for a parse of the module and returns once it runs; a parse that
// ended before this thread looked (the machine is shared) is asked for again.
bool StartParse(void* module) {
  for (int attempt = 0; attempt < 50; ++attempt) {
    const int before = Parses();
    P().Request(module);
    for (DWORD start = GetTickCount(); GetTickCount() - start < 2000;) {
      if (P().Parsing()) return true;
      if (Parses() != before) break;
    }
    P().WaitIdle(2000);
  }
  return false;
}

// Closes a module while its parse runs, `runs` times; how many parses read freed text.
int CloseWhileParsing(int runs) {
  int before = 0, after = 0;
  P().Counts(nullptr, nullptr, &before);
  for (int i = 0; i < runs; ++i) {
    void* module = P().Open(4096, unsigned(i));
    EXPECT_TRUE(StartParse(module));
    P().NotifyDestroyed(module, nullptr, nullptr);
    EXPECT_FALSE(P().HasText(module));
    EXPECT_EQ(P().WaitIdle(5000), 1);
    P().Free(module);
  }
  P().Counts(nullptr, nullptr, &after);
  return after - before;
}

TEST(EditorParserElisionLock, ClosingWhileParsingNeverFreesTextUnderTheParser) {
  EditorStandIns::Load();
  P().Start();
  // The host's race: most runs on an idle machine, fewer on a loaded one.
  EXPECT_GT(CloseWhileParsing(200), 0);
  EditorStandIns::Install();
  ASSERT_EQ(EditorStandIns::Status(L"IDE.Parser.ElisionLock"), L"applied") << EditorStandIns::Reasons();
  int canceledBefore = 0, canceledAfter = 0;
  P().Counts(nullptr, &canceledBefore, nullptr);
  EXPECT_EQ(CloseWhileParsing(200), 0);
  P().Counts(nullptr, &canceledAfter, nullptr);
  EXPECT_GT(canceledAfter, canceledBefore);
  P().Stop();
}

DWORD WINAPI CloseOnWorker(void* module) {
  P().NotifyDestroyed(module, nullptr, nullptr);
  return 0;
}

TEST(EditorParserElisionLock, OffTheMainThreadOnlyTheOriginal) {
  EditorStandIns::Load();
  EditorStandIns::Install();
  void* thread = P().Start();
  P().CancelAndLock(thread);  // the parser locked: a wrapper taking the lock would wait
  void* module = P().Open(64, 1);
  HANDLE worker = CreateThread(nullptr, 0, &CloseOnWorker, module, 0, nullptr);
  EXPECT_EQ(WaitForSingleObject(worker, 5000), WAIT_OBJECT_0);
  CloseHandle(worker);
  EXPECT_FALSE(P().HasText(module));
  P().Unlock(thread);
  P().Free(module);
  P().Stop();
}

TEST(EditorParserElisionLock, UnlockedAfterARaisingOriginalAndWithoutAParseThread) {
  EditorStandIns::Load();
  EditorStandIns::Install();
  // No parse thread: the original alone.
  void* alone = P().Open(64, 2);
  P().NotifyDestroyed(alone, nullptr, nullptr);
  EXPECT_FALSE(P().HasText(alone));
  P().Free(alone);
  P().Start();
  void* module = P().Open(64, 3);
  P().RaiseOnDestroy(module);
  QmHost::HostExceptionReport report;
  EXPECT_FALSE(QmHost::CallHostGuarded([&] { P().NotifyDestroyed(module, nullptr, nullptr); }, report,
                                       QmHost::LoadedHostRtl()));
  EXPECT_EQ(report.Text(), L"Exception: Module still referenced");
  // The parser can lock again: another parse runs to its end.
  void* next = P().Open(256, 4);
  P().Request(next);
  EXPECT_EQ(P().WaitIdle(5000), 1);
  int parses = 0;
  P().Counts(&parses, nullptr, nullptr);
  EXPECT_EQ(parses, 1);
  P().Free(next);
  P().Free(module);
  P().Stop();
}

TEST(EditorParserHelper, ParsingFlagAndUserCanCancelKibitzing) {
  EditorStandIns::Load();
  auto* userCanCancel = EditorStandIns::CoreIdeExport<uint8_t*>(KibitzingMonitorDriver::Export::UserCanCancel);
  EXPECT_EQ(*userCanCancel, 0);
  EditorStandIns::Install();
  EXPECT_EQ(*userCanCancel, 1);
  EXPECT_FALSE(Quillmend::IsBackgroundParsing());  // no parse thread
  void* thread = P().Start();
  EXPECT_FALSE(Quillmend::IsBackgroundParsing());
  P().CancelAndLock(thread);  // the next parse waits in Parse, its flag not yet set
  void* module = P().Open(1 << 16, 5);
  P().Request(module);
  Sleep(20);
  EXPECT_FALSE(Quillmend::IsBackgroundParsing());
  P().Unlock(thread);
  EXPECT_TRUE(WaitUntilParsing());
  // The helper answers what the thread's flag says (sampled where it held still).
  int agreed = 0, seenParsing = 0;
  for (int i = 0; i < 2000; ++i) {
    const bool a = P().Parsing() != 0, b = Quillmend::IsBackgroundParsing(), c = P().Parsing() != 0;
    if (a != c) continue;
    EXPECT_EQ(b, a);
    ++agreed;
    seenParsing += b;
  }
  EXPECT_GT(agreed, 0);
  EXPECT_GT(seenParsing, 0);
  P().WaitIdle(5000);
  EXPECT_FALSE(Quillmend::IsBackgroundParsing());
  P().Free(module);
  P().Stop();
  Quillmend::UndoAllTransactions();
  EXPECT_EQ(*userCanCancel, 0);
}

} // namespace

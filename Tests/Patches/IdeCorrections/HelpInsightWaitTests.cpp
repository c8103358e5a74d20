// The Help Insight parser thread's wait for work on the stand-in core
// package: the host's wait keeps waiting while messages keep arriving (one
// wait per message, beyond the timeout), the pack's waits once; both tell a
// signalled event from a timeout.
#include <gtest/gtest.h>

#include "Patches/IdeCorrections/HelpInsightParserTaskFix.h"
#include "StandIns.h"

namespace {

const ParseThreadWaitDriver::Driver& Wait() { return StandIns::ParseWait(); }

struct TWaitOutcome {
  int32_t Result;
  int32_t Waits;
};

// Timeout 1 s while another thread posts a message every 5 ms for 100 ms.
TWaitOutcome WaitUnderMessages(void* thread) {
  TWaitOutcome outcome{-1, 0};
  double elapsed = 0;
  outcome.Result = Wait().WaitWithMessages(thread, 1000, 5, 100, &outcome.Waits, &elapsed);
  return outcome;
}

}  // namespace

// The replacement called as the host calls the routine: one WaitFor on the
// event at +0x18, true only when signalled.
TEST(HelpInsightWaitFor, WaitForWorkWaitsOnceAndTellsSignalledFromTimeout) {
  StandIns::Load();
  void* thread = Wait().New();
  ASSERT_NE(thread, nullptr);
  EXPECT_FALSE(Quillmend::WaitForWork(thread, 1));
  Wait().Signal(thread);
  EXPECT_TRUE(Quillmend::WaitForWork(thread, 5000));
  EXPECT_FALSE(Quillmend::WaitForWork(thread, 1));  // the event resets itself
  Wait().Free(thread);
}

TEST(HelpInsightWaitFor, MessagesNoLongerStretchTheWait) {
  StandIns::Load();
  void* thread = Wait().New();
  const TWaitOutcome host = WaitUnderMessages(thread);
  EXPECT_EQ(host.Result, 0);
  EXPECT_GT(host.Waits, 1) << "the host's wait should wait again after each message";

  StandIns::Install();
  ASSERT_EQ(StandIns::Status(L"IDE.HelpInsight.WaitFor"), L"applied");
  const TWaitOutcome patched = WaitUnderMessages(thread);
  EXPECT_EQ(patched.Result, 0);
  EXPECT_EQ(patched.Waits, 1);

  const struct {
    int32_t Timeout;
    bool Signal;
    int32_t Result;
  } rows[] = {{1, false, 0}, {5000, true, 1}, {0, false, 0}, {0, true, 1}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Timeout);
    if (row.Signal) Wait().Signal(thread);
    int32_t waits = 0;
    EXPECT_EQ(Wait().Wait(thread, row.Timeout, &waits), row.Result);
    EXPECT_EQ(waits, 1);
  }
  Wait().Free(thread);
}

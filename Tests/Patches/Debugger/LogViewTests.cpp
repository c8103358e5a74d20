// "Debugger.LogViewSpeed" against the stand-in core package's event log:
// the first change of the log takes the list over; clearing refreshes at
// once; a stream of lines refreshes at most every 75 ms, during the stream
// too (enabling the running timer does not restart it), and once after the
// last line with every line; a notification from another sender reaches the
// view and the capture waits for the next; after the library's finalization
// every change reaches the view at once.
#include <gtest/gtest.h>

#include <vector>
#include <windows.h>

#include "Hooking/CodeTransaction.h"
#include "Patches/Debugger/DebuggerLogView.h"
#include "StandInDebugger.h"

using namespace DebuggerTest;

namespace {

double NowMs() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return double(t.QuadPart) * 1000.0 / double(f.QuadPart);
}

class LogView : public testing::Test {
protected:
  void SetUp() override {
    LoadCoreIde();
    Log().Clear();
    InstallPatches();
    ASSERT_EQ(Status(L"Debugger.LogViewSpeed"), L"applied") << testing::PrintToString(Reason(L"Debugger.LogViewSpeed"));
    Log().ResetCounters();
  }
  uint8_t FirstByte() const { return *reinterpret_cast<const uint8_t*>(Log().Changed); }
};

TEST_F(LogView, TheFirstChangeTakesTheListOverAndPutsTheMethodBack) {
  EXPECT_EQ(FirstByte(), 0xE9);
  Log().Add(L"first line");
  EXPECT_EQ(Quillmend::ThrottledLogList(), Log().List());
  EXPECT_NE(FirstByte(), 0xE9) << "the method is itself again";
  EXPECT_EQ(Counters().Refreshes, 0) << "the first line waits for the timer";
  PumpMessages(200);
  EXPECT_EQ(Counters().Refreshes, 1);
  EXPECT_EQ(Counters().LastCount, 1);
}

TEST_F(LogView, ClearingRefreshesAtOnce) {
  Log().Add(L"one");
  Log().Add(L"two");
  EXPECT_TRUE(Quillmend::LogViewRefreshPending());
  Log().Clear();
  EXPECT_EQ(Counters().Refreshes, 1) << "without waiting for the timer";
  EXPECT_EQ(Counters().LastCount, 0);
  EXPECT_FALSE(Quillmend::LogViewRefreshPending());
  PumpMessages(200);
  EXPECT_EQ(Counters().Refreshes, 1) << "nothing left pending";
}

TEST_F(LogView, AStreamRefreshesEvery75MsAndOnceAfterTheLastLine) {
  std::vector<double> refreshTimes;
  long seen = 0;
  const double start = NowMs();
  int lines = 0;
  while (NowMs() - start < 600) {
    Log().Add(L"a line of the stream");
    ++lines;
    const double until = NowMs() + 5;
    while (NowMs() < until) {
      PumpMessages(1);
      if (Counters().Refreshes != seen) {
        seen = Counters().Refreshes;
        refreshTimes.push_back(NowMs());
      }
    }
  }
  const long duringStream = Counters().Refreshes;
  PumpMessages(250);
  // Enabling the running timer again must not restart it: the view
  // refreshes while the lines keep coming, not only after them.
  EXPECT_GE(duringStream, 3) << "no refresh while the stream ran";
  EXPECT_LE(duringStream, long(600 / 75) + 2);
  for (size_t i = 1; i < refreshTimes.size(); ++i) EXPECT_GE(refreshTimes[i] - refreshTimes[i - 1], 50.0) << i;
  EXPECT_EQ(Counters().Refreshes, duringStream + 1) << "once after the last line";
  EXPECT_EQ(Counters().LastCount, lines) << "the last refresh sees every line";
}

TEST_F(LogView, AnotherSendersNotificationReachesTheViewAndTheCaptureWaits) {
  void* manager = Log().Manager();
  void* other = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"rtl150.bpl"), "@System@TObject@"));  // TObject
  Log().Changed(manager, &other);
  EXPECT_EQ(Counters().Refreshes, 1) << "the notification was delivered";
  EXPECT_EQ(FirstByte(), 0xE9) << "redirected again";
  EXPECT_EQ(Quillmend::ThrottledLogList(), nullptr);
  Log().Add(L"now the list");
  EXPECT_EQ(Quillmend::ThrottledLogList(), Log().List());
  EXPECT_NE(FirstByte(), 0xE9);
}

TEST_F(LogView, AfterFinalizationEveryChangeReachesTheViewAtOnce) {
  Log().Add(L"taken over");
  ASSERT_EQ(Quillmend::ThrottledLogList(), Log().List());
  Quillmend::UndoAllTransactions();
  Quillmend::Unit_DebuggerLogView.Finalize();
  Log().ResetCounters();
  Log().Add(L"after");
  EXPECT_EQ(Counters().Refreshes, 1);
  Log().Add(L"and again");
  EXPECT_EQ(Counters().Refreshes, 2);
  PumpMessages(150);
  EXPECT_EQ(Counters().Refreshes, 2) << "no timer runs any more";
}

}  // namespace

// The host's try/finally frame: the cleanup runs exactly once — after the
// body, or while a host exception unwinds past the frame to a handler further
// up — never in the search for a handler, and the frame leaves the
// structured-exception chain as it found it.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <windows.h>

#include "Common/HostGuard.h"
#include "Framework/HostFinally.h"

using Quillmend::HostTryFinally;

namespace {

constexpr DWORD HostExceptionCode = 0x0EEDFADE;
constexpr DWORD ContinuableCode = 0x2000CAFE;

// Head of the thread's structured-exception chain (FS:[0]).
void* ChainHead() {
  void* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}

void SetChainHead(void* head) { asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory"); }

// What ran, in order.
struct TLog {
  std::string Events;
  void Add(const char* event) { Events += Events.empty() ? event : std::string(",") + event; }
};

void RaiseHostException(void* address) {
  ULONG_PTR params[7] = {reinterpret_cast<ULONG_PTR>(address)};
  RaiseException(HostExceptionCode, EXCEPTION_NONCONTINUABLE, 7, params);
}

// A frame of ours whose handler continues execution after a continuable
// exception of ContinuableCode: the system only searches, it never unwinds.
EXCEPTION_DISPOSITION __cdecl ContinueHandler(EXCEPTION_RECORD* record, void*, CONTEXT*, void*) {
  if (record->ExceptionCode == ContinuableCode && !(record->ExceptionFlags & 6)) return ExceptionContinueExecution;
  return ExceptionContinueSearch;
}

template <class F>
void WithContinuingFrame(F&& f) {
  struct TRegistration {
    void* Previous;
    void* Handler;
  } registration{ChainHead(), reinterpret_cast<void*>(&ContinueHandler)};
  SetChainHead(&registration);
  f();
  SetChainHead(registration.Previous);
}

} // namespace

TEST(HostTryFinally, BodyReturningRunsTheCleanupOnceAfterItAndClosesTheFrame) {
  TLog log;
  void* head = ChainHead();
  HostTryFinally([&] { log.Add("body"); }, [&]() noexcept { log.Add("cleanup"); });
  EXPECT_EQ(log.Events, "body,cleanup");
  EXPECT_EQ(ChainHead(), head);

  // The plain form: the data pointer reaches both, the cleanup runs outside the frame.
  struct TData {
    int Body = 0, Cleanup = 0;
    void* HeadInBody = nullptr;
    void* HeadInCleanup = nullptr;
  } data;
  HostTryFinally(
      [](void* p) {
        auto* d = static_cast<TData*>(p);
        ++d->Body;
        d->HeadInBody = ChainHead();
      },
      &data,
      [](void* p) {
        auto* d = static_cast<TData*>(p);
        ++d->Cleanup;
        d->HeadInCleanup = ChainHead();
      });
  EXPECT_EQ(data.Body, 1);
  EXPECT_EQ(data.Cleanup, 1);
  EXPECT_NE(data.HeadInBody, head);
  EXPECT_EQ(data.HeadInCleanup, head);
}

TEST(HostTryFinally, HostExceptionPassesOnUnchangedAndTheCleanupRunsOnceBeforeTheCatcherResumes) {
  TLog log;
  int cleanups = 0;
  void* head = ChainHead();
  void* raiseAddress = reinterpret_cast<void*>(0x12345678);
  QmHost::HostExceptionReport report;
  bool returned = QmHost::CallHostGuarded(
      [&] {
        HostTryFinally(
            [&] {
              log.Add("body");
              RaiseHostException(raiseAddress);
              log.Add("after raise");
            },
            [&]() noexcept {
              ++cleanups;
              log.Add("cleanup");
            });
        log.Add("after frame");
      },
      report);
  log.Add("caught");
  EXPECT_FALSE(returned);
  EXPECT_EQ(report.code, HostExceptionCode);
  EXPECT_EQ(report.address, raiseAddress);
  EXPECT_EQ(cleanups, 1);
  EXPECT_EQ(log.Events, "body,cleanup,caught");
  EXPECT_EQ(ChainHead(), head);
}

TEST(HostTryFinally, NestedFramesCleanUpInnermostFirstEachOnce) {
  TLog log;
  int inner = 0, outer = 0;
  QmHost::HostExceptionReport report;
  QmHost::CallHostGuarded(
      [&] {
        HostTryFinally(
            [&] {
              HostTryFinally([&] { RaiseHostException(nullptr); },
                             [&]() noexcept {
                               ++inner;
                               log.Add("inner");
                             });
            },
            [&]() noexcept {
              ++outer;
              log.Add("outer");
            });
      },
      report);
  EXPECT_EQ(report.code, HostExceptionCode);
  EXPECT_EQ(inner, 1);
  EXPECT_EQ(outer, 1);
  EXPECT_EQ(log.Events, "inner,outer");

  // After the unwind the frames work as before.
  HostTryFinally([&] { log.Add("body"); }, [&]() noexcept { log.Add("cleanup"); });
  EXPECT_EQ(log.Events, "inner,outer,body,cleanup");
}

TEST(HostTryFinally, ExceptionDismissedInTheSearchLeavesTheBodyRunningAndCleansUpOnceAtItsEnd) {
  TLog log;
  void* head = ChainHead();
  WithContinuingFrame([&] {
    HostTryFinally(
        [&] {
          log.Add("body");
          RaiseException(ContinuableCode, 0, 0, nullptr);
          log.Add("continued");
        },
        [&]() noexcept { log.Add("cleanup"); });
  });
  EXPECT_EQ(log.Events, "body,continued,cleanup");
  EXPECT_EQ(ChainHead(), head);
}

TEST(HostTryFinally, CppExceptionFromTheBodyReachesTheCallerAfterTheCleanup) {
  TLog log;
  void* head = ChainHead();
  try {
    HostTryFinally(
        [&] {
          log.Add("body");
          throw std::runtime_error("from the body");
        },
        [&]() noexcept { log.Add("cleanup"); });
    ADD_FAILURE() << "the exception was swallowed";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "from the body");
    log.Add("caught");
  }
  EXPECT_EQ(log.Events, "body,cleanup,caught");
  EXPECT_EQ(ChainHead(), head);
}

// The host's try/except frame: it catches a host exception (its object
// handed to the caller) or an error-severity system exception raised below
// it, runs the try/finally cleanups in between first, resumes after the call
// with the chain as it was, and lets warnings and C++ exceptions pass.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <windows.h>

#include "Framework/HostExcept.h"
#include "Framework/HostFinally.h"

using Quillmend::HostTryExcept;
using Quillmend::HostTryFinally;
using Quillmend::THostCaught;

namespace {

constexpr DWORD HostExceptionCode = 0x0EEDFADE;

void* ChainHead() {
  void* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}

void RaiseHostObject(void* object, void* address) {
  ULONG_PTR params[7] = {reinterpret_cast<ULONG_PTR>(address), reinterpret_cast<ULONG_PTR>(object)};
  RaiseException(HostExceptionCode, EXCEPTION_NONCONTINUABLE, 7, params);
}

LONG WINAPI PassBreakpoints(EXCEPTION_POINTERS* info) {
  // A warning that no frame handles continues after the instruction.
  if (info->ExceptionRecord->ExceptionCode == EXCEPTION_BREAKPOINT) {
    ++info->ContextRecord->Eip;
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

TEST(HostExcept, CatchesAHostExceptionAfterTheCleanupsBetween) {
  void* const head = ChainHead();
  int object = 0;
  std::string events;
  THostCaught caught;
  const bool returned = HostTryExcept(
      [&] {
        HostTryFinally([&] { RaiseHostObject(&object, reinterpret_cast<void*>(0x1234)); },
                       [&]() noexcept { events += "cleanup,"; });
        events += "not reached,";
      },
      caught);
  events += "after";
  EXPECT_FALSE(returned);
  EXPECT_EQ(events, "cleanup,after");
  EXPECT_EQ(caught.Code, HostExceptionCode);
  EXPECT_EQ(caught.Object, &object);
  EXPECT_EQ(caught.Address, reinterpret_cast<void*>(0x1234));
  EXPECT_EQ(ChainHead(), head);
}

TEST(HostExcept, CatchesAnAccessViolationAndReturnsNormallyOtherwise) {
  THostCaught caught;
  EXPECT_FALSE(HostTryExcept([] { *static_cast<volatile int*>(nullptr) = 1; }, caught));
  EXPECT_EQ(caught.Code, DWORD(EXCEPTION_ACCESS_VIOLATION));
  EXPECT_EQ(caught.Object, nullptr);

  int value = 0;
  EXPECT_TRUE(HostTryExcept([&] { value = 7; }, caught));
  EXPECT_EQ(value, 7);
  EXPECT_EQ(caught.Code, 0u);
}

TEST(HostExcept, PassesWarningsAndCppExceptions) {
  void* filter = AddVectoredExceptionHandler(0, &PassBreakpoints);
  THostCaught caught;
  bool after = false;
  EXPECT_TRUE(HostTryExcept(
      [&] {
        asm volatile("int3");
        after = true;
      },
      caught));
  EXPECT_TRUE(after);
  RemoveVectoredExceptionHandler(filter);

  EXPECT_THROW(HostTryExcept([] { throw std::runtime_error("C++"); }, caught), std::runtime_error);
}

TEST(HostExcept, NestedFramesCatchInnermostFirst) {
  THostCaught outer, inner;
  int object = 0;
  bool innerReturned = true;
  const bool outerReturned = HostTryExcept(
      [&] { innerReturned = HostTryExcept([&] { RaiseHostObject(&object, nullptr); }, inner); }, outer);
  EXPECT_TRUE(outerReturned);
  EXPECT_FALSE(innerReturned);
  EXPECT_EQ(inner.Object, &object);
  EXPECT_EQ(outer.Code, 0u);
}

// A frame that catches only access violations lets a host exception pass to
// the frame above it unchanged (same object and raise address), and still
// catches an access violation.
TEST(HostExcept, AFrameForOneCodeLetsOthersPass) {
  void* const head = ChainHead();
  int object = 0;
  bool innerReturned = true;
  THostCaught inner, outer;
  const bool outerReturned = HostTryExcept(
      [&] {
        innerReturned = Quillmend::HostTryExceptOnly(
            EXCEPTION_ACCESS_VIOLATION, [&] { RaiseHostObject(&object, reinterpret_cast<void*>(0x4321)); }, inner);
      },
      outer);
  EXPECT_FALSE(outerReturned);
  EXPECT_TRUE(innerReturned);  // left by the raise, never resumed
  EXPECT_EQ(inner.Code, 0u);
  EXPECT_EQ(outer.Code, HostExceptionCode);
  EXPECT_EQ(outer.Object, &object);
  EXPECT_EQ(outer.Address, reinterpret_cast<void*>(0x4321));
  EXPECT_EQ(ChainHead(), head);

  THostCaught violation;
  EXPECT_FALSE(Quillmend::HostTryExceptOnly(
      EXCEPTION_ACCESS_VIOLATION, [] { *static_cast<volatile int*>(nullptr) = 1; }, violation));
  EXPECT_EQ(violation.Code, DWORD(EXCEPTION_ACCESS_VIOLATION));
  EXPECT_EQ(ChainHead(), head);
}

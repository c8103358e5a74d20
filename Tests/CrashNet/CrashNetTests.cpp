// Test programs that crash must fail. Each test ends in an unhandled
// exception or fault and has no other way to fail: no check runs before the
// crash, so a pass of its CTest entry (marked WILL_FAIL) means the crash
// itself was reported as a failure.
#include "Framework/HostAbi.h"

#include <climits>
#include <gtest/gtest.h>
#include <windows.h>

namespace {

// Deep enough for any stack; the frame is used after the call, so the
// recursion cannot become a loop.
int Recurse(volatile char* previous, volatile int depth) {
  volatile char frame[512];
  frame[0] = previous != nullptr ? static_cast<char>(previous[0] + 1) : 0;
  frame[sizeof frame - 1] = static_cast<char>(depth);
  if (depth == 0) return frame[0];
  return Recurse(frame, depth - 1) + frame[sizeof frame - 1];
}

}  // namespace

TEST(CrashNet, AccessViolation) {
  uintptr_t address = 0x10;
  asm("" : "+r"(address));  // an address the compiler cannot see through
  *reinterpret_cast<volatile int*>(address) = 1;
}

TEST(CrashNet, HostExceptionNobodyCatches) { Quillmend::RaiseHostException(L"nobody catches this"); }

TEST(CrashNet, StackOverflow) {
  volatile int depth = INT_MAX;
  Recurse(nullptr, depth);
}

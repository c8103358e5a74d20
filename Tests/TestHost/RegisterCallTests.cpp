// Checked calls in the host's register convention: arguments arrive where
// the convention puts them, and a callee that leaves the stack unbalanced or
// does not keep EBX, ESI, EDI or EBP is reported, its caller unharmed.
#include <gtest/gtest.h>

#include "Common/RegisterCall.h"

using namespace QmHost;

extern "C" {
extern char RcWeighted[], RcRestores[], RcClobbersEbx[], RcClobbersEsiEbp[], RcClobbersEdi[], RcLeavesArguments[],
    RcTakesTooMuch[];
}

namespace {

// With five arguments GCC's register convention needs the stack arguments
// declared in reverse order: the host's fourth argument is pushed first.
int QM_HOST_REGISTER FiveArguments(int a, int b, int c, int fifth, int fourth) {
  return a * 10000 + b * 1000 + c * 100 + fourth * 10 + fifth;
}

} // namespace

TEST(RegisterCall, ArgumentsArriveWhereTheConventionPutsThem) {
  RegisterCallReport report;
  EXPECT_EQ(CallRegisterChecked(RcWeighted, report, {1, 10, 100}, 1000, 10000), 1u + 20 + 300 + 5000 + 70000);
  EXPECT_EQ(report.edx, 0x12345678u);
  EXPECT_TRUE(report.Clean());
  EXPECT_EQ(CallRegisterChecked(reinterpret_cast<void*>(&FiveArguments), report, {1, 2, 3}, 4, 5), 12345u);
  EXPECT_TRUE(report.Clean());
}

TEST(RegisterCall, ReportsWhatTheCalleeBroke) {
  struct {
    const char* Name;
    const void* Fn;
    int Imbalance;
    uint32_t Clobbered;
  } const cases[] = {
      {"restores", RcRestores, 0, 0},
      {"ebx", RcClobbersEbx, 0, kClobberedEbx},
      {"esi and ebp", RcClobbersEsiEbp, 0, kClobberedEsi | kClobberedEbp},
      {"edi", RcClobbersEdi, 0, kClobberedEdi},
      {"leaves its arguments", RcLeavesArguments, 8, 0},
      {"takes too much", RcTakesTooMuch, -4, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    RegisterCallReport report;
    // Results and locals of the caller survive whatever the callee did.
    volatile uint32_t canary = 0xCAFEF00D;
    CallRegisterChecked(c.Fn, report, {7, 8, 9}, 1, 2);
    EXPECT_EQ(report.imbalance, c.Imbalance);
    EXPECT_EQ(report.clobbered, c.Clobbered);
    EXPECT_EQ(canary, 0xCAFEF00Du);
  }
}

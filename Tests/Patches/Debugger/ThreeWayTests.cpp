// The debugger patches three ways against the stand-in kernel and core
// package: applied (the kernel's routines compute what they did, the log
// view ends up showing every line), disabled (not one byte written), and
// against kernel builds with one compared byte altered in one routine or a
// core package lacking the log view's refresh (failed, nothing written);
// restored byte for byte in every case.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "StandInDebugger.h"
#include "ThreeWayHarness.h"

namespace {

const wchar_t* const CRtl = L"Debugger.CRTL";
const wchar_t* const LogView = L"Debugger.LogViewSpeed";

const std::vector<TPatchRow> PatchRows = {
    {CRtl, {}},
    {LogView, {}},
};

const std::vector<TVariantRow> VariantRows = {
    {"memcpy", {CRtl}},  {"stricmp", {CRtl}}, {"memchr", {CRtl}},
    {"memmove", {CRtl}}, {"memset", {CRtl}},  {"nologstringlistchanged", {LogView}},
    {"nosenthookproc", {CRtl}},
};

std::string Fingerprint() {
  const DebuggerKernelDriver::Driver& k = DebuggerTest::Kernel();
  char buffer[256];
  for (int i = 0; i < 256; ++i) buffer[i] = char(i * 31);
  std::string out;
  k.memmove(buffer + 3, buffer, 100);
  k.memcpy(buffer + 128, buffer + 7, 50);
  k.memset(buffer + 200, 0x5A, 33);
  out.append(buffer, sizeof buffer);
  out += std::to_string(k.stricmp("Quill\xe9mend", "QUILL\xc9MEND")) + std::to_string(k.stricmp("abc", "ABC"));
  out += std::to_string(static_cast<char*>(k.memchr(buffer, 0x5A, 256)) - buffer);
  // The event log: what the view shows once the lines settled.
  const CoreIdeDriver::DebuggerLog& log = DebuggerTest::Log();
  log.Clear();
  for (int i = 0; i < 5; ++i) log.Add(L"line");
  DebuggerTest::PumpMessages(120);
  const CoreIdeDriver::LogCounters counters = DebuggerTest::Counters();
  out += " last=" + std::to_string(counters.LastCount);
  return out;
}

const TThreeWaySubsystem& Debugger() {
  static const TThreeWaySubsystem subsystem{
      {L"rtl150.bpl", L"coreide150.bpl", L"bordbk150N.dll"},
      [] {
        DebuggerTest::Kernel();
        DebuggerTest::Log();
      },
      [] { DebuggerTest::RunInstallation(); },
      [] { return Fingerprint(); },
      {CRtl, LogView},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(Debugger, Debugger(), PatchRows, VariantRows)

TEST(DebuggerPatches, AnAlteredRoutineIsNamedInTheReason) {
  DebuggerTest::LoadKernel("memset");
  DebuggerTest::InstallPatches();
  EXPECT_EQ(DebuggerTest::Reason(CRtl), L"memset: not found");
}

}  // namespace

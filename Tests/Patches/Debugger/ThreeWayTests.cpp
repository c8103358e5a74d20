// The debugger patches three ways against the stand-in kernel, core
// package and debugger packages: applied (the kernel's routines compute
// what they did, the log view ends up showing every line, a debuggee gets
// its command line, an open inspector its notifications), disabled (not
// one byte or import slot written), and against kernel builds with one
// compared byte altered in one routine or lacking an import, a core package
// lacking the log view's refresh, debugger packages lacking the kernel's
// CreateProcess or with one searched byte altered in an inspector routine
// (failed, nothing written); restored byte for byte in every case.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "StandInDebugger.h"
#include "ThreeWayHarness.h"

namespace {

const wchar_t* const CRtl = L"Debugger.CRTL";
const wchar_t* const LogView = L"Debugger.LogViewSpeed";
const wchar_t* const ErrorMode = L"Debugger.ErrorMode";
const wchar_t* const TruncArgs = L"Debugger.wsprintf.truncargs";
const wchar_t* const WatchLeak = L"IDE.Debugger.WatchLocalMemoryLeak";
const wchar_t* const FullExpand = L"Debugger.FullExpandHostApp";

const std::vector<TPatchRow> PatchRows = {
    {CRtl, {}}, {LogView, {}}, {ErrorMode, {}}, {TruncArgs, {}}, {WatchLeak, {}}, {FullExpand, {}},
};

const std::vector<TVariantRow> VariantRows = {
    {"memcpy", {CRtl}},  {"stricmp", {CRtl}}, {"memchr", {CRtl}},
    {"memmove", {CRtl}}, {"memset", {CRtl}},  {"nologstringlistchanged", {LogView}},
    {"nosenthookproc", {CRtl}},
    {"nocreateprocessimport", {ErrorMode}},
    {"nowsprintfimport", {TruncArgs}},
    {"inspectorcreate", {WatchLeak}},
    {"inspectorcreatethread", {WatchLeak}},
    {"setupinspector", {WatchLeak}},
    {"nocreateprocess", {FullExpand}},
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
  // A debuggee started by its full name with a short command line, and an
  // open Watch list's inspector told of the process's events.
  bool started = false;
  const std::wstring received = DebuggerTest::RunDebuggee(DebuggerTest::DebuggeePath(), L"a b c", &started);
  out += " debuggee=" + std::to_string(started) + std::string(received.begin(), received.end());
  const DbkDebugProIdeDriver::Driver& pro = DebuggerTest::Pro();
  void* inspector = pro.openWatch(DbkDebugProIdeDriver::owCreateAndSetup);
  for (int kind = 0; kind < 4; ++kind) pro.fire(kind);
  out += " notified=" + std::to_string(pro.inspectorNotifications(inspector));
  pro.closeWatch(inspector);
  return out;
}

const TThreeWaySubsystem& Debugger() {
  static const TThreeWaySubsystem subsystem{
      {L"rtl150.bpl", L"coreide150.bpl", L"bordbk150N.dll", L"dbkdebugide150.bpl", L"dbkdebugproide150.bpl"},
      [] {
        DebuggerTest::Kernel();
        DebuggerTest::Log();
        DebuggerTest::Ide();
        DebuggerTest::Pro();
      },
      [] { DebuggerTest::RunInstallation(); },
      [] { return Fingerprint(); },
      {CRtl, LogView, ErrorMode, TruncArgs, WatchLeak, FullExpand},
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

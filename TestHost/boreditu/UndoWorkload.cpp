// The editor's undo of a large group: a buffer of 10,000 lines, a group of
// edits recorded (10,000 by default), then undone the way the editor undoes
// a group. Whatever an expert changed in the editor kernel is in effect.
// Journal: "UNDO entries=<n> ms=<time> item-calls=<c> range-calls=<r>
// checksum=<hex>" (the checksum of the text and the undo state, the same
// with and without the pack).
#include <windows.h>

#include <cstdio>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "boreditu/BorEditDriver.h"

namespace QmHost {

namespace {

int RunUndo(HostApp& app, const std::vector<std::wstring>& args) {
  const int entries = args.empty() ? 10000 : _wtoi(args[0].c_str());
  BorEditDriver::UndoDriver undo;
  if (args.size() > 1 || entries <= 0 || !undo.Bind(GetModuleHandleW(L"boreditu.dll"))) {
    app.Log(L"WORKLOAD-ERROR undo: expected [<entries>] and boreditu.dll with its undo driver");
    return 2;
  }
  void* buffer = undo.NewBuffer(10000, 1);
  const int first = undo.RecordEdits(buffer, entries, 2);
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  undo.Undo(buffer, first, first + entries - 1);
  QueryPerformanceCounter(&end);
  int itemCalls = 0, rangeCalls = 0;
  undo.UndoCounts(buffer, &itemCalls, &rangeCalls, nullptr);
  wchar_t line[160];
  std::swprintf(line, 160, L"UNDO entries=%d ms=%.3f item-calls=%d range-calls=%d checksum=%X", entries,
                double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart), itemCalls, rangeCalls,
                undo.BufferChecksum(buffer));
  app.Log(line);
  undo.FreeBuffer(buffer);
  return 0;
}

const WorkloadRegistration kUndo{L"undo", RunUndo,
                                 L"undo [<entries>]  one group of edits (default 10,000) undone in a 10,000-line buffer"};

} // namespace

} // namespace QmHost

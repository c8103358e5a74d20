// The editor kernel's undo of one group of 1,000, 10,000 and 100,000 edits
// in a 10,000-line buffer (boreditu.dll), as the host has it and then with
// "IDE.Editor.UndoSpeed" installed, in one run: the time of the undo (best
// of three; a fresh buffer each time), the per-item routine's calls and the
// buffer's checksum (text, line index and undo state), which must be equal
// both ways. Goal: at least 20 times faster at 10,000 edits (one range call
// instead of 10,000 revalidations of the whole buffer).
#include <windows.h>

#include <cstdio>
#include <string>

#include "Bench/Common/BenchTimer.h"
#include "Patches/EditorParser/EditKernelUndoSpeed.h"
#include "boreditu/BorEditDriver.h"

namespace {

constexpr int Lines = 10000;
constexpr int Sizes[] = {1000, 10000, 100000};
constexpr int Repeats = 3;

struct TMeasure {
  double Seconds = 1e30;
  int ItemCalls = 0, RangeCalls = 0;
  unsigned Checksum = 0;
};

std::wstring Parent(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/")); }

std::wstring BuildDirectory() {
  wchar_t path[MAX_PATH];
  return Parent(Parent(std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH))));
}

TMeasure Measure(const BorEditDriver::UndoDriver& undo, int entries) {
  TMeasure m;
  for (int run = 0; run < Repeats; ++run) {
    void* buffer = undo.NewBuffer(Lines, 17);
    const int first = undo.RecordEdits(buffer, entries, 23);
    const double seconds = Quillmend::Bench::Seconds([&] { undo.Undo(buffer, first, first + entries - 1); });
    if (seconds < m.Seconds) m.Seconds = seconds;
    undo.UndoCounts(buffer, &m.ItemCalls, &m.RangeCalls, nullptr);
    m.Checksum = undo.BufferChecksum(buffer);
    undo.FreeBuffer(buffer);
  }
  return m;
}

} // namespace

int main() {
  const std::wstring host = BuildDirectory() + L"\\host\\";
  BorEditDriver::UndoDriver undo;
  if (!LoadLibraryW((host + L"rtl150.bpl").c_str()) || !undo.Bind(LoadLibraryW((host + L"boreditu.dll").c_str()))) {
    std::printf("cannot load the stand-in editor kernel\n");
    return 1;
  }
  TMeasure disabled[std::size(Sizes)], enabled[std::size(Sizes)];
  for (size_t i = 0; i < std::size(Sizes); ++i) disabled[i] = Measure(undo, Sizes[i]);
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
  Quillmend::InstallEditKernelUndoSpeed();
  for (size_t i = 0; i < std::size(Sizes); ++i) enabled[i] = Measure(undo, Sizes[i]);

  std::printf("Undo of one group in a %d-line buffer (best of %d), pack disabled vs enabled\n", Lines, Repeats);
  std::printf("%9s %13s %13s %9s %12s %12s  %s\n", "entries", "disabled", "enabled", "ratio", "item calls",
              "range calls", "checksums");
  bool ok = true;
  for (size_t i = 0; i < std::size(Sizes); ++i) {
    const TMeasure& off = disabled[i];
    const TMeasure& on = enabled[i];
    const bool same = off.Checksum == on.Checksum;
    ok = ok && same && on.ItemCalls == 0 && on.RangeCalls == 1;
    std::printf("%9d %10.3f ms %10.3f ms %8.1fx %5d / %-5d %5d / %-5d  %s\n", Sizes[i], off.Seconds * 1000,
                on.Seconds * 1000, on.Seconds > 0 ? off.Seconds / on.Seconds : 0.0, off.ItemCalls, on.ItemCalls,
                off.RangeCalls, on.RangeCalls, same ? "equal" : "DIFFERENT");
  }
  const double ratio = disabled[1].Seconds / enabled[1].Seconds;
  std::printf("goal: at least 20x at 10,000 entries: %.1fx %s\n", ratio, ratio >= 20 ? "met" : "NOT MET");
  return ok ? 0 : 1;
}

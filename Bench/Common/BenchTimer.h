// Wall-clock timing for the benchmark programs. The machine is shared with
// other work, so a benchmark repeats a measurement and keeps the fastest run:
// it is the one least disturbed by others.
#pragma once

#include <windows.h>

#include <algorithm>

namespace Quillmend::Bench {

// Seconds on the performance counter (its origin is arbitrary: take differences).
inline double Now() {
  static const LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Seconds taken by one call of Run.
template <class TRun>
double Seconds(TRun&& run) {
  const double start = Now();
  run();
  return Now() - start;
}

// The fastest of Runs calls of Run, in seconds.
template <class TRun>
double BestSeconds(int runs, TRun&& run) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) best = std::min(best, Seconds(run));
  return best;
}

}  // namespace Quillmend::Bench

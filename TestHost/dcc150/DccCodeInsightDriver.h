// The stand-in compiler's CodeInsight driver, declared once for bds.exe's
// "kibitz" workload and the tests (DccCodeInsight.def); DccCodeInsight.cpp
// checks its definitions against these types.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"
#include "dcc150/DccDriver.h"

namespace DccCodeInsightDriver {

namespace Export {
constexpr const char* KibitzBegin = "DccKibitzBegin";
constexpr const char* KibitzEnd = "DccKibitzEnd";
constexpr const char* CompileBegin = "DccCompileBegin";
constexpr const char* ReportErrors = "DccReportErrors";
constexpr const char* CheckBodies = "DccCheckBodies";
constexpr const char* FinishCompile = "DccFinishCompile";
constexpr const char* SetTokens = "DccSetTokens";
constexpr const char* RunSkipBody = "DccRunSkipBody";
constexpr const char* Counters = "DccCodeInsightCounters";
constexpr const char* ResetCounters = "DccResetCodeInsightCounters";
constexpr const char* SetUnitFlags = "DccSetUnitFlags";
constexpr const char* ArmAliasHook = "DccArmAliasHook";
} // namespace Export

// What the CodeInsight side of the compiler has done.
struct Counters {
  uint32_t ErrorsShown;     // errors the report routine took
  uint32_t GaveUp;          // times a compile gave up (too many errors)
  uint32_t Finalizations;   // units finalized
  uint32_t BodyEndsReported;  // bodies whose end was not found (the source ended)
};

struct Driver {
  // K1: a CodeInsight compile starts (mode 3, active), with its own error count.
  using KibitzBeginFn = void(__stdcall*)();
  // The CodeInsight compile is over (mode 0, not active).
  using KibitzEndFn = void(__stdcall*)();
  // A normal compile starts: its error count is zero.
  using CompileBeginFn = void(__stdcall*)();
  // `count` errors through the error report (stops when the compile gave
  // up); returns how many the report took.
  using ReportErrorsFn = int(__stdcall*)(int count);
  // `count` bodies checked, each with an error of `kind` (0: none); returns
  // how many errors the report took.
  using CheckBodiesFn = int(__stdcall*)(int count, int kind);
  // The compile's units finished; returns how many were finalized.
  using FinishCompileFn = int(__stdcall*)();
  // The token stream a body is skipped in; the first token is current.
  using SetTokensFn = void(__stdcall*)(const uint8_t* codes, const int32_t* values, int count);
  // The body-skipping routine on it: its result, *endIndex the token it stopped at.
  using RunSkipBodyFn = int(__stdcall*)(int* endIndex);
  using CountersFn = void(__stdcall*)(Counters* counters);
  using ResetCountersFn = void(__stdcall*)();
  // Sets the flags word of every loaded unit whose creation number is a multiple of `every`.
  using SetUnitFlagsFn = int(__stdcall*)(int every, int flags);
  // The alias routine calls `hook(data)` once, the next time it runs (null disarms).
  using ArmAliasHookFn = void(__stdcall*)(void(__stdcall* hook)(void* data), void* data);

  KibitzBeginFn KibitzBegin = nullptr;
  KibitzEndFn KibitzEnd = nullptr;
  CompileBeginFn CompileBegin = nullptr;
  ReportErrorsFn ReportErrors = nullptr;
  CheckBodiesFn CheckBodies = nullptr;
  FinishCompileFn FinishCompile = nullptr;
  SetTokensFn SetTokens = nullptr;
  RunSkipBodyFn RunSkipBody = nullptr;
  CountersFn GetCounters = nullptr;
  ResetCountersFn ResetCounters = nullptr;
  SetUnitFlagsFn SetUnitFlags = nullptr;
  ArmAliasHookFn ArmAliasHook = nullptr;

  bool Bind(HMODULE dcc, const char** missing = nullptr) {
    const char* absent = nullptr;
    auto bind = [&](auto& slot, const char* name) {
      if (!DccDriver::BindExport(dcc, slot, name) && !absent) absent = name;
    };
    bind(KibitzBegin, Export::KibitzBegin);
    bind(KibitzEnd, Export::KibitzEnd);
    bind(CompileBegin, Export::CompileBegin);
    bind(ReportErrors, Export::ReportErrors);
    bind(CheckBodies, Export::CheckBodies);
    bind(FinishCompile, Export::FinishCompile);
    bind(SetTokens, Export::SetTokens);
    bind(RunSkipBody, Export::RunSkipBody);
    bind(GetCounters, Export::Counters);
    bind(ResetCounters, Export::ResetCounters);
    bind(SetUnitFlags, Export::SetUnitFlags);
    bind(ArmAliasHook, Export::ArmAliasHook);
    if (missing) *missing = absent;
    return !absent;
  }
  Counters Read() const {
    Counters c{};
    GetCounters(&c);
    return c;
  }
};

} // namespace DccCodeInsightDriver

// The IDE's view commands for Help Insight (unit Coreviewcmds) and the
// code-insight compile state they consult (unit Cominout), in the core
// package (coreide150.bpl, ViewCommands.cpp), declared once for the tests,
// the benchmarks and bds.exe.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "Common/HostLayout.h"

namespace ViewCommandsDriver {

namespace Export {
// procedure TViewCommands.actnViewHelpInsightUpdate(Sender: TObject) — EAX = Self, EDX = the action.
constexpr const char* Update = "@Coreviewcmds@TViewCommands@actnViewHelpInsightUpdate$qqrp14System@TObject";
// procedure TViewCommands.actnViewHelpInsightExecute(Sender: TObject) — EAX = Self, EDX = the action.
constexpr const char* Execute = "@Coreviewcmds@TViewCommands@actnViewHelpInsightExecute$qqrp14System@TObject";
// function GetBackgroundCompileActive: Boolean — result in AL.
constexpr const char* BackgroundCompileActive = "@Cominout@GetBackgroundCompileActive$qqrv";
// class procedure TKibitzingMonitor.Start(const Kinds: set of 0..1) — AL = the set.
constexpr const char* MonitorStart =
    "@Cominout@TKibitzingMonitor@Start$qqrx58System@%Set$t30Cominout@_TKibitzingMonitor@_1$iuc$0$iuc$1%";
// class procedure TKibitzingMonitor.Finish — no arguments.
constexpr const char* MonitorFinish = "@Cominout@TKibitzingMonitor@Finish$qqrv";
constexpr const char* New = "ViewCommandsNew";
constexpr const char* State = "ViewCommandsState";
constexpr const char* RaiseOnExecute = "ViewCommandsRaiseOnExecute";
constexpr const char* SetBackgroundCompile = "CominoutSetBackgroundCompile";
constexpr const char* Monitor = "CominoutMonitor";
}  // namespace Export

using CommandFn = void(QM_HOST_REGISTER*)(void* self, void* sender);
using BackgroundCompileActiveFn = bool(QM_HOST_REGISTER*)();
using MonitorStartFn = void(QM_HOST_REGISTER*)(uint8_t kinds);
using MonitorFinishFn = void(QM_HOST_REGISTER*)();

// What the host's execute handler saw on its last run.
struct TExecuteState {
  int32_t Updates;         // the host's update handler's runs
  int32_t Executions;      // the host's execute handler's runs (raising ones included)
  int32_t Cursor;          // the screen cursor during the last run (vcl150), 0 without vcl150
  int32_t MonitorDepth;    // open monitored sections during the last run
  int32_t MonitorKinds;    // the set the outermost section was started with
};

// The monitor's record: sections open now, starts and finishes so far, the
// last started set.
struct TMonitorState {
  int32_t Depth, Starts, Finishes, LastKinds;
};

// The stand-in's (stdcall). A view-commands object (lives as long as the
// process) whose update enables the action whenever the module services
// (the IDE's {55A5E848-…}) report a current module.
using NewFn = void*(__stdcall*)(void* moduleServices);
using StateFn = void(__stdcall*)(void* commands, TExecuteState* state);
// The next `count` runs of the execute handler raise a host Exception "Help Insight view failed".
using RaiseOnExecuteFn = void(__stdcall*)(int32_t count);
using SetBackgroundCompileFn = void(__stdcall*)(int32_t active);
using MonitorFn = void(__stdcall*)(TMonitorState* state);

struct Driver {
  CommandFn Update = nullptr;
  CommandFn Execute = nullptr;
  BackgroundCompileActiveFn BackgroundCompileActive = nullptr;
  NewFn New = nullptr;
  StateFn State = nullptr;
  RaiseOnExecuteFn RaiseOnExecute = nullptr;
  SetBackgroundCompileFn SetBackgroundCompile = nullptr;
  MonitorFn Monitor = nullptr;

  // The driver's own exports must be there; the host's may be missing (a variant).
  bool Bind(HMODULE coreIde) {
    auto bind = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
          reinterpret_cast<void*>(coreIde ? GetProcAddress(coreIde, name) : nullptr));
    };
    bind(Update, Export::Update);
    bind(Execute, Export::Execute);
    bind(BackgroundCompileActive, Export::BackgroundCompileActive);
    bind(New, Export::New);
    bind(State, Export::State);
    bind(RaiseOnExecute, Export::RaiseOnExecute);
    bind(SetBackgroundCompile, Export::SetBackgroundCompile);
    bind(Monitor, Export::Monitor);
    return New && State && RaiseOnExecute && SetBackgroundCompile && Monitor;
  }
};

}  // namespace ViewCommandsDriver

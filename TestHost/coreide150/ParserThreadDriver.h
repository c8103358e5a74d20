// The background parser's driver (coreide150.bpl, ParserThread.cpp),
// declared once for the tests, the benchmark and bds.exe.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "Common/HostLayout.h"

namespace ParserThreadDriver {

namespace Export {
// DATA: the variable holding the parse-thread object (nil until started).
constexpr const char* ParseThreadVariable = "@Parserthread@ParseThread";
constexpr const char* ParseThread = ParseThreadVariable;
constexpr const char* Parse = "@Parserthread@TParseThread@Parse$qqrv";
constexpr const char* Lock = "@Parserthread@TParseThread@Lock$qqrv";
constexpr const char* CancelAndLock = "@Parserthread@TParseThread@CancelAndLock$qqrv";
constexpr const char* Unlock = "@Parserthread@TParseThread@Unlock$qqrv";
constexpr const char* NotifyDestroyed =
    "@Docmodul@TCodeIDocModule@NotifyDestroyed$qqr45System@%DelphiInterface$t17System@IInterface%t1";
constexpr const char* Start = "ParserStart";
constexpr const char* Stop = "ParserStop";
constexpr const char* Request = "ParserRequest";
constexpr const char* Parsing = "ParserParsing";
constexpr const char* WaitIdle = "ParserWaitIdle";
constexpr const char* Counts = "ParserCounts";
constexpr const char* Open = "DocModuleOpen";
constexpr const char* HasText = "DocModuleHasText";
constexpr const char* Free = "DocModuleFree";
constexpr const char* RaiseOnDestroy = "DocModuleRaiseOnDestroy";
constexpr const char* Post = "ParserPost";
constexpr const char* LockTimeouts = "ParserLockTimeouts";
constexpr const char* SetLockWait = "ParserSetLockWait";
constexpr const char* Canceled = "ParserCanceled";
}  // namespace Export

// What the compiler lock's tests read of the parse-thread object (ParserThread.h).
namespace Layout {
constexpr int ThreadId = 0x08;
constexpr int LockObject = 0x40;
constexpr int LockCount = 0x50;
constexpr int LockHandle = 0x04;  // in the lock object
}  // namespace Layout

// Host methods: EAX = Self.
using MethodFn = void(QM_HOST_REGISTER*)(void* self);
// NotifyDestroyed: EAX = the module, EDX and ECX = two interfaces (may be nil).
using NotifyDestroyedFn = void(QM_HOST_REGISTER*)(void* module, void* intf, void* other);
// The stand-in's (stdcall): the parse thread started (and the variable set) or stopped (nil).
using StartFn = void*(__stdcall*)();
using VoidFn = void(__stdcall*)();
// A parse of the module asked for (also: DocModuleFree).
using RequestFn = void(__stdcall*)(void* module);
// The thread's parsing flag now.
using ParsingFn = int32_t(__stdcall*)();
// Work for the parser: called on its thread while it holds its lock (taken
// and released through the exported Lock and Unlock).
using WorkFn = void(__stdcall*)(void* data);
using PostFn = void(__stdcall*)(WorkFn work, void* data);
// How often acquiring the lock gave up after its wait (default 10 s).
using LockTimeoutsFn = uint32_t(__stdcall*)();
using SetLockWaitFn = void(__stdcall*)(uint32_t milliseconds);
// Whether CancelAndLock asked the parser to stop (cleared by Unlock).
using CanceledFn = int32_t(__stdcall*)();
// Waits until the posted work ran and the asked parse finished (1; 0 on
// timeout); then frees the texts freed meanwhile.
using WaitIdleFn = int32_t(__stdcall*)(int32_t timeoutMs);
// Parses finished, stopped by a cancel, and those that read a freed text.
using CountsFn = void(__stdcall*)(int32_t* parses, int32_t* canceled, int32_t* canaryReads);
// A module with `length` letters of text.
using OpenFn = void*(__stdcall*)(int32_t length, uint32_t seed);
using HasTextFn = int32_t(__stdcall*)(void* module);

struct Driver {
  void** ParseThread = nullptr;
  MethodFn CancelAndLock = nullptr, Unlock = nullptr;
  NotifyDestroyedFn NotifyDestroyed = nullptr;
  StartFn Start = nullptr;
  VoidFn Stop = nullptr;
  RequestFn Request = nullptr;
  ParsingFn Parsing = nullptr;
  WaitIdleFn WaitIdle = nullptr;
  CountsFn Counts = nullptr;
  OpenFn Open = nullptr;
  HasTextFn HasText = nullptr;
  RequestFn Free = nullptr;
  // The module's NotifyDestroyed raises (after freeing the text) from now on.
  RequestFn RaiseOnDestroy = nullptr;

  bool Bind(HMODULE module) {
    bool ok = true;
    auto bind = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
          reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
      ok = ok && slot;
    };
    bind(ParseThread, Export::ParseThreadVariable);
    bind(CancelAndLock, Export::CancelAndLock);
    bind(Unlock, Export::Unlock);
    bind(NotifyDestroyed, Export::NotifyDestroyed);
    bind(Start, Export::Start);
    bind(Stop, Export::Stop);
    bind(Request, Export::Request);
    bind(Parsing, Export::Parsing);
    bind(WaitIdle, Export::WaitIdle);
    bind(Counts, Export::Counts);
    bind(Open, Export::Open);
    bind(HasText, Export::HasText);
    bind(Free, Export::Free);
    bind(RaiseOnDestroy, Export::RaiseOnDestroy);
    return ok;
  }
};

}  // namespace ParserThreadDriver

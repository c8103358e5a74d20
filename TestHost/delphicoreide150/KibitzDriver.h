// Code insight in the Delphi personality (delphicoreide150.bpl), driver
// interface, declared once: the kibitz manager's code completion with its
// unit cache, "SetKibitzedSinceCompiled" and the builds it affects, and the
// error-insight pass that asks the compiler for a unit.
#pragma once

#include <cstdint>

#include "Common/HostLayout.h"

namespace KibitzDriver {

namespace Export {
constexpr const char* InvokeCodeCompletion =
    "@Pascodcmplt@TPascalKibitzManager@InvokeCodeCompletion$qqr23Toolsapi@TOTAInvokeTyper20System@UnicodeString";
constexpr const char* SetKibitzedSinceCompiled = "SetKibitzedSinceCompiled";
constexpr const char* NewManager = "KibitzManagerNew";
constexpr const char* ManagerResult = "KibitzManagerResult";
constexpr const char* UnitLoads = "KibitzUnitLoads";
constexpr const char* ErrorInsightPass = "DelphiCoreErrorInsightPass";
constexpr const char* Build = "DelphiCoreBuild";
constexpr const char* KibitzedSinceCompiled = "DelphiCoreKibitzedSinceCompiled";
constexpr const char* PatternSite = "DelphiCorePatternSite";
} // namespace Export

// TOTAInvokeType: how a completion was invoked. The timer's completion
// (InvokeTimer) keeps the unit cache; the others clear it first.
enum TInvokeType : uint8_t { InvokeAuto = 0, InvokeManual = 1, InvokeTimer = 2, InvokeArgument = 3 };

// TPascalKibitzManager (our layout): [0x10] InProgress, [0x14] the unit
// cache (a host object; virtual method 2 Clear), [0x18] the last list's
// checksum, [0x1C] its length.
namespace ManagerLayout {
constexpr uint32_t InProgress = 0x10;
constexpr uint32_t UnitCache = 0x14;
constexpr uint32_t ClearSlot = 2;
} // namespace ManagerLayout

// procedure InvokeCodeCompletion(InvokeType; var Text: string) — our form:
// EAX = Self, DL = invoke type, ECX = the text typed so far (a host string);
// the list's length in EAX. Units not in the cache are loaded (counted).
using InvokeCodeCompletionFn = int32_t(QM_HOST_REGISTER*)(void* self, uint32_t invokeType, const wchar_t* text);
// A manager over `units` project units with `symbols` declarations each
// (names "Unit<u>.<Kind><n>", kinds cycling over a few prefixes).
using NewManagerFn = void*(__stdcall*)(int32_t units, int32_t symbols);
// The last list's checksum and its length.
using ManagerResultFn = uint32_t(__stdcall*)(void* manager, int32_t* count);
// Units loaded into any manager's cache so far.
using UnitLoadsFn = uint32_t(__stdcall*)();

// procedure SetKibitzedSinceCompiled(Value: Boolean); stdcall — the next
// build recompiles the unit when it was set.
using SetKibitzedFn = void(__stdcall*)(int32_t value);
// The error-insight pass over a unit: "CompilerGetUnitCmdLine" of the
// compiler library (0 without it), then SetKibitzedSinceCompiled(True) as
// the IDE always does; the compiler's answer.
using ErrorInsightPassFn = int32_t(__stdcall*)(const char* unitName, int32_t sourceVersion);
// A build: 1 when it recompiled the unit (the flag was set; it is cleared).
using BuildFn = int32_t(__stdcall*)();
using KibitzedFn = int32_t(__stdcall*)();

} // namespace KibitzDriver

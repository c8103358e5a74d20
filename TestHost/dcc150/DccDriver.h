// The stand-in compiler's driver interface, declared once for everyone who
// drives dcc150.dll: bds.exe's compiler workload, the tests and the
// benchmark. The export names, their function types, and a binder that
// resolves them from a loaded dcc150.dll; the module's own definitions are
// checked against these types (DccDriver.cpp).
//
// `Unit` is the type a caller sees unit records as (the module uses its own
// record type, tests may use theirs); by default an opaque record.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"
#include "Common/SearchedSites.h"

namespace DccDriver {

struct OpaqueUnit;
struct OpaqueContext;
struct OpaqueSymbol;

// Export names (DccDriver.def, Compiler.def).
namespace Export {
// Workload phases.
constexpr const char* PrepareProject = "DccPrepareProject";
constexpr const char* LoadPrepared = "DccLoadPrepared";
constexpr const char* LoadProject = "DccLoadProject";
constexpr const char* PrepareLookups = "DccPrepareLookups";
constexpr const char* LookupPrepared = "DccLookupPrepared";
constexpr const char* MarkOutdated = "DccMarkOutdated";
constexpr const char* Reset = "DccReset";
constexpr const char* Recompile = "DccRecompile";
constexpr const char* FreeAll = "DccFreeAll";
constexpr const char* Checksum = "DccChecksum";
constexpr const char* UnitCount = "DccUnitCount";
constexpr const char* PrepareUnitOf = "DccPrepareUnitOf";
constexpr const char* RunUnitOf = "DccRunUnitOf";
constexpr const char* PrepareSymbols = "DccPrepareSymbols";
constexpr const char* RunSymbolLookups = "DccRunSymbolLookups";
constexpr const char* ReloadLargeScopeUnits = "DccReloadLargeScopeUnits";
// Single steps and the site table, for tests.
constexpr const char* NewUnit = "DccNewUnit";
constexpr const char* GiveSymbols = "DccGiveSymbols";
constexpr const char* Import = "DccImport";
constexpr const char* NewRecord = "DccNewRecord";
constexpr const char* AppendChain = "DccAppendChain";
constexpr const char* AddAlias = "DccAddAlias";
constexpr const char* SetOption = "DccSetOption";
constexpr const char* RaiseOnFree = "DccRaiseOnFree";
constexpr const char* PatternSite = "DccPatternSite";
constexpr const char* PatternSites = "DccPatternSites";
constexpr const char* AskUnitOf = "DccAskUnitOf";
constexpr const char* NewContext = "DccNewContext";
constexpr const char* Allocate = "DccAllocate";
constexpr const char* FreeContext = "DccFreeContext";
constexpr const char* UnitContext = "DccUnitContext";
constexpr const char* ReleaseTables = "DccReleaseTables";
// The compiler's own routines (host register convention).
constexpr const char* UnitFind = "DccUnitFind";
constexpr const char* UnitRemove = "DccUnitRemove";
constexpr const char* UnitAppend = "DccUnitAppend";
constexpr const char* UnlinkImports = "DccUnlinkImports";
constexpr const char* AfterCompile = "DccAfterCompile";
constexpr const char* GetUnitOf = "DccGetUnitOf";
constexpr const char* ContextOf = "DccContextOf";
constexpr const char* ScopeLookup = "DccScopeLookup";
} // namespace Export

// The phases of the compiler workload as bds.exe journals them
// ("DCC-PHASE <name> ms=<ms> checksum=<hex>"), in the order they run.
namespace Phase {
enum : int { Load, Lookup, Reset, Recompile, UnitOf, Symbols, FreeAll, Count };
constexpr const wchar_t* Names[Count] = {L"load",   L"lookup",  L"reset",  L"recompile",
                                         L"unitof", L"symbols", L"freeall"};
} // namespace Phase

// Binds one export into a slot; false if the module lacks it.
template <class Fn>
bool BindExport(HMODULE module, Fn& slot, const char* name) {
  slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return slot != nullptr;
}

// What a workload needs: the phases and the checksum.
struct WorkloadDriver {
  using PrepareProjectFn = void(__stdcall*)(int units, int imports, uint32_t randomSeed);
  using LoadPreparedFn = int(__stdcall*)();
  using LoadProjectFn = int(__stdcall*)(int units, int imports, uint32_t randomSeed);
  using PrepareLookupsFn = int(__stdcall*)(uint32_t randomSeed, int* misses);
  using LookupPreparedFn = int(__stdcall*)();
  using MarkOutdatedFn = int(__stdcall*)(int percent, uint32_t randomSeed);
  using ResetFn = void(__stdcall*)();
  using RecompileFn = int(__stdcall*)();
  using FreeAllFn = void(__stdcall*)();
  using ChecksumFn = uint32_t(__stdcall*)();
  using UnitCountFn = int(__stdcall*)();
  // The unit-of-address questions: prepared (exports, references and uses
  // given to every unit and record first), then asked; answers[i] and
  // kinds[i] receive each one when given.
  using PrepareUnitOfFn = int(__stdcall*)(int count, uint32_t randomSeed);
  using RunUnitOfFn = int(__stdcall*)(uint32_t* answers, uint8_t* kinds);
  // The symbol lookups over a scope of units: prepared, then asked in ranges;
  // between ranges the scope's three large units may be freed and reloaded.
  using PrepareSymbolsFn = int(__stdcall*)(int count, uint32_t randomSeed);
  using RunSymbolLookupsFn = int(__stdcall*)(int first, int count);
  using ReloadLargeScopeUnitsFn = void(__stdcall*)();

  PrepareProjectFn PrepareProject = nullptr;
  LoadPreparedFn LoadPrepared = nullptr;
  LoadProjectFn LoadProject = nullptr;
  PrepareLookupsFn PrepareLookups = nullptr;
  LookupPreparedFn LookupPrepared = nullptr;
  MarkOutdatedFn MarkOutdated = nullptr;
  ResetFn Reset = nullptr;
  RecompileFn Recompile = nullptr;
  FreeAllFn FreeAll = nullptr;
  ChecksumFn Checksum = nullptr;
  UnitCountFn UnitCount = nullptr;
  PrepareUnitOfFn PrepareUnitOf = nullptr;
  RunUnitOfFn RunUnitOf = nullptr;
  PrepareSymbolsFn PrepareSymbols = nullptr;
  RunSymbolLookupsFn RunSymbolLookups = nullptr;
  ReloadLargeScopeUnitsFn ReloadLargeScopeUnits = nullptr;

  // Resolves every slot; false (and the first missing export in *missing)
  // if one is absent.
  bool Bind(HMODULE dcc, const char** missing = nullptr) {
    const char* absent = nullptr;
    auto bind = [&](auto& slot, const char* name) {
      if (!BindExport(dcc, slot, name) && !absent) absent = name;
    };
    bind(PrepareProject, Export::PrepareProject);
    bind(LoadPrepared, Export::LoadPrepared);
    bind(LoadProject, Export::LoadProject);
    bind(PrepareLookups, Export::PrepareLookups);
    bind(LookupPrepared, Export::LookupPrepared);
    bind(MarkOutdated, Export::MarkOutdated);
    bind(Reset, Export::Reset);
    bind(Recompile, Export::Recompile);
    bind(FreeAll, Export::FreeAll);
    bind(Checksum, Export::Checksum);
    bind(UnitCount, Export::UnitCount);
    bind(PrepareUnitOf, Export::PrepareUnitOf);
    bind(RunUnitOf, Export::RunUnitOf);
    bind(PrepareSymbols, Export::PrepareSymbols);
    bind(RunSymbolLookups, Export::RunSymbolLookups);
    bind(ReloadLargeScopeUnits, Export::ReloadLargeScopeUnits);
    if (missing) *missing = absent;
    return !absent;
  }
};

// Everything: the workload, single steps, the site table and the compiler's
// own routines. Memory contexts and symbols are seen as `Context` and `Symbol`.
template <class Unit = OpaqueUnit, class Context = OpaqueContext, class Symbol = OpaqueSymbol>
struct Driver : WorkloadDriver {
  using NewUnitFn = Unit*(__stdcall*)(const char* name, uint32_t serial, int state, int flags, int withSymbols);
  using GiveSymbolsFn = void(__stdcall*)(Unit* unit);
  using ImportFn = int(__stdcall*)(Unit* unit, const char* name);
  using NewRecordFn = Unit*(__stdcall*)(int list, const char* name, uint32_t serial, int state);
  using AppendChainFn = Unit*(__stdcall*)(const char* const* names, int count, uint32_t serial);
  using AddAliasFn = void(__stdcall*)(const char* name, const char* target);
  using SetOptionFn = void(__stdcall*)(int index, const char* value);
  // The unit-free routine raises a host exception when next asked to free this unit.
  using RaiseOnFreeFn = void(__stdcall*)(Unit* unit);
  using PatternSiteFn = void*(__stdcall*)(const char* routine);
  using PatternSitesFn = const QmHost::SearchedSite*(__stdcall*)(int* count);
  using UnitFindFn = Unit*(QM_HOST_REGISTER*)(const char* name);
  using UnitRemoveFn = int(QM_HOST_REGISTER*)(Unit* unit);
  using UnitAppendFn = void(QM_HOST_REGISTER*)(Unit* unit);
  using UnlinkImportsFn = void(QM_HOST_REGISTER*)(Unit* unit);
  using AfterCompileFn = int(QM_HOST_REGISTER*)(int projectChanged, int explicitBuild);
  // One unit-of-address question of a kind DccPrepareUnitOf asks (0..11), with
  // the current and import unit as they are; the answer's creation number.
  using AskUnitOfFn = uint32_t(__stdcall*)(int kind, const void* subject, const void* address, int isReference);
  // A memory context on chain 1 (the searched one), 2 (scratch) or 3 (tables);
  // bytes from it; its release; the context a unit record opened.
  using NewContextFn = Context*(__stdcall*)(int chain, uint32_t zoneSize, uint32_t serial);
  using AllocateFn = void*(__stdcall*)(Context* context, uint32_t bytes);
  using FreeContextFn = void(__stdcall*)(Context* context);
  using UnitContextFn = Context*(__stdcall*)(Unit* unit);
  // The compiler's own tables released (made again when next needed).
  using ReleaseTablesFn = void(__stdcall*)();
  using GetUnitOfFn = Unit*(QM_HOST_REGISTER*)(const void* address);
  using ContextOfFn = Context*(QM_HOST_REGISTER*)(const void* address);
  using ScopeLookupFn = Symbol*(QM_HOST_REGISTER*)(uint32_t hashByte, const char* name, uint8_t* byScope);

  NewUnitFn NewUnit = nullptr;
  GiveSymbolsFn GiveSymbols = nullptr;
  ImportFn Import = nullptr;
  NewRecordFn NewRecord = nullptr;
  AppendChainFn AppendChain = nullptr;
  AddAliasFn AddAlias = nullptr;
  SetOptionFn SetOption = nullptr;
  RaiseOnFreeFn RaiseOnFree = nullptr;
  PatternSiteFn PatternSite = nullptr;
  PatternSitesFn PatternSites = nullptr;
  UnitFindFn UnitFind = nullptr;
  UnitRemoveFn UnitRemove = nullptr;
  UnitAppendFn UnitAppend = nullptr;
  UnlinkImportsFn UnlinkImports = nullptr;
  AfterCompileFn AfterCompile = nullptr;
  AskUnitOfFn AskUnitOf = nullptr;
  NewContextFn NewContext = nullptr;
  AllocateFn Allocate = nullptr;
  FreeContextFn FreeContext = nullptr;
  UnitContextFn UnitContext = nullptr;
  ReleaseTablesFn ReleaseTables = nullptr;
  GetUnitOfFn GetUnitOf = nullptr;
  ContextOfFn ContextOf = nullptr;
  ScopeLookupFn ScopeLookup = nullptr;

  bool Bind(HMODULE dcc, const char** missing = nullptr) {
    const char* absent = nullptr;
    if (!WorkloadDriver::Bind(dcc, &absent)) {
      if (missing) *missing = absent;
      return false;
    }
    auto bind = [&](auto& slot, const char* name) {
      if (!BindExport(dcc, slot, name) && !absent) absent = name;
    };
    bind(NewUnit, Export::NewUnit);
    bind(GiveSymbols, Export::GiveSymbols);
    bind(Import, Export::Import);
    bind(NewRecord, Export::NewRecord);
    bind(AppendChain, Export::AppendChain);
    bind(AddAlias, Export::AddAlias);
    bind(SetOption, Export::SetOption);
    bind(RaiseOnFree, Export::RaiseOnFree);
    bind(PatternSite, Export::PatternSite);
    bind(PatternSites, Export::PatternSites);
    bind(UnitFind, Export::UnitFind);
    bind(UnitRemove, Export::UnitRemove);
    bind(UnitAppend, Export::UnitAppend);
    bind(UnlinkImports, Export::UnlinkImports);
    bind(AfterCompile, Export::AfterCompile);
    bind(AskUnitOf, Export::AskUnitOf);
    bind(NewContext, Export::NewContext);
    bind(Allocate, Export::Allocate);
    bind(FreeContext, Export::FreeContext);
    bind(UnitContext, Export::UnitContext);
    bind(ReleaseTables, Export::ReleaseTables);
    bind(GetUnitOf, Export::GetUnitOf);
    bind(ContextOf, Export::ContextOf);
    bind(ScopeLookup, Export::ScopeLookup);
    if (missing) *missing = absent;
    return !absent;
  }
};

} // namespace DccDriver

// The stand-in compiler's generics driver, declared once for bds.exe's
// "generics" workload, the tests and the benchmark (DccGenerics.def);
// DccGenerics.cpp checks its definitions against these types.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"
#include "dcc150/DccDriver.h"

namespace DccGenericsDriver {

struct OpaqueRecord;

namespace Export {
constexpr const char* PrepareUses = "DccPrepareGenericUses";
constexpr const char* RunUses = "DccRunGenericUses";
constexpr const char* PrepareLink = "DccPrepareLink";
constexpr const char* RunLink = "DccRunLink";
constexpr const char* Checksum = "DccGenericsChecksum";
constexpr const char* Reset = "DccGenericsReset";
constexpr const char* NewOwner = "DccNewGenericOwner";
constexpr const char* SetState = "DccSetGenericsState";
constexpr const char* NewKey = "DccNewGenericKey";
constexpr const char* NewLinkType = "DccNewLinkType";
constexpr const char* NewLinkSymbol = "DccNewLinkSymbol";
constexpr const char* MatchCalls = "DccGenericMatchCalls";
// The compiler's own routines (host register convention) and variables.
constexpr const char* FindInstance1 = "DccFindInstance1";
constexpr const char* FindInstance2 = "DccFindInstance2";
constexpr const char* PurgeInstances = "DccPurgeInstances";
constexpr const char* LinkerAlloc = "DccLinkerAlloc";
constexpr const char* LinkerNewMatchTable = "DccLinkerNewMatchTable";
constexpr const char* LinkerMatch = "DccLinkerMatch";
constexpr const char* LinkerResolve1 = "DccLinkerResolve1";
constexpr const char* LinkerResolve2 = "DccLinkerResolve2";
constexpr const char* GenericOwner = "DccGenericOwner";
constexpr const char* LinkerCurrent = "DccLinkerCurrent";
constexpr const char* LinkerLimit = "DccLinkerLimit";
} // namespace Export

// The phases of the "generics" workload ("GEN-PHASE <name> ms=<ms> result=<n> checksum=<hex>").
namespace Phase {
enum : int { Uses, Link, Count };
constexpr const wchar_t* Names[Count] = {L"uses", L"link"};
} // namespace Phase

template <class Record = OpaqueRecord>
struct Driver {
  // Instantiation uses: generic types used `perType` times each, about
  // `foundPercent` of the uses finding an instantiation made before; owners
  // switch, temporary instantiations are purged, a few uses have no key.
  using PrepareUsesFn = void(__stdcall*)(int uses, int perType, int foundPercent, uint32_t randomSeed);
  // Runs them through the two find-or-add routines; returns how many found one.
  using RunUsesFn = int(__stdcall*)();
  // A link of `symbols` generic symbols (names repeat: later ones match earlier ones).
  using PrepareLinkFn = void(__stdcall*)(int symbols, uint32_t randomSeed);
  // A new match table, every symbol matched, both passes (with
  // `checkEachPass` the first pass's results go into the checksum too);
  // returns the distinct entries.
  using RunLinkFn = int(__stdcall*)(int checkEachPass);
  using ChecksumFn = uint32_t(__stdcall*)();
  using ResetFn = void(__stdcall*)();
  using NewOwnerFn = Record*(__stdcall*)();
  using SetStateFn = void(__stdcall*)(Record* owner, int kind);
  using NewKeyFn = Record*(__stdcall*)(uint32_t signature);
  using NewLinkTypeFn = Record*(__stdcall*)(uint32_t address);
  using NewLinkSymbolFn = Record*(__stdcall*)(const char* name, Record* type, uint32_t address);
  // Calls of the two match routines so far.
  using MatchCallsFn = uint32_t(__stdcall*)();
  using FindInstance1Fn = Record*(QM_HOST_REGISTER*)(uint32_t key, uint32_t value);
  using FindInstance2Fn = Record*(QM_HOST_REGISTER*)(Record* key, uint32_t context, uint32_t matchData);
  using PurgeInstancesFn = void(QM_HOST_REGISTER*)(Record* owner);
  using LinkerAllocFn = void*(QM_HOST_REGISTER*)(uint32_t size);
  using LinkerRoutineFn = void(QM_HOST_REGISTER*)();
  using LinkerMatchFn = Record*(QM_HOST_REGISTER*)(Record* symbol);

  PrepareUsesFn PrepareUses = nullptr;
  RunUsesFn RunUses = nullptr;
  PrepareLinkFn PrepareLink = nullptr;
  RunLinkFn RunLink = nullptr;
  ChecksumFn Checksum = nullptr;
  ResetFn Reset = nullptr;
  NewOwnerFn NewOwner = nullptr;
  SetStateFn SetState = nullptr;
  NewKeyFn NewKey = nullptr;
  NewLinkTypeFn NewLinkType = nullptr;
  NewLinkSymbolFn NewLinkSymbol = nullptr;
  MatchCallsFn MatchCalls = nullptr;
  FindInstance1Fn FindInstance1 = nullptr;
  FindInstance2Fn FindInstance2 = nullptr;
  PurgeInstancesFn PurgeInstances = nullptr;
  LinkerAllocFn LinkerAlloc = nullptr;
  LinkerRoutineFn LinkerNewMatchTable = nullptr;
  LinkerMatchFn LinkerMatch = nullptr;
  LinkerRoutineFn LinkerResolve1 = nullptr;
  LinkerRoutineFn LinkerResolve2 = nullptr;
  Record** GenericOwner = nullptr;
  uint8_t** LinkerCurrent = nullptr;
  uint8_t** LinkerLimit = nullptr;

  bool Bind(HMODULE dcc, const char** missing = nullptr) {
    const char* absent = nullptr;
    auto bind = [&](auto& slot, const char* name) {
      if (!DccDriver::BindExport(dcc, slot, name) && !absent) absent = name;
    };
    bind(PrepareUses, Export::PrepareUses);
    bind(RunUses, Export::RunUses);
    bind(PrepareLink, Export::PrepareLink);
    bind(RunLink, Export::RunLink);
    bind(Checksum, Export::Checksum);
    bind(Reset, Export::Reset);
    bind(NewOwner, Export::NewOwner);
    bind(SetState, Export::SetState);
    bind(NewKey, Export::NewKey);
    bind(NewLinkType, Export::NewLinkType);
    bind(NewLinkSymbol, Export::NewLinkSymbol);
    bind(MatchCalls, Export::MatchCalls);
    bind(FindInstance1, Export::FindInstance1);
    bind(FindInstance2, Export::FindInstance2);
    bind(PurgeInstances, Export::PurgeInstances);
    bind(LinkerAlloc, Export::LinkerAlloc);
    bind(LinkerNewMatchTable, Export::LinkerNewMatchTable);
    bind(LinkerMatch, Export::LinkerMatch);
    bind(LinkerResolve1, Export::LinkerResolve1);
    bind(LinkerResolve2, Export::LinkerResolve2);
    bind(GenericOwner, Export::GenericOwner);
    bind(LinkerCurrent, Export::LinkerCurrent);
    bind(LinkerLimit, Export::LinkerLimit);
    if (missing) *missing = absent;
    return !absent;
  }
};

} // namespace DccGenericsDriver

// The stand-in compiler's root-type unit list, driver interface, declared
// once for bds.exe's dccroottypes workload, the tests and the benchmark:
// units with their types, made into nodes for R; the lists of the root
// types, kept by the compiler from one call to the next.
#pragma once

#include <cstdint>

#include "Common/HostLayout.h"

namespace DccRootTypesDriver {

namespace Export {
constexpr const char* UnitList = "DccRootTypeUnitList";  // R (eax = the first unit node)
constexpr const char* ListOf = "DccRootListOf";          // the routine called at C
constexpr const char* NewUnit = "DccRootNewUnit";
constexpr const char* AddType = "DccRootAddType";
constexpr const char* Seed = "DccRootSeed";
constexpr const char* ListNodes = "DccRootListNodes";
constexpr const char* Checksum = "DccRootChecksum";
constexpr const char* FreeResult = "DccRootFreeResult";
constexpr const char* Reset = "DccRootReset";
constexpr const char* RaiseAfter = "DccRootRaiseAfter";
} // namespace Export

// R → the list of the units' names (freed with FreeResult).
using UnitListFn = void*(QM_HOST_REGISTER*)(void* firstNode);
// A unit node appended to the chain that starts at *first (a unit record
// and its symbol named `name`); its types are added with AddType (a type
// symbol named `name` whose root is `root`, 0..7).
using NewUnitFn = void*(__stdcall*)(void** first, const char* name);
using AddTypeFn = void(__stdcall*)(void* unitNode, const char* name, int32_t root);
// `count` types named "TSeed<i>" entered into root 0's list directly.
using SeedFn = void(__stdcall*)(int32_t count);
using ListNodesFn = int32_t(__stdcall*)(int32_t root);
// FNV over every root's list (names in order, types found again) and the
// result's unit names.
using ChecksumFn = uint32_t(__stdcall*)(const void* result);
using FreeResultFn = void(__stdcall*)(void* result);
// Forgets every list, unit and type.
using ResetFn = void(__stdcall*)();
// The n-th append from now raises a host exception (0: never).
using RaiseAfterFn = void(__stdcall*)(int32_t n);

} // namespace DccRootTypesDriver

// The stand-in compiler's file side, driver interface: declared once for
// bds.exe's dccfiles workload, the tests and the benchmark. Export names,
// function types and a binder; the module checks its definitions against
// these types (DccFilesDriver.cpp).
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"

namespace DccFilesDriver {

namespace Export {
// What the compiler library exports (DccFiles.def).
constexpr const char* SetCompState = "SetCompState";
constexpr const char* KibitzGetValidSymbols = "KibitzGetValidSymbols";
constexpr const char* SetCallbacks = "CompilerSetCallbacks";
// Its routines and variables, for tests.
constexpr const char* FileAge = "DccFileAge";
constexpr const char* FileSearch = "DccFileSearch";
constexpr const char* AddDir = "DccAddDir";
constexpr const char* ClearDirs = "DccClearDirs";
constexpr const char* Open1 = "DccOpen1";
constexpr const char* Open2 = "DccOpen2";
constexpr const char* AddMemoryFile = "DccAddMemoryFile";
constexpr const char* UnitOutdated = "DccUnitOutdated";
constexpr const char* WriteText = "DccWriteText";
constexpr const char* SetBuffer = "DccSetBuffer";
constexpr const char* CheckAge = "DccCheckAge";
constexpr const char* Callbacks = "DccFileCallbacks";
constexpr const char* SearchLists = "DccSearchLists";
constexpr const char* MemoryFiles = "DccMemoryFiles";
constexpr const char* CheckRuns = "DccCheckRuns";
// The driver.
constexpr const char* Reset = "DccFilesReset";
constexpr const char* MakeTree = "DccFilesMakeTree";
constexpr const char* RunPass = "DccFilesRunPass";
constexpr const char* Touch = "DccFilesTouch";
constexpr const char* WriteMap = "DccFilesWriteMap";
constexpr const char* WriteDrc = "DccFilesWriteDrc";
constexpr const char* NewUnit = "DccFilesNewUnit";
constexpr const char* Counters = "DccFilesCounters";
constexpr const char* FailWritesAfter = "DccFilesFailWritesAfter";
constexpr const char* OpenFile = "DccFilesOpenFile";
constexpr const char* FileWrite = "DccFilesFileWrite";
constexpr const char* CloseFile = "DccFilesCloseFile";
constexpr const char* SourcePath = "DccFilesSourcePath";
} // namespace Export

// What one pass of the dccfiles workload computed. The checksums depend
// only on the tree and the pass, so runs with and without patches compare.
struct TPassResult {
  uint32_t Searches;       // file searches (three per unit, one more for a file only an editor has)
  uint32_t Found;
  uint32_t Answers;        // checksum of every answer: age and path, ignoring case
  uint32_t Recompiled;     // units compiled in the pass
  uint32_t RecompiledSet;  // checksum of their names
  uint32_t BytesWritten;   // bytes written to compiled units, the map and the resource list
  uint32_t Written;        // checksum of those bytes, per file in order
  uint32_t CheckAgeCalls;  // file-age calls of the outdated check
  uint32_t WriteCalls;     // writes of the map and the resource list
  uint32_t CheckRuns[4];   // runs of the outdated check's bodies (files, source, compiled unit, other build's source)
};

// Counters since the last reset.
struct TCounters {
  uint32_t CheckAgeCalls;
  uint32_t WriteCalls;
  uint32_t DrcNotes;
  uint32_t DiskAges;
  uint32_t CheckRuns[4];
};

// The IDE's callback table: CreateUnitOutput at 0x04, CreateOutput at 0x08,
// FileAge at 0x20 (stdcall, UTF-8 paths).
struct TCallbacks {
  void* Reserved00;
  int32_t(__stdcall* CreateUnitOutput)(const char* path);
  int32_t(__stdcall* CreateOutput)(const char* path);
  void* Reserved0C[5];
  uint32_t(__stdcall* FileAge)(const char* path);
};

// The compiler's own exports (stdcall).
using SetCompStateFn = void(__stdcall*)(int32_t state);
// Reads the unit `fileName` (a path relative to the current directory as
// the compiler gets it) and writes the routines it declares, ';'-separated,
// into `symbols`; their count, or -1 when the unit cannot be opened.
using KibitzGetValidSymbolsFn = int32_t(__stdcall*)(const char* fileName, char* symbols, int32_t size, int32_t flags);
using SetCallbacksFn = void(__stdcall*)(const TCallbacks* callbacks);
// Its routines (host register convention; the search's stack arguments declared in reverse).
using FileAgeFn = uint32_t(QM_HOST_REGISTER*)(const char* path);
using FileSearchFn = uint32_t(QM_HOST_REGISTER*)(const char* dir, int32_t kind, const char* name, char* result,
                                                 void* reserved);
using AddDirFn = void(QM_HOST_REGISTER*)(int32_t kind, const char* dir);
using ClearDirsFn = void(QM_HOST_REGISTER*)();
using OpenFn = int32_t(QM_HOST_REGISTER*)(const char* path);
using AddMemoryFileFn = void*(QM_HOST_REGISTER*)(const char* name, const void* data, uint32_t size);
using UnitOutdatedFn = int32_t(QM_HOST_REGISTER*)(void* unit);
using WriteTextFn = uint32_t(__cdecl*)(void* file, const void* data, uint32_t count);
using SetBufferFn = int32_t(__cdecl*)(void* file, void* buffer, int32_t mode, uint32_t size);
using CheckAgeFn = uint32_t(QM_HOST_REGISTER*)(const char* path, char* buffer);
// The driver (stdcall).
using ResetFn = void(__stdcall*)();
// A project tree under `root` (made afresh): `dirs` source folders of
// `filesPerDir` files holding `units` units (source and include), compiled
// units in root\out, 10% of the searched files missing; fixed times. The
// number of files made, -1 on failure.
using MakeTreeFn = int32_t(__stdcall*)(const wchar_t* root, int32_t dirs, int32_t filesPerDir, int32_t units,
                                       uint32_t seed);
// One compile of the project as the IDE runs it: the current directory set
// to the root, the search lists set (ClearDirs, AddDir), every unit's
// source (kind 1), compiled unit (kind 5) and include (kind 0, in its
// folder) searched, the outdated check, outdated units compiled (Open1),
// the map and the resource list written (Open2) when any was. 0, or -1
// without a tree.
using RunPassFn = int32_t(__stdcall*)(int32_t pass, TPassResult* result);
// Sets the last-write time of `percent`% of the sources and includes to a
// later fixed time; how many.
using TouchFn = int32_t(__stdcall*)(int32_t percent, uint32_t seed);
// A map text of `bytes` bytes in 100-byte lines (LF ends), written through
// the run-time's text file in one write; the writes it took, -1 on failure.
using WriteMapFn = int32_t(__stdcall*)(const char* path, uint32_t bytes);
// The resource list writer with `records` 100-byte records; 0, -1 when its
// file cannot be created. The writes it took in *writes.
using WriteDrcFn = int32_t(__stdcall*)(const char* path, int32_t records, uint32_t* writes);
// A unit for the outdated check: its name, the candidates of the compiled
// unit's and the source's times ('|'-separated paths), the unit's files
// ('|'-separated; each checked).
using NewUnitFn = void*(__stdcall*)(const char* name, const char* compiled, const char* sources, const char* files);
using CountersFn = void(__stdcall*)(TCounters* counters);
using FailWritesAfterFn = void(__stdcall*)(int32_t bytes);
// The run-time's buffered file: open ("wt" text, "wb" binary; null on
// failure), write (bytes written), close.
using OpenFileFn = void*(__stdcall*)(const char* path, const char* mode);
using FileWriteFn = uint32_t(__stdcall*)(void* file, const void* data, uint32_t count);
using CloseFileFn = int32_t(__stdcall*)(void* file);
// The full path of a unit's source in the tree (unit -1: the source only an
// editor holds); its length, 0 when that unit has no source on disk.
using SourcePathFn = int32_t(__stdcall*)(int32_t unit, wchar_t* path, int32_t size);

template <class Fn>
bool BindExport(HMODULE module, Fn& slot, const char* name) {
  slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return slot != nullptr;
}

struct Driver {
  SetCompStateFn SetCompState = nullptr;
  KibitzGetValidSymbolsFn KibitzGetValidSymbols = nullptr;
  SetCallbacksFn SetCallbacks = nullptr;
  FileAgeFn FileAge = nullptr;
  FileSearchFn FileSearch = nullptr;
  AddDirFn AddDir = nullptr;
  ClearDirsFn ClearDirs = nullptr;
  OpenFn Open1 = nullptr;
  OpenFn Open2 = nullptr;
  AddMemoryFileFn AddMemoryFile = nullptr;
  UnitOutdatedFn UnitOutdated = nullptr;
  WriteTextFn WriteText = nullptr;
  SetBufferFn SetBuffer = nullptr;
  CheckAgeFn CheckAge = nullptr;
  TCallbacks** Callbacks = nullptr;
  ResetFn Reset = nullptr;
  MakeTreeFn MakeTree = nullptr;
  RunPassFn RunPass = nullptr;
  TouchFn Touch = nullptr;
  WriteMapFn WriteMap = nullptr;
  WriteDrcFn WriteDrc = nullptr;
  NewUnitFn NewUnit = nullptr;
  CountersFn Counters = nullptr;
  FailWritesAfterFn FailWritesAfter = nullptr;
  OpenFileFn OpenFile = nullptr;
  FileWriteFn FileWrite = nullptr;
  CloseFileFn CloseFile = nullptr;
  SourcePathFn SourcePath = nullptr;

  // Resolves every slot; false (and the first missing export in *missing)
  // when one is absent. A host built without "KibitzGetValidSymbols" or
  // "SetCompState" still binds (those slots stay null).
  bool Bind(HMODULE dcc, const char** missing = nullptr) {
    const char* absent = nullptr;
    auto bind = [&](auto& slot, const char* name) {
      if (!BindExport(dcc, slot, name) && !absent) absent = name;
    };
    BindExport(dcc, SetCompState, Export::SetCompState);
    BindExport(dcc, KibitzGetValidSymbols, Export::KibitzGetValidSymbols);
    bind(SetCallbacks, Export::SetCallbacks);
    bind(FileAge, Export::FileAge);
    bind(FileSearch, Export::FileSearch);
    bind(AddDir, Export::AddDir);
    bind(ClearDirs, Export::ClearDirs);
    bind(Open1, Export::Open1);
    bind(Open2, Export::Open2);
    bind(AddMemoryFile, Export::AddMemoryFile);
    bind(UnitOutdated, Export::UnitOutdated);
    bind(WriteText, Export::WriteText);
    bind(SetBuffer, Export::SetBuffer);
    bind(CheckAge, Export::CheckAge);
    bind(Callbacks, Export::Callbacks);
    bind(Reset, Export::Reset);
    bind(MakeTree, Export::MakeTree);
    bind(RunPass, Export::RunPass);
    bind(Touch, Export::Touch);
    bind(WriteMap, Export::WriteMap);
    bind(WriteDrc, Export::WriteDrc);
    bind(NewUnit, Export::NewUnit);
    bind(Counters, Export::Counters);
    bind(FailWritesAfter, Export::FailWritesAfter);
    bind(OpenFile, Export::OpenFile);
    bind(FileWrite, Export::FileWrite);
    bind(CloseFile, Export::CloseFile);
    bind(SourcePath, Export::SourcePath);
    if (missing) *missing = absent;
    return !absent;
  }
};

} // namespace DccFilesDriver

// The compiler's output, file-age and file-search patches three ways against
// the stand-in compiler: applied alone (a small project's three compile
// passes give the same answers, recompiled units and written bytes),
// disabled (nothing of it written; the group's children not even tried),
// and against compiler builds whose bytes differ (it and what builds on it
// failed, nothing of theirs written; where the source time's loop has its
// other form, .4 is tried instead of .3); restored byte for byte each time.
#include <gtest/gtest.h>

#include <cstring>

#include "Hooking/PatternSearch.h"
#include "Patches/Compiler/CompilerFilePatterns.h"
#include "StandInFiles.h"
#include "ThreeWayHarness.h"

namespace {

const wchar_t* const Optimization = L"Compiler.Optimization";
const wchar_t* const MapBuffer = L"Compiler.MapFileBuffer";
const wchar_t* const DrcBuffer = L"Compiler.DrcFileBuffer";
const wchar_t* const FileExists = L"Compiler.BackgroundCompilerFileExists";
const wchar_t* const Outdated = L"Compiler.SourceOutdated";
const wchar_t* const Outdated1 = L"Compiler.SourceOutdated.1";
const wchar_t* const Outdated2 = L"Compiler.SourceOutdated.2";
const wchar_t* const Outdated3 = L"Compiler.SourceOutdated.3.Update1";
const wchar_t* const Outdated4 = L"Compiler.SourceOutdated.4";
const wchar_t* const SearchCache = L"Compiler.FileSearchCache";
const wchar_t* const Kibitz = L"Compiler.KibitzGetValidSymbols";
const wchar_t* const DirSearch = L"Compiler.DirectorySearch";

const std::vector<TPatchRow> PatchRows = {
    {Optimization, {}},
    {MapBuffer, {Optimization}},
    {DrcBuffer, {Optimization}},
    {FileExists, {Optimization}},
    {Outdated, {Optimization}},
    {Outdated1, {Optimization, Outdated}},
    {Outdated2, {Optimization, Outdated}},
    {Outdated3, {Optimization, Outdated}},
    {SearchCache, {}},
    {Kibitz, {SearchCache}},
    {DirSearch, {FileExists}},
};

// The compiler's list head written elsewhere at the second place the
// memory-file routine names it: a build the plan must not trust.
void AlterMemoryListHead() {
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  auto site = reinterpret_cast<void*(__stdcall*)(const char*)>(reinterpret_cast<void*>(GetProcAddress(dcc, "DccPatternSite")));
  uint8_t* at = static_cast<uint8_t*>(site("MemoryFiles")) + 0x17;
  const uint32_t other = uint32_t(reinterpret_cast<uintptr_t>(GetProcAddress(dcc, "DccFileCallbacks")));
  DWORD old;
  VirtualProtect(at, 4, PAGE_EXECUTE_READWRITE, &old);
  std::memcpy(at, &other, 4);
  VirtualProtect(at, 4, old, &old);
}

const std::vector<TVariantRow> VariantRows = {
    {"fileage", {FileExists, DirSearch}},
    {"memfiles", {FileExists, DirSearch}},
    {"memfiles-head", {FileExists, DirSearch}, &AlterMemoryListHead},
    {"filesearch", {SearchCache}, nullptr, {Kibitz}},
    {"adddir", {DirSearch}},
    {"cleardirs", {DirSearch}},
    {"open1", {DirSearch}},
    {"open2", {DirSearch}},
    {"nosetcompstate", {DirSearch}},
    {"nokibitzsymbols", {Kibitz}},
    {"mapwrite", {MapBuffer}},
    {"setbuffer", {DrcBuffer}},
    {"drcopen", {DrcBuffer}},
    {"outdated1", {Outdated1}},
    {"outdated2", {Outdated2, Outdated4}, nullptr, {Outdated3}, {}, {}, {Outdated4}},
    {"outdated3", {Outdated3}},
    // The other build: its own loop is found and rewritten instead.
    {"outdated2-s4", {Outdated2}, nullptr, {Outdated3}, {}, {}, {Outdated4}},
    {"outdated4", {Outdated2, Outdated4}, nullptr, {Outdated3}, {}, {}, {Outdated4}},
};

const TThreeWaySubsystem& CompilerFiles() {
  static const TThreeWaySubsystem subsystem{
      {L"dcc150.dll"},
      [] { StandInFiles::BindLoaded(); },
      [] { StandInFiles::InstallProcedures(); },
      [] { return StandInFiles::RunProject(); },
      {Optimization, MapBuffer, DrcBuffer, FileExists, Outdated, Outdated1, Outdated2, Outdated3, Outdated4,
       SearchCache, Kibitz, DirSearch},
      {Outdated},
      {Outdated4},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(CompilerFiles, CompilerFiles(), PatchRows, VariantRows)

} // namespace

// The build with the other form of the source time's loop has it once, at
// its site, and not the first form (which the main build has instead).
TEST(CompilerFilePatterns, TheOtherBuildsSourceLoopIsFoundOnceAtItsSite) {
  for (const char* variant : {"outdated2-s4", static_cast<const char*>(nullptr)}) {
    SCOPED_TRACE(variant ? variant : "stand-in");
    HMODULE dcc = StandInFiles::Load(variant);
    auto site = reinterpret_cast<void*(__stdcall*)(const char*)>(reinterpret_cast<void*>(GetProcAddress(dcc, "DccPatternSite")));
    const Quillmend::TBytePattern s2 = Quillmend::ParsePattern(Quillmend::CompilerFilePatterns::Outdated2);
    const Quillmend::TBytePattern s4 = Quillmend::ParsePattern(Quillmend::CompilerFilePatterns::Outdated4);
    void* found4 = Quillmend::FindMethodPtr(dcc, s4, 0);
    void* found2 = Quillmend::FindMethodPtr(dcc, s2, 0);
    EXPECT_EQ(found4, site("Outdated4"));
    EXPECT_EQ(found2, site("Outdated2"));
    EXPECT_TRUE((found2 == nullptr) != (found4 == nullptr));
    if (found4) {
      EXPECT_EQ(Quillmend::FindMethodPtr(static_cast<uint8_t*>(found4) + 1, s4, 0), nullptr);
    }
    FreeLibrary(dcc);
  }
}

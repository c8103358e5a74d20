// "Compiler.rlink32.MaxResCount" against the stand-in resource linker:
// three ways, its patterns once at their sites, and .res files that
// windres wrote (and whose resources it read back: the list that must be
// linked): 5,000 resources fail unpatched and are linked patched, 65,534
// fit, 65,535 fail cleanly with the linker's error.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>
#include <windows.h>

#include "Framework/PatchRegistry.h"
#include "Hooking/PatternSearch.h"
#include "Patches/Compiler/CompilerRlink32MaxResCount.h"
#include "TestPaths.h"
#include "ThreeWayHarness.h"
#include "rlink32/Rlink32Driver.h"

namespace {

using namespace Rlink32Driver;
namespace Patterns = Quillmend::Rlink32Patterns;

const wchar_t* const MaxResCount = L"Compiler.rlink32.MaxResCount";

template <class T>
T RlinkExport(const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"rlink32.dll"), name)));
}

std::wstring ResFile(const wchar_t* name) { return BuildDirectory() + L"\\oracle\\res\\" + name + L".res"; }

using TResource = std::tuple<int, int, int>;  // type id, name id, language

// What windres read back from the file.
std::vector<TResource> ReadBack(const wchar_t* name) {
  std::vector<TResource> list;
  FILE* in = _wfopen((BuildDirectory() + L"\\oracle\\res\\" + name + L".txt").c_str(), L"r");
  if (!in) return list;
  int type, id, language;
  while (std::fscanf(in, "%d %d %d", &type, &id, &language) == 3) list.push_back({type, id, language});
  std::fclose(in);
  return list;
}

// The linker's answer for the file, and what it linked (sorted).
std::pair<int32_t, std::vector<TResource>> Link(const wchar_t* name) {
  const int32_t error = RlinkExport<LinkFileFn>(Export::LinkFile)(ResFile(name).c_str());
  int32_t count = 0;
  const TEntry* entries = RlinkExport<EntriesFn>(Export::Entries)(&count);
  std::vector<TResource> linked;
  for (int32_t i = 0; i < count; ++i) linked.push_back({entries[i].Type, entries[i].Name, entries[i].Language});
  std::sort(linked.begin(), linked.end());
  return {error, linked};
}

std::string Exercise() {
  const auto [error, linked] = Link(L"small40");
  std::string trace = std::to_string(error) + " " + std::to_string(linked.size());
  int32_t count = 0;
  const TEntry* entries = RlinkExport<EntriesFn>(Export::Entries)(&count);
  for (int32_t i = 0; i < count; ++i) trace += " " + std::to_string(entries[i].Offset) + ":" + std::to_string(entries[i].Sum);
  return trace;
}

const std::vector<TPatchRow> PatchRows = {{MaxResCount, {}}};
const std::vector<TVariantRow> VariantRows = {{"resalloc", {MaxResCount}}, {"resentries", {MaxResCount}}};

const TThreeWaySubsystem& Linker() {
  static const TThreeWaySubsystem subsystem{
      {L"rlink32.dll"}, nullptr, [] { Quillmend::InstallCompilerRlink32MaxResCount(); }, &Exercise, {MaxResCount},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(Rlink32MaxResCount, Linker(), PatchRows, VariantRows)

class Rlink32Behaviour : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_NE(LoadLibraryW((BuildDirectory() + L"\\host\\rlink32.dll").c_str()), nullptr);
    SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
  }
  static void Install() {
    Quillmend::InstallCompilerRlink32MaxResCount();
    ASSERT_TRUE(Quillmend::IsPatchApplied(MaxResCount));
  }
  static uint32_t MaxEntries() { return *RlinkExport<uint32_t*>(Export::MaxEntries) & 0xFFFF; }
};

} // namespace

TEST_F(Rlink32Behaviour, ThePatternsAreFoundOnceAtTheirSites) {
  HMODULE rlink = GetModuleHandleW(L"rlink32.dll");
  for (const char* text : {Patterns::Alloc, Patterns::Entries}) {
    const Quillmend::TBytePattern pattern = Quillmend::ParsePattern(text);
    auto* found = static_cast<uint8_t*>(Quillmend::FindMethodPtr(rlink, pattern, 0));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(Quillmend::FindMethodPtr(found + 1, pattern, 0), nullptr);
    if (text == Patterns::Alloc) {
      EXPECT_EQ(found, RlinkExport<uint8_t*>(Export::Alloc));
    }
  }
}

// Each file: the linker's answer and the table's entries, unpatched and
// patched; what was linked is what windres read back.
TEST_F(Rlink32Behaviour, ResourceFilesAsWindresReadsThem) {
  const struct {
    const wchar_t* File;
    int32_t Host, Patched;                   // the linker's answers
    uint32_t HostEntries, PatchedEntries;    // the table's room as the link read it
  } rows[] = {
      {L"small40", 0, 0, 3626, 65534},
      {L"mixed5000", ErrorTooManyResources, 0, 3626, 65534},
      {L"plain65534", ErrorTooManyResources, 0, 3626, 65534},
      {L"plain65535", ErrorTooManyResources, ErrorTooManyResources, 3626, 65534},
  };
  std::vector<std::pair<int32_t, std::vector<TResource>>> host;
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.File, row.File + wcslen(row.File)));
    host.push_back(Link(row.File));
    EXPECT_EQ(host.back().first, row.Host);
    EXPECT_EQ(MaxEntries(), row.HostEntries);
    if (row.Host == 0) {
      EXPECT_EQ(host.back().second, ReadBack(row.File));
    }
  }
  Install();
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.File, row.File + wcslen(row.File)));
    const auto [error, linked] = Link(row.File);
    EXPECT_EQ(error, row.Patched);
    EXPECT_EQ(MaxEntries(), row.PatchedEntries);
    if (error == 0) {
      const std::vector<TResource> expected = ReadBack(row.File);
      EXPECT_EQ(linked.size(), expected.size());
      EXPECT_TRUE(linked == expected);
    } else {
      EXPECT_TRUE(linked.empty());
    }
  }
}

// The caller's size variable: 32 bits written, the table of 65,534 entries.
TEST_F(Rlink32Behaviour, TheSizeIsStoredIn32Bits) {
  auto alloc = RlinkExport<AllocFn>(Export::Alloc);
  uint32_t size = 0xA5A5A5A5;
  void* table = alloc(&size);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(size, 0xA5A5FF00u);  // 16 bits written, the rest left as it was
  HeapFree(GetProcessHeap(), 0, table);
  Install();
  size = 0xA5A5A5A5;
  table = alloc(&size);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(size, 65534u * 18u);
  HeapFree(GetProcessHeap(), 0, table);
}

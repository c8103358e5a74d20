// "Compiler.MapFile.fprintf" against the stand-in linker's map lines: three
// ways (and builds whose map has other texts, where it must not apply),
// its patterns once at their sites, and the line-number sections written
// with and without it: the same file, byte for byte and as composed here
// independently, with one formatted write per entry instead of an extra one
// per line break.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include <windows.h>

#include "Framework/PatchRegistry.h"
#include "Hooking/PatternSearch.h"
#include "Patches/Compiler/MapFilefprintfPatch.h"
#include "DccStandIn.h"
#include "TestPaths.h"
#include "ThreeWayHarness.h"
#include "dcc150/DccFilesDriver.h"
#include "dcc150/DccMapLinesDriver.h"

namespace {

const wchar_t* const Fprintf = L"Compiler.MapFile.fprintf";

std::string MapPath(const std::string& name) {
  const std::wstring dir = BuildDirectory() + L"\\Testing";
  CreateDirectoryW(dir.c_str(), nullptr);
  std::string path(dir.begin(), dir.end());
  return path + "\\maplines-" + name + "-" + std::to_string(GetCurrentProcessId()) + ".map";
}

// A section of `count` entries written to a new file; its bytes, and W's calls.
std::string WriteSection(int32_t count, uint32_t seed, uint32_t* writes = nullptr) {
  const std::string path = MapPath(std::to_string(count));
  void* file = DccExport<DccFilesDriver::OpenFileFn>(DccFilesDriver::Export::OpenFile)(path.c_str(), "wt");
  if (!file) return "cannot create " + path;
  uint32_t* calls = DccExport<uint32_t*>(DccMapLinesDriver::Export::Writes);
  const uint32_t before = *calls;
  DccExport<DccMapLinesDriver::WriteLinesFn>(DccMapLinesDriver::Export::WriteLines)(file, count, seed);
  if (writes) *writes = *calls - before;
  DccExport<DccFilesDriver::CloseFileFn>(DccFilesDriver::Export::CloseFile)(file);
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  DeleteFileA(path.c_str());
  return bytes;
}

// The same section composed here: a CR LF before every entry (none with
// the flags' low bits set), the fields with the C run-time's rules; entries
// as DccWriteLineNumbers makes them.
std::string Composed(int32_t count, uint32_t seed, bool breaks = true) {
  static const uint32_t segments[] = {1, 2, 3, 4, 5, 0x10, 0x11, 0xFFFF};
  std::string text;
  for (int32_t i = 0; i < count; ++i) {
    seed = seed * 1103515245u + 12345u;
    if (breaks) text += "\r\n";
    char fields[64];
    std::snprintf(fields, sizeof fields, " %5ld %04X:%08lX", long(i + 1 + int32_t(seed >> 29) * 1000),
                  unsigned(segments[(seed >> 24) & 7]), static_cast<unsigned long>(seed & 0x3FFFFF));
    text += fields;
  }
  return text;
}

const std::vector<TPatchRow> PatchRows = {{Fprintf, {}}};
const std::vector<TVariantRow> VariantRows = {
    {"mapw", {Fprintf}},
    {"mapline", {Fprintf}},
    // Linkers whose map has other texts: the rewrite would write its own.
    {"mapline-fields", {Fprintf}},
    {"mapline-newline", {Fprintf}},
};

const TThreeWaySubsystem& MapLines() {
  static const TThreeWaySubsystem subsystem{
      {L"dcc150.dll"}, nullptr, [] { Quillmend::InstallMapFilefprintfPatch(); },
      [] { return WriteSection(37, 5); }, {Fprintf},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(MapLine, MapLines(), PatchRows, VariantRows)

class MapLineBehaviour : public testing::Test {
protected:
  void Load(const wchar_t* variant = nullptr) {
    const std::wstring path = BuildDirectory() + (variant ? L"\\host-variants\\" + std::wstring(variant) : L"\\host") +
                              L"\\dcc150.dll";
    ASSERT_NE(LoadLibraryW(path.c_str()), nullptr);
    SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
  }
};

} // namespace

TEST_F(MapLineBehaviour, ThePatternsAreFoundOnceAtTheirSites) {
  Load();
  auto site = &DccSite;
  for (const auto& [pattern, name] : {std::pair{Quillmend::MapFilePatterns::Write, "MapPrintf"},
                                      std::pair{Quillmend::MapFilePatterns::Line, "MapLine"}}) {
    SCOPED_TRACE(name);
    const Quillmend::TBytePattern parsed = Quillmend::ParsePattern(pattern);
    auto* found = static_cast<uint8_t*>(Quillmend::FindMethodPtr(GetModuleHandleW(L"dcc150.dll"), parsed, 0));
    EXPECT_EQ(found, site(name));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(Quillmend::FindMethodPtr(found + 1, parsed, 0), nullptr);
  }
}

// Sections of several lengths, with breaks and (flags 1, 2, 3) without:
// the host's file, the composed text, and one write per entry once the
// patch is in (two consecutive lines each with one write).
TEST_F(MapLineBehaviour, EachEntryIsOneWriteAndTheFileIsTheSame) {
  Load();
  uint32_t* flags = DccExport<uint32_t*>(DccMapLinesDriver::Export::Flags);
  const struct {
    int32_t Count;
    uint32_t Flags;
  } rows[] = {{0, 0}, {1, 0}, {2, 0}, {5, 0}, {1000, 0}, {3, 1}, {3, 2}, {4, 3}, {3, 4}};
  std::vector<std::string> host;
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.Count << " flags " << row.Flags);
    *flags = row.Flags;
    uint32_t writes = 0;
    host.push_back(WriteSection(row.Count, uint32_t(row.Count) * 31 + 1, &writes));
    const bool breaks = (row.Flags & 3) == 0;
    EXPECT_EQ(host.back(), Composed(row.Count, uint32_t(row.Count) * 31 + 1, breaks));
    EXPECT_EQ(writes, uint32_t(breaks ? 2 * row.Count : row.Count));
  }
  Quillmend::InstallMapFilefprintfPatch();
  ASSERT_TRUE(Quillmend::FailedPatchReasons().empty()) << "not applied";
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(testing::Message() << rows[i].Count << " flags " << rows[i].Flags);
    *flags = rows[i].Flags;
    uint32_t writes = 0;
    EXPECT_EQ(WriteSection(rows[i].Count, uint32_t(rows[i].Count) * 31 + 1, &writes), host[i]);
    EXPECT_EQ(writes, uint32_t(rows[i].Count));
    EXPECT_EQ(Quillmend::PendingBreak, 0);
  }
  *flags = 0;
}

// A linker whose map has other fields or another break: the patch checks
// the texts it would replace and is not applied, with the reason.
class MapLineOtherTexts : public MapLineBehaviour,
                          public testing::WithParamInterface<std::pair<const wchar_t*, const wchar_t*>> {};

TEST_P(MapLineOtherTexts, AreNotReplaced) {
  Load(GetParam().first);
  Quillmend::InstallMapFilefprintfPatch();
  const std::wstring reasons = Quillmend::FailedPatchReasons();
  EXPECT_NE(reasons.find(GetParam().second), std::wstring::npos) << std::string(reasons.begin(), reasons.end());
  uint32_t writes = 0;
  WriteSection(9, 3, &writes);
  EXPECT_EQ(writes, 18u);
}

INSTANTIATE_TEST_SUITE_P(MapLine, MapLineOtherTexts,
                         testing::Values(std::pair{L"mapline-fields", L"+0x29"}, std::pair{L"mapline-newline", L"+0x0A"}),
                         [](const auto& info) { return info.index == 0 ? "Fields" : "Newline"; });

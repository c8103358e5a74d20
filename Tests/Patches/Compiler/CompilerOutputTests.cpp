// The compiler's output files and its outdated check with the patches: the
// map and the resource list written byte for byte as the compiler writes
// them in far fewer writes, short and failing writes answered as the
// compiler answers them, a resource list that cannot be created, the own
// source skipped by its whole name, and every rewritten body of the check run.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>
#include <windows.h>

#include "Hooking/CodeTransaction.h"
#include "Patches/Compiler/CompilerOutputPatches.h"
#include "StandInFiles.h"
#include "TestFiles.h"
#include "TestPaths.h"

using namespace Quillmend;

namespace {

const DccFilesDriver::Driver& D() { return StandInFiles::Driver(); }

uint32_t Writes() {
  DccFilesDriver::TCounters counters{};
  D().Counters(&counters);
  return counters.WriteCalls;
}

// A map text of 100-byte lines with LF ends, of `bytes` bytes.
std::string MapText(size_t bytes) {
  std::string text;
  for (size_t i = 0; text.size() < bytes; ++i) {
    std::string line = " 0001:" + std::to_string(i * 16) + " Symbol" + std::to_string(i);
    line.resize(99, ' ');
    text += line + "\n";
  }
  text.resize(bytes);
  return text;
}

std::string CrLf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

struct TWritten {
  uint32_t Result;
  uint32_t Writes;
  std::string Bytes;
};

// The text through the run-time's text write in one call, on a fresh file.
TWritten WriteText(const std::string& path, const std::string& text, int32_t failAfter = -1) {
  void* file = D().OpenFile(path.c_str(), "wt");
  EXPECT_NE(file, nullptr);
  D().FailWritesAfter(failAfter);
  const uint32_t before = Writes();
  TWritten written{D().WriteText(file, text.data(), uint32_t(text.size())), Writes() - before, ""};
  D().FailWritesAfter(-1);
  D().CloseFile(file);
  written.Bytes = QuillmendTest::ReadFileBytes(std::wstring(path.begin(), path.end()));
  return written;
}

class CompilerOutput : public testing::Test {
protected:
  void SetUp() override {
    StandInFiles::Load();
    Root = StandInFiles::WorkDirectory(StandInFiles::TestName());
    ASSERT_TRUE(SetCurrentDirectoryW(Root.c_str()));
  }
  void TearDown() override { SetCurrentDirectoryW(BuildDirectory().c_str()); }
  std::wstring Root;
};

} // namespace

// A map whose line feeds grow it past the buffer is written in full
// buffers, the input length answered, the bytes the compiler's; the
// resource list in 64 KB writes instead of 512-byte ones.
TEST_F(CompilerOutput, MapAndResourceListAreWrittenAsTheCompilerWritesThem) {
  const std::string text = MapText(300000);
  const TWritten plainMap = WriteText("plain.map", text);
  uint32_t plainDrcWrites = 0;
  ASSERT_EQ(D().WriteDrc("plain.drc", 3000, &plainDrcWrites), 0);
  StandInFiles::InstallAll();
  const TWritten patchedMap = WriteText("patched.map", text);
  uint32_t patchedDrcWrites = 0;
  ASSERT_EQ(D().WriteDrc("patched.drc", 3000, &patchedDrcWrites), 0);

  EXPECT_EQ(plainMap.Result, text.size());
  EXPECT_EQ(patchedMap.Result, text.size());
  EXPECT_EQ(plainMap.Bytes, CrLf(text));
  EXPECT_EQ(patchedMap.Bytes, plainMap.Bytes);
  const size_t output = CrLf(text).size();
  EXPECT_EQ(patchedMap.Writes, (output + TextWriteBufferSize - 1) / TextWriteBufferSize);
  EXPECT_GT(plainMap.Writes, output / 512);
  EXPECT_EQ(QuillmendTest::ReadFileBytes(Root + L"\\patched.drc"), QuillmendTest::ReadFileBytes(Root + L"\\plain.drc"));
  EXPECT_EQ(plainDrcWrites, (300000 + 511) / 512);
  EXPECT_EQ(patchedDrcWrites, (300000 + 0xFFFF) / 0x10000);
}

// A disk that fills up: the input bytes whose output was written in full
// (a line feed cut after its CR is not), -1 when nothing was written.
TEST_F(CompilerOutput, ShortWritesAnswerTheInputWrittenInFull) {
  const std::string text = MapText(250000);  // more than two of the patch's buffers, with every line's CR LF
  const std::vector<int32_t> failPoints = {0, 99, 100, 101, 4096, 98213, 98214, 200001, 250000 + 2499};
  std::vector<uint32_t> plain;
  for (int32_t at : failPoints) plain.push_back(WriteText("plain.map", text, at).Result);
  StandInFiles::InstallAll();
  for (size_t i = 0; i < failPoints.size(); ++i) {
    SCOPED_TRACE(failPoints[i]);
    EXPECT_EQ(WriteText("patched.map", text, failPoints[i]).Result, plain[i]);
  }
  EXPECT_EQ(plain[0], 0xFFFFFFFFu);
  EXPECT_EQ(plain[1], 99u);   // the line's text, not its line feed
  EXPECT_EQ(plain[2], 99u);   // the CR written, the LF not: the line feed is not
  EXPECT_EQ(plain[3], 100u);
}

// WriteTextCrLf over a writer that writes only part of the first buffer.
TEST(WriteTextCrLf, ReturnsTheInputOfCompleteOutput) {
  struct TCase {
    const char* Text;
    int32_t Writable;  // bytes the writer takes in all
    int32_t Expected;
  };
  static int32_t s_room = 0;
  static std::string s_written;
  HostTextWrite = [](void*, const void* buffer, uint32_t count) -> int32_t {
    const int32_t n = int32_t(count) < s_room ? int32_t(count) : s_room;
    s_written.append(static_cast<const char*>(buffer), size_t(n));
    s_room -= n;
    return n;
  };
  const TCase cases[] = {
      {"ab\ncd\n", 100, 6}, {"ab\ncd\n", 0, -1}, {"ab\ncd\n", 2, 2}, {"ab\ncd\n", 3, 2},
      {"ab\ncd\n", 4, 3},   {"\r\n\n", 2, 1},    {"\r\n\n", 3, 2},    {"", 0, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Text) + " / " + std::to_string(c.Writable));
    s_room = c.Writable;
    s_written.clear();
    EXPECT_EQ(WriteTextCrLf(reinterpret_cast<const uint8_t*>(c.Text), uint32_t(std::strlen(c.Text)), nullptr), c.Expected);
  }
}

// The resource list's file cannot be created: the compiler's own failure,
// the buffer not set on a file that is not there.
TEST_F(CompilerOutput, AResourceListNotCreatedIsLeftAlone) {
  StandInFiles::InstallAll();
  uint32_t writes = 0;
  EXPECT_EQ(D().WriteDrc("no\\such\\directory\\Proj.drc", 10, &writes), -1);
  EXPECT_EQ(writes, 0u);
  EXPECT_EQ(D().WriteDrc("Proj.drc", 10, &writes), 0);
}

TEST(SkipOwnSource, SkipsOnlyTheUnitsOwnSource) {
  struct TSymbol {
    uint8_t Pad[0x1E];
    char Name[16];
  } symbol = {{}, "Unit1"};
  struct TUnit {
    uint8_t Pad[0x80];
    TSymbol* Symbol;
  } unit = {{}, &symbol}, noSymbol = {{}, nullptr};
  struct TCase {
    const TUnit* Unit;
    const char* Name;
    uint32_t Query;
  };
  const TCase cases[] = {
      {&unit, "C:\\src\\Unit1.pas", 0}, {&unit, "src/unit1.PAS", 0},    {&unit, "C:\\src\\Unit10.inc", 1},
      {&unit, "C:\\src\\Unit.pas", 1},  {&unit, "C:\\src\\Unit1", 1},   {&unit, "Unit1I.inc", 1},
      {&noSymbol, "Unit1.pas", 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(SkipOwnSource(reinterpret_cast<const TDccUnit*>(c.Unit), c.Name), c.Query);
  }
}

// Every rewritten body of the outdated check runs in the workload (so none
// is dead code), and the patched check asks for fewer file ages.
TEST_F(CompilerOutput, EveryRewrittenBodyOfTheCheckRuns) {
  DccFilesDriver::TCounters plain{}, patched{};
  StandInFiles::RunProject();
  D().Counters(&plain);
  D().Reset();
  StandInFiles::InstallAll();
  StandInFiles::RunProject();
  D().Counters(&patched);
  for (int body = 0; body < 3; ++body) {
    EXPECT_GT(plain.CheckRuns[body], 0u) << body;
    EXPECT_GT(patched.CheckRuns[body], 0u) << body;
  }
  EXPECT_LT(patched.CheckAgeCalls * 3, plain.CheckAgeCalls * 2);
}

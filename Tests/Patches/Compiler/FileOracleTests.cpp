// Python as the oracle of the file search and of the map's CR LF form: on
// the tree its script made (names in mixed case and beyond ASCII, fixed
// times), the compiler's own search finds what Python's directory listing
// finds, with the same ages; the caches find the same and report each name
// as written on disk; the map text is written in the form Python expects.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>
#include <windows.h>

#include "StandInFiles.h"
#include "TestFiles.h"
#include "TestPaths.h"

namespace {

struct TQuery {
  int Kind;
  std::string Dir, Name, Path;
  uint32_t Age;
};

std::wstring OracleDirectory() { return BuildDirectory() + L"\\oracle\\files"; }

std::vector<std::vector<std::string>> Rows(const std::wstring& file) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(QuillmendTest::ReadFileBytes(OracleDirectory() + L"\\" + file));
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
    rows.push_back(fields);
  }
  return rows;
}

std::string AsciiLower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  return text;
}

struct TAnswer {
  uint32_t Age;
  std::string Path;
};

std::vector<TAnswer> Answers(const std::vector<TQuery>& queries) {
  const DccFilesDriver::Driver& d = StandInFiles::Driver();
  d.ClearDirs();
  for (const std::vector<std::string>& row : Rows(L"lists.txt")) d.AddDir(std::stoi(row[0]), row[1].c_str());
  std::vector<TAnswer> answers;
  for (const TQuery& q : queries) {
    char found[264] = {};
    const uint32_t age = d.FileSearch(q.Dir == "-" ? nullptr : q.Dir.c_str(), q.Kind, q.Name.c_str(), found, nullptr);
    answers.push_back(TAnswer{age, found});
  }
  return answers;
}

} // namespace

TEST(FileOracle, TheSearchAndTheCachesFindWhatPythonFinds) {
  StandInFiles::Load();
  std::vector<TQuery> queries;
  for (const std::vector<std::string>& row : Rows(L"queries.txt"))
    queries.push_back(TQuery{std::stoi(row[0]), row[1], row[2], row[3], uint32_t(std::stoul(row[4], nullptr, 16))});
  ASSERT_GE(queries.size(), 10u);
  ASSERT_TRUE(SetCurrentDirectoryW((OracleDirectory() + L"\\files-tree").c_str()));
  const std::vector<TAnswer> plain = Answers(queries);
  StandInFiles::InstallAll();
  const std::vector<TAnswer> cached = Answers(queries);
  for (size_t i = 0; i < queries.size(); ++i) {
    SCOPED_TRACE(queries[i].Name);
    EXPECT_EQ(plain[i].Age, queries[i].Age);
    EXPECT_EQ(AsciiLower(plain[i].Path), AsciiLower(queries[i].Path));
    EXPECT_EQ(cached[i].Age, queries[i].Age);
    EXPECT_EQ(cached[i].Path, queries[i].Path);
  }
  SetCurrentDirectoryW(BuildDirectory().c_str());
}

TEST(FileOracle, TheMapIsWrittenInTheCrLfFormPythonExpects) {
  StandInFiles::Load();
  const std::wstring work = StandInFiles::WorkDirectory(StandInFiles::TestName());
  ASSERT_TRUE(SetCurrentDirectoryW(work.c_str()));
  const std::string expected = QuillmendTest::ReadFileBytes(OracleDirectory() + L"\\map-expected.txt");
  ASSERT_GT(expected.size(), 100000u);
  const DccFilesDriver::Driver& d = StandInFiles::Driver();
  const std::string text = QuillmendTest::ReadFileBytes(OracleDirectory() + L"\\map-input.txt");
  for (const char* file : {"plain.map", "patched.map"}) {
    if (std::string(file) == "patched.map") StandInFiles::InstallAll();
    void* map = d.OpenFile(file, "wt");
    EXPECT_EQ(d.FileWrite(map, text.data(), uint32_t(text.size())), text.size());
    d.CloseFile(map);
    EXPECT_TRUE(QuillmendTest::ReadFileBytes(work + L"\\" + std::wstring(file, file + strlen(file))) == expected) << file;
  }
  SetCurrentDirectoryW(BuildDirectory().c_str());
}

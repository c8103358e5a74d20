// Writing an extracted file: a failure part-way must leave the earlier file
// as it was and no temporary file behind; success copies the times.
#include "FileSystem.h"
#include "InstallerError.h"
#include "TestFiles.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

using namespace Quillmend;

namespace {

struct TTempDir {
  std::wstring Path;
  TTempDir() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    Path = std::wstring(base) + L"QmFileReplace" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(Path.c_str(), nullptr);
  }
  ~TTempDir() {
    for (const std::wstring& f : Files()) DeleteFileW((Path + L"\\" + f).c_str());
    RemoveDirectoryW(Path.c_str());
  }
  std::vector<std::wstring> Files() const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((Path + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
      if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(fd.cFileName);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return names;
  }
};

void WriteWhole(const std::wstring& name, const std::string& content) {
  HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &n, nullptr);
  CloseHandle(h);
}

FILETIME LastWriteTime(const std::wstring& name) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

} // namespace

TEST(InstallerFileReplace, ReplacesWholeFileWithTheSourceTimes) {
  TTempDir dir;
  std::wstring target = dir.Path + L"\\Quillmend.dll";
  std::wstring timesFrom = dir.Path + L"\\source.exe";
  WriteWhole(target, std::string(5000, 'o'));
  WriteWhole(timesFrom, "x");
  FILETIME old = {0x12345600, 0x01D00000};  // a time in 2014
  HANDLE h = CreateFileW(timesFrom.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_TRUE(SetFileTime(h, nullptr, &old, &old));
  CloseHandle(h);

  static const char raw[] = "new content\0with a zero";
  std::string content(raw, sizeof raw - 1);
  WriteFileReplacing(target, content.data(), content.size(), timesFrom);
  FILETIME written = LastWriteTime(target);
  EXPECT_EQ(CompareFileTime(&old, &written), 0);
  EXPECT_EQ(QuillmendTest::ReadFileBytes(target), content);
  EXPECT_EQ(dir.Files().size(), 2u);  // no temporary file left
}

TEST(InstallerFileReplace, FailureAfterWritingKeepsTheEarlierFile) {
  TTempDir dir;
  std::wstring target = dir.Path + L"\\QuillmendStartup.bpl";
  WriteWhole(target, "the good earlier file");
  std::string content(100000, 'n');
  // The times cannot be read: the failure comes after all data was written.
  EXPECT_THROW(WriteFileReplacing(target, content.data(), content.size(), dir.Path + L"\\missing.exe"),
               EInstallerError);
  EXPECT_EQ(QuillmendTest::ReadFileBytes(target), "the good earlier file");
  EXPECT_EQ(dir.Files(), std::vector<std::wstring>{L"QuillmendStartup.bpl"});

  // A target directory that does not exist: nothing is created anywhere.
  EXPECT_THROW(WriteFileReplacing(dir.Path + L"\\none\\x.dll", "x", 1, target), EInstallerError);
  EXPECT_EQ(dir.Files(), std::vector<std::wstring>{L"QuillmendStartup.bpl"});
}

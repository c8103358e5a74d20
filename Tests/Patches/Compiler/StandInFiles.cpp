#include "StandInFiles.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <stdexcept>

#include "Framework/ChangeDirectoryNotify.h"
#include "Framework/IDEHooks.h"
#include "Patches/Compiler/CompilerFileSearch.h"
#include "Patches/Compiler/CompilerOptimization.h"
#include "TestPaths.h"

namespace StandInFiles {
namespace {

DccFilesDriver::Driver g_driver;

void RemoveTree(const std::wstring& dir) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((dir + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(dir + L"\\" + name);
      else
        DeleteFileW((dir + L"\\" + name).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(dir.c_str());
}

} // namespace

HMODULE Load(const char* variant) {
  std::wstring path = BuildDirectory();
  if (variant) {
    path += L"\\host-variants\\";
    for (const char* p = variant; *p; ++p) path += wchar_t(*p);
  } else {
    path += L"\\host";
  }
  HMODULE dcc = LoadLibraryW((path + L"\\dcc150.dll").c_str());
  if (!dcc) throw std::runtime_error("cannot load the stand-in dcc150.dll");
  BindLoaded();
  return dcc;
}

void BindLoaded() {
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  const char* missing = nullptr;
  if (!dcc || !g_driver.Bind(dcc, &missing))
    throw std::runtime_error(std::string("dcc150.dll lacks ") + (missing ? missing : "everything"));
  if (Quillmend::GetDccHandle() != dcc) throw std::runtime_error("GetDccHandle found another dcc150.dll");
}

const DccFilesDriver::Driver& Driver() { return g_driver; }

std::string Utf8(const std::wstring& text) {
  std::string bytes(size_t(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), bytes.data(), int(bytes.size()), nullptr, nullptr);
  return bytes;
}

std::wstring WorkDirectory(const std::wstring& name) {
  const std::wstring base = BuildDirectory() + L"\\Testing\\CompilerFiles";
  CreateDirectoryW((BuildDirectory() + L"\\Testing").c_str(), nullptr);
  CreateDirectoryW(base.c_str(), nullptr);
  const std::wstring dir = base + L"\\" + name;
  RemoveTree(dir);
  CreateDirectoryW(dir.c_str(), nullptr);
  return dir;
}

std::string Fingerprint(const DccFilesDriver::TPassResult& r) {
  char text[200];
  std::snprintf(text, sizeof text, "searches=%u found=%u answers=%08X recompiled=%u set=%08X bytes=%u written=%08X",
                r.Searches, r.Found, r.Answers, r.Recompiled, r.RecompiledSet, r.BytesWritten, r.Written);
  return text;
}

std::wstring TestName() {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  std::wstring name;
  for (const char* p : {test->test_suite_name(), ".", test->name()})
    for (; *p; ++p) name += isalnum(uint8_t(*p)) || *p == '.' ? wchar_t(*p) : L'_';
  return name;
}

std::string RunProject(int dirs, int files, int units) {
  const DccFilesDriver::Driver& d = Driver();
  const std::wstring root = WorkDirectory(TestName()) + L"\\Proj";
  if (d.MakeTree(root.c_str(), dirs, files, units, 77) < 0) throw std::runtime_error("cannot make the tree");
  std::string text;
  DccFilesDriver::TPassResult result;
  for (int pass = 1; pass <= 3; ++pass) {
    if (pass == 3) d.Touch(20, 5);
    if (pass != 2 && d.SetCompState) d.SetCompState(pass);
    d.RunPass(pass, &result);
    text += Fingerprint(result) + "\n";
  }
  SetCurrentDirectoryW(BuildDirectory().c_str());
  return text;
}

void InstallProcedures() {
  Quillmend::InstallChangeDirectoryNotify();  // the library's, at its load
  Quillmend::InstallCompilerOptimization();
  Quillmend::InstallCompilerFileSearch();
}

void InstallAll(const std::wstring& disabledPatches) {
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", disabledPatches.c_str());
  InstallProcedures();
}

} // namespace StandInFiles

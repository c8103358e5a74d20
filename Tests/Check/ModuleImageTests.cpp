// Opening IDE modules as images: damaged files are refused with a reason
// and never crash; a good one is laid out, relocated and bound without any
// of its code (entry point, TLS callback, imported module) running.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <windows.h>

#include "Check/IdeModules.h"
#include "Hooking/CodeRedirect.h"
#include "TestFiles.h"
#include "TestPaths.h"

using namespace Quillmend;

namespace {

std::wstring ProbeDirectory() { return ProgramDirectory() + L"\\CheckFixtures\\probe"; }

std::wstring WorkDirectory(const std::wstring& name) {
  const std::wstring testing = BuildDirectory() + L"\\Testing";
  const std::wstring dir = testing + L"\\CheckImages\\" + name;
  for (const std::wstring& d : {testing, testing + L"\\CheckImages", dir}) CreateDirectoryW(d.c_str(), nullptr);
  return dir;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  if (!bytes.empty()) WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

DWORD Protection(const void* address) {
  MEMORY_BASIC_INFORMATION info = {};
  VirtualQuery(address, &info, sizeof info);
  return info.Protect;
}

// Edits of the stand-in compiler library's bytes at its PE header.
uint32_t NtOffset(const std::string& file) {
  uint32_t offset;
  std::memcpy(&offset, file.data() + 0x3C, 4);
  return offset;
}
void Put16(std::string& file, size_t at, uint16_t value) { std::memcpy(&file[at], &value, 2); }
void Put32(std::string& file, size_t at, uint32_t value) { std::memcpy(&file[at], &value, 4); }
size_t FirstSection(const std::string& file) {
  uint16_t optionalSize;
  std::memcpy(&optionalSize, file.data() + NtOffset(file) + 20, 2);
  return NtOffset(file) + 24 + optionalSize;
}

struct TBadFile {
  const char* Name;
  std::function<std::string(std::string)> Make;  // from the stand-in's bytes
  const wchar_t* Problem;                        // what the reason begins with
};

const TBadFile BadFiles[] = {
    {"Empty", [](std::string) { return std::string(); }, L"not a PE image (the file is empty)"},
    {"Text", [](std::string) { return std::string("This is no module.\r\n"); }, L"not a PE image (no MZ header)"},
    {"CutBeforePeHeader", [](std::string f) { return f.substr(0, NtOffset(f) + 8); },
     L"truncated (the file ends before its PE header)"},
    {"CutInHeaders", [](std::string f) { return f.substr(0, NtOffset(f) + 100); },
     L"truncated (the file ends inside its headers)"},
    {"CutInSections", [](std::string f) { return f.substr(0, f.size() / 2); }, L"truncated (section "},
    {"NoPeSignature", [](std::string f) { f[NtOffset(f)] = 'X'; return f; }, L"not a PE image (no PE signature)"},
    {"SixtyFourBit", [](std::string f) { Put16(f, NtOffset(f) + 4, 0x8664); Put16(f, NtOffset(f) + 24, 0x20B); return f; },
     L"a 64-bit image (the IDE's modules are 32-bit x86)"},
    {"OtherProcessor", [](std::string f) { Put16(f, NtOffset(f) + 4, 0x01C4); return f; },
     L"built for another processor (machine 0x01C4"},
    {"SectionOutsideImage", [](std::string f) { Put32(f, FirstSection(f) + 8, 0x7FFFFFFF); return f; },
     L"damaged headers (section .text lies outside the image)"},
};

void PrintTo(const TBadFile& bad, std::ostream* os) { *os << bad.Name; }

class BadModuleFile : public testing::TestWithParam<TBadFile> {};

}  // namespace

TEST_P(BadModuleFile, IsRefusedWithItsReason) {
  const TBadFile& bad = GetParam();
  const std::wstring dir = WorkDirectory(std::wstring(bad.Name, bad.Name + std::strlen(bad.Name)));
  WriteBytes(dir + L"\\dcc150.dll", bad.Make(QuillmendTest::ReadFileBytes(BuildDirectory() + L"\\host\\dcc150.dll")));
  TIdeModules modules(dir);
  EXPECT_EQ(modules.Resolve(L"dcc150.dll"), nullptr);
  const TModuleEntry* entry = modules.Find(L"dcc150.dll");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->State, TModuleState::Unusable);
  EXPECT_EQ(entry->Problem.substr(0, std::wcslen(bad.Problem)), bad.Problem) << entry->Problem;
}

INSTANTIATE_TEST_SUITE_P(Check, BadModuleFile, testing::ValuesIn(BadFiles),
                         [](const testing::TestParamInfo<TBadFile>& info) { return std::string(info.param.Name); });

TEST(ModuleImage, AModuleInNeitherTheBinFolderNorTheSystemIsMissing) {
  TIdeModules modules(ProbeDirectory());
  EXPECT_EQ(modules.Resolve(L"bordbk150N.dll"), nullptr);
  const TModuleEntry* entry = modules.Find(L"BORDBK150N.DLL");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->State, TModuleState::Missing);
  EXPECT_EQ(entry->Problem, L"not found in " + ProbeDirectory());
  // A system module is the system's own, not looked for in the bin folder.
  EXPECT_EQ(modules.Resolve(L"kernel32.dll"), GetModuleHandleW(L"kernel32.dll"));
  EXPECT_EQ(modules.IdeModules().size(), 1u);
}

TEST(ModuleImage, TheProbeIsOpenedAndBoundWithoutAnyOfItsCodeRunning) {
  TIdeModules modules(ProbeDirectory());
  HMODULE probe = modules.Resolve(L"DCC150.DLL");
  ASSERT_NE(probe, nullptr) << modules.Find(L"dcc150.dll")->Problem;
  EXPECT_EQ(modules.Find(L"dcc150.dll")->Image->Version(), L"15.0.3953.35171");
  for (const wchar_t* marker : {L"dcc150.dll.entry-ran", L"dcc150.dll.tls-ran", L"CheckProbeImport.dll.entry-ran"})
    EXPECT_FALSE(Exists(ProbeDirectory() + L"\\" + marker)) << marker;
  // The system loader knows neither module: no later load in the process can get them.
  EXPECT_EQ(GetModuleHandleW(L"dcc150.dll"), nullptr);
  EXPECT_EQ(GetModuleHandleW(L"CheckProbeImport.dll"), nullptr);

  // The import thunk leads into the imported module's image, as in a loaded module.
  void* imported = modules.Export(modules.Resolve(L"CheckProbeImport.dll"), "ProbeImportedFunction");
  ASSERT_NE(imported, nullptr);
  EXPECT_EQ(GetActualAddr(modules.Export(probe, "ProbeThunk")), imported);
  EXPECT_EQ(modules.Export(probe, "NoSuchExport"), nullptr);
  EXPECT_EQ(modules.Find(L"dcc150.dll")->UnboundImports, 0u);
  // Pages as the loader gives them: code executable and readable, headers read-only.
  EXPECT_EQ(Protection(modules.Export(probe, "ProbeCall")), DWORD(PAGE_EXECUTE_READ));
  EXPECT_EQ(Protection(probe), DWORD(PAGE_READONLY));
}

TEST(ModuleImage, ASecondImageOfTheSameFileIsRelocated) {
  TIdeModules first(ProbeDirectory()), second(ProbeDirectory());
  HMODULE a = first.Resolve(L"dcc150.dll"), b = second.Resolve(L"dcc150.dll");
  ASSERT_TRUE(a && b);
  EXPECT_NE(a, b);
  EXPECT_EQ(*static_cast<void**>(first.Export(a, "ProbeSelfPointer")), first.Export(a, "ProbeCall"));
  EXPECT_EQ(*static_cast<void**>(second.Export(b, "ProbeSelfPointer")), second.Export(b, "ProbeCall"));
}

// The control: loaded for real, the probe and its import do record.
TEST(ModuleImage, TheProbeRecordsWhenLoadedForReal) {
  const std::wstring dir = WorkDirectory(L"LoadedForReal");
  for (const wchar_t* file : {L"dcc150.dll", L"CheckProbeImport.dll"}) {
    CopyFileW((ProbeDirectory() + L"\\" + file).c_str(), (dir + L"\\" + file).c_str(), FALSE);
    DeleteFileW((dir + L"\\" + file + L".entry-ran").c_str());
  }
  DeleteFileW((dir + L"\\dcc150.dll.tls-ran").c_str());
  HMODULE probe = LoadLibraryExW((dir + L"\\dcc150.dll").c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  ASSERT_NE(probe, nullptr);
  FreeLibrary(probe);
  for (const wchar_t* marker : {L"dcc150.dll.entry-ran", L"dcc150.dll.tls-ran", L"CheckProbeImport.dll.entry-ran"})
    EXPECT_TRUE(Exists(dir + L"\\" + marker)) << marker;
}

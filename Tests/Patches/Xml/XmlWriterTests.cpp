// "RTL.XmlWriter": projects written by the stand-in project writer come out
// byte for byte as before, in one system write instead of one per
// fragment; a memory stream is written directly; a node writer that raises
// leaves the writer's stream in place and the file empty; a short write (a
// full disk) raises the host's stream write error where the original left a
// truncated project silently; and both patches of the module three ways.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "Framework/HostObjectModel.h"
#include "Framework/PatchRegistry.h"
#include "Patches/Xml/XMLIniFilePerformance.h"
#include "TestPaths.h"
#include "ThreeWayHarness.h"
#include "coreide150/ProjectWriterDriver.h"

// The ini file's reads over a short script (XmlIniFileTests.cpp).
std::string XmlIniFingerprint();

namespace {

const wchar_t* const WriterPatch = L"RTL.XmlWriter";

struct TRtlStreams {
  void*(__stdcall* Create)(const wchar_t* path) = nullptr;
  int(__stdcall* Writes)() = nullptr;
  void(__stdcall* SetRoom)(int bytes) = nullptr;
  void* MemoryStreamClass = nullptr;
};

ProjectWriterDriver::Driver g_writer;
TRtlStreams g_streams;

void LoadHost(const std::string& variant = "") {
  const std::wstring host = BuildDirectory() + L"\\host\\";
  std::wstring coreIde = host + L"coreide150.bpl";
  if (!variant.empty()) {
    const std::wstring altered =
        BuildDirectory() + L"\\host-variants\\" + std::wstring(variant.begin(), variant.end()) + L"\\coreide150.bpl";
    if (GetFileAttributesW(altered.c_str()) != INVALID_FILE_ATTRIBUTES) coreIde = altered;
  }
  if (!LoadLibraryW((host + L"rtl150.bpl").c_str()) || !LoadLibraryW(coreIde.c_str()))
    throw std::runtime_error("cannot load the stand-in packages");
}

void Bind() {
  HMODULE rtl = GetModuleHandleW(L"rtl150.bpl");
  if (!g_writer.Bind(GetModuleHandleW(L"coreide150.bpl")))
    throw std::runtime_error("coreide150.bpl lacks the project writer's driver");
  auto get = [rtl](const char* name) { return reinterpret_cast<void*>(GetProcAddress(rtl, name)); };
  g_streams.Create = reinterpret_cast<void*(__stdcall*)(const wchar_t*)>(get("RtlFileStreamCreate"));
  g_streams.Writes = reinterpret_cast<int(__stdcall*)()>(get("RtlFileStreamWrites"));
  g_streams.SetRoom = reinterpret_cast<void(__stdcall*)(int)>(get("RtlFileStreamSetRoom"));
  g_streams.MemoryStreamClass = get("@Classes@TMemoryStream@");
}

void Install(const std::wstring& disabled = L"") {
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", disabled.c_str());
  Quillmend::Unit_XMLIniFilePerformance.Initialize();
}

std::wstring TempFile() {
  wchar_t folder[MAX_PATH], file[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"prj", 0, file);
  return file;
}

std::string ReadFile(const std::wstring& path) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  bytes.resize(GetFileSize(file, nullptr));
  DWORD read = 0;
  if (!bytes.empty()) ::ReadFile(file, &bytes[0], DWORD(bytes.size()), &read, nullptr);
  CloseHandle(file);
  return bytes;
}

struct TWritten {
  int Result;
  std::string Bytes;
  int Writes;        // system writes the file stream made
  bool StreamKept;   // the writer's stream afterwards is the one it was given
  std::wstring ErrorClass;
};

// A project of `items` references written to a new file.
TWritten WriteToFile(int items, bool raising = false) {
  const std::wstring path = TempFile();
  void* stream = g_streams.Create(path.c_str());
  void* project = g_writer.newProject(items, raising);
  const int before = g_streams.Writes();
  void* after = nullptr;
  wchar_t errorClass[64] = L"";
  TWritten written{};
  written.Result = g_writer.writeProject(stream, project, &after, errorClass);
  written.Writes = g_streams.Writes() - before;
  written.StreamKept = after == stream;
  written.ErrorClass = errorClass;
  g_writer.freeProject(project);
  Quillmend::HostObjectFree(stream);
  written.Bytes = ReadFile(path);
  DeleteFileW(path.c_str());
  return written;
}

TEST(XmlWriter, ProjectsComeOutTheSameInOneWrite) {
  LoadHost();
  Bind();
  std::vector<TWritten> before;
  for (int items : {0, 3, 1000}) before.push_back(WriteToFile(items));
  Install();
  ASSERT_TRUE(Quillmend::IsPatchApplied(WriterPatch));
  size_t i = 0;
  for (int items : {0, 3, 1000}) {
    SCOPED_TRACE(items);
    const TWritten& original = before[i++];
    const TWritten patched = WriteToFile(items);
    EXPECT_EQ(patched.Result, ProjectWriterDriver::wrWritten);
    EXPECT_EQ(patched.Bytes, original.Bytes);
    EXPECT_GT(original.Writes, 10) << "the original writes fragment by fragment";
    EXPECT_EQ(patched.Writes, 1);
    EXPECT_TRUE(patched.StreamKept);
  }
  EXPECT_NE(before[2].Bytes.find("<Config>Debug &amp; Release &lt;all&gt;</Config>"), std::string::npos);
}

TEST(XmlWriter, AMemoryStreamIsWrittenDirectly) {
  LoadHost();
  Bind();
  auto writeToMemory = [] {
    void* stream = Quillmend::HostNewObject(g_streams.MemoryStreamClass);
    void* project = g_writer.newProject(50, false);
    void* after = nullptr;
    EXPECT_EQ(g_writer.writeProject(stream, project, &after, nullptr), ProjectWriterDriver::wrWritten);
    EXPECT_EQ(after, stream);
    const std::string bytes(static_cast<const char*>(Quillmend::HostMemoryStreamMemory(stream)),
                            size_t(Quillmend::HostMemoryStreamSize(stream)));
    g_writer.freeProject(project);
    Quillmend::HostObjectFree(stream);
    return bytes;
  };
  const std::string original = writeToMemory();
  Install();
  ASSERT_TRUE(Quillmend::IsPatchApplied(WriterPatch));
  EXPECT_EQ(writeToMemory(), original);
  EXPECT_FALSE(original.empty());
}

TEST(XmlWriter, ARaisingNodeWriterLeavesTheStreamInPlaceAndWritesNothing) {
  LoadHost();
  Bind();
  const TWritten original = WriteToFile(20, true);
  EXPECT_EQ(original.Result, ProjectWriterDriver::wrRaised);
  EXPECT_FALSE(original.Bytes.empty()) << "the original wrote up to the failing node";
  Install();
  const TWritten patched = WriteToFile(20, true);
  EXPECT_EQ(patched.Result, ProjectWriterDriver::wrRaised);
  EXPECT_EQ(patched.ErrorClass, L"Exception");
  EXPECT_TRUE(patched.StreamKept);
  EXPECT_EQ(patched.Writes, 0);
  EXPECT_EQ(patched.Bytes, "");
}

TEST(XmlWriter, AShortWriteRaisesTheStreamWriteError) {
  LoadHost();
  Bind();
  g_streams.SetRoom(100);
  const TWritten original = WriteToFile(100);
  EXPECT_EQ(original.Result, ProjectWriterDriver::wrWritten) << "the original does not notice";
  EXPECT_EQ(original.Bytes.size(), 100u);
  Install();
  g_streams.SetRoom(100);
  const TWritten patched = WriteToFile(100);
  g_streams.SetRoom(-1);
  EXPECT_EQ(patched.Result, ProjectWriterDriver::wrRaised);
  EXPECT_EQ(patched.ErrorClass, L"EWriteError");
  EXPECT_TRUE(patched.StreamKept);
}

// ---- three ways (both patches of the module) -------------------------------------------

const wchar_t* const IniFilePatch = L"RTL.XmlIniFile";
const std::vector<TPatchRow> PatchRows = {{IniFilePatch, {}}, {WriterPatch, {}}};
const std::vector<TVariantRow> VariantRows = {{"noxmlinifile", {IniFilePatch}}, {"noxmlwriterwrite", {WriterPatch}}};

std::string Fingerprint() {
  const TWritten written = WriteToFile(25);
  return written.Bytes + " result=" + std::to_string(written.Result) + " ini=" + XmlIniFingerprint();
}

const TThreeWaySubsystem& XmlModuleSubsystem() {
  static const TThreeWaySubsystem subsystem{
      {L"rtl150.bpl", L"xmlrtl150.bpl", L"coreide150.bpl"},
      [] { Bind(); },
      [] { Quillmend::Unit_XMLIniFilePerformance.Initialize(); },
      [] { return Fingerprint(); },
      {IniFilePatch, WriterPatch},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(XMLIniFilePerformance, XmlModuleSubsystem(), PatchRows, VariantRows)

}  // namespace

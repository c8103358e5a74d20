// "Start.XmlSerializer" against the stand-in C# compiler (csc.exe in the
// stand-in IDE's folder), each case in a fresh test process with a cache
// folder of its own: a miss runs the compiler once and fills the cache; a
// hit runs nothing and hands back the same output, exit code 0 and a
// waitable handle; a source changed in one byte is a miss that replaces the
// entry; a compilation without the serializer define runs, is not cached
// and ends the interception; another program passes and the interception
// stays; a store that fails leaves no entry (the next run is a miss, never
// a wrong assembly). The IDE's next start is played by installing anew.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Framework/PatchRegistry.h"
#include "Hooking/CodeTransaction.h"
#include "Patches/Rtl/DotNetXmlSerializerOptimize.h"
#include "TestPaths.h"

using namespace Quillmend;

namespace {

const wchar_t* const SerializerPatch = L"Start.XmlSerializer";

// A new, empty folder: process ids come again, and a folder an earlier
// process left (its cache filled) would turn a miss into a hit.
std::wstring Temp() {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  const std::wstring base = std::wstring(folder) + L"qmxs" + std::to_wstring(GetCurrentProcessId()) + L"-";
  for (unsigned n = GetTickCount();; ++n) {
    const std::wstring path = base + std::to_wstring(n);
    if (CreateDirectoryW(path.c_str(), nullptr)) return path;
  }
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

std::string ReadBytes(const std::wstring& path) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<absent>";
  bytes.resize(GetFileSize(file, nullptr));
  DWORD read = 0;
  if (!bytes.empty()) ReadFile(file, &bytes[0], DWORD(bytes.size()), &read, nullptr);
  CloseHandle(file);
  return bytes;
}

std::string SerializerSource(const std::string& method, const std::string& body = "") {
  return "#if _DYNAMIC_XMLSERIALIZER_COMPILATION\n"
         "namespace Microsoft.Xml.Serialization.GeneratedAssembly {\n"
         "  public class XmlSerializationWriterSettings {\n"
         "    public void " + method + " (object o) {\n" + body + "    }\n  }\n}\n#endif\n";
}

// The process's state for a case: the cache and the compiler's run counter in a folder of its own.
class SerializerCache : public testing::Test {
protected:
  void SetUp() override {
    FFolder = Temp();
    SetSerializerCacheDirectory(FFolder + L"\\cache");
    SetEnvironmentVariableW(L"QM_CSC_RUNS", (FFolder + L"\\runs.txt").c_str());
    SetEnvironmentVariableW(L"QM_CSC_EXIT_CODE", nullptr);
    SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
  }
  void TearDown() override { UndoAllTransactions(); }

  // The IDE started: the patch installed at its moment. Started again (the
  // registry knows the patch already): its edits undone and its plan
  // installed anew.
  void StartIde() {
    if (!FStarted) {
      Unit_DotNetXmlSerializerOptimize.Initialize();
      FStarted = true;
      return;
    }
    UndoAllTransactions();
    for (TPatchPlan& plan : DotNetXmlSerializerOptimizePlans()) ASSERT_TRUE(InstallUnregisteredPlan(plan).Applies);
  }
  bool FStarted = false;

  int Runs() const {
    const std::string text = ReadBytes(FFolder + L"\\runs.txt");
    return text == "<absent>" ? 0 : int(std::count(text.begin(), text.end(), '\n'));
  }

  struct TCompiled {
    BOOL Created = FALSE;
    DWORD Wait = WAIT_FAILED;
    DWORD ExitCode = 99;
    std::string Output;
  };

  // A compilation started as the .NET runtime starts one: the compiler by
  // its quoted path, the response file last; then waited for and asked
  // for its exit code.
  TCompiled Compile(const std::string& source, bool serializer = true, const wchar_t* name = L"gen") {
    const std::wstring sourcePath = FFolder + L"\\" + name + L".0.cs";
    const std::wstring output = FFolder + L"\\" + name + L".dll";
    const std::wstring response = FFolder + L"\\" + name + L".cmdline";
    WriteBytes(sourcePath, source);
    DeleteFileW(output.c_str());
    std::wstring options = L"/t:library /utf8output /out:\"" + output + L"\" /debug- /optimize+\r\n";
    if (serializer) options += L"/D:_DYNAMIC_XMLSERIALIZER_COMPILATION ";
    options += L"\"" + sourcePath + L"\"";
    WriteBytes(response, std::string(options.begin(), options.end()));
    std::wstring commandLine =
        L"\"" + BuildDirectory() + L"\\host\\csc.exe\" /noconfig /fullpaths @\"" + response + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    TCompiled compiled;
    compiled.Created = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                                      nullptr, &startup, &info);
    if (compiled.Created) {
      compiled.Wait = WaitForSingleObject(info.hProcess, 30000);
      GetExitCodeProcess(info.hProcess, &compiled.ExitCode);
      CloseHandle(info.hProcess);
      if (info.hThread) CloseHandle(info.hThread);
    }
    compiled.Output = ReadBytes(output);
    return compiled;
  }

  std::wstring CacheFile(const std::string& key, const wchar_t* extension) const {
    return FFolder + L"\\cache\\dynxmlserializer." + std::wstring(key.begin(), key.end()) + extension;
  }

  std::wstring FFolder;
};

TEST_F(SerializerCache, AMissRunsTheCompilerOnceAndFillsTheCache) {
  StartIde();
  ASSERT_TRUE(IsPatchApplied(SerializerPatch));
  const std::string source = SerializerSource("Write3_Settings");
  const TCompiled compiled = Compile(source);
  EXPECT_TRUE(compiled.Created);
  EXPECT_EQ(compiled.ExitCode, 0u);
  EXPECT_EQ(compiled.Output, "MZ compiled " + source);
  EXPECT_EQ(Runs(), 1);
  EXPECT_EQ(ReadBytes(CacheFile("8.0.Write3_Settings", L".cs")), source);
  EXPECT_EQ(ReadBytes(CacheFile("8.0.Write3_Settings", L".dll")), compiled.Output);
  EXPECT_FALSE(SerializerInterceptionActive()) << "the interception ends with the first compiler run";
}

TEST_F(SerializerCache, AHitRunsNothingAndAnswersLikeAFinishedCompiler) {
  StartIde();
  const std::string source = SerializerSource("Write3_Settings");
  const TCompiled first = Compile(source);
  StartIde();
  ASSERT_TRUE(SerializerInterceptionActive());
  const TCompiled hit = Compile(source);
  EXPECT_EQ(Runs(), 1) << "no second compiler run";
  EXPECT_TRUE(hit.Created);
  EXPECT_EQ(hit.Wait, WAIT_OBJECT_0);
  EXPECT_EQ(hit.ExitCode, 0u);
  EXPECT_EQ(hit.Output, first.Output);
  // The exit code interception answers the substitute once; other handles go to the system.
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(GetCurrentProcess(), &code));
  EXPECT_EQ(code, DWORD(STILL_ACTIVE));
}

TEST_F(SerializerCache, ASourceChangedInOneByteIsAMissThatReplacesTheEntry) {
  StartIde();
  Compile(SerializerSource("Write3_Settings", "      int a = 1;\n"));
  StartIde();
  const std::string changed = SerializerSource("Write3_Settings", "      int a = 2;\n");
  const TCompiled compiled = Compile(changed);
  EXPECT_EQ(Runs(), 2);
  EXPECT_EQ(compiled.Output, "MZ compiled " + changed);
  EXPECT_EQ(ReadBytes(CacheFile("8.0.Write3_Settings", L".cs")), changed);
  EXPECT_EQ(ReadBytes(CacheFile("8.0.Write3_Settings", L".dll")), compiled.Output);
}

TEST_F(SerializerCache, ACompilationWithoutTheSerializerDefineRunsUncachedAndEndsTheInterception) {
  StartIde();
  const std::string source = SerializerSource("Write3_Settings");
  EXPECT_EQ(Compile(source, false).Output, "MZ compiled " + source);
  EXPECT_EQ(Runs(), 1);
  EXPECT_EQ(ReadBytes(CacheFile("8.0.Write3_Settings", L".cs")), "<absent>");
  EXPECT_FALSE(SerializerInterceptionActive());
  Compile(source);
  EXPECT_EQ(ReadBytes(CacheFile("8.0.Write3_Settings", L".dll")), "<absent>") << "no longer intercepted";
}

TEST_F(SerializerCache, AnotherProgramPassesAndTheInterceptionStays) {
  StartIde();
  std::wstring commandLine = L"\"" + BuildDirectory() + L"\\host\\debuggee.exe\" \"" + FFolder + L"\\line.txt\" x";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
  WaitForSingleObject(info.hProcess, 30000);
  DWORD code = 99;
  EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, 0u);
  CloseHandle(info.hProcess);
  CloseHandle(info.hThread);
  EXPECT_TRUE(SerializerInterceptionActive());
  Compile(SerializerSource("Write3_Settings"));
  EXPECT_NE(ReadBytes(CacheFile("8.0.Write3_Settings", L".dll")), "<absent>");
}

TEST_F(SerializerCache, AFailedStoreLeavesNoEntryAndTheNextRunIsAMiss) {
  StartIde();
  const std::string source = SerializerSource("Write3_Settings");
  // The source cannot be stored: its name is taken by a folder.
  CreateDirectoryW((FFolder + L"\\cache").c_str(), nullptr);
  CreateDirectoryW(CacheFile("8.0.Write3_Settings", L".cs").c_str(), nullptr);
  Compile(source);
  EXPECT_EQ(ReadBytes(CacheFile("8.0.Write3_Settings", L".dll")), "<absent>");
  RemoveDirectoryW(CacheFile("8.0.Write3_Settings", L".cs").c_str());
  StartIde();
  const TCompiled again = Compile(source);
  EXPECT_EQ(Runs(), 2);
  EXPECT_EQ(again.Output, "MZ compiled " + source);
}

TEST_F(SerializerCache, AFailedCompilationIsNotStored) {
  StartIde();
  SetEnvironmentVariableW(L"QM_CSC_EXIT_CODE", L"5");
  const TCompiled compiled = Compile(SerializerSource("Write3_Settings"));
  EXPECT_EQ(compiled.ExitCode, 5u);
  EXPECT_EQ(ReadBytes(CacheFile("8.0.Write3_Settings", L".dll")), "<absent>");
}

TEST_F(SerializerCache, DisabledItWritesNothingAndInterceptsNothing) {
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", SerializerPatch);
  StartIde();
  EXPECT_FALSE(IsPatchApplied(SerializerPatch));
  for (const TCommittedRange& range : CommittedRanges()) EXPECT_NE(range.Owner, SerializerPatch);
  Compile(SerializerSource("Write3_Settings"));
  EXPECT_EQ(ReadBytes(CacheFile("8.0.Write3_Settings", L".dll")), "<absent>");
}

// ---- the pieces --------------------------------------------------------------------

TEST(SerializerCommandLine, ArgumentsKeepTheirQuotes) {
  struct TCase {
    const wchar_t* Text;
    std::vector<std::wstring> Arguments;
  };
  const TCase cases[] = {
      {L"", {}},
      {L"  a  b\t\r\nc ", {L"a", L"b", L"c"}},
      {L"\"C:\\a b\\csc.exe\" /noconfig @\"C:\\x y\\r.cmdline\"",
       {L"\"C:\\a b\\csc.exe\"", L"/noconfig", L"@\"C:\\x y\\r.cmdline\""}},
      {L"/out:\"C:\\o u\\t.dll\" x", {L"/out:\"C:\\o u\\t.dll\"", L"x"}},
      {L"\"unclosed quote", {L"\"unclosed quote"}},
  };
  for (const TCase& c : cases) EXPECT_EQ(SplitCommandLine(c.Text), c.Arguments) << std::wstring(c.Text).size();
  EXPECT_EQ(Unquote(L"\"a b\""), L"a b");
  EXPECT_EQ(Unquote(L"\""), L"\"");
  EXPECT_EQ(Unquote(L"\"a"), L"\"a");
}

TEST(SerializerCommandLine, OnlyTheCompilerByAQuotedPathWithAResponseFileIsRecognised) {
  EXPECT_EQ(CompilerResponseFile(L"\"C:\\fw\\csc.exe\" /noconfig @\"C:\\t\\r.cmdline\""), L"C:\\t\\r.cmdline");
  EXPECT_EQ(CompilerResponseFile(L"\"C:\\fw\\CSC.EXE\" @r"), L"") << "the marker's case is exact";
  EXPECT_EQ(CompilerResponseFile(L"C:\\fw\\csc.exe @r"), L"") << "not quoted";
  EXPECT_EQ(CompilerResponseFile(L"\"C:\\fw\\csc.exe\" /noconfig r.cs"), L"") << "no response file";
  EXPECT_EQ(CompilerResponseFile(L"\"C:\\fw\\vbc.exe\" x \"C:\\fw\\csc.exe\" @r"), L"") << "another program";
  const TCompilerRun run = ParseResponseFile(
      L"/t:library /out:\"C:\\t\\a b.dll\"\r\n/D:_DYNAMIC_XMLSERIALIZER_COMPILATION \"C:\\t\\a b.0.cs\"");
  EXPECT_TRUE(run.HasOutput && run.IsSerializer);
  EXPECT_EQ(run.Output, L"C:\\t\\a b.dll");
  EXPECT_EQ(run.Source, L"C:\\t\\a b.0.cs");
  EXPECT_FALSE(ParseResponseFile(L"/OUT:x.dll /d:_dynamic_xmlserializer_compilation y.cs").HasOutput);
}

TEST(SerializerCacheKey, OnlyANamedSerializerMethodMadeOfSafeCharacters) {
  struct TCase {
    std::string Source;
    std::string Key;
  };
  const std::string ns = "namespace Microsoft.Xml.Serialization.GeneratedAssembly {\n";
  const TCase cases[] = {
      {ns + "public void Write3_Settings(object o)", "8.0.Write3_Settings"},
      {ns + "public void Write7_A.B  (object o)", "8.0.Write7_A.B"},
      {ns + "public void   Write7_A.B(object o)", ""},
      {"namespace Other {\npublic void Write3_Settings(object o)", ""},
      {ns + "public void Write3/../x(object o)", ""},
      {ns + "public void Write3..x(object o)", ""},
      {ns + "public void Write3 x(object o)", ""},
      {ns + "public void Write" + std::string(130, 'a') + "(object o)", ""},
      {ns + std::string(4096, ' ') + "public void Write3_Settings(object o)", ""},
      {ns + "public void Write3_Settings", ""},
  };
  for (const TCase& c : cases) EXPECT_EQ(CacheKeyFromSource(c.Source), c.Key) << c.Source.substr(ns.size(), 60);
}

TEST(SerializerFiles, CopiesAndComparesWholeFilesOnly) {
  const std::wstring folder = Temp();
  std::string big(200000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 7);
  WriteBytes(folder + L"\\a.bin", big);
  ASSERT_TRUE(CopyFileChunked(folder + L"\\a.bin", folder + L"\\b.bin"));
  EXPECT_EQ(ReadBytes(folder + L"\\b.bin"), big);
  EXPECT_TRUE(FilesEqual(folder + L"\\a.bin", folder + L"\\b.bin"));
  big[150000] ^= 1;
  WriteBytes(folder + L"\\b.bin", big);
  EXPECT_FALSE(FilesEqual(folder + L"\\a.bin", folder + L"\\b.bin"));
  WriteBytes(folder + L"\\b.bin", big.substr(0, 1000));
  EXPECT_FALSE(FilesEqual(folder + L"\\a.bin", folder + L"\\b.bin"));
  EXPECT_FALSE(FilesEqual(folder + L"\\a.bin", folder + L"\\absent.bin"));
  EXPECT_FALSE(CopyFileChunked(folder + L"\\absent.bin", folder + L"\\c.bin"));
  EXPECT_FALSE(CopyFileChunked(folder + L"\\a.bin", folder + L"\\no\\such\\folder.bin"));
}

}  // namespace

// The serializer compiler cache: a serializer compilation of a 64 KB, 1 MB
// and 8 MB source with the stand-in compiler taking 1.5 s, once as a miss
// (the compiler runs, the result is stored) and once as a hit (compared and
// copied), the IDE started anew between them; outputs compared. Prints the
// table; not a test.
#include <windows.h>

#include <cstdio>
#include <string>

#include "Common/BenchTimer.h"
#include "Hooking/CodeTransaction.h"
#include "Patches/Rtl/DotNetXmlSerializerOptimize.h"

using Quillmend::Bench::Now;

namespace {

std::wstring BuildDirectory() {
  wchar_t path[MAX_PATH];
  std::wstring self(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  std::wstring bin = self.substr(0, self.find_last_of(L"\\/"));
  return bin.substr(0, bin.find_last_of(L"\\/"));
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
  if (file == INVALID_HANDLE_VALUE) return bytes;
  bytes.resize(GetFileSize(file, nullptr));
  DWORD read = 0;
  if (!bytes.empty()) ReadFile(file, &bytes[0], DWORD(bytes.size()), &read, nullptr);
  CloseHandle(file);
  return bytes;
}

// One compilation as the .NET runtime starts it; milliseconds until the exit code.
double Compile(const std::wstring& folder, const std::wstring& output) {
  const std::wstring response = folder + L"\\bench.cmdline";
  const std::wstring text = L"/t:library /out:\"" + output + L"\" /D:_DYNAMIC_XMLSERIALIZER_COMPILATION \"" + folder +
                            L"\\bench.0.cs\"";
  WriteBytes(response, std::string(text.begin(), text.end()));
  std::wstring commandLine = L"\"" + BuildDirectory() + L"\\host\\csc.exe\" /noconfig @\"" + response + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  const double start = Now();
  if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                     &info)) {
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    if (info.hThread) CloseHandle(info.hThread);
  }
  return (Now() - start) * 1000.0;
}

}  // namespace

int main() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + L"QuillmendSerializerBench";
  CreateDirectoryW(folder.c_str(), nullptr);
  Quillmend::SetSerializerCacheDirectory(folder + L"\\cache");
  SetEnvironmentVariableW(L"QM_CSC_DELAY_MS", L"1500");
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
  int failures = 0;
  std::printf("== serializer compiler cache (Start.XmlSerializer): the compiler taking 1.5 s, miss vs hit\n");
  std::printf("   %-8s %12s %12s %9s  %s\n", "source", "miss", "hit", "speed-up", "outputs");
  const struct {
    const char* Name;
    size_t Bytes;
  } sizes[] = {{"64 KB", 64 << 10}, {"1 MB", 1 << 20}, {"8 MB", 8 << 20}};
  for (const auto& size : sizes) {
    std::string source = "namespace Microsoft.Xml.Serialization.GeneratedAssembly {\n public void Write9_Bench(object o) {\n";
    while (source.size() < size.Bytes) source += "  // generated serializer code line of some length.........\n";
    source.resize(size.Bytes);
    WriteBytes(folder + L"\\bench.0.cs", source);
    DeleteFileW((folder + L"\\cache\\dynxmlserializer.8.0.Write9_Bench.cs").c_str());
    double ms[2];
    std::string outputs[2];
    for (int hit = 0; hit < 2; ++hit) {
      // The IDE starts (again): the interception installed anew.
      Quillmend::UndoAllTransactions();
      for (Quillmend::TPatchPlan& plan : Quillmend::DotNetXmlSerializerOptimizePlans())
        Quillmend::InstallUnregisteredPlan(plan);
      const std::wstring output = folder + L"\\bench" + std::to_wstring(hit) + L".dll";
      DeleteFileW(output.c_str());
      ms[hit] = Compile(folder, output);
      outputs[hit] = ReadBytes(output);
    }
    const bool same = outputs[0] == outputs[1] && !outputs[0].empty();
    if (!same) ++failures;
    std::printf("   %-8s %9.1f ms %9.1f ms %8.1fx  %s\n", size.Name, ms[0], ms[1], ms[0] / ms[1],
                same ? "identical" : "DIFFERENT");
  }
  return failures ? 1 : 0;
}

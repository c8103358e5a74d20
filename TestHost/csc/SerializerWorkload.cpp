// The serializer workload: a serializer compilation started the way the
// IDE's .NET runtime starts one (the C# compiler by its quoted path with a
// response file), then waited for and asked for its exit code.
//
//   -run serializer <source file> <output file>
//
// Journal: SERIALIZER exit=<code> output=<bytes of the output, -1 when
// absent> ms=<time from the start to the exit code>.
#include <windows.h>

#include <cwchar>
#include <string>

#include "bds/HostApp.h"
#include "bds/Workloads.h"

namespace QmHost {

namespace {

double NowMs() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return double(t.QuadPart) * 1000.0 / double(f.QuadPart);
}

int RunSerializer(HostApp& app, const std::vector<std::wstring>& args) {
  if (args.size() != 2) {
    app.Log(L"WORKLOAD-ERROR serializer: expected <source file> <output file>");
    return 2;
  }
  const std::wstring response = args[1] + L".cmdline";
  const std::wstring text = L"/t:library /utf8output /out:\"" + args[1] +
                            L"\" /debug- /optimize+ /D:_DYNAMIC_XMLSERIALIZER_COMPILATION \"" + args[0] + L"\"";
  const std::string bytes(text.begin(), text.end());
  HANDLE file = CreateFileW(response.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  if (file == INVALID_HANDLE_VALUE || !WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr)) {
    app.Log(L"WORKLOAD-ERROR serializer: cannot write " + response);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return 2;
  }
  CloseHandle(file);
  std::wstring commandLine = L"\"" + app.hostDir + L"csc.exe\" /noconfig /fullpaths @\"" + response + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  const double start = NowMs();
  DWORD exitCode = 0xFFFFFFFF;
  if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                     &info)) {
    WaitForSingleObject(info.hProcess, INFINITE);
    GetExitCodeProcess(info.hProcess, &exitCode);
    CloseHandle(info.hProcess);
    if (info.hThread) CloseHandle(info.hThread);
  }
  const double elapsed = NowMs() - start;
  WIN32_FILE_ATTRIBUTE_DATA data;
  const long long size = GetFileAttributesExW(args[1].c_str(), GetFileExInfoStandard, &data)
                             ? (long long)data.nFileSizeLow + ((long long)data.nFileSizeHigh << 32)
                             : -1;
  DeleteFileW(response.c_str());
  wchar_t line[128];
  std::swprintf(line, 128, L"SERIALIZER exit=%ld output=%lld ms=%.3f", long(exitCode), size, elapsed);
  app.Log(line);
  return exitCode == 0 ? 0 : 1;
}

const WorkloadRegistration kRegistration{
    L"serializer", RunSerializer,
    L"serializer <source> <output>  a serializer compilation started as the .NET runtime starts it"};

}  // namespace

}  // namespace QmHost

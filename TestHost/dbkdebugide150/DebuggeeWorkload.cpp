// The debuggee workload: the debuggee started the way the IDE starts it
// (TDebugKernel.CreateProcess of dbkdebugide150.bpl, the kernel formatting
// its command line), with `<chars>` characters of arguments after the name
// of the file it writes its command line to; waits for it and compares.
//
//   -run debuggee <chars>
//
// Journal: DEBUGGEE chars=<n> started=<0|1> received=<characters of the
// arguments that arrived> whole=<0|1>.
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <string>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "dbkdebugide150/DbkDebugIdeDriver.h"

namespace QmHost {

namespace {

std::wstring ReadWideFile(const std::wstring& path) {
  std::wstring text;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return text;
  const DWORD size = GetFileSize(file, nullptr);
  text.resize(size / sizeof(wchar_t));
  DWORD read = 0;
  if (size) ReadFile(file, &text[0], size, &read, nullptr);
  CloseHandle(file);
  return text;
}

int RunDebuggee(HostApp& app, const std::vector<std::wstring>& args) {
  long chars = 0;
  if (args.size() != 1 || (chars = std::wcstol(args[0].c_str(), nullptr, 10)) < 0 || chars > 30000) {
    app.Log(L"WORKLOAD-ERROR debuggee: expected <chars> (0..30000)");
    return 2;
  }
  DbkDebugIdeDriver::Driver ide;
  if (!ide.Bind(GetModuleHandleW(L"dbkdebugide150.bpl"))) {
    app.Log(L"WORKLOAD-ERROR debuggee: dbkdebugide150.bpl is not loaded");
    return 2;
  }
  std::wstring arguments;
  for (long i = 0; long(arguments.size()) < chars; ++i) arguments += L"arg" + std::to_wstring(i) + L" ";
  arguments.resize(size_t(chars));
  wchar_t folder[MAX_PATH], file[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"dbg", 0, file);
  const std::wstring output = file;
  DbkDebugIdeDriver::TDebugKernel kernel{};
  const bool started =
      ide.startDebuggee(&kernel, (app.hostDir + L"debuggee.exe").c_str(), (output + L" " + arguments).c_str(), 0);
  size_t received = 0;
  bool whole = false;
  if (started) {
    WaitForSingleObject(kernel.Process.hProcess, 60000);
    CloseHandle(kernel.Process.hProcess);
    CloseHandle(kernel.Process.hThread);
    const std::wstring line = ReadWideFile(output);
    const size_t at = line.find(output);
    const std::wstring tail = at == std::wstring::npos ? L"" : line.substr(std::min(line.size(), at + output.size() + 1));
    received = tail.size();
    whole = tail == arguments;
  }
  DeleteFileW(output.c_str());
  wchar_t text[128];
  std::swprintf(text, 128, L"DEBUGGEE chars=%ld started=%d received=%u whole=%d", chars, int(started),
                unsigned(received), int(whole));
  app.Log(text);
  return started ? 0 : 1;
}

const WorkloadRegistration kRegistration{
    L"debuggee", RunDebuggee, L"debuggee <chars>  starts the debuggee with a command line of that many characters"};

}  // namespace

}  // namespace QmHost

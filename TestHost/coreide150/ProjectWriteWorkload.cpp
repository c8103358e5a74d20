// The project workload: a project of `<items>` references written by the
// project writer (TXmlWriter.Write) to a file through the run-time's file
// stream.
//
//   -run project <items> <file>
//
// Journal: PROJECT items=<n> result=<0 written, 1 raised> bytes=<file size>
// writes=<system writes the file stream made> ms=<time>.
#include <windows.h>

#include <cwchar>
#include <string>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "coreide150/ProjectWriterDriver.h"

namespace QmHost {

namespace {

double NowMs() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return double(t.QuadPart) * 1000.0 / double(f.QuadPart);
}

int RunProject(HostApp& app, const std::vector<std::wstring>& args) {
  long items = 0;
  if (args.size() != 2 || (items = std::wcstol(args[0].c_str(), nullptr, 10)) < 0) {
    app.Log(L"WORKLOAD-ERROR project: expected <items> <file>");
    return 2;
  }
  HMODULE rtl = GetModuleHandleW(L"rtl150.bpl");
  ProjectWriterDriver::Driver writer;
  auto create = reinterpret_cast<void*(__stdcall*)(const wchar_t*)>(
      reinterpret_cast<void*>(GetProcAddress(rtl, "RtlFileStreamCreate")));
  auto writes = reinterpret_cast<int(__stdcall*)()>(reinterpret_cast<void*>(GetProcAddress(rtl, "RtlFileStreamWrites")));
  auto freeObject = reinterpret_cast<void(__attribute__((regparm(3), stdcall))*)(void*)>(
      reinterpret_cast<void*>(GetProcAddress(rtl, "@System@TObject@Free$qqrv")));
  if (!writer.Bind(GetModuleHandleW(L"coreide150.bpl")) || !create || !writes || !freeObject) {
    app.Log(L"WORKLOAD-ERROR project: the project writer or the file stream is missing");
    return 2;
  }
  void* stream = create(args[1].c_str());
  if (!stream) {
    app.Log(L"WORKLOAD-ERROR project: cannot create " + args[1]);
    return 2;
  }
  void* project = writer.newProject(int(items), 0);
  const int before = writes();
  const double start = NowMs();
  const int result = writer.writeProject(stream, project, nullptr, nullptr);
  const double elapsed = NowMs() - start;
  const int written = writes() - before;
  freeObject(stream);
  writer.freeProject(project);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExW(args[1].c_str(), GetFileExInfoStandard, &data);
  wchar_t line[160];
  std::swprintf(line, 160, L"PROJECT items=%ld result=%d bytes=%lu writes=%d ms=%.3f", items, result,
                data.nFileSizeLow, written, elapsed);
  app.Log(line);
  return result == 0 ? 0 : 1;
}

const WorkloadRegistration kRegistration{L"project", RunProject,
                                         L"project <items> <file>  writes a project through the project writer"};

}  // namespace

}  // namespace QmHost

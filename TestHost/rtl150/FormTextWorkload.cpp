// The form-text workload: one form file in its text form converted to its
// binary form through the run-time's ObjectTextToBinary (whatever code is at
// that export now: the pack's replacement when it is loaded and applied).
//
//   -run formtext <input> <output>
//
// The output file is written only when the conversion succeeds (journal
// FORMTEXT bytes=<n> ms=<time>). A conversion error gives exit code 1, the
// error's class and message (its line is in the message) on standard error
// and FORMTEXT-ERROR <class>: <message> in the journal.
#include <windows.h>

#include <cstdio>
#include <string>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "rtl150/ConversionsDriver.h"

namespace QmHost {

namespace {

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(file, &size) && size.QuadPart < 0x40000000;
  if (ok) {
    bytes.resize(size_t(size.QuadPart));
    DWORD read = 0;
    ok = bytes.empty() || (ReadFile(file, &bytes[0], DWORD(bytes.size()), &read, nullptr) && read == bytes.size());
  }
  CloseHandle(file);
  return ok;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = bytes.empty() || (WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size());
  CloseHandle(file);
  return ok;
}

double NowMs() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return double(t.QuadPart) * 1000.0 / double(f.QuadPart);
}

} // namespace

int RunFormText(HostApp& app, const std::vector<std::wstring>& args) {
  if (args.size() != 2) {
    app.Log(L"WORKLOAD-ERROR formtext: expected <input> <output>");
    return 2;
  }
  std::string text;
  if (!ReadWholeFile(args[0], text)) {
    app.Log(L"WORKLOAD-ERROR formtext: cannot read " + JournalEscape(args[0]));
    return 2;
  }
  RtlConversions rtl;
  if (!rtl.Resolve(app.rtl.module, GetModuleHandleW(L"coreide150.bpl"))) {
    app.Log(L"WORKLOAD-ERROR formtext: rtl150.bpl lacks the conversion exports");
    return 2;
  }
  void* input = rtl.NewMemoryStream();
  void* output = rtl.NewMemoryStream();
  FillMemoryStream(input, text);
  HostExceptionReport report;
  const double start = NowMs();
  const bool converted = CallHostGuarded([&] { rtl.objectTextToBinary(input, output); }, report, &app.rtl);
  const double ms = NowMs() - start;
  const std::string binary = MemoryStreamBytes(output);
  app.rtl.objectFree(input);
  app.rtl.objectFree(output);
  if (!converted) {
    fwprintf(stderr, L"%ls\n", report.Text().c_str());
    app.Log(L"FORMTEXT-ERROR " + JournalEscape(report.Text()));
    return 1;
  }
  if (!WriteWholeFile(args[1], binary)) {
    app.Log(L"WORKLOAD-ERROR formtext: cannot write " + JournalEscape(args[1]));
    return 2;
  }
  wchar_t timing[32];
  swprintf(timing, 32, L"%.3f", ms);
  app.Log(L"FORMTEXT bytes=" + std::to_wstring(binary.size()) + L" ms=" + timing);
  return 0;
}

namespace {

const WorkloadRegistration kRegistration{L"formtext", RunFormText,
                                         L"formtext <input> <output>  converts a form's text to its binary form"};

} // namespace

} // namespace QmHost

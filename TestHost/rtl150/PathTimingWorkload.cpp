// The path-function workload: each of the run-time's file-path functions
// and the code manager's ExtractModuleName called over a set of realistic
// paths, timed per call, with a checksum of the results so that runs with
// and without the pack compare directly.
//
//   -run pathtiming [<calls per function>]     (default 200000)
//
// Journal, per function: PATH-TIME <function> ns=<per call> checksum=<hex>.
#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <string>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "rtl150/ConversionsDriver.h"

namespace QmHost {

namespace {

const wchar_t* const Paths[] = {
    L"C:\\Projects\\Accounts\\Source\\Ledger.pas",
    L"C:\\Program Files (x86)\\Embarcadero\\RAD Studio\\8.0\\source\\rtl\\common\\Classes.pas",
    L"\\\\buildserver\\share\\components\\vcl\\Forms.dfm",
    L"D:\\work\\a\\b\\c\\d\\e\\f\\g\\Unit1.pas",
    L"Unit2.pas",
    L"C:\\Projects\\Accounts\\Accounts.dproj",
};
const wchar_t* const Bases[] = {
    L"C:\\Projects\\Accounts\\Source\\Main.pas",
    L"C:\\Program Files (x86)\\Embarcadero\\RAD Studio\\8.0\\bin\\bds.exe",
    L"\\\\buildserver\\share\\components\\rtl\\System.pas",
    L"D:\\work\\a\\b\\x\\Project.dpr",
    L"C:\\Projects\\Unit2.pas",
    L"C:\\Projects\\Other\\Other.dproj",
};

uint32_t Fnv(uint32_t hash, const wchar_t* s) {
  const int32_t length = s ? *reinterpret_cast<const int32_t*>(reinterpret_cast<const char*>(s) - 4) : 0;
  for (int32_t i = 0; i < length; ++i) hash = (hash ^ s[i]) * 16777619u;
  return (hash ^ 0xFFFF) * 16777619u;
}

double NowNs() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return double(t.QuadPart) * 1e9 / double(f.QuadPart);
}

} // namespace

int RunPathTiming(HostApp& app, const std::vector<std::wstring>& args) {
  long calls = 200000;
  if (args.size() > 1 || (args.size() == 1 && (calls = std::wcstol(args[0].c_str(), nullptr, 10)) <= 0)) {
    app.Log(L"WORKLOAD-ERROR pathtiming: expected [<calls per function>]");
    return 2;
  }
  RtlConversions rtl;
  if (!rtl.Resolve(app.rtl.module, GetModuleHandleW(L"coreide150.bpl"))) {
    app.Log(L"WORKLOAD-ERROR pathtiming: the path functions are missing");
    return 2;
  }
  constexpr int Count = int(sizeof Paths / sizeof Paths[0]);
  wchar_t* paths[Count];
  wchar_t* bases[Count];
  for (int i = 0; i < Count; ++i) {
    paths[i] = app.rtl.NewString(Paths[i]);
    bases[i] = app.rtl.NewString(Bases[i]);
  }
  wchar_t* extension = app.rtl.NewString(L".dcu");
  auto time = [&](const wchar_t* name, auto&& call) {
    uint32_t checksum = 2166136261u;
    wchar_t* result = nullptr;
    const double start = NowNs();
    for (long n = 0; n < calls; ++n) checksum = call(int(n % Count), result, checksum);
    const double ns = (NowNs() - start) / double(calls);
    app.rtl.Release(result);
    wchar_t text[96];
    swprintf(text, 96, L" ns=%.1f checksum=%X", ns, checksum);
    app.Log(std::wstring(L"PATH-TIME ") + name + text);
  };
  auto string1 = [&](RtlConversions::StringFn f) {
    return [&, f](int i, wchar_t*& r, uint32_t h) { f(paths[i], &r); return Fnv(h, r); };
  };
  time(L"ExtractFilePath", string1(rtl.extractFilePath));
  time(L"ExtractFileDir", string1(rtl.extractFileDir));
  time(L"ExtractFileName", string1(rtl.extractFileName));
  time(L"ExtractFileExt", string1(rtl.extractFileExt));
  time(L"ExtractModuleName", string1(rtl.extractModuleName));
  time(L"ChangeFileExt", [&](int i, wchar_t*& r, uint32_t h) { rtl.changeFileExt(paths[i], extension, &r); return Fnv(h, r); });
  time(L"ExtractRelativePath",
       [&](int i, wchar_t*& r, uint32_t h) { rtl.extractRelativePath(bases[i], paths[i], &r); return Fnv(h, r); });
  time(L"AnsiCompareFileName", [&](int i, wchar_t*&, uint32_t h) {
    return (h ^ uint32_t(rtl.ansiCompareFileName(paths[i], bases[i]) + 1)) * 16777619u;
  });
  time(L"SameFileName", [&](int i, wchar_t*&, uint32_t h) {
    return (h ^ rtl.sameFileName(paths[i], paths[(i + 1) % Count])) * 16777619u;
  });
  for (int i = 0; i < Count; ++i) {
    app.rtl.Release(paths[i]);
    app.rtl.Release(bases[i]);
  }
  app.rtl.Release(extension);
  return 0;
}

namespace {

const WorkloadRegistration kRegistration{L"pathtiming", RunPathTiming,
                                         L"pathtiming [<calls>]  times the file-path functions"};

} // namespace

} // namespace QmHost

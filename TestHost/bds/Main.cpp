// bds.exe, the stand-in IDE: loads the IDE packages and experts registered
// under its registry root the way the IDE does, offers its services, runs
// an optional workload, shuts down in the IDE's order and journals what it
// saw. See TestHost/README.md.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#include "AppExceptionHandler.h"
#include "CompilerCallbacks.h"
#include "CorePackage.h"
#include "CppCompiler.h"
#include "DesignPackages.h"
#include "SplashScreen.h"
#include "ExpertLoader.h"
#include "HostApp.h"
#include "MessageBoxHook.h"
#include "Options.h"
#include "PackageLoader.h"
#include "IdeServices/ComObject.h"
#include "IdeServices/IdeServices.h"
#include "Services.h"
#include "StartupModules.h"
#include "Workloads.h"
#include "coreide150/MainFormDriver.h"

using namespace QmHost;

namespace {

constexpr int kExitSetupFailed = 2;

std::vector<std::wstring> Arguments() {
  std::vector<std::wstring> args;
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  for (int i = 1; i < count; ++i) args.emplace_back(argv[i]);
  LocalFree(argv);
  return args;
}

std::wstring ProgramDirectory() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

int Fail(const std::wstring& message) {
  fwprintf(stderr, L"bds.exe: %ls\n", message.c_str());
  return kExitSetupFailed;
}

int RunWorkload(HostApp& app) {
  const Workload* workload = FindWorkload(app.options.workload);
  if (!workload) {
    app.Log(L"WORKLOAD-UNKNOWN " + JournalEscape(app.options.workload));
    return kExitSetupFailed;
  }
  int code = 0;
  HostExceptionReport report;
  if (!CallHostGuarded([&] { code = workload->run(app, app.options.workloadArgs); }, report, &app.rtl)) {
    app.LogException(report);
    return 1;
  }
  return code;
}

} // namespace

int main() {
  HostApp& app = App();
  std::wstring error;
  if (!ParseOptions(Arguments(), app.options, error)) {
    fwprintf(stderr, L"bds.exe: %ls\n%ls", error.c_str(), kUsage);
    return kExitSetupFailed;
  }
  app.hostDir = ProgramDirectory();
  app.rootKey = L"Software\\Embarcadero\\" + app.options.regKey + L"\\8.0";
  QmHost::SetBaseRegistryKey(app.rootKey);
  QmHost::SetDefProjectDirectory(app.options.defProjectDirectory);
  if (!app.options.journalPath.empty() && !app.journal.Open(app.options.journalPath))
    return Fail(L"cannot create the journal " + app.options.journalPath);

  // The host run-time comes first: packages and experts link against it.
  HMODULE rtl = LoadLibraryW((app.hostDir + L"rtl150.bpl").c_str());
  const char* missing = nullptr;
  if (!rtl) return Fail(L"cannot load rtl150.bpl");
  if (!app.rtl.Resolve(rtl, &missing))
    return Fail(L"rtl150.bpl lacks the export " + std::wstring(missing, missing + lstrlenA(missing)));
  // The IDE's own modules come next, then its core package, and the compiler
  // library is handed its callback table: the IDE packages build on them.
  if (!LoadStartupModules(app, error)) return Fail(error);
  if (!LoadCorePackage(app, error)) return Fail(error);
  InstallCompilerCallbacks(app);

  if (!app.options.showMessageBoxes && !InstallMessageBoxRecorder())
    return Fail(L"cannot redirect MessageBoxW");
  if (app.options.appExceptionHandler) InstallAppExceptionHandler();

  ShowSplashScreen(app);
  LoadKnownPackages();
  // The IDE's main form exists before the experts start.
  if (HMODULE coreIde = GetModuleHandleW(L"coreide150.bpl"))
    if (auto newMainForm = reinterpret_cast<MainFormDriver::NewFn>(
            reinterpret_cast<void*>(GetProcAddress(coreIde, MainFormDriver::Export::New))))
      newMainForm(0);
  // The C++ personality has bccide.dll (and, once used, the compiler) loaded
  // before the experts.
  if (app.options.loadBccIde && !LoadBccIde()) return Fail(L"cannot load bccide.dll");
  if (app.options.loadCompiler) CallCppLoadCompiler(1, 0);

  void* services = InstallServices();
  LoadExperts(services);
  LoadDesignPackages();
  // The main window shows once the experts are in: its event fires once.
  if (HMODULE coreIde = GetModuleHandleW(L"coreide150.bpl"))
    if (auto fire = reinterpret_cast<void(__stdcall*)()>(
            reinterpret_cast<void*>(GetProcAddress(coreIde, "HelpDocFireMainFormShown"))))
      fire();
  CloseSplashScreen(app);

  int exitCode = 0;
  if (!app.options.workload.empty()) exitCode = RunWorkload(app);

  DropExperts();
  FinalizePackages();
  app.Log(L"SHUTDOWN");
  // An expert's finalization may still release what it registered with the
  // services while the process ends; the journal is closed by then.
  SetServicesJournal(nullptr);
  app.journal.Close();
  return exitCode;
}

// Loading 50, 200 and 800 design packages through the IDE's TDesignPackage
// constructor (coreide150.bpl) as the host has it, and then with the splash
// progress installed and its label on the splash form (without a window:
// the list kept, the caption and position set, no painting). Each round has
// packages of its own (copies of one small library), listed under "Known
// Packages"; they are unloaded after it. Printed per count: the load time
// both ways, the time the progress adds per load and how long building the
// list took (once, at the first update after the expert entry); the label
// must end at 100%.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Bench/Common/BenchTimer.h"
#include "Common/HostRtl.h"
#include "Framework/LibraryEntry.h"
#include "Framework/SplashLabel.h"
#include "Framework/SplashProgress.h"
#include "IdeServices/IdeServices.h"
#include "IdeServices/ServicesRoot.h"
#include "coreide150/DesignPackagesDriver.h"
#include "vcl150/LabelsDriver.h"

namespace {

namespace D = DesignPackagesDriver;
using Quillmend::Bench::Now;

constexpr int Counts[] = {50, 200, 800};
const std::wstring RegistryRoot = L"Software\\QuillmendBench\\Splash";

std::wstring Parent(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/")); }
std::wstring BuildDirectory() {
  wchar_t path[MAX_PATH];
  return Parent(Parent(std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH))));
}

template <class Fn>
Fn Export(const wchar_t* module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(module), name)));
}

struct TRound {
  std::vector<std::wstring> Paths;
  double Seconds = 0;
};

// `count` copies named <tag><i>.bpl, listed under "Known Packages" of a fresh key.
TRound Prepare(const std::wstring& directory, const std::wstring& tag, int count) {
  const std::wstring source = BuildDirectory() + L"\\host-strings\\strmod.dll";
  RegDeleteTreeW(HKEY_CURRENT_USER, RegistryRoot.c_str());
  HKEY key = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER, (RegistryRoot + L"\\8.0\\Known Packages").c_str(), 0, nullptr, 0, KEY_WRITE,
                  nullptr, &key, nullptr);
  TRound round;
  for (int i = 0; i < count; ++i) {
    const std::wstring path = directory + L"\\" + tag + std::to_wstring(i) + L".bpl";
    CopyFileW(source.c_str(), path.c_str(), FALSE);
    const std::wstring description = L"Package";
    RegSetValueExW(key, path.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(description.c_str()),
                   DWORD((description.size() + 1) * sizeof(wchar_t)));
    round.Paths.push_back(path);
  }
  RegCloseKey(key);
  return round;
}

void LoadAll(TRound& round) {
  static auto create = Export<D::CreateFn>(L"coreide150.bpl", D::Export::Create);
  const QmHost::HostRtl* rtl = QmHost::LoadedHostRtl();
  std::vector<wchar_t*> names;
  for (const std::wstring& path : round.Paths) names.push_back(rtl->NewString(path));
  const double start = Now();
  for (wchar_t* name : names) create(nullptr, 1, name, nullptr);
  round.Seconds = Now() - start;
  for (wchar_t*& name : names) rtl->Release(name);
}

void UnloadAll(const TRound& round) {
  for (const std::wstring& path : round.Paths) {
    HMODULE module = GetModuleHandleW(path.c_str());
    while (module && FreeLibrary(module)) module = GetModuleHandleW(path.c_str());
    DeleteFileW(path.c_str());
  }
}

}  // namespace

int main() {
  const std::wstring host = BuildDirectory() + L"\\host\\";
  for (const wchar_t* file : {L"rtl150.bpl", L"vcl150.bpl", L"coreide150.bpl", L"delphicoreide150.bpl"})
    if (!LoadLibraryW((host + file).c_str())) {
      std::printf("cannot load %ls from %ls\n", file, host.c_str());
      return 1;
    }
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring directory = std::wstring(temp) + L"QmSplashBench" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(directory.c_str(), nullptr);
  QmHost::SetBaseRegistryKey(RegistryRoot + L"\\8.0");
  void* terminate = nullptr;
  Quillmend::WizardEntry(QmHost::ServicesRoot(), nullptr, &terminate);

  std::printf("Splash progress: design packages loaded through TDesignPackage.Create\n");
  std::printf("%8s %14s %14s %16s %12s %8s\n", "packages", "disabled ms", "enabled ms", "added per load", "install ms",
              "label");
  int rc = 0;
  for (int count : Counts) {
    TRound off = Prepare(directory, L"off" + std::to_wstring(count) + L"_", count);
    LoadAll(off);
    UnloadAll(off);

    TRound on = Prepare(directory, L"on" + std::to_wstring(count) + L"_", count);
    Export<LabelsDriver::ShowSplashFn>(L"vcl150.bpl", LabelsDriver::Export::ShowSplash)(0);
    const double buildStart = Now();
    Quillmend::InstallSplashProgress();  // after the expert entry the list is built at once
    const double buildSeconds = Now() - buildStart;
    LoadAll(on);
    void* label = Quillmend::SplashProgressLabel();
    const int percent = label ? Quillmend::SplashLabelState(label).Percent : -1;
    if (percent != 100) rc = 1;
    Export<LabelsDriver::CloseSplashFn>(L"vcl150.bpl", LabelsDriver::Export::CloseSplash)();  // uninstalls
    UnloadAll(on);

    std::printf("%8d %14.1f %14.1f %13.1f us %12.2f %7d%%\n", count, off.Seconds * 1e3, on.Seconds * 1e3,
                (on.Seconds - off.Seconds) / count * 1e6, buildSeconds * 1e3, percent);
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\QuillmendBench");
  RemoveDirectoryW(directory.c_str());
  return rc;
}

// Forms of 300, 3,000 and 10,000 fields (each a form class over an ancestor
// form class holding about half of them) loaded through the run-time's
// InitInheritedComponent (rtl150.bpl), as the host has it and then with
// "RTL.FieldAddress" installed, in one run: the fastest load of several,
// the ratio, and the loaded fields (their checksum) compared. Goal: at
// least 20 times faster at 3,000 fields.
#include <windows.h>

#include <cstdio>
#include <string>

#include "Bench/Common/BenchTimer.h"
#include "Patches/DesignerShell/FieldAddressDFMLoadingOpt.h"
#include "rtl150/FormLoadingDriver.h"

namespace {

constexpr int Sizes[] = {300, 3000, 10000};
constexpr int GoalFields = 3000;
constexpr double Goal = 20.0;

struct TMeasure {
  double Seconds = 0;
  FormLoadingDriver::FieldSummary Fields;
};

std::wstring Parent(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/")); }

std::wstring BuildDirectory() {
  wchar_t path[MAX_PATH];
  return Parent(Parent(std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH))));
}

using TObjectFree = void(QM_HOST_REGISTER*)(void* object);

TMeasure Measure(const FormLoadingDriver::Driver& rtl, TObjectFree objectFree, int fields, const char* how) {
  TMeasure m;
  void* formClass = FormLoadingDriver::MakeInheritedForm(rtl, fields, how + std::to_string(fields));
  const int runs = fields <= 300 ? 20 : fields <= 3000 ? 5 : 2;
  m.Seconds = 1e30;
  for (int i = 0; i < runs; ++i) {
    void* form = nullptr;
    const double seconds = Quillmend::Bench::Seconds([&] { form = rtl.Load(formClass); });
    if (seconds < m.Seconds) m.Seconds = seconds;
    m.Fields = FormLoadingDriver::SummarizeFields(form);
    objectFree(form);
  }
  return m;
}

} // namespace

int main() {
  const std::wstring host = BuildDirectory() + L"\\host\\";
  HMODULE module = LoadLibraryW((host + L"rtl150.bpl").c_str());
  FormLoadingDriver::Driver rtl;
  auto objectFree = reinterpret_cast<TObjectFree>(GetProcAddress(module, "@System@TObject@Free$qqrv"));
  if (!rtl.Bind(module) || !rtl.InitInheritedComponent || !objectFree) {
    std::printf("cannot load the stand-in run-time's form loading\n");
    return 1;
  }
  TMeasure disabled[3], enabled[3];
  for (int i = 0; i < 3; ++i) disabled[i] = Measure(rtl, objectFree, Sizes[i], "Disabled");
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
  Quillmend::InstallFieldAddressDFMLoadingOpt();
  for (int i = 0; i < 3; ++i) enabled[i] = Measure(rtl, objectFree, Sizes[i], "Enabled");

  std::printf("Loading an inherited form, pack disabled vs enabled (fastest load)\n");
  std::printf("%8s %13s %13s %9s  %s\n", "fields", "disabled", "enabled", "ratio", "field addresses");
  bool same = true, met = false;
  for (int i = 0; i < 3; ++i) {
    const bool equal = disabled[i].Fields.Checksum == enabled[i].Fields.Checksum &&
                       enabled[i].Fields.Right == Sizes[i] && disabled[i].Fields.Right == Sizes[i];
    same = same && equal;
    const double ratio = disabled[i].Seconds / enabled[i].Seconds;
    if (Sizes[i] == GoalFields) met = ratio >= Goal;
    std::printf("%8d %10.2f ms %10.2f ms %8.1fx  %s (checksum %08x)\n", Sizes[i], disabled[i].Seconds * 1000,
                enabled[i].Seconds * 1000, ratio, equal ? "equal" : "DIFFERENT", unsigned(enabled[i].Fields.Checksum));
  }
  std::printf("goal: at least %.0f times faster at %d fields: %s\n", Goal, GoalFields, met ? "met" : "NOT MET");
  return same && met ? 0 : 1;
}

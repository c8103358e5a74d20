#include "ExpertLoader.h"

#include "Common/CheckedCall.h"
#include "HostApp.h"
#include "Registry.h"

namespace QmHost {

namespace {

std::vector<LoadedExpert> g_experts;


// TWizardRegisterProc(const Wizard: IOTAWizard): Boolean. Wizards are not
// kept by the stand-in; the call is journaled and refused.
int QM_HOST_REGISTER RegisterWizard(void* wizard) {
  App().Log(L"WIZARD-REGISTER " + Hex(static_cast<unsigned>(reinterpret_cast<UINT_PTR>(wizard))));
  return 0;
}

// An expert that says why its patches failed (Quillmend's diagnostic export)
// gets each reason journaled as PATCH-FAILED <name>: <reason>.
void JournalFailureReasons(HMODULE module) {
  using TReasons = int(__stdcall*)(wchar_t* buffer, int size);
  auto reasons = reinterpret_cast<TReasons>(reinterpret_cast<void*>(GetProcAddress(module, "QuillmendFailedPatchReasons")));
  if (!reasons) return;
  std::wstring text(size_t(reasons(nullptr, 0)) + 1, L'\0');
  text.resize(size_t(reasons(&text[0], int(text.size()))));
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(L"\r\n", start);
    if (end == std::wstring::npos) end = text.size();
    App().Log(L"PATCH-FAILED " + JournalEscape(text.substr(start, end - start)));
    start = end + 2;
  }
}

void Drop(LoadedExpert& expert) {
  HostApp& app = App();
  if (expert.terminate) {
    app.Log(L"EXPERT-TERMINATE " + JournalEscape(expert.path));
    int imbalance = 0;
    HostExceptionReport report;
    if (!CallHostGuarded([&] { CallStdcallChecked(expert.terminate, imbalance); }, report, &app.rtl))
      app.LogException(report);
    app.CheckStack(L"Terminate " + JournalEscape(expert.path), imbalance);
  }
  FreeLibrary(expert.module);
}

void LoadExpert(const std::wstring& path, void* services) {
  HostApp& app = App();
  HMODULE module = LoadLibraryW(path.c_str());
  if (!module) {
    app.Log(L"EXPERT-REFUSED " + JournalEscape(path) + L": cannot load the module (error " +
            std::to_wstring(GetLastError()) + L")");
    return;
  }
  const void* init = reinterpret_cast<const void*>(GetProcAddress(module, "INITWIZARD0001"));
  if (!init) {
    app.Log(L"EXPERT-REFUSED " + JournalEscape(path) + L": no INITWIZARD0001 export");
    FreeLibrary(module);
    return;
  }
  app.Log(L"EXPERT-LOADED " + JournalEscape(path));
  LoadedExpert expert{path, module, nullptr};
  std::uint32_t result = 0;
  int imbalance = 0;
  HostExceptionReport report;
  bool returned = CallHostGuarded(
      [&] {
        result = CallStdcallChecked(init, imbalance, services, reinterpret_cast<void*>(&RegisterWizard),
                                    &expert.terminate);
      },
      report, &app.rtl);
  app.CheckStack(L"INITWIZARD0001 " + JournalEscape(path), imbalance);
  if (!returned) {
    app.LogException(report);
    app.Log(L"EXPERT-INIT " + JournalEscape(path) + L" -> exception");
    Drop(expert);
    return;
  }
  // A Delphi Boolean is returned in AL.
  bool ok = (result & 0xFF) != 0;
  app.Log(L"EXPERT-INIT " + JournalEscape(path) + (ok ? L" -> true" : L" -> false"));
  JournalFailureReasons(module);
  if (!ok) {
    Drop(expert);
    return;
  }
  g_experts.push_back(expert);
}

} // namespace

void LoadExperts(void* services) {
  for (const auto& [name, path] : ReadStringValues(App().rootKey, L"Experts")) {
    if (!path.empty()) LoadExpert(path, services);
  }
}

void DropExperts() {
  while (!g_experts.empty()) {
    LoadedExpert expert = g_experts.back();
    g_experts.pop_back();
    Drop(expert);
  }
}

} // namespace QmHost

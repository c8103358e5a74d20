#include "CppCompiler.h"

#include "Common/CheckedCall.h"
#include "HostApp.h"
#include "bccide/BccIdeDriver.h"

namespace QmHost {

HMODULE LoadBccIde() {
  HMODULE module = GetModuleHandleW(L"bccide.dll");
  if (!module) module = LoadLibraryW((App().hostDir + L"bccide.dll").c_str());
  return module;
}

bool CallCppLoadCompiler(int action, int flag, int* result) {
  HostApp& app = App();
  const std::wstring call = L"CPP-LOAD " + std::to_wstring(action) + L" " + std::to_wstring(flag);
  HMODULE bccide = LoadBccIde();
  const void* entry = bccide ? reinterpret_cast<const void*>(GetProcAddress(bccide, BccIdeDriver::Export::CppLoadCompiler)) : nullptr;
  if (!entry) {
    app.Log(call + L" -> unavailable");
    return false;
  }
  int value = 0, imbalance = 0;
  HostExceptionReport report;
  bool returned = CallHostGuarded(
      [&] { value = static_cast<int>(CallStdcallChecked(entry, imbalance, action, flag)); }, report, &app.rtl);
  app.CheckStack(L"CppLoadCompiler", imbalance);
  if (!returned) {
    app.LogException(report);
    app.Log(call + L" -> exception");
    return false;
  }
  app.Log(call + L" -> " + std::to_wstring(value));
  if (result) *result = value;
  return true;
}

} // namespace QmHost

#include "Framework/EnvironmentOptions.h"

#include <windows.h>

#include <oaidl.h>

#include "Framework/HostAbi.h"
#include "Hooking/CodeRedirect.h"
#include "Hooking/EngineError.h"

namespace Quillmend {

namespace {

const char* const EnvironmentOptionsExport = "@Envoptions@EnvironmentOptions";
const char* const FindComponentExport = "@Classes@TComponent@FindComponent$qqrx20System@UnicodeString";
const char* const GetValueExport = "@Idepropset@TPropField@GetValue$qqrv";

using TFindComponent = void*(QM_REGISTER*)(void* self, const wchar_t* name);
using TGetValue = void(QM_REGISTER*)(void* self, VARIANT* result);

void* Export(const wchar_t* module, const char* name) {
  HMODULE handle = GetModuleHandleW(module);
  return handle ? reinterpret_cast<void*>(GetProcAddress(handle, name)) : nullptr;
}

// The variable holding the object, found once (the package stays loaded).
void** OptionsVariable() {
  static void** variable = nullptr;
  if (!variable)
    if (void* exported = Export(L"coreide150.bpl", EnvironmentOptionsExport))
      variable = static_cast<void**>(GetActualAddr(exported));
  return variable;
}

std::string Narrow(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

[[noreturn]] void NotFound(const std::wstring& name) {
  throw EQuillmendError("Quillmend: IDE EnvironmentOption \"" + Narrow(name) + "\" not found");
}

}  // namespace

void* GetEnvironmentOption(const std::wstring& name) {
  void** variable = OptionsVariable();
  auto find = reinterpret_cast<TFindComponent>(Export(L"rtl150.bpl", FindComponentExport));
  if (!variable || !*variable || !find || name.empty()) NotFound(name);
  THostString hostName(name);
  void* option = find(*variable, hostName.Get());
  if (!option) NotFound(name);
  return option;
}

bool GetEnvironmentOptionBool(const std::wstring& name) {
  void* option = GetEnvironmentOption(name);
  auto getValue = reinterpret_cast<TGetValue>(Export(L"vclide150.bpl", GetValueExport));
  if (!getValue) NotFound(name);
  VARIANT value{};
  getValue(option, &value);
  switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL: return false;
    case VT_BOOL: return value.boolVal != VARIANT_FALSE;
    case VT_I1:
    case VT_UI1: return value.bVal != 0;
    case VT_I2:
    case VT_UI2: return value.uiVal != 0;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT: return value.ulVal != 0;
    default:
      throw EQuillmendError("Quillmend: IDE EnvironmentOption \"" + Narrow(name) + "\" is not a Boolean");
  }
}

}  // namespace Quillmend

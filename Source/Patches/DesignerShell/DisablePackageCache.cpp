#include "Patches/DesignerShell/DisablePackageCache.h"

#include <windows.h>

#include <cstdint>
#include <vector>

#include "Framework/HostObjectModel.h"
#include "Framework/LibraryEntry.h"
#include "Patches/DesignerShell/DesignerShellHost.h"

namespace Quillmend {

using namespace DesignerShellHost;

namespace {

const wchar_t* const SettingName = L"QuillmendDisablePackageCache";

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

int DigitOf(wchar_t c, int base) {
  int digit = -1;
  if (c >= L'0' && c <= L'9') digit = c - L'0';
  else if (c >= L'a' && c <= L'f') digit = c - L'a' + 10;
  else if (c >= L'A' && c <= L'F') digit = c - L'A' + 10;
  return digit < base ? digit : -1;
}

using TStringMethod = void(QM_REGISTER*)(void* intf, wchar_t** result);

} // namespace

long long HostStrToIntDef0(const std::wstring& text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';
  int base = 10;
  if (i < text.size() && text[i] == L'$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == L'0' && (text[i + 1] == L'x' || text[i + 1] == L'X')) {
    base = 16;
    i += 2;
  } else if (i < text.size() && (text[i] == L'x' || text[i] == L'X')) {
    base = 16;
    ++i;
  }
  if (i == text.size()) return 0;
  // Out of the integer's range is an error, hence the default: decimal
  // values are signed, hexadecimal ones take all 32 bits.
  const long long limit = base == 16 ? 0xFFFFFFFFLL : negative ? 0x80000000LL : 0x7FFFFFFFLL;
  long long value = 0;
  for (; i < text.size(); ++i) {
    const int digit = DigitOf(text[i], base);
    if (digit < 0) return 0;
    value = value * base + digit;
    if (value > limit) return 0;
  }
  return negative ? -value : value;
}

bool PackageCacheDisabledSetting(const std::wstring& baseKey) {
  std::wstring path = baseKey;
  while (!path.empty() && path[0] == L'\\') path.erase(0, 1);
  path += L"\\Globals";
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  DWORD type = 0, size = 0;
  bool enabled = false;
  if (RegQueryValueExW(key, SettingName, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    std::vector<uint8_t> data(size + sizeof(wchar_t), 0);
    if (RegQueryValueExW(key, SettingName, nullptr, &type, data.data(), &size) == ERROR_SUCCESS) {
      if (type == REG_SZ || type == REG_EXPAND_SZ) {
        const auto* chars = reinterpret_cast<const wchar_t*>(data.data());
        std::wstring text(chars, size / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        enabled = HostStrToIntDef0(text) != 0;
      } else if (type == REG_DWORD && size >= 4) {
        enabled = (data[0] | data[1] | data[2] | data[3]) != 0;
      } else if (type == REG_BINARY && size >= 1) {
        enabled = data[0] != 0;
      }
    }
  }
  RegCloseKey(key);
  return enabled;
}

std::wstring IdeBaseRegistryKey() {
  THostIntfRef services;
  if (!BorlandIDEServices || HostIntfQuery(BorlandIDEServices, IdeServicesIid, services.Ref()) != S_OK) return L"";
  THostStringVar key;
  HostIntfMethod<TStringMethod>(services.Get(), IdeServicesBaseRegistryKey)(services.Get(), key.Ref());
  return FromHostString(key.Get());
}

TPatchPlan DisablePackageCachePlan() {
  TPatchPlan plan(L"IDE.DisablePackageCache", L"Disables the palette and package cache");
  plan.IgnoreUnless(L"\"QuillmendDisablePackageCache\" is not set", [] {
    const std::wstring baseKey = IdeBaseRegistryKey();
    return !baseKey.empty() && PackageCacheDisabledSetting(baseKey);
  });
  const struct {
    const wchar_t* Label;
    const char* Export;
  } routines[] = {{L"TProfileData.LoadPackageCache", Export::LoadPackageCache},
                  {L"TProfileData.SavePackageCache", Export::SavePackageCache},
                  {L"TComponentPalettePageItemDelegate.LoadData", Export::PaletteLoadData},
                  {L"TComponentPalettePageItemDelegate.SaveData", Export::PaletteSaveData}};
  for (const auto& routine : routines) {
    TSiteRef site = plan.Export(routine.Label, DelphiCoreIde, routine.Export);
    plan.WriteBytes(site, 0, "C3");  // ret: every argument comes in a register
  }
  return plan;
}

void InstallDisablePackageCache() {
  TPatchPlan plan = DisablePackageCachePlan();
  InstallPlan(plan);
}

namespace {

void InitializeDisablePackageCache() { AddWizardInitProc(&InstallDisablePackageCache); }

std::vector<TPatchPlan> DisablePackageCachePlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(DisablePackageCachePlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_DisablePackageCache = {"DisablePackageCache", &InitializeDisablePackageCache, nullptr,
                                            &DisablePackageCachePlans};

} // namespace Quillmend

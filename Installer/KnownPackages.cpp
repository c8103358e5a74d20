#include "KnownPackages.h"

#include "InstallerError.h"
#include "StringUtils.h"

#include <algorithm>

namespace Quillmend {

namespace {

const wchar_t* const KnownPackagesKey = L"Known IDE Packages";

bool SameValue(const TRegValue& a, const TRegValue& b) { return a.Type == b.Type && a.Data == b.Data; }

// Best effort: every value of the snapshot present again with its type and
// data; a start-up value that was not there before is removed.
void RestoreValues(IRegKey& key, const std::vector<TRegValue>& snapshot, const std::wstring& startupName) {
  bool startupExisted = false;
  for (const TRegValue& original : snapshot) {
    if (SameText(original.Name, startupName)) startupExisted = true;
    TRegValue now;
    if (!key.ReadValue(original.Name, now) || !SameValue(now, original))
      key.WriteValue(original.Name, original.Type, original.Data);
  }
  if (!startupExisted) key.DeleteValue(startupName);
}

} // namespace

void PutStartupPackageFirst(IRegKey& key, const std::wstring& startupName, const std::wstring& description) {
  // Read everything first: nothing is changed unless the whole key is known.
  std::vector<std::wstring> names;
  if (!key.GetValueNames(names))
    throw EInstallerError(FormatText(L"Cannot read the values of \"%s\"", KnownPackagesKey));
  std::vector<TRegValue> snapshot;
  snapshot.reserve(names.size());
  for (const std::wstring& name : names) {
    TRegValue value;
    if (!key.ReadValue(name, value))
      throw EInstallerError(FormatText(L"Cannot read the value \"%s\"", name));
    snapshot.push_back(std::move(value));
  }

  std::vector<TRegValue> others = snapshot;
  auto byName = std::find_if(others.begin(), others.end(),
                             [&](const TRegValue& v) { return SameText(v.Name, startupName); });
  if (byName != others.end()) others.erase(byName);
  auto byData = std::find_if(others.begin(), others.end(), [&](const TRegValue& v) {
    return IsStringType(v.Type) && SameText(RegDataAsString(v), description);
  });
  if (byData != others.end()) others.erase(byData);

  try {
    if (!key.WriteValue(startupName, REG_SZ, RegStringData(description)))
      throw EInstallerError(FormatText(L"Failed to set data for '%s'", startupName));
    // Deleting and re-creating one value at a time moves it to the end of the
    // order; done for all in their old order, they end up behind the start-up
    // value in that order, and at most one value is ever missing.
    for (const TRegValue& v : others) {
      if (!key.DeleteValue(v.Name))
        throw EInstallerError(FormatText(L"Failed to delete value '%s'", v.Name));
      if (!key.WriteValue(v.Name, v.Type, v.Data))
        throw EInstallerError(FormatText(L"Failed to set data for '%s'", v.Name));
    }
  } catch (const EInstallerError&) {
    RestoreValues(key, snapshot, startupName);
    throw;
  }
}

} // namespace Quillmend

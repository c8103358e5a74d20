// Where a RAD Studio XE installation is registered: the IDE registry root
// HKCU\Software\Embarcadero\<key>\8.0 with "ProductVersion" "15" and the
// installation's folder in "RootDir" (or, failing that, two levels above
// the IDE program named in "App"). The installer and the check tool find
// an installation the same way.
#pragma once

#include "Registry.h"

#include <string>

namespace Quillmend {

// "\Software\Embarcadero\<key>\8.0".
std::wstring IdeRootKey(const std::wstring& key);
// True when the root exists and its "ProductVersion" is exactly "15".
bool IsXeRootKey(IRegistry& registry, const std::wstring& key);
// The installation folder without a trailing delimiter: "RootDir" if that
// folder exists, else the folder two levels above "App" if that exists,
// else empty.
std::wstring IdeRootDir(IRegistry& registry, const std::wstring& key);

} // namespace Quillmend

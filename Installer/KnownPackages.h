// Puts the start-up package first in the value order of the IDE's
// "Known IDE Packages" key, which is the order in which the IDE loads them.
#pragma once

#include "Registry.h"

#include <string>

namespace Quillmend {

// Writes StartupName = Description and moves every other value behind it,
// keeping their order, types and bytes. The value named StartupName (if any)
// and the first other value whose string data is Description are not moved.
// On a failure half-way every value is put back with its original type and
// data (the start-up value removed if it was new) and EInstallerError raised.
void PutStartupPackageFirst(IRegKey& key, const std::wstring& startupName, const std::wstring& description);

} // namespace Quillmend

// "IDE.DisablePackageCache": where the user asked for it (the registry
// value "QuillmendDisablePackageCache" under the IDE's base key +
// "\Globals"), the IDE neither reads nor writes its package and palette
// caches: the four routines that do return at once.
#pragma once

#include <string>

#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The registry value under HKEY_CURRENT_USER\<baseKey>\Globals (a leading
// backslash of baseKey ignored): a string counts as true when it reads as
// a non-zero integer, an integer when non-zero, binary data by its first
// byte; anything else, and a missing key or value, is false.
bool PackageCacheDisabledSetting(const std::wstring& baseKey);
// The text as the host's StrToIntDef(text, 0) reads it: decimal or
// hexadecimal ("$", "0x", "x"), sign and leading blanks allowed, anything
// else 0.
long long HostStrToIntDef0(const std::wstring& text);
// The IDE's base registry key from its services; empty without them.
std::wstring IdeBaseRegistryKey();

TPatchPlan DisablePackageCachePlan();
void InstallDisablePackageCache();

extern const TUnitInfo Unit_DisablePackageCache;

} // namespace Quillmend

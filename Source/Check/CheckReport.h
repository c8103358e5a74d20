// What the check prints: one line per patch and a summary for people, or
// one JSON document for scripts.
#pragma once

#include <string>

#include "Check/IdeCheck.h"
#include "Check/IdeModules.h"

namespace Quillmend {

// Which installation was checked.
struct TCheckedIde {
  std::wstring RegKey;   // "BDS"
  std::wstring RootKey;  // "HKCU\Software\Embarcadero\BDS\8.0"
  std::wstring RootDir;
  std::wstring BinDir;
};

// "<name>  applies" / "fails: <reason>" / ... lines, then the counts, the
// root and every module looked at; CR LF line ends.
std::wstring CheckText(const TCheckedIde& ide, const TIdeCheck& check, const TIdeModules& modules);
// The same as one JSON document (UTF-8).
std::string CheckJson(const TCheckedIde& ide, const TIdeCheck& check, const TIdeModules& modules);

// A JSON string literal of the text (UTF-8, control characters escaped).
std::string JsonString(const std::wstring& text);

} // namespace Quillmend

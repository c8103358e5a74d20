// The deliverables the installer carries as raw-data resources.
#pragma once

#include <string>

namespace Quillmend {

bool ResourceExists(const std::wstring& resourceName);
// Writes the raw-data resource of the program's own module to fileName, byte
// for byte, with the installer executable's creation, last-access and
// last-write times; an existing file is replaced only by a complete one.
void ExtractResource(const std::wstring& resourceName, const std::wstring& fileName);

} // namespace Quillmend

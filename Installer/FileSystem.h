// File and directory helpers of the installer.
#pragma once

#include <cstddef>
#include <string>

namespace Quillmend {

bool FileExists(const std::wstring& fileName);
bool DirectoryExists(const std::wstring& dir);
std::wstring ExcludeTrailingPathDelimiter(const std::wstring& path);
// The path up to (not including) its last "\" or ":"-terminated drive part.
std::wstring ExtractFileDir(const std::wstring& path);
// Creates the directory and all missing parents; false on failure.
bool ForceDirectories(const std::wstring& dir);
std::wstring OwnExecutableName();

// Replaces fileName with the given bytes without ever leaving a truncated
// file there: the data goes into a temporary file in the same directory,
// which gets the creation, last-access and last-write times of timesFrom and
// then replaces fileName in one rename. Raises EInstallerError on failure
// (fileName unchanged, the temporary file removed).
void WriteFileReplacing(const std::wstring& fileName, const void* data, size_t size,
                        const std::wstring& timesFrom);

} // namespace Quillmend

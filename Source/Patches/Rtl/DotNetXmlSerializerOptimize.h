// "Start.XmlSerializer": at start the IDE's .NET runtime generates C# source
// for its XML serializers and has the C# compiler build it, every time. The
// process creation of the IDE process (kernel32's CreateProcessW) is
// intercepted; a serializer compilation whose source is byte for byte one
// compiled before is answered from a per-user cache: the cached assembly is
// copied to the requested output and the caller gets a substitute process
// that has ended with exit code 0 (its exit code answered by an
// interception of GetExitCodeProcess). On a miss the compiler runs, is
// waited for, and a successful result is stored. The interception ends with
// the first compiler run that names an output file. Installed at unit
// initialization.
#pragma once

#include <cstdint>
#include <string>
#include <vector>
#include <windows.h>

#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// Arguments of a command line or response file, quotes kept: blanks (every
// character up to U+0020) separate them; one that starts with a double
// quote runs to the closing quote (or the end); another runs to the next
// blank, a quoted run inside it taken whole.
std::vector<std::wstring> SplitCommandLine(const std::wstring& text);
// An argument of at least two characters between double quotes, without them.
std::wstring Unquote(const std::wstring& argument);
// Same size, same bytes (false when one cannot be read).
bool FilesEqual(const std::wstring& a, const std::wstring& b);
// The source copied to a target created anew (temporary-file attribute) in
// blocks of 64 KB; true only when every byte was written (a partial target
// is deleted).
bool CopyFileChunked(const std::wstring& source, const std::wstring& target);
// "8.0." and the name of the first method declared after " void Write" in
// the first 4096 bytes of a generated serializer's source (those bytes must
// name its namespace); empty when there is none or when the name is not a
// safe part of a file name (identifier characters and dots, at most 128).
std::string CacheKeyFromSource(const std::string& sourceStart);

// What a compiler's response file asks for.
struct TCompilerRun {
  bool HasOutput = false;   // an argument "/out:"
  bool IsSerializer = false;  // "/D:_DYNAMIC_XMLSERIALIZER_COMPILATION"
  std::wstring Output, Source;
};
TCompilerRun ParseResponseFile(const std::wstring& text);
// The response file of a command line that runs the C# compiler by a quoted
// path ("...\csc.exe" directly followed by a double quote, the first
// argument's file name csc.exe, the last argument "@file"); empty otherwise.
std::wstring CompilerResponseFile(const std::wstring& commandLine);

// The cache's folder: the user's local application data + "\Quillmend".
std::wstring SerializerCacheDirectory();
// Tests put the cache elsewhere (empty: the user's folder again).
void SetSerializerCacheDirectory(const std::wstring& directory);
// Whether process creation is still intercepted (until the first compiler
// run with an output file).
bool SerializerInterceptionActive();

BOOL WINAPI CreateProcessWithSerializerCache(LPCWSTR application, LPWSTR commandLine,
                                             LPSECURITY_ATTRIBUTES processAttributes,
                                             LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles,
                                             DWORD flags, LPVOID environment, LPCWSTR currentDirectory,
                                             LPSTARTUPINFOW startupInfo, LPPROCESS_INFORMATION processInformation);
BOOL WINAPI GetExitCodeWithSubstitute(HANDLE process, LPDWORD exitCode);

std::vector<TPatchPlan> DotNetXmlSerializerOptimizePlans();

extern const TUnitInfo Unit_DotNetXmlSerializerOptimize;

}  // namespace Quillmend

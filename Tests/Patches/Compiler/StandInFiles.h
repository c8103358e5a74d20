// The stand-in compiler's file side from the tests: the loaded dcc150.dll
// (or a variant), its file driver, a project tree per test in the build
// tree, and one compile pass's results as text for comparisons.
#pragma once

#include <cstdint>
#include <string>
#include <windows.h>

#include "dcc150/DccFilesDriver.h"

namespace StandInFiles {

// <build>/host/dcc150.dll, or the variant's copy.
HMODULE Load(const char* variant = nullptr);
// Binds the driver to the dcc150.dll already loaded.
void BindLoaded();
const DccFilesDriver::Driver& Driver();

// A directory of this test's own under <build>\Testing\CompilerFiles (made
// afresh); UTF-8 and UTF-16.
std::wstring WorkDirectory(const std::wstring& name);
std::string Utf8(const std::wstring& text);

// A pass's result as text ("searches=... found=... answers=..."), without
// the counts that patches change (file-age calls, writes, body runs).
std::string Fingerprint(const DccFilesDriver::TPassResult& result);
// The running test's name, for its own directories.
std::wstring TestName();
// A small project (tree under WorkDirectory(TestName())) run for three
// passes — cold after SetCompState, warm, after touching sources and
// includes with SetCompState — as one text.
std::string RunProject(int dirs = 3, int files = 24, int units = 30);

// Installs the compiler patches as the expert entry does (the compiler
// optimizations' procedure, then the file search's) with
// "Quillmend.DisabledPatches" set.
void InstallAll(const std::wstring& disabledPatches = L"");
// The same procedures with the environment as it is.
void InstallProcedures();

} // namespace StandInFiles

// The compiler library's callback table, as the IDE installs it when it
// loads dcc150.dll: output files created for the compiler, and file ages
// that answer the IDE's open editor buffers first, the disk otherwise.
#pragma once

#include <string>

namespace QmHost {

struct HostApp;

// Loads dcc150.dll from the host directory (when it is there) and hands it
// the table; false without the library or its export.
bool InstallCompilerCallbacks(HostApp& app);

// The table's file age of a path (UTF-8, relative to the current directory).
unsigned IdeFileAge(const char* path);

} // namespace QmHost

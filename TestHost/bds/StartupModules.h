// The IDE's own modules that are loaded before any IDE package and stay
// until the process ends: the visual component library vcl150.bpl (a
// run-time package requiring rtl150.bpl) and the editor kernel boreditu.dll.
// "-omit <module>" leaves one out (an IDE without it).
#pragma once

#include <string>

namespace QmHost {

struct HostApp;

// False, with the reason, when a module cannot be loaded.
bool LoadStartupModules(HostApp& app, std::wstring& error);

} // namespace QmHost

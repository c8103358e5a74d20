// The IDE's own modules that are loaded before any IDE package and stay
// until the process ends: the visual component library vcl150.bpl and its
// extension vclx150.bpl, the XML
// run-time xmlrtl150.bpl, the editor kernel boreditu.dll and the IDE's core
// packages vclide150, delphicoreide150, designide150 and comptoolbar150 (run-time packages
// requiring rtl150.bpl; coreide150.bpl is loaded after them as the core
// package). "-omit <module>" leaves one out (an IDE without it).
#pragma once

#include <string>

namespace QmHost {

struct HostApp;

// False, with the reason, when a module cannot be loaded.
bool LoadStartupModules(HostApp& app, std::wstring& error);

} // namespace QmHost

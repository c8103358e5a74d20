// A module with one export and nothing else. Built under the names of IDE
// modules ("dcc150.dll", "bccide.dll") so that module access can be tested
// without the stand-in IDE: it has none of the real modules' exports; and as
// "Quillmend.dll", for the start-up package to load.
#include <windows.h>

extern "C" int __stdcall ProbeExport() { return 42; }

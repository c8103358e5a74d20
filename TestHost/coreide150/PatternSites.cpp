// The package's site table (Common/SearchedSites.h): every searched routine
// of its assembly, for the tests (CoreIdePatternSite looks up one).
#include "Common/SearchedSites.h"

extern "C" const QmHost::SearchedSite* __stdcall CoreIdePatternSites(int* count) { return QmHost::SearchedSites(count); }

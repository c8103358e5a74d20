// The site table of a stand-in module: every searched routine declared with
// SEARCHED_ROUTINE (Common/SearchedRoutines.inc) in the module's assembly,
// in the order the linker placed them. Each module that links this has its
// own table.
#pragma once

namespace QmHost {

struct SearchedSite {
  const char* Name;     // the site's name, e.g. "UnitFreeAll"
  const char* Variant;  // the variant that alters it, e.g. "freeall"
  void* Address;        // where the searched bytes begin
};

// The module's sites; *count receives how many there are.
const SearchedSite* SearchedSites(int* count);
// The site of that name (exact, case-sensitive), or null.
const SearchedSite* FindSearchedSite(const char* name);

} // namespace QmHost

// The pattern checks of a patch subsystem's tests against its stand-in
// modules: each pattern the subsystem searches is found exactly once, at the
// routine the module's site table names, and each variant module
// (<build>/host-variants/<variant>/<file>) re-encodes exactly its own routine.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "Common/SearchedSites.h"

namespace SiteChecks {

struct TSiteModule {
  const wchar_t* File;      // a stand-in module the test has loaded
  const char* SitesExport;  // the export answering its site table
};

// The pattern the subsystem searches at a site of the module (null: a site
// of another subsystem).
using TPatternOfSite = std::function<const char*(const TSiteModule& module, const char* site)>;
// Further checks of one site found at its address.
using TSiteCheck = std::function<void(HMODULE module, const QmHost::SearchedSite& site, const char* pattern)>;

std::vector<QmHost::SearchedSite> SitesOf(HMODULE module, const char* sitesExport);

// Where the pattern matches in the module (null: nowhere); a second match
// fails the test.
uint8_t* FindOnce(HMODULE module, const char* pattern);

// Fixed bytes of the pattern that the code at `at` does not have.
int Mismatches(const uint8_t* at, const char* pattern);

// Every site with a pattern is where its pattern matches, once; `check` adds
// the subsystem's own checks. Returns how many sites were checked.
size_t ExpectEachMatchesOnceAtItsSite(const std::vector<TSiteModule>& modules, const TPatternOfSite& patternOf,
                                      const TSiteCheck& check = nullptr);

// For every site with a pattern, its variant module differs from the pattern
// in exactly one byte there (so the pattern is not found), and every other
// site's pattern still matches at its own address. Returns how many variants
// were checked.
size_t ExpectEachVariantAltersOnlyItsOwnRoutine(const std::vector<TSiteModule>& modules,
                                               const TPatternOfSite& patternOf);

} // namespace SiteChecks

#include "SiteChecks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Hooking/PatternSearch.h"
#include "TestPaths.h"

namespace SiteChecks {

std::vector<QmHost::SearchedSite> SitesOf(HMODULE module, const char* sitesExport) {
  using TSitesFn = const QmHost::SearchedSite*(__stdcall*)(int* count);
  auto sites = reinterpret_cast<TSitesFn>(reinterpret_cast<void*>(GetProcAddress(module, sitesExport)));
  int count = 0;
  const QmHost::SearchedSite* first = sites ? sites(&count) : nullptr;
  return std::vector<QmHost::SearchedSite>(first, first + count);
}

uint8_t* FindOnce(HMODULE module, const char* text) {
  const Quillmend::TBytePattern pattern = Quillmend::ParsePattern(text);
  auto* match = static_cast<uint8_t*>(Quillmend::FindMethodPtr(module, pattern, 0));
  if (match) {
    EXPECT_EQ(Quillmend::FindMethodPtr(match + 1, pattern, 0), nullptr) << "second match";
  }
  return match;
}

int Mismatches(const uint8_t* at, const char* text) {
  const Quillmend::TBytePattern pattern = Quillmend::ParsePattern(text);
  int count = 0;
  for (size_t i = 0; i < pattern.size(); ++i) count += pattern[i] >= 0 && at[i] != uint8_t(pattern[i]);
  return count;
}

size_t ExpectEachMatchesOnceAtItsSite(const std::vector<TSiteModule>& modules, const TPatternOfSite& patternOf,
                                      const TSiteCheck& check) {
  size_t checked = 0;
  for (const TSiteModule& m : modules) {
    HMODULE module = GetModuleHandleW(m.File);
    EXPECT_NE(module, nullptr) << "not loaded";
    for (const QmHost::SearchedSite& site : SitesOf(module, m.SitesExport)) {
      const char* pattern = patternOf(m, site.Name);
      if (!pattern) continue;
      SCOPED_TRACE(site.Name);
      EXPECT_EQ(FindOnce(module, pattern), site.Address);
      if (check) check(module, site, pattern);
      ++checked;
    }
  }
  return checked;
}

size_t ExpectEachVariantAltersOnlyItsOwnRoutine(const std::vector<TSiteModule>& modules,
                                               const TPatternOfSite& patternOf) {
  size_t variants = 0;
  for (const TSiteModule& m : modules) {
    for (const QmHost::SearchedSite& altered : SitesOf(GetModuleHandleW(m.File), m.SitesExport)) {
      if (!patternOf(m, altered.Name)) continue;
      SCOPED_TRACE(altered.Variant);
      const std::wstring path = BuildDirectory() + L"\\host-variants\\" +
                                std::wstring(altered.Variant, altered.Variant + std::strlen(altered.Variant)) + L"\\" +
                                m.File;
      HMODULE variant = LoadLibraryW(path.c_str());
      EXPECT_NE(variant, nullptr);
      if (!variant) continue;
      ++variants;
      for (const QmHost::SearchedSite& site : SitesOf(variant, m.SitesExport)) {
        const char* pattern = patternOf(m, site.Name);
        if (!pattern) continue;
        SCOPED_TRACE(site.Name);
        if (std::strcmp(site.Name, altered.Name) == 0) {
          EXPECT_EQ(FindOnce(variant, pattern), nullptr);
          EXPECT_EQ(Mismatches(static_cast<uint8_t*>(site.Address), pattern), 1);
        } else {
          EXPECT_EQ(FindOnce(variant, pattern), site.Address);
        }
      }
      FreeLibrary(variant);
    }
  }
  return variants;
}

} // namespace SiteChecks

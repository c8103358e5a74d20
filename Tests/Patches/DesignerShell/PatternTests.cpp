// Every pattern of the designer, component library and IDE shell fixes is
// found exactly once in its stand-in module, at the routine it is meant for
// and within the window its plan searches; each variant re-encodes exactly
// its own routine.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Common/SearchedSites.h"
#include "DesignerStandIns.h"
#include "Hooking/PatternSearch.h"
#include "Patches/DesignerShell/DesignerShellHost.h"
#include "Patches/DesignerShell/DesignerShellPatterns.h"
#include "TestPaths.h"

namespace {

namespace P = Quillmend::DesignerShellPatterns;
namespace E = Quillmend::DesignerShellHost::Export;

struct TSitePattern {
  const char* Site;
  const char* Pattern;
  const wchar_t* Module;
  const char* From;  // the export the plan searches from (null: the module's base)
  int32_t Window;      // how far past the export the match may end
  int32_t Before = 0;  // how far before the export the search starts
};

const TSitePattern SitePatterns[] = {
    {"ComponentRootGetRootStream", P::RootStreamWrite, L"designide150.bpl", E::GetRootStream, P::RootStreamWindow},
    {"ListItemsReadItemData", P::ListItemsReadByte, L"vcl150.bpl", E::ListItemsDefineProperties, P::ListItemsWindow},
    {"SearchInFilesText", P::SearchTextUtf8, L"coreide150.bpl", nullptr, 0},
    {"FileRemovalSwitchTextToForm", P::FileRemovalSwitch, L"delphicoreide150.bpl", E::SwapSourceFormView,
     P::FileRemovalWindow - P::FileRemovalBefore, P::FileRemovalBefore},
};

const TSitePattern* RowOf(const char* site) {
  for (const TSitePattern& row : SitePatterns)
    if (std::strcmp(row.Site, site) == 0) return &row;
  return nullptr;
}

using TSitesFn = const QmHost::SearchedSite*(__stdcall*)(int* count);

struct TModule {
  const wchar_t* File;
  const char* SitesExport;
};
const TModule Modules[] = {{L"designide150.bpl", "DesignIdePatternSites"},
                           {L"coreide150.bpl", "CoreIdePatternSites"},
                           {L"delphicoreide150.bpl", "DelphiCorePatternSites"},
                           {L"vcl150.bpl", "VclPatternSites"}};

std::vector<QmHost::SearchedSite> SitesOf(HMODULE module, const char* exportName) {
  auto sites = reinterpret_cast<TSitesFn>(reinterpret_cast<void*>(GetProcAddress(module, exportName)));
  int count = 0;
  const QmHost::SearchedSite* first = sites ? sites(&count) : nullptr;
  return std::vector<QmHost::SearchedSite>(first, first + count);
}

// Where the pattern matches in the module (null: nowhere); a second match fails.
uint8_t* FindOnce(HMODULE module, const char* text) {
  Quillmend::TBytePattern pattern = Quillmend::ParsePattern(text);
  auto* match = static_cast<uint8_t*>(Quillmend::FindMethodPtr(module, pattern, 0));
  if (match) {
    EXPECT_EQ(Quillmend::FindMethodPtr(match + 1, pattern, 0), nullptr) << "second match";
  }
  return match;
}

int Mismatches(const uint8_t* at, const char* text) {
  Quillmend::TBytePattern pattern = Quillmend::ParsePattern(text);
  int count = 0;
  for (size_t i = 0; i < pattern.size(); ++i) count += pattern[i] >= 0 && at[i] != uint8_t(pattern[i]);
  return count;
}

} // namespace

TEST(DesignerShellPatterns, EachMatchesOnceAtItsRoutineWithinItsWindow) {
  DesignerStandIns::Load();
  size_t declared = 0;
  for (const TModule& m : Modules) {
    HMODULE module = GetModuleHandleW(m.File);
    for (const QmHost::SearchedSite& site : SitesOf(module, m.SitesExport)) {
      const TSitePattern* row = RowOf(site.Name);
      if (!row) continue;  // another subsystem's routine
      SCOPED_TRACE(site.Name);
      EXPECT_EQ(FindOnce(module, row->Pattern), site.Address);
      if (row->From) {
        auto* from = reinterpret_cast<uint8_t*>(GetProcAddress(module, row->From));
        ASSERT_NE(from, nullptr);
        EXPECT_GE(static_cast<uint8_t*>(site.Address), from - row->Before);
        EXPECT_LE(static_cast<uint8_t*>(site.Address) - from + int32_t(Quillmend::ParsePattern(row->Pattern).size()),
                  row->Window);
      }
      ++declared;
    }
  }
  EXPECT_EQ(declared, std::size(SitePatterns));
}

TEST(DesignerShellPatterns, EachVariantAltersOnlyItsOwnRoutine) {
  DesignerStandIns::Load();
  size_t variants = 0;
  for (const TModule& m : Modules) {
    for (const QmHost::SearchedSite& altered : SitesOf(GetModuleHandleW(m.File), m.SitesExport)) {
      if (!RowOf(altered.Name)) continue;
      SCOPED_TRACE(altered.Variant);
      std::wstring path = BuildDirectory() + L"\\host-variants\\" +
                          std::wstring(altered.Variant, altered.Variant + strlen(altered.Variant)) + L"\\" + m.File;
      HMODULE variant = LoadLibraryW(path.c_str());
      ASSERT_NE(variant, nullptr);
      ++variants;
      for (const QmHost::SearchedSite& site : SitesOf(variant, m.SitesExport)) {
        const TSitePattern* row = RowOf(site.Name);
        if (!row) continue;
        SCOPED_TRACE(site.Name);
        if (std::strcmp(site.Name, altered.Name) == 0) {
          EXPECT_EQ(FindOnce(variant, row->Pattern), nullptr);
          EXPECT_EQ(Mismatches(static_cast<uint8_t*>(site.Address), row->Pattern), 1);
        } else {
          EXPECT_EQ(FindOnce(variant, row->Pattern), site.Address);
        }
      }
      FreeLibrary(variant);
    }
  }
  EXPECT_EQ(variants, std::size(SitePatterns));
}

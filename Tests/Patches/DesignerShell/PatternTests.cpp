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
#include "SiteChecks.h"

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
    {"ComponentRootFindItemParent", P::ItemParentContainerTest, L"designide150.bpl", E::FindItemParent,
     P::ItemParentWindow},
    {"ComponentRootDeleteSelection", P::DeleteSelectionSelect, L"designide150.bpl", E::DeleteSelection,
     P::DeleteSelectionWindow},
    {"ComponentRootIsRootSelected", P::RootSelectionHolder, L"designide150.bpl", E::IsRootSelected,
     P::RootSelectionWindow},
    {"ListItemsReadItemData", P::ListItemsReadByte, L"vcl150.bpl", E::ListItemsDefineProperties, P::ListItemsWindow},
    {"CompileBProgress", P::BProgressCancelExchange, L"coreide150.bpl", E::BProgress, P::BProgressWindow},
    {"SearchInFilesText", P::SearchTextUtf8, L"coreide150.bpl", nullptr, 0},
    {"FileRemovalSwitchTextToForm", P::FileRemovalSwitch, L"delphicoreide150.bpl", E::SwapSourceFormView,
     P::FileRemovalWindow - P::FileRemovalBefore, P::FileRemovalBefore},
};

const TSitePattern* RowOf(const char* site) {
  for (const TSitePattern& row : SitePatterns)
    if (std::strcmp(row.Site, site) == 0) return &row;
  return nullptr;
}

const std::vector<SiteChecks::TSiteModule> Modules = {{L"designide150.bpl", "DesignIdePatternSites"},
                                                     {L"coreide150.bpl", "CoreIdePatternSites"},
                                                     {L"delphicoreide150.bpl", "DelphiCorePatternSites"},
                                                     {L"vcl150.bpl", "VclPatternSites"}};

const char* PatternOfSite(const SiteChecks::TSiteModule&, const char* site) {
  const TSitePattern* row = RowOf(site);
  return row ? row->Pattern : nullptr;
}

} // namespace

TEST(DesignerShellPatterns, EachMatchesOnceAtItsRoutineWithinItsWindow) {
  DesignerStandIns::Load();
  const size_t declared = SiteChecks::ExpectEachMatchesOnceAtItsSite(
      Modules, &PatternOfSite, [](HMODULE module, const QmHost::SearchedSite& site, const char* pattern) {
        const TSitePattern* row = RowOf(site.Name);
        if (!row->From) return;
        auto* from = reinterpret_cast<uint8_t*>(GetProcAddress(module, row->From));
        ASSERT_NE(from, nullptr);
        EXPECT_GE(static_cast<uint8_t*>(site.Address), from - row->Before);
        EXPECT_LE(static_cast<uint8_t*>(site.Address) - from + int32_t(Quillmend::ParsePattern(pattern).size()),
                  row->Window);
      });
  EXPECT_EQ(declared, std::size(SitePatterns));
}

TEST(DesignerShellPatterns, EachVariantAltersOnlyItsOwnRoutine) {
  DesignerStandIns::Load();
  const size_t variants = SiteChecks::ExpectEachVariantAltersOnlyItsOwnRoutine(Modules, &PatternOfSite);
  EXPECT_EQ(variants, std::size(SitePatterns));
}

// Every pattern of the IDE corrections is found exactly once in its stand-in
// module, at the routine it is meant for; each variant re-encodes exactly its
// own routine. The modules' site tables also list other subsystems' routines.
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <vector>

#include "Patches/IdeCorrections/GDIResourcePatterns.h"
#include "Patches/IdeCorrections/HelpInsightPatterns.h"
#include "Patches/IdeCorrections/ParanMatchingPatterns.h"
#include "SiteChecks.h"
#include "StandIns.h"

namespace {

struct TSitePattern {
  const char* Site;
  const char* Pattern;
};

const TSitePattern SitePatterns[] = {
    {"ParanMatchingStart", Quillmend::ParanMatchingPatterns::Start},
    {"ParanMatchingCompare", Quillmend::ParanMatchingPatterns::Compare},
    {"ParanMatchingNesting", Quillmend::ParanMatchingPatterns::Nesting},
    {"ToolBarCreateBitmap", Quillmend::GDIResourcePatterns::ToolBarCreateBitmap},
    {"ToolBarDestroyFrees", Quillmend::GDIResourcePatterns::ToolBarDestroyFrees},
    {"ImageListInitializeBitmap", Quillmend::GDIResourcePatterns::ImageListInitializeBitmap},
    {"ImageListDestroyFrees", Quillmend::GDIResourcePatterns::ImageListDestroyFrees},
    {"ParseThreadWaitForWork", Quillmend::HelpInsightPatterns::WaitForWork},
};

const char* PatternOf(const char* site) {
  for (const TSitePattern& row : SitePatterns)
    if (std::strcmp(row.Site, site) == 0) return row.Pattern;
  return nullptr;
}

// The modules and, where a module's table also lists other subsystems'
// sites, the one site of these patches in it.
const std::vector<SiteChecks::TSiteModule> Modules = {
    {L"boreditu.dll", "BorEditPatternSites"}, {L"vcl150.bpl", "VclPatternSites"}, {L"coreide150.bpl", "CoreIdePatternSites"}};
const char* const CoreIdeSite = "ParseThreadWaitForWork";

const char* PatternOfSite(const SiteChecks::TSiteModule& module, const char* site) {
  if (std::wcscmp(module.File, L"coreide150.bpl") == 0 && std::strcmp(site, CoreIdeSite) != 0) return nullptr;
  return PatternOf(site);
}

} // namespace

TEST(IdeCorrectionsPatterns, EachMatchesOnceAtItsRoutine) {
  StandIns::Load();
  const size_t declared = SiteChecks::ExpectEachMatchesOnceAtItsSite(Modules, &PatternOfSite);
  EXPECT_EQ(declared, std::size(SitePatterns));
  // The fixed distances the loop's jumps require.
  auto* start = static_cast<uint8_t*>(StandIns::Editor().PatternSite("ParanMatchingStart"));
  EXPECT_EQ(StandIns::Editor().PatternSite("ParanMatchingCompare"), start + 125);
  EXPECT_EQ(StandIns::Editor().PatternSite("ParanMatchingNesting"), start + 175);
  // The wait is searched in the 512 bytes before the thread's constructor.
  HMODULE coreIde = GetModuleHandleW(L"coreide150.bpl");
  auto* ctor = reinterpret_cast<uint8_t*>(GetProcAddress(coreIde, "@Parserthread@TParseThread@$bctr$qqrv"));
  uint8_t* wait = nullptr;
  for (const QmHost::SearchedSite& site : SiteChecks::SitesOf(coreIde, "CoreIdePatternSites"))
    if (std::strcmp(site.Name, "ParseThreadWaitForWork") == 0) wait = static_cast<uint8_t*>(site.Address);
  ASSERT_NE(wait, nullptr);
  EXPECT_GE(wait, ctor - Quillmend::HelpInsightPatterns::WaitForWorkWindow);
  EXPECT_LT(wait + 58, ctor);
}

TEST(IdeCorrectionsPatterns, EachVariantAltersOnlyItsOwnRoutine) {
  StandIns::Load();
  EXPECT_EQ(SiteChecks::ExpectEachVariantAltersOnlyItsOwnRoutine(Modules, &PatternOfSite), std::size(SitePatterns));
}

// Every pattern of the IDE corrections is found exactly once in its stand-in
// module, at the routine it is meant for; each variant re-encodes exactly its
// own routine. The modules' site tables also list other subsystems' routines.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Hooking/PatternSearch.h"
#include "Patches/IdeCorrections/GDIResourcePatterns.h"
#include "Patches/IdeCorrections/HelpInsightPatterns.h"
#include "Patches/IdeCorrections/ParanMatchingPatterns.h"
#include "StandIns.h"
#include "TestPaths.h"

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

using TSitesFn = const QmHost::SearchedSite*(__stdcall*)(int* count);

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

struct TModule {
  const wchar_t* File;
  const char* SitesExport;
  const char* OnlySite;  // the module's one site of these patches (null: every site is one of theirs)
};
const TModule Modules[] = {{L"boreditu.dll", "BorEditPatternSites", nullptr},
                           {L"vcl150.bpl", "VclPatternSites", nullptr},
                           {L"coreide150.bpl", "CoreIdePatternSites", "ParseThreadWaitForWork"}};

bool Checked(const TModule& m, const QmHost::SearchedSite& site) {
  return !m.OnlySite || std::strcmp(site.Name, m.OnlySite) == 0;
}

} // namespace

TEST(IdeCorrectionsPatterns, EachMatchesOnceAtItsRoutine) {
  StandIns::Load();
  size_t declared = 0;
  for (const TModule& m : Modules) {
    HMODULE module = GetModuleHandleW(m.File);
    for (const QmHost::SearchedSite& site : SitesOf(module, m.SitesExport)) {
      if (!Checked(m, site)) continue;
      SCOPED_TRACE(site.Name);
      const char* pattern = PatternOf(site.Name);
      if (!pattern) continue;  // another subsystem's routine
      EXPECT_EQ(FindOnce(module, pattern), site.Address);
      ++declared;
    }
  }
  EXPECT_EQ(declared, std::size(SitePatterns));
  // The fixed distances the loop's jumps require.
  auto* start = static_cast<uint8_t*>(StandIns::Editor().PatternSite("ParanMatchingStart"));
  EXPECT_EQ(StandIns::Editor().PatternSite("ParanMatchingCompare"), start + 125);
  EXPECT_EQ(StandIns::Editor().PatternSite("ParanMatchingNesting"), start + 175);
  // The wait is searched in the 512 bytes before the thread's constructor.
  HMODULE coreIde = GetModuleHandleW(L"coreide150.bpl");
  auto* ctor = reinterpret_cast<uint8_t*>(GetProcAddress(coreIde, "@Parserthread@TParseThread@$bctr$qqrv"));
  uint8_t* wait = nullptr;
  for (const QmHost::SearchedSite& site : SitesOf(coreIde, "CoreIdePatternSites"))
    if (std::strcmp(site.Name, "ParseThreadWaitForWork") == 0) wait = static_cast<uint8_t*>(site.Address);
  ASSERT_NE(wait, nullptr);
  EXPECT_GE(wait, ctor - Quillmend::HelpInsightPatterns::WaitForWorkWindow);
  EXPECT_LT(wait + 58, ctor);
}

TEST(IdeCorrectionsPatterns, EachVariantAltersOnlyItsOwnRoutine) {
  StandIns::Load();
  for (const TModule& m : Modules) {
    for (const QmHost::SearchedSite& altered : SitesOf(GetModuleHandleW(m.File), m.SitesExport)) {
      if (!Checked(m, altered) || !PatternOf(altered.Name)) continue;
      SCOPED_TRACE(altered.Variant);
      std::wstring path = BuildDirectory() + L"\\host-variants\\" +
                          std::wstring(altered.Variant, altered.Variant + strlen(altered.Variant)) + L"\\" + m.File;
      HMODULE variant = LoadLibraryW(path.c_str());
      ASSERT_NE(variant, nullptr);
      for (const QmHost::SearchedSite& site : SitesOf(variant, m.SitesExport)) {
        if (!Checked(m, site)) continue;
        SCOPED_TRACE(site.Name);
        const char* pattern = PatternOf(site.Name);
        if (!pattern) continue;
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
}

// Every pattern of the editor, parser and code-completion fixes is found
// exactly once in its stand-in module, at the routine it is meant for (the
// first 0x20000 bytes of the editor kernel for the undo's); each variant
// re-encodes exactly its own routine.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "EditorStandIns.h"
#include "Patches/EditorParser/EditorParserPatterns.h"
#include "SiteChecks.h"

namespace {

namespace P = Quillmend::EditorParserPatterns;

struct TSitePattern {
  const char* Site;
  const char* Pattern;
};

const TSitePattern SitePatterns[] = {
    {"UndoRangeStart", P::UndoRange},
    {"UndoGroupStart", P::UndoGroup},
    {"UndoGroupLoop", P::UndoLoop},
    {"ParseThreadParse", P::ParseFlag},
    {"HideBlockStart", "53 8B D8 8B 83 ?? ?? ?? ?? 85 C0"},
    {"RefactorMenuItemUpdate", P::RefactorMenuItemUpdate},
    {"EnsureSectionPublished", P::EnsureSectionPublished},
    {"ClassCompletionA", P::ClassCompletionA},
    {"ClassCompletionB", P::ClassCompletionB},
    {"ClassCompletionC", P::ClassCompletionC},
};

const char* PatternOf(const char* site) {
  for (const TSitePattern& row : SitePatterns)
    if (std::strcmp(row.Site, site) == 0) return row.Pattern;
  return nullptr;
}

const std::vector<SiteChecks::TSiteModule> Modules = {{L"boreditu.dll", "BorEditPatternSites"},
                                                       {L"coreide150.bpl", "CoreIdePatternSites"},
                                                       {L"refactoride150.bpl", "RefactorPatternSites"},
                                                       {L"delphicoreide150.bpl", "DelphiCorePatternSites"}};

const char* PatternOfSite(const SiteChecks::TSiteModule&, const char* site) { return PatternOf(site); }

} // namespace

TEST(EditorParserPatterns, EachMatchesOnceAtItsRoutine) {
  EditorStandIns::Load();
  const size_t declared = SiteChecks::ExpectEachMatchesOnceAtItsSite(Modules, &PatternOfSite);
  EXPECT_EQ(declared, std::size(SitePatterns));
  // Where the plans look: the undo's within the kernel's first 0x20000 bytes,
  // the loop within 256 bytes of the undo routine, C within 8192 bytes of B.
  auto site = [](const wchar_t* module, const char* exportName, const char* name) {
    for (const QmHost::SearchedSite& s : SiteChecks::SitesOf(GetModuleHandleW(module), exportName))
      if (std::strcmp(s.Name, name) == 0) return static_cast<uint8_t*>(s.Address);
    return static_cast<uint8_t*>(nullptr);
  };
  auto* kernel = reinterpret_cast<uint8_t*>(GetModuleHandleW(L"boreditu.dll"));
  EXPECT_LT(site(L"boreditu.dll", "BorEditPatternSites", "UndoRangeStart") - kernel, P::UndoSearchLimit);
  EXPECT_LT(site(L"boreditu.dll", "BorEditPatternSites", "UndoGroupStart") - kernel, P::UndoSearchLimit);
  EXPECT_LT(site(L"boreditu.dll", "BorEditPatternSites", "UndoGroupLoop") -
                site(L"boreditu.dll", "BorEditPatternSites", "UndoGroupStart"),
            P::UndoLoopWindow);
  EXPECT_LT(site(L"delphicoreide150.bpl", "DelphiCorePatternSites", "ClassCompletionC") -
                site(L"delphicoreide150.bpl", "DelphiCorePatternSites", "ClassCompletionB"),
            P::ClassCompletionCWindow);
}

TEST(EditorParserPatterns, EachVariantAltersOnlyItsOwnRoutine) {
  EditorStandIns::Load();
  const size_t variants = SiteChecks::ExpectEachVariantAltersOnlyItsOwnRoutine(Modules, &PatternOfSite);
  EXPECT_EQ(variants, std::size(SitePatterns));
}

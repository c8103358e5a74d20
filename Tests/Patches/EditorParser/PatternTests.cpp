// Every pattern of the editor, parser and code-completion fixes is found
// exactly once in its stand-in module, at the routine it is meant for (the
// first 0x20000 bytes of the editor kernel for the undo's); each variant
// re-encodes exactly its own routine.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "EditorStandIns.h"
#include "Hooking/PatternSearch.h"
#include "Patches/EditorParser/EditorParserPatterns.h"
#include "TestPaths.h"

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
};
const TModule Modules[] = {{L"boreditu.dll", "BorEditPatternSites"},
                           {L"coreide150.bpl", "CoreIdePatternSites"},
                           {L"refactoride150.bpl", "RefactorPatternSites"},
                           {L"delphicoreide150.bpl", "DelphiCorePatternSites"}};

} // namespace

TEST(EditorParserPatterns, EachMatchesOnceAtItsRoutine) {
  EditorStandIns::Load();
  size_t declared = 0;
  for (const TModule& m : Modules) {
    HMODULE module = GetModuleHandleW(m.File);
    for (const QmHost::SearchedSite& site : SitesOf(module, m.SitesExport)) {
      const char* pattern = PatternOf(site.Name);
      if (!pattern) continue;  // another subsystem's routine
      SCOPED_TRACE(site.Name);
      EXPECT_EQ(FindOnce(module, pattern), site.Address);
      ++declared;
    }
  }
  EXPECT_EQ(declared, std::size(SitePatterns));
  // Where the plans look: the undo's within the kernel's first 0x20000 bytes,
  // the loop within 256 bytes of the undo routine, C within 8192 bytes of B.
  auto site = [](const wchar_t* module, const char* exportName, const char* name) {
    for (const QmHost::SearchedSite& s : SitesOf(GetModuleHandleW(module), exportName))
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
  size_t variants = 0;
  for (const TModule& m : Modules) {
    for (const QmHost::SearchedSite& altered : SitesOf(GetModuleHandleW(m.File), m.SitesExport)) {
      if (!PatternOf(altered.Name)) continue;
      SCOPED_TRACE(altered.Variant);
      std::wstring path = BuildDirectory() + L"\\host-variants\\" +
                          std::wstring(altered.Variant, altered.Variant + strlen(altered.Variant)) + L"\\" + m.File;
      HMODULE variant = LoadLibraryW(path.c_str());
      ASSERT_NE(variant, nullptr);
      ++variants;
      for (const QmHost::SearchedSite& site : SitesOf(variant, m.SitesExport)) {
        const char* pattern = PatternOf(site.Name);
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
  EXPECT_EQ(variants, std::size(SitePatterns));
}

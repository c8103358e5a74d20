// The palette searches and item access, unpatched and patched: the unpatched
// host is the reference for every answer.
#include <gtest/gtest.h>

#include "Framework/PatchRegistry.h"
#include "Hooking/PatternSearch.h"
#include "Patches/IdeCollections/IDEInterfaceSpeedFix.h"
#include "Patches/IdeCollections/IdeCollectionsPatterns.h"
#include "StandInIde.h"
#include "TestPaths.h"

using namespace StandInIde;

namespace {

// Method 16 of a palette group: its item by index (TBasePaletteGroup.GetItem).
void GroupItem(void* group, int32_t index, void** result) {
  reinterpret_cast<PaletteDriver::GetItemFn>((*static_cast<void* const* const*>(group))[PaletteDriver::Slot::Item])(
      group, index, result);
}

void LoadPackages() {
  for (const std::wstring& module : Modules())
    ASSERT_NE(LoadLibraryW((BuildDirectory() + L"\\host\\" + module).c_str()), nullptr);
  Bind();
}

void InstallWith(const wchar_t* disabled) {
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", disabled);
  InstallAll();
}

// Every item of the palette looked up every way: by name and unit,
// recursive or not, from the root or its own group, as a group search.
std::vector<std::wstring> AllAnswers(const TPalette& p, int groups, int items) {
  std::vector<std::wstring> answers;
  for (int g = 0; g < groups; ++g)
    for (int i = 0; i < items; ++i) {
      const std::wstring name = PaletteItemName(g, i), unit = PaletteUnitName(g);
      answers.push_back(FindItem(p, name, unit, true));
      answers.push_back(FindItem(p, name, unit, false));
      answers.push_back(FindItem(p, name, unit, false, p.Groups[size_t(g)]));
      answers.push_back(FindItemGroup(p, name, unit));
      answers.push_back(FindItem(p, name, L"Other.pas", true));
    }
  answers.push_back(FindItem(p, L"deep", L"DEEP.PAS", true));
  answers.push_back(FindItemGroup(p, L"Deep", L"Deep.pas"));
  return answers;
}

TEST(PaletteSearch, AnswersAsTheHostForEveryItemKind) {
  LoadPackages();
  TPalette palette(7, 14);
  const std::vector<std::wstring> host = AllAnswers(palette, 7, 14);
  InstallWith(L"");
  ASSERT_TRUE(Quillmend::IsPatchApplied(L"IDE.IntfCastReduction"));
  EXPECT_EQ(AllAnswers(palette, 7, 14), host);
  // Spot checks of what the host answers (item 0_0 is a plain TBasePaletteItem, not a component).
  EXPECT_EQ(host[0], L"nil");
  EXPECT_EQ(host[5], L"Item0_1");
  EXPECT_EQ(host[5 + 3], L"Group0");
  EXPECT_EQ(host[5 + 4], L"nil");
  EXPECT_EQ(host[host.size() - 2], L"Deep");
  EXPECT_EQ(host.back(), L"Nested");
}

TEST(PaletteSearch, NotRecursiveStaysInTheGroupAndGroupSearchAnswersTheGroup) {
  LoadPackages();
  InstallWith(L"");
  TPalette palette(3, 5);
  EXPECT_EQ(FindItem(palette, L"Deep", L"Deep.pas", false), L"nil");
  EXPECT_EQ(FindItem(palette, L"Deep", L"Deep.pas", true), L"Deep");
  EXPECT_EQ(FindItem(palette, PaletteItemName(1, 2), PaletteUnitName(1), false), L"nil");
  EXPECT_EQ(FindItem(palette, PaletteItemName(1, 2), PaletteUnitName(1), false, palette.Groups[1]), L"Item1_2");
  EXPECT_EQ(FindItemGroup(palette, PaletteItemName(2, 4), PaletteUnitName(2)), L"Group2");
  EXPECT_EQ(FindItemGroup(palette, L"Deep", L"deep.PAS"), L"Nested");
}

// Items of one class derived from TBasePaletteItem: the patched search asks
// QueryInterface a fixed number of times per class, the host once or more per item.
TEST(PaletteSearch, AClassIsQueriedOncePerSearch) {
  LoadPackages();
  const TDriver& d = Driver();
  void* root = d.NewGroup(PaletteDriver::BaseGroup, L"Root");
  for (int i = 0; i < 200; ++i) {
    std::wstring name = L"C" + std::to_wstring(i);
    void* item = d.NewItem(PaletteDriver::ComponentItem, name.c_str(), name.c_str(), L"U.pas", 1);
    d.GroupAdd(root, item);
    IntfRelease(item);
  }
  TPalette empty(0, 0);
  Driver().FreeManager(empty.Manager);
  empty.Manager = d.NewManager(root);
  auto queriesFor = [&](const wchar_t* name) {
    uint32_t before = d.QueryCount();
    EXPECT_EQ(FindItem(empty, name, L"u.pas", true), std::wstring(name));
    return d.QueryCount() - before;
  };
  const uint32_t host = queriesFor(L"C199");
  InstallWith(L"");
  const uint32_t patched = queriesFor(L"C199");
  EXPECT_GE(host, 200u);
  EXPECT_LE(patched, 3u) << "one class: its two interfaces asked once, the match's group at most";
  IntfRelease(root);
}

struct TGetItemCase {
  const wchar_t* Disabled;
  int32_t Index;
};

class PaletteGetItem : public testing::TestWithParam<TGetItemCase> {};

// GetItem outside the list raises the list-index error with the host's text:
// the host's own routine, through the list's Get, and without the lock.
TEST_P(PaletteGetItem, OutOfRangeRaisesTheListIndexError) {
  LoadPackages();
  const TGetItemCase& c = GetParam();
  if (c.Disabled) InstallWith(c.Disabled);
  void* group = Driver().NewGroup(PaletteDriver::BaseGroup, L"G");
  for (int i = 0; i < 3; ++i) {
    void* item = Driver().NewItem(PaletteDriver::ComponentItem, L"I", L"I", L"U", 1);
    Driver().GroupAdd(group, item);
    IntfRelease(item);
  }
  struct TCall {
    void* Group;
    int32_t Index;
  } call{group, c.Index};
  std::wstring raised = HostRaise(
      [](void* data) {
        auto* call = static_cast<TCall*>(data);
        void* result = nullptr;
        GroupItem(call->Group, call->Index, &result);
        IntfRelease(result);
      },
      &call);
  EXPECT_EQ(raised, L"EListError: List index out of bounds (" + std::to_wstring(c.Index) + L")");
  IntfRelease(group);
}

INSTANTIATE_TEST_SUITE_P(PaletteSearch, PaletteGetItem,
                         testing::Values(TGetItemCase{nullptr, -1}, TGetItemCase{nullptr, 3},
                                         TGetItemCase{L"IDE.IntfCastReduction.MoreSpeed", -1},
                                         TGetItemCase{L"IDE.IntfCastReduction.MoreSpeed", 3}, TGetItemCase{L"", -1},
                                         TGetItemCase{L"", 3}));

// An item whose name cannot be read raises inside the locked scan of its
// group: the host exception reaches the caller and the list is unlocked.
TEST(PaletteSearch, AHostExceptionInALockedScanLeavesTheListUnlocked) {
  LoadPackages();
  InstallWith(L"");
  TPalette palette(2, 7);
  void* list = Driver().GroupItems(palette.Groups[0]);
  void* foreign = nullptr;  // item 5 of group 0 is a TForeignPaletteItem: read through its interface
  GroupItem(palette.Groups[0], 5, &foreign);
  Driver().SetRaising(foreign, 1);
  std::wstring raised = HostRaise(
      [](void* data) { FindItem(*static_cast<TPalette*>(data), L"Item1_3", L"Unit1.pas", true); }, &palette);
  EXPECT_EQ(raised, L"Exception: Palette item cannot be read");
  auto* lock = reinterpret_cast<CRITICAL_SECTION*>(*reinterpret_cast<char**>(static_cast<char*>(list) + 12) + 8);
  EXPECT_EQ(lock->RecursionCount, 0);
  EXPECT_EQ(lock->OwningThread, nullptr);
  Driver().SetRaising(foreign, 0);
  EXPECT_EQ(FindItem(palette, L"Item1_3", L"Unit1.pas", true), L"Item1_3");
  IntfRelease(foreign);
}

// The object behind each stub form, as the stand-in made it.
TEST(PaletteSearch, InterfaceToObjectDecodesEveryStubForm) {
  LoadPackages();
  InstallWith(L"");
  for (int kind = 0; kind < PaletteDriver::ItemKindCount; ++kind) {
    SCOPED_TRACE(kind);
    void* item = Driver().NewItem(kind, L"N", L"N", L"U", 1);
    void* object = Quillmend::InterfaceToObject(item);
    if (kind == PaletteDriver::OpaqueItem) {
      EXPECT_EQ(object, nullptr);
    } else {
      ASSERT_NE(object, nullptr);
      // The stand-in's item name lies at +16 of every palette object.
      EXPECT_EQ(TextOf(*reinterpret_cast<wchar_t**>(static_cast<char*>(object) + 16)), L"N");
    }
    IntfRelease(item);
  }
  EXPECT_EQ(Quillmend::InterfaceToObject(nullptr), nullptr);
}

// Disabled, the parent takes its child with it: "MoreSpeed" is not even registered.
TEST(PaletteSearch, MoreSpeedIsRegisteredOnlyInsideItsParent) {
  LoadPackages();
  InstallWith(L"IDE.IntfCastReduction");
  EXPECT_FALSE(Quillmend::IsPatchRegistered(L"IDE.IntfCastReduction.MoreSpeed"));
}

struct TPatternCase {
  const wchar_t* Module;
  const char* Site;
  const char* Pattern;
  int32_t Offset;  // of the match from the site
};

class SearchedBytes : public testing::TestWithParam<TPatternCase> {};

// Each pattern matches exactly once in its module, where its routine's searched bytes begin.
TEST_P(SearchedBytes, MatchOnceAtTheirRoutine) {
  LoadPackages();
  const TPatternCase& c = GetParam();
  HMODULE module = GetModuleHandleW(c.Module);
  auto* base = reinterpret_cast<uint8_t*>(module);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  Quillmend::TBytePattern pattern = Quillmend::ParsePattern(c.Pattern);
  std::vector<uint8_t*> matches;
  for (int s = 0; s < nt->FileHeader.NumberOfSections; ++s, ++section) {
    if (!(section->Characteristics & IMAGE_SCN_MEM_EXECUTE)) continue;
    uint8_t* start = base + section->VirtualAddress;
    for (uint32_t at = 0; at + pattern.size() <= section->Misc.VirtualSize; ++at) {
      bool match = true;
      for (size_t k = 0; k < pattern.size() && match; ++k) match = pattern[k] < 0 || start[at + k] == uint8_t(pattern[k]);
      if (match) matches.push_back(start + at);
    }
  }
  auto site = reinterpret_cast<void* (__stdcall*)(const char*)>(
      reinterpret_cast<void*>(GetProcAddress(module, std::wstring(c.Module) == L"coreide150.bpl" ? "CoreIdePatternSite"
                                                     : std::wstring(c.Module) == L"vclide150.bpl" ? "VclIdePatternSite"
                                                                                                  : "DelphiCorePatternSite")));
  ASSERT_EQ(matches.size(), 1u);
  EXPECT_EQ(matches[0], static_cast<uint8_t*>(site(c.Site)) + c.Offset);
}

INSTANTIATE_TEST_SUITE_P(
    IdeCollections, SearchedBytes,
    testing::Values(
        TPatternCase{L"coreide150.bpl", "TBasePaletteGroupClear", Quillmend::IdeCollectionsPatterns::PaletteGroupClear, 0},
        TPatternCase{L"coreide150.bpl", "ItemGroupAddItem", Quillmend::IdeCollectionsPatterns::AddItemCheckAndWarn, 0},
        TPatternCase{L"coreide150.bpl", "PropertyGroupAddProperty",
                     Quillmend::IdeCollectionsPatterns::AddPropertyCheckAndWarn, 0},
        TPatternCase{L"vclide150.bpl", "StringHashTableCreate", Quillmend::IdeCollectionsPatterns::StringHashTableCreate, 0},
        TPatternCase{L"delphicoreide150.bpl", "UsesListCreate", Quillmend::IdeCollectionsPatterns::UsesListCreateIndex,
                     0}),
    [](const testing::TestParamInfo<TPatternCase>& info) { return std::string(info.param.Site); });

}  // namespace

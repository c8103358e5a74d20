// String hash tables, MSBuild groups, the component tool bar and the
// notifier lists, unpatched and patched.
#include <gtest/gtest.h>

#include "Common/HostRtl.h"
#include "Framework/LibraryEntry.h"
#include "Framework/PatchRegistry.h"
#include "Hooking/StringHash.h"
#include "Patches/IdeCollections/CompToolbarSpeedFix.h"
#include "Patches/IdeCollections/IDECollectionOptimization.h"
#include "StandInIde.h"
#include "TestPaths.h"

using namespace StandInIde;

namespace {

void LoadPackages(bool withToolbar = true) {
  for (const std::wstring& module : Modules()) {
    if (!withToolbar && module == L"comptoolbar150.bpl") continue;
    ASSERT_NE(LoadLibraryW((BuildDirectory() + L"\\host\\" + module).c_str()), nullptr);
  }
  Bind();
}

void InstallWith(const wchar_t* disabled) {
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", disabled);
  InstallAll();
}

template <class T>
T Field(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

std::vector<wchar_t*> Keys(int from, int count) {
  std::vector<wchar_t*> keys;
  for (int i = from; i < from + count; ++i) keys.push_back(HostText(L"Key" + std::to_wstring(i)));
  return keys;
}

// A table made before the pack: its first addition converts it to our hash
// (rehashed once); old and new keys are found, in either case.
TEST(StringHashTables, ATableFromBeforeThePackIsRehashedOnItsFirstAddition) {
  LoadPackages();
  const TDriver& d = Driver();
  void* table = d.NewTable(0, 101);
  std::vector<wchar_t*> old = Keys(0, 300), fresh = Keys(300, 50);
  for (size_t i = 0; i < old.size(); ++i) d.TableAdd(table, old[i], reinterpret_cast<void*>(i + 1));
  InstallWith(L"");
  ASSERT_TRUE(Quillmend::IsPatchApplied(L"IDE.Collections.StrHash"));
  EXPECT_NE(Field<void*>(table, 0x38), reinterpret_cast<void*>(&Quillmend::HostHashTextI)) << "not converted yet";
  for (size_t i = 0; i < fresh.size(); ++i) d.TableAdd(table, fresh[i], reinterpret_cast<void*>(1000 + i));
  EXPECT_EQ(Field<void*>(table, 0x38), reinterpret_cast<void*>(&Quillmend::HostHashTextI));
  for (size_t i = 0; i < old.size(); ++i) EXPECT_EQ(d.TableFind(table, old[i]), reinterpret_cast<void*>(i + 1));
  for (size_t i = 0; i < fresh.size(); ++i) EXPECT_EQ(d.TableFind(table, fresh[i]), reinterpret_cast<void*>(1000 + i));
  wchar_t* upper = HostText(L"KEY42");
  EXPECT_EQ(d.TableFind(table, upper), reinterpret_cast<void*>(43));
  Release(upper);
  // Every entry's stored hash is ours.
  auto** buckets = Field<HashTableDriver::Entry**>(table, 0x2C);
  for (uint32_t b = 0; b < 101; ++b)
    for (auto* e = buckets[b]; e; e = e->Next) {
      EXPECT_EQ(e->Hash, Quillmend::UnicodeHashTextI(e->Key));
      EXPECT_EQ(e->Hash % 101, b);
    }
  d.FreeTable(table);
  for (wchar_t*& k : old) Release(k);
  for (wchar_t*& k : fresh) Release(k);
}

TEST(StringHashTables, NewTablesHashWithOursFromTheirConstructor) {
  LoadPackages();
  InstallWith(L"");
  void* sensitive = Driver().NewTable(1, 17);
  void* insensitive = Driver().NewTable(0, 17);
  EXPECT_EQ(Field<void*>(sensitive, 0x38), reinterpret_cast<void*>(&Quillmend::HostHashText));
  EXPECT_EQ(Field<void*>(insensitive, 0x38), reinterpret_cast<void*>(&Quillmend::HostHashTextI));
  wchar_t* key = HostText(L"Name");
  wchar_t* other = HostText(L"NAME");
  Driver().TableAdd(sensitive, key, key);
  EXPECT_EQ(Driver().TableFind(sensitive, other), nullptr);
  EXPECT_EQ(Driver().TableFind(sensitive, key), key);
  Driver().FreeTable(sensitive);
  Driver().FreeTable(insensitive);
  Release(key);
  Release(other);
}

// An MSBuild group cleared with the patch: children freed, none of them
// unregistering one by one (the index is emptied at once), plain nodes as before.
TEST(MsbNodes, ClearingAGroupFreesItsChildrenAndEmptiesItsIndex) {
  for (bool patched : {false, true}) {
    SCOPED_TRACE(patched);
    if (patched) InstallWith(L"");
    else LoadPackages();
    const TDriver& d = Driver();
    const int alive = d.NodesAlive();
    void* group = d.NewItemGroup();
    for (int i = 0; i < 500; ++i) {
      wchar_t* n = HostText(L"File" + std::to_wstring(i) + L".pas");
      d.AddItem(group, n, nullptr);
      Release(n);
    }
    EXPECT_EQ(d.IndexCount(group), 500);
    EXPECT_NE(d.FindChild(group, L"FILE7.PAS"), nullptr);
    MsbNodesDriver::Bind<MsbNodesDriver::NodeClearFn>(GetModuleHandleW(L"coreide150.bpl"),
                                                      MsbNodesDriver::Export::NodeClear)(group);
    EXPECT_EQ(d.ChildCount(group), 0);
    EXPECT_EQ(d.IndexCount(group), 0);
    EXPECT_EQ(d.FindChild(group, L"File7.pas"), nullptr);
    EXPECT_EQ(d.NodesAlive(), alive + 1);
    void* node = d.NewNode(L"Plain");
    for (int i = 0; i < 20; ++i) d.AddChild(node, L"Child");
    QmHost::LoadedHostRtl()->objectFree(node);
    QmHost::LoadedHostRtl()->objectFree(group);
    EXPECT_EQ(d.NodesAlive(), alive);
  }
}

// With the patch, AddItem and AddProperty jump over the empty check's
// arguments: it is no longer called; the groups hold the same.
TEST(MsbNodes, CheckAndWarnIsNoLongerCalled) {
  LoadPackages();
  const TDriver& d = Driver();
  auto addBoth = [&] {
    void* items = d.NewItemGroup();
    void* properties = d.NewPropertyGroup();
    wchar_t* n = HostText(L"Name");
    wchar_t* v = HostText(L"$(Value)");
    d.AddItem(items, n, v);
    d.AddProperty(properties, n, v, nullptr);
    int count = d.ChildCount(items) + d.ChildCount(properties) + d.IndexCount(properties);
    Release(n);
    Release(v);
    QmHost::LoadedHostRtl()->objectFree(items);
    QmHost::LoadedHostRtl()->objectFree(properties);
    return count;
  };
  const int before = d.CheckAndWarnCalls();
  EXPECT_EQ(addBoth(), 3);
  EXPECT_EQ(d.CheckAndWarnCalls(), before + 2);
  InstallWith(L"");
  ASSERT_TRUE(Quillmend::IsPatchApplied(L"IDE.CheckAndWarn"));
  EXPECT_EQ(addBoth(), 3);
  EXPECT_EQ(d.CheckAndWarnCalls(), before + 2);
}

uint32_t FilledTabs(const TPalette&) {
  void* bar = Driver().NewToolbar();
  Driver().FillTabs(bar);
  uint32_t checksum = Driver().ToolbarChecksum(bar) ^ Driver().ToolbarFiled(bar);
  Driver().FreeToolbar(bar);
  return checksum;
}

// The tabs come out the same; the dictionary lives only while the tabs are filled.
TEST(CompToolbar, FillTabsFilesEveryItemAsTheHost) {
  LoadPackages();
  TPalette palette(9, 21);
  const uint32_t host = FilledTabs(palette);
  InstallWith(L"");
  ASSERT_TRUE(Quillmend::IsPatchApplied(L"IDE.CompToolbarSpeed"));
  EXPECT_EQ(FilledTabs(palette), host);
  // Outside FillTabs nothing is known: the empty answer.
  void* bar = Driver().NewToolbar();
  wchar_t buffer[64];
  auto nameOf = ToolbarDriver::Bind<ToolbarDriver::GroupNameOfFn>(GetModuleHandleW(L"comptoolbar150.bpl"),
                                                                  ToolbarDriver::Export::GroupNameOf);
  EXPECT_EQ(nameOf(bar, L"TComp3_1", buffer, 64), 0);
  Driver().FreeToolbar(bar);
}

// The patch registers before it looks for the package: without it, failed.
TEST(CompToolbar, WithoutThePackageThePatchFails) {
  LoadPackages(false);
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
  Quillmend::InstallCompToolbarSpeedFix();
  std::wstring reason;
  for (const Quillmend::TPatchReport& r : Quillmend::PatchReports())
    if (r.Name == L"IDE.CompToolbarSpeed") reason = r.Reason;
  EXPECT_FALSE(Quillmend::IsPatchApplied(L"IDE.CompToolbarSpeed"));
  EXPECT_EQ(reason, L"comptoolbar150.bpl: module not loaded");
}

TEST(CompToolbar, TheComparerIgnoresAsciiCaseOnly) {
  Quillmend::TSameTextComparer c;
  EXPECT_TRUE(c(std::wstring(L"TButton"), std::wstring(L"tBUTTON")));
  EXPECT_EQ(c(std::wstring(L"TButton")), c(std::wstring(L"TBUTTON")));
  EXPECT_FALSE(c(std::wstring(L"\x00C9"), std::wstring(L"\x00E9")));
  EXPECT_FALSE(c(std::wstring(L"Ab"), std::wstring(L"Abc")));
}

// Nil slots are reused in order, then the list grows; the same answers as the host's.
TEST(NotifierLists, AddToListReusesTheFirstNilSlot) {
  for (bool patched : {false, true}) {
    SCOPED_TRACE(patched);
    if (patched) InstallWith(L"");
    else LoadPackages();
    const TDriver& d = Driver();
    void* list = d.NewNotifierList();
    std::vector<void*> n;
    for (int i = 0; i < 8; ++i) n.push_back(d.NewNotifier());
    std::vector<int> indices;
    for (int i = 0; i < 5; ++i) indices.push_back(d.AddToList(list, n[size_t(i)]));
    using PutFn = void(__attribute__((regparm(3), stdcall))*)(void*, int32_t, void*);
    auto put = reinterpret_cast<PutFn>((*static_cast<void* const* const*>(list))[6]);
    put(list, 3, nullptr);
    put(list, 1, nullptr);
    for (int i = 5; i < 8; ++i) indices.push_back(d.AddToList(list, n[size_t(i)]));
    EXPECT_EQ(indices, (std::vector<int>{0, 1, 2, 3, 4, 1, 3, 5}));
    // The list holds its own references: the items outlive our releases until it goes.
    IntfRelease(list);
    for (void* x : n) IntfRelease(x);
  }
}

}  // namespace

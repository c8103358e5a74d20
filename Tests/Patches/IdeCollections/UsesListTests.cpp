// The uses list's index (TUsesListModuleHash) against a plain model over
// long random sequences, its growth and slot reuse, names differing in
// non-ASCII case, and the uses list's look-ups and clearing with the patch
// against the host's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <set>

#include "Common/HostRtl.h"
#include "Framework/PatchRegistry.h"
#include "Hooking/StringHash.h"
#include "Patches/IdeCollections/UsesListModuleHash.h"
#include "StandInIde.h"
#include "TestPaths.h"

using Quillmend::TUsesListModuleHash;
using namespace StandInIde;

namespace {

void LoadPackages() {
  for (const std::wstring& module : Modules())
    ASSERT_NE(LoadLibraryW((BuildDirectory() + L"\\host\\" + module).c_str()), nullptr);
  Bind();
  HMODULE rtl = GetModuleHandleW(L"rtl150.bpl");
  TUsesListModuleHash::SameFileName = reinterpret_cast<Quillmend::TSameFileName>(
      reinterpret_cast<void*>(GetProcAddress(rtl, "@Sysutils@SameFileName$qqrx20System@UnicodeStringt1")));
  TUsesListModuleHash::HostObjectClass = reinterpret_cast<void*>(GetProcAddress(rtl, "@System@TObject@"));
}

// A uses entry as the index reads it: the unit name at +0x40.
struct TFakeEntry {
  char Bytes[92] = {};
  explicit TFakeEntry(const std::wstring& unit) { Name() = HostText(unit); }
  ~TFakeEntry() { Release(Name()); }
  wchar_t*& Name() { return *reinterpret_cast<wchar_t**>(Bytes + 0x40); }
};

bool Same(const std::wstring& a, const std::wstring& b) {
  wchar_t* x = HostText(a);
  wchar_t* y = HostText(b);
  bool same = TUsesListModuleHash::SameFileName(x, y) != 0;
  Release(x);
  Release(y);
  return same;
}

std::set<void*> FoundEntries(const TUsesListModuleHash& hash, const std::wstring& name) {
  std::set<void*> found;
  wchar_t* key = HostText(name);
  for (int32_t e = hash.Find(key); e != -1; e = hash.FindNext(e)) EXPECT_TRUE(found.insert(hash.Entry(e).Obj).second);
  Release(key);
  return found;
}

const std::vector<std::wstring>& NamePool() {
  static const std::vector<std::wstring> names = {
      L"Unit1", L"UNIT1", L"unit1", L"Unit2", L"Forms", L"Vcl.Forms", L"System.SysUtils", L"SYSTEM.SYSUTILS",
      L"\x042E\x043D\x0438\x0442",  // Юнит
      L"\x044E\x043D\x0438\x0442",  // юнит
      L"\x0141\x00F3d\x017A",       // Łódź
      L"\x0142\x00F3d\x017A",       // łódź
      L"\x03A3\x03AF\x03C3\x03C5\x03C6\x03BF\x03C2",  // Σίσυφος
      L"\x03C3\x03AF\x03C3\x03C5\x03C6\x03BF\x03C2",  // σίσυφος
      L"Stra\x00DF" L"e", L"STRA\x00DF" L"E", L"A", L"B"};
  return names;
}

// Adds, removals (of present and absent entries), clears and finds in a
// random order; after every step the index finds exactly the model's
// entries of the same file name, and its counts agree.
TEST(UsesListModuleHash, LongRandomSequencesAgreeWithAPlainModel) {
  LoadPackages();
  for (uint32_t seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    std::mt19937 random(seed);
    TUsesListModuleHash* hash = TUsesListModuleHash::Create(16);
    std::vector<std::unique_ptr<TFakeEntry>> entries;
    std::vector<TFakeEntry*> live;
    const auto& pool = NamePool();
    for (int step = 0; step < 3000; ++step) {
      const uint32_t op = random() % 100;
      if (op < 45) {
        entries.push_back(std::make_unique<TFakeEntry>(pool[random() % pool.size()]));
        hash->Add(entries.back().get());
        live.push_back(entries.back().get());
      } else if (op < 70 && !entries.empty()) {
        TFakeEntry* victim = entries[random() % entries.size()].get();
        hash->Remove(victim);
        live.erase(std::remove(live.begin(), live.end(), victim), live.end());
      } else if (op < 71) {
        hash->Clear();
        live.clear();
      } else {
        const std::wstring& name = pool[random() % pool.size()];
        std::set<void*> expected;
        for (TFakeEntry* e : live)
          if (Same(TextOf(e->Name()), name)) expected.insert(e);
        ASSERT_EQ(FoundEntries(*hash, name), expected) << "step " << step;
      }
      ASSERT_EQ(hash->Count(), int32_t(live.size()));
      ASSERT_TRUE(hash->BucketCount() == 0 || hash->BucketCount() % 2 == 1);
      ASSERT_LE(hash->Used(), hash->Capacity());
    }
    TUsesListModuleHash::Destroy(hash, 1);
  }
}

TEST(UsesListModuleHash, GrowsFrom16To32To64WithOddBucketsKeepingEveryEntry) {
  LoadPackages();
  TUsesListModuleHash* hash = TUsesListModuleHash::Create(16);
  std::vector<std::unique_ptr<TFakeEntry>> entries;
  std::vector<std::pair<int32_t, int32_t>> sizes;
  for (int i = 0; i < 70; ++i) {
    entries.push_back(std::make_unique<TFakeEntry>(L"Unit" + std::to_wstring(i)));
    hash->Add(entries.back().get());
    if (sizes.empty() || sizes.back().first != hash->Capacity()) sizes.push_back({hash->Capacity(), hash->BucketCount()});
  }
  EXPECT_EQ(sizes, (std::vector<std::pair<int32_t, int32_t>>{{16, 17}, {32, 33}, {64, 65}, {96, 97}}));
  for (int i = 0; i < 70; ++i)
    EXPECT_EQ(FoundEntries(*hash, L"UNIT" + std::to_wstring(i)), std::set<void*>{entries[size_t(i)].get()});
  TUsesListModuleHash::Destroy(hash, 1);
}

TEST(UsesListModuleHash, ARemovedSlotIsReusedFirst) {
  LoadPackages();
  TUsesListModuleHash* hash = TUsesListModuleHash::Create(16);
  TFakeEntry a(L"A"), b(L"B"), c(L"C"), d(L"D");
  hash->Add(&a);
  hash->Add(&b);
  hash->Add(&c);
  hash->Remove(&b);
  EXPECT_EQ(hash->FreeList(), 1);
  hash->Add(&d);
  EXPECT_EQ(hash->Used(), 3);
  EXPECT_EQ(hash->FreeList(), -1);
  EXPECT_EQ(hash->Entry(1).Obj, &d);
  EXPECT_EQ(FoundEntries(*hash, L"b"), std::set<void*>{});
  EXPECT_EQ(FoundEntries(*hash, L"d"), std::set<void*>{&d});
  TUsesListModuleHash::Destroy(hash, 1);
}

// The file-name comparison folds case beyond ASCII; the hash must too, or a
// name would land in another bucket than its other spelling.
TEST(UsesListModuleHash, NamesDifferingInNonAsciiCaseShareTheirHash) {
  LoadPackages();
  const std::pair<const wchar_t*, const wchar_t*> pairs[] = {
      {L"\x042E\x043D\x0438\x0442", L"\x044E\x043D\x0438\x0442"},
      {L"\x0141\x00F3d\x017A", L"\x0142\x00F3d\x017A"}};
  for (auto [upper, lower] : pairs) {
    ASSERT_TRUE(Same(upper, lower));
    wchar_t* u = HostText(upper);
    wchar_t* l = HostText(lower);
    EXPECT_EQ(TUsesListModuleHash::KeyHash(u), TUsesListModuleHash::KeyHash(l));
    EXPECT_NE(Quillmend::UnicodeHashTextI(u), Quillmend::UnicodeHashTextI(l)) << "ASCII folding alone tells them apart";
    Release(u);
    Release(l);
  }
}

struct TUsesList {
  void* List;
  std::vector<void*> Entries;
  TUsesList(std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> units) : List(Driver().NewUsesList()) {
    for (auto [unit, file] : units) {
      Entries.push_back(Driver().NewEntry(unit, file));
      Driver().UsesAdd(List, Entries.back());
    }
  }
  ~TUsesList() {
    Driver().UsesFree(List);
    for (void* e : Entries) QmHost::LoadedHostRtl()->objectFree(e);
  }
  int Find(const wchar_t* name, const wchar_t* file, bool matchName) const {
    void* found = Driver().UsesFind(List, name, file, matchName);
    auto at = std::find(Entries.begin(), Entries.end(), found);
    return found ? int(at - Entries.begin()) : -1;
  }
};

struct TFindCase {
  const wchar_t* Name;
  const wchar_t* File;
  bool MatchName;
  int Expected;
};

// Entries: 0 Dup (C:\a\Dup.pas), 1 Dup (C:\b\Dup.pas), 2 Net (a UNC path),
// 3 юнит, 4 Other.
std::vector<int> FindAll(const std::vector<TFindCase>& cases) {
  TUsesList uses({{L"Dup", L"C:\\a\\Dup.pas"},
                  {L"Dup", L"C:\\b\\Dup.pas"},
                  {L"Net", L"\\\\server\\share\\src\\Net.pas"},
                  {L"\x044E\x043D\x0438\x0442", L"C:\\u\\x.pas"},
                  {L"Other", L"C:\\Other.pas"}});
  std::vector<int> found;
  for (const TFindCase& c : cases) found.push_back(uses.Find(c.Name, c.File, c.MatchName));
  return found;
}

const std::vector<TFindCase> FindCases = {
    {L"Dup", L"C:\\b\\Dup.pas", false, 1},                           // the one whose file matches
    {L"dup", L"c:\\A\\DUP.PAS", false, 0},                           // case ignored
    {L"Dup", L"C:\\c\\Dup.pas", false, -1},                          // no file matches
    {L"Dup", L"nowhere", true, 1},                                   // by name: the first the index holds
    {L"Net", L"\\\\SERVER\\share\\src\\sub\\..\\Net.pas", false, 2}, // another spelling of the UNC path
    {L"Net", L"\\\\server\\share\\Net.pas", false, -1},
    {L"\x042E\x043D\x0438\x0442", L"C:\\U\\X.PAS", false, 3},        // the name in its other case
    {L"Other", L"C:\\Other.pas", true, 4},
    {L"Missing", L"", true, -1},
};

TEST(UsesList, LookUpsAnswerAsTheHost) {
  LoadPackages();
  const std::vector<int> host = FindAll(FindCases);
  for (size_t i = 0; i < FindCases.size(); ++i) EXPECT_EQ(host[i], FindCases[i].Expected) << "case " << i;
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
  InstallAll();
  ASSERT_TRUE(Quillmend::IsPatchApplied(L"IDE.UsesList.Clear"));
  EXPECT_EQ(FindAll(FindCases), host);
}

TEST(UsesList, ClearEmptiesListAndIndexWithoutNotificationsAndKeepsTheClass) {
  LoadPackages();
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
  InstallAll();
  TUsesList empty({});
  Driver().UsesClear(empty.List);
  EXPECT_EQ(Driver().UsesCount(empty.List), 0);
  TUsesList uses({{L"A", L"a.pas"}, {L"B", L"b.pas"}, {L"C", L"c.pas"}});
  void* classRef = *static_cast<void**>(uses.List);
  auto* index = *reinterpret_cast<TUsesListModuleHash**>(static_cast<char*>(uses.List) + 0x10);
  EXPECT_EQ(*reinterpret_cast<void**>(index), TUsesListModuleHash::ClassRef()) << "made by the list's constructor";
  EXPECT_EQ(index->Count(), 3);
  Driver().UsesClear(uses.List);
  EXPECT_EQ(Driver().UsesCount(uses.List), 0);
  EXPECT_EQ(index->Count(), 0);
  EXPECT_EQ(*static_cast<void**>(uses.List), classRef);
  EXPECT_EQ(uses.Find(L"B", L"b.pas", true), -1);
  Driver().UsesAdd(uses.List, uses.Entries[1]);
  EXPECT_EQ(uses.Find(L"B", L"b.pas", false), 1);
}

}  // namespace

// "RTL.SystemOptimization", LoadResString: every text as the host loads it,
// each identifier loaded once per module (LoadStringW counted), 0 and 505
// sharing a slot, pointer identifiers, the module's resource instance,
// an unloaded module's texts purged (a module loaded at the same handle
// gives its own), and four threads at once.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "CallCounters.h"
#include "Patches/SystemUnit/SystemOptimize.h"
#include "StandInSystem.h"
#include "strmod/StringModules.h"

using namespace SystemTest;
using Quillmend::ResourceStringCache;
using Quillmend::TResourceStringCache;
using SystemUnitDriver::TResStringRec;

namespace {

class ResourceStrings : public testing::Test {
protected:
  void SetUp() override {
    LoadRuntime();
    Load = RuntimeExport<SystemUnitDriver::LoadResStringFn>(SystemUnitDriver::Export::LoadResString);
    CountLoadString();
  }
  std::wstring LoadRes(HINSTANCE* module, UINT_PTR id) {
    TResStringRec rec{module, id};
    wchar_t* result = nullptr;
    Load(&rec, &result);
    std::wstring text = Text(result);
    Release(result);
    return text;
  }
  // Text and LoadStringW calls of one request.
  std::pair<std::wstring, long> Counted(HINSTANCE* module, UINT_PTR id) {
    const long before = LoadStringCalls;
    std::wstring text = LoadRes(module, id);
    return {text, LoadStringCalls - before};
  }
  void Install() {
    InstallPatches();
    ASSERT_EQ(Status(L"RTL.SystemOptimization"), L"applied") << testing::PrintToString(Reason(L"RTL.SystemOptimization"));
  }
  SystemUnitDriver::LoadResStringFn Load = nullptr;
};

TEST_F(ResourceStrings, ZeroAnd505ShareASlotAndEachIsLoadedOnce) {
  ASSERT_EQ(TResourceStringCache::SlotOf(0), TResourceStringCache::SlotOf(505));
  EXPECT_NE(TResourceStringCache::SlotOf(0), TResourceStringCache::SlotOf(520));
  HINSTANCE module = LoadStringModule(StringModules::CopyName(2));
  Install();
  // Identifier 0 in an empty slot is loaded, not taken for the empty slot's.
  EXPECT_EQ(Counted(&module, 0), std::make_pair(std::wstring(L"A 0"), 1L));
  EXPECT_EQ(Counted(&module, 505), std::make_pair(std::wstring(L"A 505"), 1L));
  EXPECT_EQ(Counted(&module, 0), std::make_pair(std::wstring(L"A 0"), 0L));
  EXPECT_EQ(Counted(&module, 505), std::make_pair(std::wstring(L"A 505"), 0L));
  EXPECT_EQ(ResourceStringCache().CachedCount(module), 2);
}

TEST_F(ResourceStrings, EveryTextAsTheHostLoadsIt) {
  HINSTANCE modules[] = {LoadStringModule(StringModules::CopyName(3)), Runtime()};
  const UINT_PTR ids[] = {0, 1, 2, 3, 7, 505, 520, 4000, 65535};
  std::vector<std::wstring> host;
  for (HINSTANCE& module : modules)
    for (UINT_PTR id : ids) {
      auto [text, loads] = Counted(&module, id);
      EXPECT_EQ(loads, 1) << "the host loads every time";
      host.push_back(text);
    }
  EXPECT_EQ(host[0], L"A 0");
  EXPECT_EQ(host[3], L"") << "no such identifier";
  EXPECT_EQ(host[7].size(), size_t(TResourceStringCache::BufferLength - 1)) << "cut to the buffer";
  EXPECT_EQ(host[9 + 5], L"System text 505");
  Install();
  for (int round = 0; round < 2; ++round) {
    size_t i = 0;
    for (HINSTANCE& module : modules)
      for (UINT_PTR id : ids) {
        auto [text, loads] = Counted(&module, id);
        EXPECT_EQ(text, host[i++]) << id;
        EXPECT_EQ(loads, round == 0 ? 1 : 0) << id;
      }
  }
  // A text found in the cache costs the host no allocation.
  const long before = Allocations();
  wchar_t* result = nullptr;
  TResStringRec rec{&modules[0], 520};
  Load(&rec, &result);
  EXPECT_EQ(Allocations(), before);
  Release(result);
}

TEST_F(ResourceStrings, PointerIdentifiersAndNilAreAnsweredWithoutLoading) {
  Install();
  HINSTANCE module = Runtime();
  const wchar_t* literal = L"a text of its own";
  EXPECT_EQ(Counted(&module, reinterpret_cast<UINT_PTR>(literal)), std::make_pair(std::wstring(literal), 0L));
  EXPECT_EQ(ResourceStringCache().CachedCount(module), 0);
  wchar_t* result = NewString(L"old");
  Load(nullptr, &result);
  EXPECT_EQ(result, nullptr);
}

TEST_F(ResourceStrings, TheModulesResourceInstanceIsAskedOnce) {
  HINSTANCE module = LoadStringModule(StringModules::CopyName(4));
  HINSTANCE other = LoadStringModule(L"strmodb.dll");
  RuntimeExport<SystemUnitDriver::SetResourceInstanceFn>(SystemUnitDriver::Export::SetResourceInstance)(module, other);
  EXPECT_EQ(LoadRes(&module, 7), L"B 7");
  Install();
  EXPECT_EQ(LoadRes(&module, 7), L"B 7");
  EXPECT_EQ(LoadRes(&module, 1), L"B 1");
}

TEST_F(ResourceStrings, AnUnloadedModulesTextsGoAndAModuleInItsPlaceGivesItsOwn) {
  HINSTANCE module = LoadStringModule(StringModules::CopyName(1));
  Install();
  EXPECT_EQ(LoadRes(&module, 0), L"A 0");
  TResStringRec rec{&module, 520};
  wchar_t* held = nullptr;
  Load(&rec, &held);
  ASSERT_EQ(ResourceStringCache().CachedCount(module), 2);
  UnloadStringModule(module);
  EXPECT_EQ(ResourceStringCache().CachedCount(module), 0);
  EXPECT_EQ(Text(held), L"A 520") << "a text handed out stays with its holder";
  Release(held);
  HINSTANCE again = LoadStringModule(L"strmodb.dll");
  ASSERT_EQ(again, module) << "the other module did not land at the same handle";
  EXPECT_EQ(Counted(&again, 0), std::make_pair(std::wstring(L"B 0"), 1L));
  EXPECT_EQ(LoadRes(&again, 520), L"B 520");
}

TEST_F(ResourceStrings, FourThreadsLoadEachTextOnce) {
  HINSTANCE modules[] = {LoadStringModule(StringModules::CopyName(5)), LoadStringModule(StringModules::CopyName(6)),
                         Runtime()};
  Install();
  const long before = LoadStringCalls;
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 3000; ++i) {
        const size_t m = size_t(i / 6 + t) % 3;
        const unsigned id = StringModules::Identifiers[size_t(i + t) % 6];
        std::wstring expected = m == 2 ? (id == 2 || id == 7 ? L"" : L"System text " + std::to_wstring(id))
                                       : StringModules::Text(L"A", id);
        if (LoadRes(&modules[m], id) != expected) ++wrong[size_t(t)];
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
  EXPECT_EQ(LoadStringCalls - before, 3 * 6) << "each of 6 identifiers of 3 modules loaded once";
}

}  // namespace

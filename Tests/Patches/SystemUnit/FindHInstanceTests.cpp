// "RTL.FindHInstance": the ring answers as the host's FindHInstance does,
// asks the system only on a miss (VirtualQuery counted), evicts the oldest
// of 16 ranges, forgets an unloaded module's ranges, and leaves other
// threads to the system.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "CallCounters.h"
#include "Patches/SystemUnit/FindHInstanceCache.h"
#include "StandInSystem.h"
#include "strmod/StringModules.h"

using namespace SystemTest;
using SystemUnitDriver::FindHInstanceFn;

namespace {

class FindHInstance : public testing::Test {
protected:
  void SetUp() override {
    LoadRuntime();
    Find = RuntimeExport<FindHInstanceFn>(SystemUnitDriver::Export::FindHInstance);
    // One more module than the ring has places.
    for (int n = 1; n <= Quillmend::FindHInstanceRingSize + 1; ++n) Modules.push_back(LoadStringModule(StringModules::CopyName(n)));
    CountVirtualQuery();
  }
  // An address in a module's code section (a region of its own after the headers).
  static const void* InModule(HMODULE module) { return reinterpret_cast<const uint8_t*>(module) + 0x1010; }
  long Queries(const void* address, HINSTANCE& result) {
    const long before = VirtualQueryCalls;
    result = Find(address);
    return VirtualQueryCalls - before;
  }
  FindHInstanceFn Find = nullptr;
  std::vector<HMODULE> Modules;
};

TEST_F(FindHInstance, TheHostAsksTheSystemEveryTime) {
  HINSTANCE found;
  EXPECT_EQ(Queries(InModule(Modules[0]), found), 1);
  EXPECT_EQ(found, Modules[0]);
  EXPECT_EQ(Queries(InModule(Modules[0]), found), 1);
}

TEST_F(FindHInstance, SeventeenModulesInTurnEvictTheOldest) {
  InstallPatches();
  ASSERT_EQ(Status(L"RTL.FindHInstance"), L"applied") << Reason(L"RTL.FindHInstance");
  HINSTANCE found;
  for (HMODULE module : Modules) {
    EXPECT_EQ(Queries(InModule(module), found), 1);
    EXPECT_EQ(found, module);
  }
  // The last sixteen are in the ring, newest first.
  for (size_t i = Modules.size(); i-- > 1;) {
    EXPECT_EQ(Queries(InModule(Modules[i]), found), 0) << i;
    EXPECT_EQ(found, Modules[i]);
  }
  const std::vector<Quillmend::TModuleRangeEntry> ring = Quillmend::FindHInstanceRing();
  ASSERT_EQ(ring.size(), 16u);
  EXPECT_EQ(ring.front().Module, Modules.back());
  // The first one was the oldest: asked again, it takes the oldest place.
  EXPECT_EQ(Queries(InModule(Modules[0]), found), 1);
  EXPECT_EQ(found, Modules[0]);
  EXPECT_EQ(Queries(InModule(Modules[1]), found), 1) << "module 2 was the oldest left";
}

TEST_F(FindHInstance, AnswersLikeTheHostForNilFreeAndOwnMemory) {
  void* reserved = VirtualAlloc(nullptr, 0x10000, MEM_RESERVE, PAGE_NOACCESS);
  int local = 0;
  const void* addresses[] = {nullptr, reserved, &local, InModule(Modules[3]), InModule(GetModuleHandleW(nullptr)),
                             reinterpret_cast<const void*>(0x10)};
  std::vector<HINSTANCE> host;
  for (const void* address : addresses) host.push_back(Find(address));
  InstallPatches();
  for (int round = 0; round < 2; ++round)
    for (size_t i = 0; i < std::size(addresses); ++i) EXPECT_EQ(Find(addresses[i]), host[i]) << i << " " << round;
  HINSTANCE found;
  EXPECT_EQ(Queries(nullptr, found), 0);
  EXPECT_EQ(found, nullptr);
  VirtualFree(reserved, 0, MEM_RELEASE);
}

TEST_F(FindHInstance, AnUnloadedModulesRangesAreForgotten) {
  InstallPatches();
  HINSTANCE found;
  const void* address = InModule(Modules[5]);
  Find(address);
  ASSERT_EQ(Queries(address, found), 0);
  UnloadStringModule(Modules[5]);
  for (const Quillmend::TModuleRangeEntry& entry : Quillmend::FindHInstanceRing()) {
    if (entry.Module != Modules[5]) continue;
    EXPECT_EQ(entry.Start, 0u);
    EXPECT_EQ(entry.End, 0u);
  }
  // Its memory is free now: the system is asked and says so.
  EXPECT_EQ(Queries(address, found), 1);
  EXPECT_EQ(found, nullptr);
  // A module loaded in its place is found, not the one that left.
  HMODULE again = LoadStringModule(L"strmodb.dll");
  EXPECT_EQ(Find(InModule(again)), again);
}

TEST_F(FindHInstance, OtherThreadsAskTheSystemAndLeaveTheRingAlone) {
  InstallPatches();
  Find(InModule(Modules[0]));
  const std::vector<Quillmend::TModuleRangeEntry> before = Quillmend::FindHInstanceRing();
  std::vector<HINSTANCE> answers;
  long queries = 0;
  std::thread other([&] {
    for (HMODULE module : Modules) {
      const long start = VirtualQueryCalls;
      answers.push_back(Find(InModule(module)));
      queries += VirtualQueryCalls - start;
    }
  });
  other.join();
  EXPECT_EQ(queries, long(Modules.size()));
  for (size_t i = 0; i < Modules.size(); ++i) EXPECT_EQ(answers[i], Modules[i]);
  const std::vector<Quillmend::TModuleRangeEntry> after = Quillmend::FindHInstanceRing();
  for (size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(after[i].Start, before[i].Start);
    EXPECT_EQ(after[i].Module, before[i].Module);
  }
}

}  // namespace

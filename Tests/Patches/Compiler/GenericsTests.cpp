// "Compiler.Generics.Inst" and "Compiler.Linker.GenericsMatch" three ways
// against the stand-in compiler's generics routines, and their behaviour:
// answers compared with the compiler's own loops (run unpatched in the same
// process first), indexing that resumes where it stopped, owner switches,
// equal keys, the purge, null keys, and the linker's allocator.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Patches/Compiler/CompilerGenInstantiateOpt.h"
#include "Patches/Compiler/CompilerLinkerGenericsMatchOptimization.h"
#include "ThreeWayHarness.h"
#include "dcc150/DccGenericsDriver.h"

namespace {

const wchar_t* const Inst = L"Compiler.Generics.Inst";
const wchar_t* const Match = L"Compiler.Linker.GenericsMatch";

struct TRecord;
using TGenericsDriver = DccGenericsDriver::Driver<TRecord>;
TGenericsDriver g_driver;
const TGenericsDriver& D() { return g_driver; }

void BindLoaded() {
  const char* missing = nullptr;
  if (!g_driver.Bind(GetModuleHandleW(L"dcc150.dll"), &missing))
    throw std::runtime_error(std::string("dcc150.dll lacks ") + missing);
}

std::string Workload(int uses, int symbols) {
  char text[96];
  D().PrepareUses(uses, 20, 70, 3);
  int found = D().RunUses();
  uint32_t afterUses = D().Checksum();
  D().PrepareLink(symbols, 4);
  int entries = D().RunLink(1);
  std::snprintf(text, sizeof text, "uses %d %08X link %d %08X", found, unsigned(afterUses), entries,
                unsigned(D().Checksum()));
  D().Reset();
  return text;
}

void AlterOperand(const char* site, int32_t offset, uint32_t value) {
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  auto patternSite = reinterpret_cast<void*(__stdcall*)(const char*)>(
      reinterpret_cast<void*>(GetProcAddress(dcc, "DccPatternSite")));
  uint8_t* at = static_cast<uint8_t*>(patternSite(site)) + offset;
  DWORD old;
  VirtualProtect(at, 4, PAGE_EXECUTE_READWRITE, &old);
  std::memcpy(at, &value, 4);
  VirtualProtect(at, 4, old, &old);
}

const TThreeWaySubsystem& Generics() {
  static const TThreeWaySubsystem subsystem{{L"dcc150.dll"},
                                            [] { BindLoaded(); },
                                            [] {
                                              Quillmend::InstallGenInstantiate();
                                              Quillmend::InstallLinkerGenericsMatch();
                                            },
                                            [] { return Workload(9000, 3000); },
                                            {Inst, Match}};
  return subsystem;
}

const std::vector<TPatchRow> PatchRows = {{Inst, {}}, {Match, {}}};

const std::vector<TVariantRow> VariantRows = {
    {"geninst1", {Inst}},
    {"geninst2", {Inst}},
    {"genpurge", {Inst}},
    {"linkalloc", {Match}},
    {"linktable", {Match}},
    {"linkbucket", {Match}},
    {"linkpass1", {Match}},
    {"linkpass2", {Match}},
    // The first list at another offset of the owner record.
    {"geninst1-offset", {Inst}, [] { AlterOperand("GenericsInstance1", 0x08, 0x13C); }},
};

QM_THREE_WAY_TESTS(CompilerGenerics, Generics(), PatchRows, VariantRows)

// ---- behaviour -----------------------------------------------------------------------------

class Instantiations : public testing::Test {
protected:
  void SetUp() override {
    FRun.Load();
    D().Reset();
    Owner = D().NewOwner();
    Other = D().NewOwner();
    *D().GenericOwner = Owner;
  }
  void Install() {
    FRun.Install(L"");
    ASSERT_EQ(FRun.Status(Inst), L"applied");
  }
  // The serial of the node found or made (first list).
  static uint32_t Find1(uint32_t key, uint32_t value) {
    auto* node = reinterpret_cast<uint8_t*>(D().FindInstance1(key, value));
    return *reinterpret_cast<uint32_t*>(*reinterpret_cast<uint8_t**>(node + 4) + 4);
  }
  static uint32_t Find2(TRecord* key, uint32_t context) {
    return *reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(D().FindInstance2(key, context, 0)) + 0x14);
  }
  TThreeWayRun FRun{Generics()};
  TRecord* Owner = nullptr;
  TRecord* Other = nullptr;
};

TEST_F(Instantiations, GrownListIsIndexedFromWhereItStopped) {
  Install();
  for (uint32_t v = 1; v <= 50; ++v) Find1(0x1000 + v % 5, v);
  const uint64_t visited = Quillmend::InstanceCache1->Visited;
  EXPECT_EQ(visited, 49u) << "each search indexes the nodes appended since the one before";
  EXPECT_EQ(Find1(0x1003, 3), 3u);
  EXPECT_EQ(Quillmend::InstanceCache1->Visited, visited + 1) << "only the node appended last";
  for (int i = 0; i < 10; ++i) EXPECT_EQ(Find1(0x1000 + i % 5, 10 + uint32_t(i)), 11u + uint32_t(i) - 1);
  EXPECT_EQ(Quillmend::InstanceCache1->Visited, visited + 1);
}

TEST_F(Instantiations, OwnerSwitchDropsTheIndex) {
  Install();
  for (uint32_t v = 1; v <= 8; ++v) Find1(0x2000, v);
  *D().GenericOwner = Other;
  for (uint32_t v = 1; v <= 3; ++v) Find1(0x2000, v);
  EXPECT_EQ(Quillmend::InstanceCache1->Owner, static_cast<void*>(Other));
  const uint64_t visited = Quillmend::InstanceCache1->Visited;
  *D().GenericOwner = Owner;
  EXPECT_EQ(Find1(0x2000, 5), 5u) << "the first owner's node, not the other's";
  EXPECT_EQ(Quillmend::InstanceCache1->Visited, visited + 8) << "indexed afresh";
}

// A redeclared generic type gets a second node of the same key and context;
// the compiler tries them in list order, and so does the index.
TEST_F(Instantiations, EqualKeysAreTriedInListOrder) {
  auto answers = [this] {
    TRecord* key = D().NewKey(7);
    std::vector<uint32_t> serials;
    serials.push_back(Find2(key, 1));
    auto* signature = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(key) + 0x0C);
    *signature = 8;
    serials.push_back(Find2(key, 1));
    serials.push_back(Find2(key, 1));
    *signature = 7;
    serials.push_back(Find2(key, 1));
    serials.push_back(Find2(key, 2));
    return serials;
  };
  const std::vector<uint32_t> compiler = answers();
  EXPECT_EQ(compiler, (std::vector<uint32_t>{1, 2, 2, 1, 3}));
  D().Reset();
  *D().GenericOwner = D().NewOwner();
  Install();
  EXPECT_EQ(answers(), compiler);
}

TEST_F(Instantiations, PurgeDropsBothCaches) {
  Install();
  TRecord* key = D().NewKey(1);
  Find1(0x3000, 1);
  Find1(0x3000, 2 | 0x80000000u);  // temporary
  Find1(0x3000, 3);
  Find2(key, 1 | 0x80000000u);
  Find2(key, 2);
  ASSERT_NE(Quillmend::InstanceCache1->Owner, nullptr);
  ASSERT_NE(Quillmend::InstanceCache2->Owner, nullptr);
  D().SetState(Owner, 6);
  D().PurgeInstances(Owner);
  EXPECT_EQ(Quillmend::InstanceCache1->Owner, nullptr);
  EXPECT_EQ(Quillmend::InstanceCache2->Owner, nullptr);
  D().SetState(Owner, 1);
  EXPECT_EQ(Find1(0x3000, 3), 3u);
  EXPECT_EQ(Find1(0x3000, 2 | 0x80000000u), 6u) << "purged: made anew";
  EXPECT_EQ(Find2(key, 2), 5u);
  EXPECT_EQ(Find2(key, 1 | 0x80000000u), 7u);
}

// Without a key the compiler's loop compares null with every node's key: a
// node made without a key matches, any other does not. Answering with the
// head slot would make the compiler take the first node as the match.
TEST_F(Instantiations, NullKeyAnswersAsTheCompilersLoop) {
  auto answers = [] {
    std::vector<uint32_t> serials;
    serials.push_back(Find1(0x4000, 1));
    serials.push_back(Find1(0, 1));
    serials.push_back(Find1(0, 2));
    serials.push_back(Find1(0, 1));
    serials.push_back(Find1(0x4000, 1));
    return serials;
  };
  const std::vector<uint32_t> compiler = answers();
  EXPECT_EQ(compiler, (std::vector<uint32_t>{1, 2, 3, 2, 1}));
  D().Reset();
  *D().GenericOwner = D().NewOwner();
  Install();
  EXPECT_EQ(answers(), compiler);
}

TEST_F(Instantiations, WorkloadAnswersAsTheCompiler) {
  const std::string compiler = Workload(8000, 2000);
  Install();
  EXPECT_EQ(Workload(8000, 2000), compiler);
}

// ---- the linker's allocator ------------------------------------------------------------------

class LinkerAllocator : public testing::Test {
protected:
  void SetUp() override { FRun.Load(); }
  // Allocations from a block of our own, as the compiler's variables say.
  std::vector<uintptr_t> Allocate(const std::vector<uint32_t>& sizes) {
    *D().LinkerLimit = FBlock;
    *D().LinkerCurrent = FBlock + sizeof FBlock;
    std::vector<uintptr_t> offsets;
    for (uint32_t size : sizes) {
      auto* p = static_cast<uint8_t*>(D().LinkerAlloc(size));
      offsets.push_back(p >= FBlock && p < FBlock + sizeof FBlock ? uintptr_t(p - FBlock) : ~uintptr_t(0));
    }
    return offsets;
  }
  TThreeWayRun FRun{Generics()};
  alignas(16) uint8_t FBlock[256] = {};
};

TEST_F(LinkerAllocator, GivesTheCompilersPointersAndItsSlowPath) {
  const std::vector<uint32_t> sizes = {16, 32, 4, 100, 64, 40, 8};
  const std::vector<uintptr_t> compiler = Allocate(sizes);
  EXPECT_EQ(compiler, (std::vector<uintptr_t>{240, 208, 204, 104, 40, 0, ~uintptr_t(0)}));
  FRun.Install(L"");
  ASSERT_EQ(FRun.Status(Match), L"applied");
  EXPECT_EQ(Allocate(sizes), compiler);
  // Sizes the compiler's assertion refuses are served all the same.
  EXPECT_EQ(Allocate({6, 10}), (std::vector<uintptr_t>{250, 240}));
}

TEST_F(LinkerAllocator, WrapAroundTakesTheSlowPath) {
  FRun.Install(L"");
  ASSERT_EQ(FRun.Status(Match), L"applied");
  // The current pointer below the request: subtracting would wrap past zero.
  *D().LinkerLimit = nullptr;
  *D().LinkerCurrent = reinterpret_cast<uint8_t*>(0x10);
  auto* p = static_cast<uint8_t*>(D().LinkerAlloc(0x20));
  EXPECT_NE(p, nullptr);
  EXPECT_GT(uintptr_t(p), 0x10000u) << "a block of the slow path, not a wrapped pointer";
  D().Reset();
}

}  // namespace

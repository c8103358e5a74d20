#include "Hooking/PointerHashTable.h"
#include "Hooking/EngineError.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <unordered_map>
#include <vector>

using namespace Quillmend;

namespace {

void* P(uintptr_t v) { return reinterpret_cast<void*>(v); }

typedef std::unordered_map<void*, void*> TModel;

void Collect(void* data, void* key, void* value, bool& Continue) {
  auto& seen = *static_cast<std::vector<std::pair<void*, void*>>*>(data);
  seen.emplace_back(key, value);
}

// The table holds exactly the model's entries, each reachable by lookup and
// each visited once by ForEach.
void ExpectSameContent(const TPointerHashTable& table, const TModel& model) {
  ASSERT_EQ(table.Count(), static_cast<int32_t>(model.size()));
  for (const auto& entry : model) {
    void* value = P(1);
    ASSERT_TRUE(table.TryGetValue(entry.first, value)) << entry.first;
    ASSERT_EQ(value, entry.second);
  }
  std::vector<std::pair<void*, void*>> seen;
  EXPECT_TRUE(table.ForEach(Collect, &seen));
  ASSERT_EQ(seen.size(), model.size());
  for (const auto& entry : seen) EXPECT_EQ(model.at(entry.first), entry.second);
}

}  // namespace

TEST(PointerHashTable, LongRandomSequencesMatchAReferenceMap) {
  for (uint32_t randomSeed : {1u, 2u, 77u, 20240501u}) {
    SCOPED_TRACE(randomSeed);
    std::mt19937 random(randomSeed);
    // A small key pool forces replacements, collisions and re-adds of removed
    // keys; some keys have the top bit set, and null is a key like any other.
    std::vector<void*> keys;
    for (uintptr_t i = 0; i < 400; ++i) keys.push_back(P(i % 5 == 0 ? 0x80000000u + i * 24 : 0x00410000u + i * 8));
    keys.push_back(nullptr);
    auto anyKey = [&] { return keys[random() % keys.size()]; };

    TPointerHashTable table(randomSeed % 3 == 0 ? 0 : 5);
    TModel model;
    for (int step = 0; step < 40000; ++step) {
      void* key = anyKey();
      uint32_t op = random() % 100;
      if (op < 45) {
        void* value = P(random());
        table.AddOrSetValue(key, value);
        model[key] = value;
      } else if (op < 80) {
        auto found = model.find(key);
        void* expected = found == model.end() ? nullptr : found->second;
        ASSERT_EQ(table.Remove(key), expected);
        if (found != model.end()) model.erase(found);
      } else if (op < 95) {
        void* newKey = anyKey();
        bool wasEmpty = model.empty();
        table.ChangeKey(key, newKey);
        if (!wasEmpty && key != newKey) {
          auto found = model.find(key);
          void* value = found == model.end() ? nullptr : found->second;
          if (found != model.end()) model.erase(found);
          model[newKey] = value;
        }
      } else if (op < 99) {
        void* value = nullptr;
        auto found = model.find(key);
        ASSERT_EQ(table.TryGetValue(key, value), found != model.end());
        ASSERT_EQ(value, found == model.end() ? nullptr : found->second);
        ASSERT_EQ(table.IndexOf(key) >= 0, found != model.end());
      } else {
        ExpectSameContent(table, model);
      }
      ASSERT_EQ(table.Count(), static_cast<int32_t>(model.size()));
      ASSERT_EQ(table.BucketCount() % 2, 1);
    }
    ExpectSameContent(table, model);
    table.Clear(0);
    EXPECT_EQ(table.Count(), 0);
    EXPECT_EQ(table.IndexOf(keys[0]), -1);
  }
}

TEST(PointerHashTable, CapacityAndBucketCountsFollowTheGrowthSteps) {
  TPointerHashTable table(0);
  EXPECT_EQ(table.Capacity(), 0);
  EXPECT_EQ(table.BucketCount(), 0);
  void* value = P(1);
  EXPECT_FALSE(table.TryGetValue(P(8), value));
  EXPECT_EQ(value, nullptr);
  EXPECT_EQ(table.Remove(P(8)), nullptr);

  // +16 while at most 16, +32 while at most 128, then +1/4; buckets odd.
  std::vector<std::pair<int32_t, int32_t>> steps;
  for (uintptr_t i = 1; i <= 251; ++i) {
    table.AddOrSetValue(P(i * 16), P(i));
    if (steps.empty() || steps.back().first != table.Capacity())
      steps.emplace_back(table.Capacity(), table.BucketCount());
  }
  std::vector<std::pair<int32_t, int32_t>> expected = {{16, 17},   {32, 33},   {64, 65},   {96, 97},
                                                       {128, 129}, {160, 161}, {200, 201}, {250, 251},
                                                       {312, 313}};
  EXPECT_EQ(steps, expected);
  for (uintptr_t i = 1; i <= 251; ++i) EXPECT_EQ(table.IndexOf(P(i * 16)), static_cast<int32_t>(i - 1));

  TPointerHashTable negative(-1);
  EXPECT_EQ(negative.Capacity(), 16);
  EXPECT_EQ(negative.BucketCount(), 17);
  TPointerHashTable odd(33);
  EXPECT_EQ(odd.BucketCount(), 33);
}

TEST(PointerHashTable, RemovedSlotsAreReusedBeforeNewOnes) {
  TPointerHashTable table(16);
  for (uintptr_t i = 0; i < 5; ++i) table.AddOrSetValue(P(0x1000 + i * 4), P(i + 1));
  EXPECT_EQ(table.Remove(P(0x1004)), P(2));
  EXPECT_EQ(table.Remove(P(0x100C)), P(4));
  EXPECT_EQ(table.Remove(P(0x100C)), nullptr);  // already gone
  EXPECT_FALSE(table.Item(1).InUse);
  EXPECT_EQ(table.Item(3).Key, nullptr);

  table.AddOrSetValue(P(0x2000), P(10));
  table.AddOrSetValue(P(0x2004), P(11));
  table.AddOrSetValue(P(0x2008), P(12));
  EXPECT_EQ(table.IndexOf(P(0x2000)), 3);  // last freed first
  EXPECT_EQ(table.IndexOf(P(0x2004)), 1);
  EXPECT_EQ(table.IndexOf(P(0x2008)), 5);  // free chain used up
  EXPECT_EQ(table.Used(), 6);
  EXPECT_EQ(table.FreeHead(), -1);
  EXPECT_EQ(table.Count(), 6);
}

TEST(PointerHashTable, ChangeKeyMovesTheValueOrAddsNull) {
  TPointerHashTable table(0);
  table.ChangeKey(P(4), P(8));  // empty table: nothing happens
  EXPECT_EQ(table.Count(), 0);

  table.AddOrSetValue(P(4), P(40));
  table.ChangeKey(P(4), P(8));
  void* value = nullptr;
  EXPECT_FALSE(table.TryGetValue(P(4), value));
  EXPECT_TRUE(table.TryGetValue(P(8), value));
  EXPECT_EQ(value, P(40));

  table.ChangeKey(P(12), P(16));  // absent old key: the new one arrives with null
  EXPECT_EQ(table.Count(), 2);
  EXPECT_TRUE(table.TryGetValue(P(16), value));
  EXPECT_EQ(value, nullptr);

  table.ChangeKey(P(8), P(8));
  EXPECT_TRUE(table.TryGetValue(P(8), value));
  EXPECT_EQ(value, P(40));
}

namespace {
struct TVisit {
  std::vector<void*> Keys;
  size_t StopAfter;
};
void StopAfter(void* data, void* key, void* value, bool& Continue) {
  auto& visit = *static_cast<TVisit*>(data);
  visit.Keys.push_back(key);
  if (visit.Keys.size() == visit.StopAfter) Continue = false;
}
}  // namespace

TEST(PointerHashTable, ForEachVisitsSlotsInOrderAndStopsOnRequest) {
  TPointerHashTable table(0);
  TVisit visit{{}, 1};
  EXPECT_TRUE(table.ForEach(StopAfter, &visit));  // empty: no call
  EXPECT_TRUE(visit.Keys.empty());

  for (uintptr_t i = 1; i <= 6; ++i) table.AddOrSetValue(P(i * 100), P(i));
  table.Remove(P(200));
  EXPECT_TRUE(table.ForEach(nullptr, nullptr));

  visit = {{}, 100};
  EXPECT_TRUE(table.ForEach(StopAfter, &visit));
  EXPECT_EQ(visit.Keys, (std::vector<void*>{P(100), P(300), P(400), P(500), P(600)}));

  visit = {{}, 2};
  EXPECT_FALSE(table.ForEach(StopAfter, &visit));
  EXPECT_EQ(visit.Keys, (std::vector<void*>{P(100), P(300)}));
}

TEST(PointerHashTable, CapacityBeyondTheAddressableRaisesAndLeavesAnEmptyTable) {
  // 0x10000000 items of 16 bytes would wrap a 32-bit size to 0 bytes.
  TPointerHashTable table(4);
  table.AddOrSetValue(P(8), P(1));
  EXPECT_THROW(table.Clear(0x10000000), EQuillmendError);
  EXPECT_EQ(table.Count(), 0);
  EXPECT_EQ(table.BucketCount(), 0);
  table.AddOrSetValue(P(8), P(2));
  void* value = nullptr;
  EXPECT_TRUE(table.TryGetValue(P(8), value));
  EXPECT_EQ(value, P(2));
  EXPECT_EQ(table.Capacity(), 16);
}

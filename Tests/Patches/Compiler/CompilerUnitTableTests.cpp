// The storage rules the compiler's unit tables share (pointer hash, doubling
// growth, odd bucket counts, newest-first chains, clearing), seen through the
// unit set whose arrays are open to inspection.
#include "Patches/Compiler/UnitHashSet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <set>
#include <vector>

using namespace Quillmend;

namespace {

void* P(uintptr_t v) { return reinterpret_cast<void*>(v); }

// The unit-pointer hash written out independently of the code under test.
int32_t ExpectedBucket(void* p, int32_t bucketCount) {
  uint32_t v = uint32_t(uintptr_t(p));
  return int32_t((((v >> 4) + (v & 0xFFFF)) & 0x7FFFFFF) % uint32_t(bucketCount));
}

// Every item sits in the chain of its own bucket, once, and every chain runs
// from the newest item to the oldest. Returns the longest chain's length.
size_t ExpectChainsIntact(const TUnitHashSet& set) {
  std::set<int32_t> seen;
  size_t longest = 0;
  for (int32_t b = 0; b < set.BucketCount; ++b) {
    int32_t previous = INT32_MAX;
    size_t length = 0;
    for (int32_t i = set.Buckets[size_t(b)]; i != -1; i = set.Items[size_t(i)].Next, ++length) {
      EXPECT_LT(i, previous) << "bucket " << b;
      EXPECT_EQ(ExpectedBucket(set.Items[size_t(i)].Unit, set.BucketCount), b) << "item " << i;
      if (!seen.insert(i).second || i >= set.Count) {
        ADD_FAILURE() << "item " << i << " linked twice or out of range";
        return longest;
      }
      previous = i;
    }
    longest = std::max(longest, length);
  }
  EXPECT_EQ(seen.size(), size_t(set.Count));
  return longest;
}

}  // namespace

TEST(UnitTableStorage, GrowthDoublesFromSixteenAndKeepsChainsNewestFirst) {
  TUnitHashSet set;
  set.Init(5);
  std::vector<std::pair<size_t, int32_t>> steps{{set.Items.size(), set.BucketCount}};
  // Record-like addresses 0x120 apart, and a run 64 KB apart.
  std::vector<void*> units;
  for (uintptr_t i = 0; i < 70; ++i) units.push_back(P(0x00A10000 + i * 0x120));
  for (uintptr_t i = 0; i < 30; ++i) units.push_back(P(0x01000040 + i * 0x10000));
  size_t longest = 0;
  for (void* unit : units) {
    ASSERT_TRUE(set.Add(unit));
    if (steps.back().first != set.Items.size()) steps.emplace_back(set.Items.size(), set.BucketCount);
    longest = ExpectChainsIntact(set);
  }
  EXPECT_GE(longest, 2u);  // the order check above was not vacuous
  EXPECT_EQ(steps, (std::vector<std::pair<size_t, int32_t>>{{5, 5}, {16, 17}, {32, 33}, {64, 65}, {128, 129}}));
  for (void* unit : units) {
    EXPECT_TRUE(set.Contains(unit));
    EXPECT_FALSE(set.Add(unit));
    EXPECT_FALSE(set.Contains(static_cast<char*>(unit) + 4));
  }
  EXPECT_EQ(set.Count, 100);
}

TEST(UnitTableStorage, ClearKeepsSmallArraysReleasesLargeOnesAndRemovalLeavesHoles) {
  TUnitHashSet set;
  EXPECT_FALSE(set.Contains(P(0x1000)));  // no buckets yet
  set.Init(16);
  set.Add(P(0x1000));
  set.Add(P(0x2000));
  set.Add(P(0x3000));
  EXPECT_TRUE(set.Remove(P(0x2000)));
  EXPECT_FALSE(set.Remove(P(0x2000)));
  std::vector<void*> left;
  set.ForEach([&left](void* unit) { left.push_back(unit); });
  EXPECT_EQ(left, (std::vector<void*>{P(0x1000), P(0x3000)}));
  EXPECT_EQ(set.Count, 3);  // the hole keeps its slot
  EXPECT_TRUE(set.Remove(P(0x1000)));
  EXPECT_TRUE(set.Remove(P(0x3000)));  // the last one clears the set
  EXPECT_EQ(set.Count, 0);
  EXPECT_EQ(set.Items.size(), 16u);
  EXPECT_EQ(set.BucketCount, 17);
  for (int32_t head : set.Buckets) EXPECT_EQ(head, -1);

  for (uintptr_t i = 1; i <= 17; ++i) set.Add(P(i * 0x40));
  EXPECT_EQ(set.Items.size(), 32u);
  set.Clear();
  EXPECT_TRUE(set.Items.empty());
  EXPECT_TRUE(set.Buckets.empty());
  EXPECT_EQ(set.BucketCount, 0);
  EXPECT_FALSE(set.Contains(P(0x40)));
  EXPECT_TRUE(set.Add(P(0x40)));  // a released set grows again from sixteen
  EXPECT_EQ(set.Items.size(), 16u);
  EXPECT_EQ(set.BucketCount, 17);
  EXPECT_TRUE(set.Contains(P(0x40)));
}

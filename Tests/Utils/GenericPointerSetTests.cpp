#include "Hooking/GenericPointerSet.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace Quillmend;

namespace {

void* P(uintptr_t v) { return reinterpret_cast<void*>(v); }

// Identity by content: a set of zero-terminated strings.
class TStringSet : public TGenericPointerSet {
public:
  using TGenericPointerSet::TGenericPointerSet;
  uint32_t GetHash(const void* p) const override {
    uint32_t h = 0;
    for (const char* s = static_cast<const char*>(p); *s; ++s) h = h * 31 + static_cast<uint8_t>(*s);
    return h;
  }
  bool ItemsEqual(const void* a, const void* b) const override {
    return std::strcmp(static_cast<const char*>(a), static_cast<const char*>(b)) == 0;
  }
};

}  // namespace

TEST(GenericPointerSet, RandomAddsAndFindsMatchAReferenceMap) {
  for (uint32_t randomSeed : {3u, 99u}) {
    std::mt19937 random(randomSeed);
    TGenericPointerSet set(0);
    EXPECT_EQ(set.Capacity(), 16);
    EXPECT_EQ(set.BucketCount(), 17);
    int32_t index = 0;
    EXPECT_FALSE(set.Find(P(16), index));

    std::map<void*, int32_t> model;  // value -> index handed out
    std::vector<int32_t> capacities{set.Capacity()};
    for (int step = 0; step < 20000; ++step) {
      void* p = P((random() % 3000) * 8 + (random() % 8 == 0 ? 0x80000000u : 0));
      if (random() % 2) {
        auto found = model.find(p);
        int32_t expected = found == model.end() ? static_cast<int32_t>(model.size()) : found->second;
        ASSERT_EQ(set.Add(p), expected);
        model.emplace(p, expected);
      } else {
        auto found = model.find(p);
        ASSERT_EQ(set.Find(p, index), found != model.end());
        if (found != model.end()) {
          ASSERT_EQ(index, found->second);
        }
      }
      if (capacities.back() != set.Capacity()) capacities.push_back(set.Capacity());
      ASSERT_EQ(set.Count(), static_cast<int32_t>(model.size()));
    }
    for (const auto& entry : model) EXPECT_EQ(set.Value(entry.second), entry.first);
    // Doubling from 16; buckets one more than the (even) capacity.
    std::vector<int32_t> doubling{16};
    while (doubling.back() < set.Capacity()) doubling.push_back(doubling.back() * 2);
    EXPECT_EQ(capacities, doubling);
    EXPECT_GE(capacities.size(), 8u);
    EXPECT_EQ(set.BucketCount(), set.Capacity() + 1);
    EXPECT_EQ(set.FreeHead(), -1);
  }
}

TEST(GenericPointerSet, SubclassDecidesIdentityAcrossGrowth) {
  TStringSet set(20);
  EXPECT_EQ(set.Capacity(), 20);
  EXPECT_EQ(set.BucketCount(), 21);

  std::vector<std::string> first, second;
  for (int i = 0; i < 100; ++i) first.push_back("Unit" + std::to_string(i));
  second = first;  // same texts in other buffers
  for (int i = 0; i < 100; ++i) EXPECT_EQ(set.Add(&first[i][0]), i);
  for (int i = 0; i < 100; ++i) {
    int32_t index = -1;
    ASSERT_TRUE(set.Find(second[i].c_str(), index));
    EXPECT_EQ(index, i);
    EXPECT_EQ(set.Add(&second[i][0]), i);
    EXPECT_EQ(set.Value(i), first[i].c_str());  // the first buffer stays the member
  }
  EXPECT_EQ(set.Count(), 100);
  int32_t index = 0;
  EXPECT_FALSE(set.Find("Unit100", index));
  EXPECT_EQ(index, -1);
  // Both the stored hash and ItemsEqual must match: another hash of the
  // same bucket does not find the item.
  uint32_t hash = set.GetHash("Unit7");
  uint32_t sameBucket = (hash & 0x7FFFFFFF) >= uint32_t(set.BucketCount()) ? hash - set.BucketCount()
                                                                           : hash + set.BucketCount();
  EXPECT_EQ(set.IndexOfHash(hash, "Unit7"), 7);
  EXPECT_EQ(set.IndexOfHash(sameBucket, "Unit7"), -1);
}

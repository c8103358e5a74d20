// Throughput of the pointer containers against the standard library's hash
// containers with the same keys (addresses of live heap blocks), and of the
// string hashes on identifier-like names. Prints the figures; not a test.
#include "Hooking/Utils.h"
#include "Patches/Compiler/UnitHashSet.h"

#include "Common/BenchTimer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

using namespace Quillmend;
using Quillmend::Bench::Seconds;

namespace {

// Runs ours and the standard container's workload alternately a few times
// (so a change in machine load hits both alike) and keeps each one's best
// time in seconds. Each workload returns a checksum that must agree.
struct TTiming {
  double Ours = 1e30, Theirs = 1e30;
  uintptr_t OurSum = 0, TheirSum = 0;
};
TTiming Compare(const std::function<uintptr_t()>& ours, const std::function<uintptr_t()>& theirs) {
  TTiming t;
  for (int i = 0; i < 5; ++i) {
    t.Ours = std::min(t.Ours, Seconds([&] { t.OurSum = ours(); }));
    t.Theirs = std::min(t.Theirs, Seconds([&] { t.TheirSum = theirs(); }));
  }
  return t;
}

int Failures = 0;

void Report(const char* what, size_t operations, const TTiming& t) {
  double ours = t.Ours, theirs = t.Theirs;
  uintptr_t ourSum = t.OurSum, theirSum = t.TheirSum;
  std::printf("%-34s %8.1f M/s  std %8.1f M/s  ratio %5.2f%s\n", what, operations / ours / 1e6,
              operations / theirs / 1e6, theirs / ours, ourSum == theirSum ? "" : "  RESULTS DIFFER");
  if (ourSum != theirSum) ++Failures;
}

// Addresses of live heap blocks as keys, and as many misses: addresses
// inside the blocks, never a block start. Probes are the keys shuffled.
struct TKeys {
  std::vector<void*> Keys, Misses, Probes;
  TKeys(size_t count, uint32_t randomSeed, size_t minBlock, size_t blockRange, size_t missOffset) {
    std::mt19937 random(randomSeed);
    for (size_t i = 0; i < count; ++i) Keys.push_back(std::malloc(minBlock + random() % blockRange));
    for (void* k : Keys) Misses.push_back(static_cast<char*>(k) + missOffset);
    Probes = Keys;
    std::shuffle(Probes.begin(), Probes.end(), random);
  }
  ~TKeys() {
    for (void* k : Keys) std::free(k);
  }
};

// Uniform access to the two sets measured here.
void Prepare(TGenericPointerSet&) {}
void Prepare(TUnitHashSet& set) { set.Init(16); }
size_t Size(const TGenericPointerSet& set) { return size_t(set.Count()); }
size_t Size(const TUnitHashSet& set) { return size_t(set.Live); }
bool Has(const TGenericPointerSet& set, void* key) {
  int32_t index;
  return set.Find(key, index);
}
bool Has(const TUnitHashSet& set, void* key) { return set.Contains(key); }

// A set filled from its smallest capacity, then probed with hits and misses,
// against std::unordered_set.
template <class TSet>
void BenchSet(const char* name, const TKeys& keys, size_t rounds) {
  const size_t count = keys.Keys.size();
  TTiming t = Compare([&] {
    uintptr_t total = 0;
    for (size_t r = 0; r < rounds; ++r) {
      TSet set;
      Prepare(set);
      for (void* k : keys.Keys) set.Add(k);
      total += Size(set);
    }
    return total;
  }, [&] {
    uintptr_t total = 0;
    for (size_t r = 0; r < rounds; ++r) {
      std::unordered_set<void*> set;
      for (void* k : keys.Keys) set.insert(k);
      total += set.size();
    }
    return total;
  });
  Report((std::string(name) + " add").c_str(), count * rounds, t);

  TSet set;
  Prepare(set);
  std::unordered_set<void*> stdSet;
  for (void* k : keys.Keys) {
    set.Add(k);
    stdSet.insert(k);
  }
  t = Compare([&] {
    uintptr_t found = 0;
    for (size_t r = 0; r < rounds; ++r) {
      for (void* k : keys.Probes) found += Has(set, k);
      for (void* k : keys.Misses) found += Has(set, k);
    }
    return found;
  }, [&] {
    uintptr_t found = 0;
    for (size_t r = 0; r < rounds; ++r) {
      for (void* k : keys.Probes) found += stdSet.count(k);
      for (void* k : keys.Misses) found += stdSet.count(k);
    }
    return found;
  });
  Report((std::string(name) + " find (hit+miss)").c_str(), 2 * count * rounds, t);
}

// Every operation is repeated Rounds times over the shuffled keys, so small
// tables (cache-resident) are timed as long as big ones.
void BenchContainers(size_t count) {
  const size_t rounds = 1000000 / count;
  const TKeys keys(count, 42, 16, 48, 4);
  std::printf("\n%zu heap-block addresses as keys, every operation repeated %zu times\n", count, rounds);

  // Map: inserts into a table that starts empty.
  TTiming t = Compare([&] {
    uintptr_t total = 0;
    for (size_t r = 0; r < rounds; ++r) {
      TPointerHashTable table(0);
      for (void* k : keys.Keys) table.AddOrSetValue(k, k);
      total += table.Count();
    }
    return total;
  }, [&] {
    uintptr_t total = 0;
    for (size_t r = 0; r < rounds; ++r) {
      std::unordered_map<void*, void*> map;
      for (void* k : keys.Keys) map[k] = k;
      total += map.size();
    }
    return total;
  });
  Report("TPointerHashTable insert", count * rounds, t);

  TPointerHashTable table(0);
  std::unordered_map<void*, void*> map;
  for (void* k : keys.Keys) {
    table.AddOrSetValue(k, k);
    map[k] = k;
  }
  t = Compare([&] {
    uintptr_t sum = 0;
    void* value;
    for (size_t r = 0; r < rounds; ++r)
      for (void* k : keys.Probes)
        if (table.TryGetValue(k, value)) sum += reinterpret_cast<uintptr_t>(value);
    return sum;
  }, [&] {
    uintptr_t sum = 0;
    for (size_t r = 0; r < rounds; ++r)
      for (void* k : keys.Probes) {
        auto found = map.find(k);
        if (found != map.end()) sum += reinterpret_cast<uintptr_t>(found->second);
      }
    return sum;
  });
  Report("TPointerHashTable lookup (hit)", count * rounds, t);

  t = Compare([&] {
    uintptr_t found = 0;
    for (size_t r = 0; r < rounds; ++r)
      for (void* k : keys.Misses) found += table.IndexOf(k) >= 0;
    return found;
  }, [&] {
    uintptr_t found = 0;
    for (size_t r = 0; r < rounds; ++r)
      for (void* k : keys.Misses) found += map.count(k);
    return found;
  });
  Report("TPointerHashTable lookup (miss)", count * rounds, t);

  BenchSet<TGenericPointerSet>("TGenericPointerSet", keys, rounds);
}

// The compiler's unit set (visited units, units appended since the name index
// was synchronised), keyed by blocks the size of a compiler unit record, as
// many as a large project has units.
void BenchUnitSet(size_t count) {
  const size_t rounds = 1000000 / count;
  const TKeys units(count, 11, 0x120, 64, 8);
  std::printf("\n%zu unit-record addresses, every operation repeated %zu times\n", count, rounds);
  BenchSet<TUnitHashSet>("TUnitHashSet", units, rounds);
}

// Names as the compiler and the IDE see them: unit, type, member and file names.
std::vector<std::string> IdentifierNames(size_t count) {
  static const char* const parts[] = {"System", "SysUtils", "Classes", "Vcl", "Forms", "Controls", "Generics",
                                      "Collections", "TList", "TDictionary", "TForm1", "Button1Click", "FormCreate",
                                      "Data", "DB", "Unit", "Winapi", "Windows", "Messages", "TStringList", "_Helper"};
  std::mt19937 random(7);
  std::vector<std::string> names;
  for (size_t i = 0; i < count; ++i) {
    std::string name = parts[random() % 21];
    for (int n = random() % 3; n > 0; --n) name += std::string(".") + parts[random() % 21];
    if (random() % 4 == 0) name += std::to_string(random() % 100);
    if (random() % 8 == 0) name += ".pas";
    names.push_back(name);
  }
  return names;
}

void BenchHashes() {
  const std::vector<std::string> names = IdentifierNames(20000);
  std::vector<std::wstring> wideNames;
  size_t bytes = 0;
  for (const std::string& n : names) {
    wideNames.emplace_back(n.begin(), n.end());
    bytes += n.size();
  }
  const int rounds = 100;
  std::printf("\n%zu identifier-like names, %.1f characters on average, %d rounds\n", names.size(),
              double(bytes) / names.size(), rounds);
  // Seconds for Rounds passes of Hash over the names, and the sum of the hashes.
  auto run = [&](const auto& texts, auto hash) {
    uint32_t sum = 0;
    const double seconds = Seconds([&] {
      for (int r = 0; r < rounds; ++r)
        for (const auto& n : texts) sum += hash(n.c_str());
    });
    return std::make_pair(seconds, sum);
  };
  auto print = [&](const char* what, std::pair<double, uint32_t> result, size_t unitSize) {
    double total = double(bytes) * rounds;
    std::printf("%-18s %8.1f MB/s  %8.1f M chars/s  %7.1f M names/s  (sum %08X)\n", what,
                total * unitSize / result.first / 1e6, total / result.first / 1e6,
                double(names.size()) * rounds / result.first / 1e6, result.second);
  };
  print("Utf8HashText", run(names, Utf8HashText), 1);
  print("UnicodeHashText", run(wideNames, UnicodeHashText), 2);
  print("UnicodeHashTextI", run(wideNames, UnicodeHashTextI), 2);
}

}  // namespace

int main() {
  InitializeUtils();
  BenchContainers(1000000);
  BenchContainers(20000);
  BenchUnitSet(4000);
  BenchHashes();
  return Failures ? 1 : 0;
}

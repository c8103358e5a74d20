#include "Patches/CppCompiler/CppCompilerOptimization.h"

#include <cstring>
#include <vector>
#include <windows.h>

#include "Framework/LibraryEntry.h"
#include "Hooking/MemoryRegions.h"
#include "Hooking/StringHash.h"
#include "Patches/CppCompiler/CppCompilerPatterns.h"

namespace Quillmend {

namespace Patterns = CppCompilerPatterns;

namespace {

constexpr uint32_t HashTableSeed = 0x10101010;
constexpr uint8_t EscapeByte = 0xFF;

// Entry 0 is never used (the name's zero ends the hash); 1..255 are drawn
// in order from a fixed start value, so every process hashes alike. The
// start value is local: no other generator's state changes.
struct TInternHashTable {
  uint16_t Entry[256] = {};
  constexpr TInternHashTable() {
    uint32_t randomSeed = HashTableSeed;
    for (int c = 1; c < 256; ++c) Entry[c] = uint16_t(NextHashRandom(randomSeed, 0xFFFF) + 1);
  }
};
constexpr TInternHashTable InternHashTable;

using THostIntern = uint8_t*(__cdecl*)(const uint8_t* name);
using TCompilerAllocator = uint8_t*(__cdecl*)(uint32_t size, uint32_t tag);

// The compiler's own intern function (through its trampoline), allocator,
// variables and table; published before the redirect goes live.
THostIntern g_hostIntern = nullptr;
TCompilerAllocator g_allocator = nullptr;
uint32_t* g_hashVariable = nullptr;
uint32_t* g_lengthVariable = nullptr;
uint8_t** g_buckets = nullptr;

inline uint32_t Rotate(uint32_t h) { return (h << 6) | (h >> 26); }

uint8_t& NodeLength(uint8_t* node) { return node[CppNameNodeLayout::Length]; }
uint8_t* NodeName(uint8_t* node) { return node + CppNameNodeLayout::Name; }
uint8_t*& NodeNext(uint8_t* node) { return *reinterpret_cast<uint8_t**>(node + CppNameNodeLayout::Next); }

// Whether the node holds this name (unescaped, `length` bytes, at most 255).
// Besides the length byte and the bytes, the node's name must end where
// this one does: a node the compiler made itself for a longer name has a
// length byte that wrapped, and its first bytes may be this whole name.
inline bool NodeHolds(uint8_t* node, const uint8_t* name, uint32_t length) {
  uint8_t* stored = node + CppNameNodeLayout::Length;
  if (length < 4) {
    uint16_t lengthAndFirst;
    std::memcpy(&lengthAndFirst, stored, 2);
    if (lengthAndFirst != uint16_t(length | (uint32_t(name[0]) << 8))) return false;
    if (length >= 2 && stored[2] != name[1]) return false;
    if (length == 3 && stored[3] != name[2]) return false;
  } else {
    if (*stored != uint8_t(length)) return false;
    uint32_t head, nodeHead;
    std::memcpy(&head, name, 4);
    std::memcpy(&nodeHead, stored + 1, 4);
    if (head != nodeHead || std::memcmp(stored + 5, name + 4, length - 4) != 0) return false;
  }
  return NodeName(node)[length] == 0;
}

// The replacement of the compiler's intern function (cdecl, name → node).
uint8_t* __cdecl InternReplacement(const uint8_t* name) {
  // 1. The length: an escape byte and the byte after it are one character.
  uint32_t length = 0;
  bool escaped = false;
  for (const uint8_t* p = name; *p; ++p, ++length) {
    if (*p == EscapeByte) {
      escaped = true;
      ++p;
    }
    if (length >= CppLongestInternedName) {
      // Too long for the buffer and the length byte: the compiler's own
      // function interns it (its chains are searched by its own hash).
      return g_hostIntern(name);
    }
  }
  uint8_t buffer[CppLongestInternedName + 1];
  const uint8_t* text = name;
  if (escaped) {
    const uint8_t* p = name;
    for (uint32_t i = 0; i < length; ++i) {
      uint8_t c = *p++;
      if (c == EscapeByte) c = *p++;
      buffer[i] = c;
    }
    buffer[length] = 0;
    text = buffer;
  }
  // 2. and 3. The hash, into the compiler's variables with the length.
  const uint32_t hash = CppInternHash(text);
  *g_hashVariable = hash;
  *g_lengthVariable = length;
  uint8_t** link = g_buckets + (hash & (CppNameBuckets - 1));
  // 4. The bucket's chain.
  for (uint8_t* node = *link; node; node = *link) {
    if (NodeHolds(node, text, length)) return node;
    link = &NodeNext(node);
  }
  // 5. A new node at the chain's end.
  uint8_t* node = g_allocator(length + CppNameNodeLayout::Overhead, CppNameNodeLayout::AllocatorTag);
  NodeNext(node) = nullptr;
  std::memset(node + CppNameNodeLayout::Field4, 0, 4);
  std::memset(node + CppNameNodeLayout::Field12, 0xFF, 4);
  node[CppNameNodeLayout::Field16] = 0;
  NodeLength(node) = uint8_t(length);
  std::memcpy(NodeName(node), text, length);
  NodeName(node)[length] = 0;
  *link = node;
  return node;
}

bool BucketsEmpty(const uint8_t* table) {
  const auto* buckets = reinterpret_cast<const uint8_t* const*>(table);
  for (int i = 0; i < CppNameBuckets; ++i)
    if (buckets[i]) return false;
  return true;
}

void InstallCppCompilerOptimizationProc() { InstallCppCompilerOptimization(); }

void InitializeCppCompilerOptimization() { AddCppCompilerInitProc(&InstallCppCompilerOptimizationProc); }

}  // namespace

uint32_t CppInternHash(const uint8_t* name) {
  uint32_t h = 0;
  for (;; name += 4) {
    if (!name[0]) return h;
    h += InternHashTable.Entry[name[0]];
    if (!name[1]) return h;
    h += InternHashTable.Entry[name[1]];
    if (!name[2]) return h;
    h += InternHashTable.Entry[name[2]];
    if (!name[3]) return h;
    h += InternHashTable.Entry[name[3]];
    h = Rotate(h);
  }
}

TPatchPlan CppCompilerOptimizationPlan() {
  TPatchPlan plan(L"CppCompiler.Optimizations", L"C++ Compiler Optimizations", TInstallMoment::CppCompilerLoad);
  TSiteRef intern = plan.Pattern(L"intern function", L"comp32x.dll", Patterns::InternFunction, Patterns::ModuleSearch);
  TSiteRef allocation =
      plan.PatternFrom(L"intern allocation", intern, 0, Patterns::InternAllocation, Patterns::InternWindow);
  TSiteRef globals = plan.PatternFrom(L"intern globals", intern, 0, Patterns::InternGlobals, Patterns::InternWindow);
  TCaptureRef allocator = plan.CallTarget(allocation, Patterns::AllocatorCall);
  TCaptureRef hashVariable = plan.Operand(globals, Patterns::HashVariable);
  TCaptureRef lengthVariable = plan.Operand(globals, Patterns::LengthVariable);
  TCaptureRef table = plan.Operand(globals, Patterns::BucketTable);
  plan.Expect(L"intern globals: the variables are not readable", [=](const TPlanValues& v) {
    return IsReadableMemory(v.Get<void*>(hashVariable), 4) && IsReadableMemory(v.Get<void*>(lengthVariable), 4) &&
           IsReadableMemory(v.Get<void*>(table), CppNameBuckets * sizeof(void*));
  });
  // Names interned before now sit in the buckets of the compiler's own hash,
  // where the replacement would not find them and would make second nodes.
  plan.Expect(L"the name table is not empty", [=](const TPlanValues& v) { return BucketsEmpty(v.Get<uint8_t*>(table)); });
  plan.RedirectOrgCall(intern, &InternReplacement, reinterpret_cast<void**>(&g_hostIntern));
  plan.OnCommit([=](const TPlanValues& v) {
    g_allocator = v.Get<TCompilerAllocator>(allocator);
    g_hashVariable = v.Get<uint32_t*>(hashVariable);
    g_lengthVariable = v.Get<uint32_t*>(lengthVariable);
    g_buckets = v.Get<uint8_t**>(table);
  });
  return plan;
}

void InstallCppCompilerOptimization() {
  if (!GetModuleHandleW(L"comp32x.dll")) return;
  TPatchPlan plan = CppCompilerOptimizationPlan();
  InstallPlan(plan);
}

namespace {

std::vector<TPatchPlan> Plans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(CppCompilerOptimizationPlan());
  return plans;
}

}  // namespace

const TUnitInfo Unit_CppCompilerOptimization = {"CppCompilerOptimization", InitializeCppCompilerOptimization, nullptr,
                                                &Plans};

}  // namespace Quillmend

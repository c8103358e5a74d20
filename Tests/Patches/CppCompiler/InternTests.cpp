// Identifier interning through the patch against the compiler's own: one
// node per distinct name in the same order, nodes laid out as the compiler
// lays them out, the hash as the independent model computes it, names of one
// bucket told apart, escaped and plain forms alike, over-long names left to
// the compiler, and a table filled before the patch refusing it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "CppStandIns.h"
#include "Framework/PatchRegistry.h"
#include "Hooking/CodeTransaction.h"
#include "Patches/CppCompiler/CppCompilerOptimization.h"

namespace {

struct TInternHashCase {
  const char* Name;
  uint32_t Length;
  uint32_t Hash;
};
#include "InternHashCases.inc"

using CppStandIns::Compiler;

const wchar_t* const Patch = L"CppCompiler.Optimizations";

void Install() {
  CppStandIns::RunCppProcs();
  ASSERT_EQ(CppStandIns::Status(Patch), L"applied") << std::string(CppStandIns::Reason(Patch).begin(),
                                                                    CppStandIns::Reason(Patch).end());
}

// The compiler's escaped form: 0xFF before every 0xFF byte, and before
// every `every`-th other byte too.
std::string Escaped(const std::string& name, int every) {
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) {
    if (uint8_t(name[i]) == 0xFF || (every > 0 && i % size_t(every) == 0)) out += '\xFF';
    out += name[i];
  }
  return out;
}

struct TNode {
  const uint8_t* P;
  explicit TNode(const void* node) : P(static_cast<const uint8_t*>(node)) {}
  uint32_t U32(int offset) const {
    uint32_t v;
    std::memcpy(&v, P + offset, 4);
    return v;
  }
  uint8_t Length() const { return P[17]; }
  std::string Name(size_t length) const { return std::string(reinterpret_cast<const char*>(P + 18), length); }
};

void* Intern(const std::string& name) { return Compiler().InternName(name.c_str()); }

TEST(CppIntern, OneNodePerDistinctNameInTheCompilersOrder) {
  CppStandIns::Load();
  std::vector<std::string> names = CppStandIns::Identifiers(20000, 3);
  names.push_back(std::string(300, 'q'));
  names.push_back(std::string(299, 'q') + "r");
  std::vector<std::string> calls = names;
  for (size_t i = 0; i < names.size(); i += 3) calls.push_back(Escaped(names[i], 2));  // the same names escaped
  calls.insert(calls.end(), names.begin(), names.end());
  std::shuffle(calls.begin(), calls.end(), std::mt19937(5));
  std::vector<const char*> texts;
  for (const std::string& c : calls) texts.push_back(c.c_str());

  const uint32_t unpatched = Compiler().InternMany(texts.data(), int32_t(texts.size()));
  Comp32xDriver::TChainStats before;
  Compiler().ChainStats(&before);
  EXPECT_EQ(before.Nodes, names.size());
  Compiler().ResetNames();
  Install();
  EXPECT_EQ(Compiler().InternMany(texts.data(), int32_t(texts.size())), unpatched);
  Comp32xDriver::TChainStats after;
  Compiler().ChainStats(&after);
  EXPECT_EQ(after.Nodes, names.size());
  EXPECT_GT(after.NonEmpty, 4 * before.NonEmpty) << "the byte-sum hash fills few buckets, ours many";
  EXPECT_LT(after.Longest, before.Longest);

  for (size_t i = 0; i < names.size() - 2; i += 997) {
    SCOPED_TRACE(names[i]);
    TNode node(Intern(names[i]));
    EXPECT_EQ(node.U32(4), 0u);
    EXPECT_EQ(node.U32(12), 0xFFFFFFFFu);
    EXPECT_EQ(node.P[16], 0u);
    EXPECT_EQ(node.Length(), names[i].size());
    EXPECT_EQ(node.Name(names[i].size() + 1), names[i] + '\0');
  }
}

TEST(CppIntern, HashFollowsTheModelAndOneBucketsNamesAreToldApart) {
  CppStandIns::Load();
  Install();
  std::vector<void*> nodes;
  for (const char* name : SameBucketNames) nodes.push_back(Intern(name));
  const uint32_t bucket = *Compiler().NameHash & 0x7FFF;
  std::vector<void*> chain;
  for (void* n = Compiler().NameTable[bucket]; n; n = *static_cast<void**>(n)) chain.push_back(n);
  EXPECT_EQ(chain, nodes) << "all five in one (fresh) bucket, in the order they came";
  for (size_t i = 0; i < nodes.size(); ++i) {
    EXPECT_EQ(TNode(nodes[i]).Length(), i + 1);
    EXPECT_EQ(Intern(SameBucketNames[i]), nodes[i]);
  }

  int every = 0;
  for (const TInternHashCase& c : InternHashCases) {
    const std::string name(c.Name, c.Length);
    SCOPED_TRACE(testing::PrintToString(name));
    TNode node(Intern(Escaped(name, every++ % 4)));
    EXPECT_EQ(*Compiler().NameHash, c.Hash);
    EXPECT_EQ(*Compiler().NameLength, c.Length);
    EXPECT_EQ(node.Name(c.Length + 1), name + '\0');
    EXPECT_EQ(Intern(Escaped(name, 0)), node.P) << "escaped and plain forms are one node";
  }
}

TEST(CppIntern, NamesOverTwoHundredFiftyFiveBytesGoToTheCompilersOwnFunction) {
  CppStandIns::Load();
  Install();
  // 255 characters are interned by the patch, whatever their escaped form's size.
  const std::string longest(255, 'k');
  TNode ours(Intern(Escaped(longest, 1)));
  EXPECT_EQ(ours.Length(), 255u);
  EXPECT_EQ(*Compiler().NameHash, Quillmend::CppInternHash(reinterpret_cast<const uint8_t*>(longest.c_str())));
  // 256 and more go to the compiler: its hash is the byte sum.
  const std::string over(300, 'w');
  void* node = Intern(over);
  EXPECT_EQ(*Compiler().NameHash, 300u * 'w');
  EXPECT_EQ(*Compiler().NameLength, 300u);
  EXPECT_EQ(TNode(node).Length(), 300u & 0xFF) << "the compiler's node, length byte wrapped";
  EXPECT_EQ(Intern(Escaped(over, 7)), node);
  // A name equal to the long one's first 44 bytes is a node of its own.
  const std::string prefix(44, 'w');
  void* shorter = Intern(prefix);
  EXPECT_NE(shorter, node);
  EXPECT_EQ(Intern(prefix), shorter);
  EXPECT_EQ(TNode(shorter).Name(45), prefix + '\0');
}

TEST(CppIntern, ATableFilledBeforeThePatchFailsItAndNothingIsWritten) {
  SetEnvironmentVariableW(Comp32xDriver::InternAtLoadVariable, L"3");
  CppStandIns::Load();
  HMODULE compiler = GetModuleHandleW(L"comp32x.dll");
  void* site = Compiler().PatternSite("InternFunction");
  const std::vector<uint8_t> before = CppStandIns::Bytes(site, 16);
  CppStandIns::RunCppProcs();
  EXPECT_EQ(CppStandIns::Status(Patch), L"failed");
  EXPECT_EQ(CppStandIns::Reason(Patch), L"the name table is not empty");
  EXPECT_EQ(CppStandIns::Bytes(site, 16), before);
  for (const Quillmend::TCommittedRange& r : Quillmend::CommittedRanges()) EXPECT_NE(r.Owner, Patch);
  EXPECT_EQ(CppStandIns::Status(L"bcc.stricmp"), L"applied") << "the other patches do not depend on it";
  (void)compiler;
}

}  // namespace

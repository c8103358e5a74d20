// Trampoline pool: filling a block to its last byte, and the order in which
// new blocks are asked for.
#include "Hooking/EngineError.h"
#include "Hooking/TrampolinePool.h"

#include <gtest/gtest.h>

#include <vector>

using namespace Quillmend;

namespace {

constexpr uint32_t kBlock = TTrampolinePool::BlockSize;

bool InBlock(const uint8_t* p, const uint8_t* block) { return p >= block && p < block + kBlock; }

// A scripted block allocator: records each hint and answers from a list.
std::vector<void*> gHints;
std::vector<void*> gAnswers;
void* ScriptedAllocator(void* hint) {
  gHints.push_back(hint);
  if (gAnswers.empty()) return nullptr;
  void* answer = gAnswers.front();
  gAnswers.erase(gAnswers.begin());
  return answer;
}

alignas(4096) uint8_t gBlocks[3][kBlock];

} // namespace

TEST(TrampolinePool, FillsABlockToItsLastByteThenStartsAnother) {
  struct TCase {
    uint32_t Used;  // bytes taken before the allocation
    uint32_t Size;
    bool Fits;
  };
  const TCase cases[] = {
      {4080, 16, true},   // ends exactly at byte 4096
      {4084, 12, true},
      {4084, 16, false},  // one 4-byte step more
      {4095, 1, true},
      {4095, 2, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Used);
    TTrampolinePool pool;
    uint8_t* block = pool.Allocate(c.Used);
    uint8_t* next = pool.Allocate(c.Size);
    if (c.Fits) {
      EXPECT_EQ(next, block + c.Used);
    } else {
      EXPECT_FALSE(InBlock(next, block));
      EXPECT_EQ(pool.Allocate(4), next + c.Size);  // the new block is carved on
    }
  }
}

TEST(TrampolinePool, AsksForTheNextAddressFirstThenAnywhere) {
  gHints.clear();
  gAnswers = {gBlocks[0]};
  TTrampolinePool pool(&ScriptedAllocator);
  EXPECT_EQ(pool.Allocate(4000), gBlocks[0]);
  EXPECT_EQ(gHints, (std::vector<void*>{nullptr}));

  // The block right after the current one is refused: any address it is.
  gHints.clear();
  gAnswers = {nullptr, gBlocks[1]};
  EXPECT_EQ(pool.Allocate(100), gBlocks[1]);
  EXPECT_EQ(gHints, (std::vector<void*>{gBlocks[0] + kBlock, nullptr}));

  // The next address is granted: no second request.
  gHints.clear();
  gAnswers = {gBlocks[2]};
  pool.Allocate(4000);
  EXPECT_EQ(gHints, (std::vector<void*>{gBlocks[1] + kBlock}));
}

TEST(TrampolinePool, BothRequestsRefusedRaisesOutOfMemory) {
  gHints.clear();
  gAnswers = {gBlocks[0]};
  TTrampolinePool pool(&ScriptedAllocator);
  pool.Allocate(4096);
  gHints.clear();
  gAnswers.clear();
  try {
    pool.Allocate(12);
    ADD_FAILURE() << "no error";
  } catch (const EQuillmendError& e) {
    EXPECT_STREQ(e.what(), "Out of memory");
  }
  EXPECT_EQ(gHints, (std::vector<void*>{gBlocks[0] + kBlock, nullptr}));
}

// A request rounded down onto the current block must not hand its bytes out again.
TEST(TrampolinePool, AnswerOverlappingTheCurrentBlockIsNotReused) {
  gHints.clear();
  gAnswers = {gBlocks[0], gBlocks[0], gBlocks[1]};
  TTrampolinePool pool(&ScriptedAllocator);
  pool.Allocate(4090);
  EXPECT_EQ(pool.Allocate(12), gBlocks[1]);
}

// Retargeting call and jump instructions in real code (PatchingFixtures.S):
// every rewrite is checked by running the rewritten code.
#include "Fixtures.h"

#include "Hooking/CallSites.h"
#include "Hooking/EngineError.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace Quillmend;

TEST(CallSites, ReplaceRelCallOffsetRetargetsAndReturnsThePreviousTarget) {
  ASSERT_EQ(Fixture_CallSite(), 1);
  EXPECT_EQ(ReplaceRelCallOffset(Code(Fixture_CallSite), Code(Fixture_ReturnsTwo)), Code(Fixture_ReturnsOne));
  EXPECT_EQ(Fixture_CallSite(), 2);
  EXPECT_EQ(ReplaceRelCallOffset(Code(Fixture_JumpSite), Code(Fixture_ReturnsTwo)), Code(Fixture_ReturnsOne));
  EXPECT_EQ(Fixture_JumpSite(), 2);
  // and back
  EXPECT_EQ(ReplaceRelCallOffset(Code(Fixture_CallSite), Code(Fixture_ReturnsOne)), Code(Fixture_ReturnsTwo));
  EXPECT_EQ(Fixture_CallSite(), 1);
  // A backward (negative) displacement.
  const uint8_t backward[10] = {0, 0, 0, 0, 0, 0xE8, 0xF6, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(GetCallTargetAddress(backward + 5), backward);
}

TEST(CallSites, ReplaceRelCallOffsetWritesNothingWhenTargetIsSameOrSiteIsNoCall) {
  TWriteSpy spy;
  uint8_t before[6];
  std::memcpy(before, Code(Fixture_OpCodeSiteB), sizeof before);
  EXPECT_EQ(ReplaceRelCallOffset(Code(Fixture_CallSite), Code(Fixture_ReturnsOne)), Code(Fixture_ReturnsOne));
  EXPECT_EQ(ReplaceRelCallOffset(Code(Fixture_OpCodeSiteB), Code(Fixture_ReturnsTwo)), nullptr);
  EXPECT_EQ(ReplaceRelCallOffset(nullptr, Code(Fixture_ReturnsTwo)), nullptr);
  EXPECT_EQ(spy.Writes(), 0);
  EXPECT_EQ(std::memcmp(before, Code(Fixture_OpCodeSiteB), sizeof before), 0);
  EXPECT_EQ(Fixture_CallSite(), 1);
}

TEST(CallSites, OpCodeFormsWriteACallOrJumpOverWhateverWasThere) {
  EXPECT_FALSE(ReplaceOpCodeByRelCall(nullptr, Code(Fixture_ReturnsTwo)));
  EXPECT_FALSE(ReplaceOpCodeByRelJump(nullptr, Code(Fixture_ReturnsTwo)));

  // mov eax, 5 becomes a jump: the target's ret returns to our caller.
  ASSERT_TRUE(ReplaceOpCodeByRelJump(Code(Fixture_OpCodeSiteA), Code(Fixture_ReturnsTwo)));
  EXPECT_EQ(Fixture_OpCodeSiteA(), 2);
  EXPECT_EQ(GetCallTargetAddress(Code(Fixture_OpCodeSiteA)), Code(Fixture_ReturnsTwo));

  // mov eax, 5 becomes a call: the target returns to the site's own ret.
  ASSERT_TRUE(ReplaceOpCodeByRelCall(Code(Fixture_OpCodeSiteB), Code(Fixture_SetsFortyAndTwo)));
  EXPECT_EQ(static_cast<const uint8_t*>(Code(Fixture_OpCodeSiteB))[0], 0xE8);
  EXPECT_EQ(Fixture_OpCodeSiteB(), 40);
}

TEST(CallSites, ReplaceInstructionByRelCallFillsTheDisplacedRestWithNops) {
  ASSERT_EQ(Fixture_InstructionSite(), 7);
  EXPECT_FALSE(ReplaceInstructionByRelCall(nullptr, Code(Fixture_SetsFortyAndTwo)));
  // xor eax,eax (2) + mov ecx,7 (5) = 7 bytes: a call and two nops.
  ASSERT_TRUE(ReplaceInstructionByRelCall(Code(Fixture_InstructionSite), Code(Fixture_SetsFortyAndTwo)));
  const auto* site = static_cast<const uint8_t*>(Code(Fixture_InstructionSite));
  EXPECT_EQ(site[0], 0xE8);
  EXPECT_EQ(site[5], 0x90);
  EXPECT_EQ(site[6], 0x90);
  EXPECT_EQ(site[7], 0x01);  // add eax, ecx untouched
  EXPECT_EQ(Fixture_InstructionSite(), 42);
}

TEST(CallSites, ReplaceInstructionByRelCallRefusesCodeItCannotSizeAndWritesNothing) {
  TWriteSpy spy;
  const uint8_t unknown[8] = {0x0F, 0x1F, 0x44, 0x00, 0x00, 0x90, 0x90, 0x90};  // multi-byte nop
  EXPECT_THROW(ReplaceInstructionByRelCall(const_cast<uint8_t*>(unknown), Code(Fixture_ReturnsTwo)), EQuillmendError);
  EXPECT_EQ(spy.Writes(), 0);
}

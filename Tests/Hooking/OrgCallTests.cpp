// Original-call trampolines on real functions of this program: the layout of
// the copied start, redirection through the trampoline, and restoring.
#include "Fixtures.h"
#include "Hooking/CodeRedirect.h"
#include "Hooking/EngineError.h"
#include "Hooking/OrgCall.h"

#include <gtest/gtest.h>

#include <string>

using namespace Quillmend;

namespace {

using TDoubles = int (*)(int);
using TNoArgs = int (*)();

TDoubles gDoublesOrg = nullptr;
extern "C" int DoublesPlusOne(int x) { return gDoublesOrg(x) + 1; }

TNoArgs gCallsHelperOrg = nullptr;
extern "C" int CallsHelperTimes100() { return gCallsHelperOrg() * 100; }

extern "C" int ReturnsEleven() { return 11; }

std::string ErrorOf(void (*action)()) {
  try {
    action();
  } catch (const EQuillmendError& e) {
    return e.what();
  }
  return "(no error)";
}

struct TLayoutCase {
  std::vector<uint8_t> Start;  // the function's first bytes
  int32_t StartCode;           // bytes moved into the trampoline
  uint32_t Allocated;          // start code + jump + 1..4 bytes of 0xCC
};

// One line per start-code size the decoder can produce for a 5-byte jump.
const TLayoutCase kLayouts[] = {
    {{0xB8, 0x01, 0x00, 0x00, 0x00, 0xC3}, 5, 12},
    {{0x55, 0x8B, 0xEC, 0x83, 0xC4, 0xF0}, 6, 12},
    {{0x83, 0x3D, 0x78, 0x56, 0x34, 0x12, 0x00}, 7, 16},
    {{0x55, 0x83, 0x3D, 0x78, 0x56, 0x34, 0x12, 0x00}, 8, 16},
    {{0x55, 0x8B, 0xEC, 0x8B, 0x80, 0x78, 0x56, 0x34, 0x12}, 9, 16},
    {{0x55, 0x8B, 0xEC, 0x80, 0x3D, 0x78, 0x56, 0x34, 0x12, 0x01}, 10, 16},
    {{0x8B, 0xEC, 0x33, 0xC0, 0x80, 0x3D, 0x78, 0x56, 0x34, 0x12, 0x01}, 11, 20},
};

} // namespace

TEST(OrgCall, TrampolineLayoutAndFiller) {
  for (const TLayoutCase& c : kLayouts) {
    uint8_t function[32] = {};
    std::memcpy(function, c.Start.data(), c.Start.size());
    auto* trampoline = static_cast<uint8_t*>(CreateOrgCallMethodPtr(function));
    auto* next = static_cast<uint8_t*>(CreateOrgCallMethodPtr(function));
    SCOPED_TRACE(c.StartCode);
    EXPECT_EQ(BytesAt(trampoline, c.StartCode), BytesAt(function, c.StartCode));
    EXPECT_EQ(trampoline[c.StartCode], 0xE9);
    EXPECT_EQ(Rel32Target(trampoline + c.StartCode), function + c.StartCode);
    EXPECT_EQ(BytesAt(trampoline + c.StartCode + 5, c.Allocated - c.StartCode - 5),
              std::vector<uint8_t>(c.Allocated - c.StartCode - 5, 0xCC));
    EXPECT_EQ(next - trampoline, static_cast<ptrdiff_t>(c.Allocated));
  }
}

TEST(OrgCall, RedirectCallsThroughTheTrampolineAndRestores) {
  void* proc = CodeOf(Fixture_Doubles);
  const std::vector<uint8_t> original = BytesAt(proc, 16);
  gDoublesOrg = reinterpret_cast<TDoubles>(RedirectOrgCall(proc, CodeOf(DoublesPlusOne)));
  ASSERT_NE(gDoublesOrg, nullptr);

  // A 6-byte start: the jump and one nop for the rest of "add esp, -16".
  EXPECT_EQ(BytesAt(proc, 1)[0], 0xE9);
  EXPECT_EQ(Rel32Target(proc), CodeOf(DoublesPlusOne));
  EXPECT_EQ(BytesAt(static_cast<uint8_t*>(proc) + 5, 1)[0], 0x90);
  EXPECT_EQ(BytesAt(static_cast<uint8_t*>(proc) + 6, 10), std::vector<uint8_t>(original.begin() + 6, original.end()));

  EXPECT_EQ(Fixture_Doubles(21), 43);
  EXPECT_EQ(gDoublesOrg(21), 42);

  RestoreOrgCall(proc, reinterpret_cast<void*>(gDoublesOrg));
  EXPECT_EQ(BytesAt(proc, 16), original);
  EXPECT_EQ(Fixture_Doubles(21), 42);
  EXPECT_EQ(gDoublesOrg(5), 10);  // the trampoline outlives the redirection
}

TEST(OrgCall, RelativeCallInTheStartReachesTheSameTarget) {
  void* proc = CodeOf(Fixture_CallsHelper);
  const std::vector<uint8_t> original = BytesAt(proc, 9);
  gCallsHelperOrg = reinterpret_cast<TNoArgs>(RedirectOrgCall(proc, CodeOf(CallsHelperTimes100)));

  const auto* trampoline = reinterpret_cast<const uint8_t*>(gCallsHelperOrg);
  EXPECT_EQ(trampoline[0], 0xE8);
  EXPECT_EQ(Rel32Target(trampoline), CodeOf(Fixture_Helper));
  EXPECT_EQ(gCallsHelperOrg(), 8);  // runs Fixture_Helper, then the rest of the function
  EXPECT_EQ(Fixture_CallsHelper(), 800);

  RestoreOrgCall(proc, reinterpret_cast<void*>(gCallsHelperOrg));
  EXPECT_EQ(BytesAt(proc, 9), original);
  EXPECT_EQ(Fixture_CallsHelper(), 8);
  EXPECT_EQ(gCallsHelperOrg(), 8);
}

TEST(OrgCall, RelativeJumpAfterAnotherInstructionIsMovedAndRestored) {
  uint8_t function[16] = {0x55, 0xE9, 0x00, 0x10, 0x00, 0x00, 0x5D, 0xC3};
  const std::vector<uint8_t> original = BytesAt(function, 16);
  auto* trampoline = static_cast<uint8_t*>(RedirectOrgCall(function, CodeOf(ReturnsEleven)));
  EXPECT_EQ(trampoline[0], 0x55);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(Rel32Target(trampoline + 1)),
            reinterpret_cast<uintptr_t>(function) + 6 + 0x1000);  // the same absolute target
  RestoreOrgCall(function, trampoline);
  EXPECT_EQ(BytesAt(function, 16), original);
}

TEST(OrgCall, ThunksAreResolvedForTargetAndReplacement) {
  void* thunk = CodeOf(Fixture_Thunk);
  const std::vector<uint8_t> thunkBytes = BytesAt(thunk, 6);
  const std::vector<uint8_t> target = BytesAt(CodeOf(Fixture_ThunkTarget), 6);

  void* trampoline = RedirectOrgCall(thunk, CodeOf(ReturnsEleven));
  EXPECT_EQ(BytesAt(thunk, 6), thunkBytes);
  EXPECT_EQ(Fixture_Thunk(), 11);
  EXPECT_EQ(reinterpret_cast<TNoArgs>(trampoline)(), 3);
  RestoreOrgCall(thunk, trampoline);
  EXPECT_EQ(BytesAt(CodeOf(Fixture_ThunkTarget), 6), target);

  // A replacement given as a thunk is jumped to directly.
  void* proc = CodeOf(Fixture_Doubles);
  const std::vector<uint8_t> original = BytesAt(proc, 6);
  trampoline = RedirectOrgCall(proc, thunk);
  EXPECT_EQ(Rel32Target(proc), CodeOf(Fixture_ThunkTarget));
  EXPECT_EQ(Fixture_Doubles(4), 3);
  RestoreOrgCall(proc, trampoline);
  EXPECT_EQ(BytesAt(proc, 6), original);
}

TEST(OrgCall, RedirectOrgWritesTheSameJumpWithoutATrampoline) {
  void* proc = CodeOf(Fixture_Doubles);
  const std::vector<uint8_t> original = BytesAt(proc, 6);
  RedirectOrg(proc, CodeOf(ReturnsEleven));
  EXPECT_EQ(Rel32Target(proc), CodeOf(ReturnsEleven));
  EXPECT_EQ(BytesAt(static_cast<uint8_t*>(proc) + 5, 1)[0], 0x90);
  EXPECT_EQ(Fixture_Doubles(1), 11);
  ASSERT_TRUE(InjectCode(proc, original.data(), 6));
  EXPECT_EQ(Fixture_Doubles(1), 2);
}

// Sizing happens before anything is written, so a refused start stays as it was.
TEST(OrgCall, RefusedStartLeavesTheFunctionUntouched) {
  void* proc = CodeOf(Fixture_StoresByte);
  const std::vector<uint8_t> original = BytesAt(proc, 10);
  EXPECT_EQ(ErrorOf([] { RedirectOrgCall(CodeOf(Fixture_StoresByte), CodeOf(ReturnsEleven)); }),
            "Cannot handle opcode 88 4 24 58");
  EXPECT_EQ(ErrorOf([] { RedirectOrg(CodeOf(Fixture_StoresByte), CodeOf(ReturnsEleven)); }),
            "Cannot handle opcode 88 4 24 58");
  EXPECT_EQ(BytesAt(proc, 10), original);
  EXPECT_EQ(Fixture_StoresByte(), 5);
}

TEST(OrgCall, NullArguments) {
  EXPECT_EQ(ErrorOf([] { CreateOrgCallMethodPtr(nullptr); }), "CreateOrgCallMethodPtr called with nil");
  EXPECT_EQ(ErrorOf([] { RedirectOrgCall(nullptr, CodeOf(ReturnsEleven)); }),
            "CreateOrgCallMethodPtr called with nil");
  const std::vector<uint8_t> original = BytesAt(CodeOf(Fixture_Doubles), 6);
  RestoreOrgCall(CodeOf(Fixture_Doubles), nullptr);
  EXPECT_EQ(BytesAt(CodeOf(Fixture_Doubles), 6), original);
}

TEST(OrgCall, FailedWriteRaisesTheSystemError) {
  const std::vector<uint8_t> code{0x55, 0x8B, 0xEC, 0x83, 0xC4, 0xF0, 0x5D, 0xC3};
  TReadOnlyCode target(code);
  try {
    RedirectOrgCall(target.ReadOnly, CodeOf(ReturnsEleven));
    ADD_FAILURE() << "the write into a read-only view succeeded";
  } catch (const EQuillmendError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("System Error.  Code: ", 0), 0u) << e.what();
  }
  EXPECT_EQ(BytesAt(target.ReadOnly, 8), code);
}

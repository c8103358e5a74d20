// The undo with the pack: groups of 1, 2 and 10,000 entries and an empty
// range leave the buffer's text, line index and undo state exactly as the
// kernel's own loop leaves them, through one range call instead of one
// per-item call (and one revalidation) per entry; a group of one entry still
// goes through the per-item routine.
#include <gtest/gtest.h>

#include "EditorStandIns.h"

namespace {

struct TUndoCase {
  int Entries;  // 0: an empty range (last = first - 1)
  int ItemCalls, RangeCalls;  // with the pack
};

const TUndoCase UndoCases[] = {{1, 1, 0}, {2, 0, 1}, {10000, 0, 1}, {0, 0, 0}};

struct TUndoResult {
  unsigned Checksum;
  int ItemCalls, RangeCalls, Revalidations;
};

TUndoResult UndoGroup(const TUndoCase& c) {
  const BorEditDriver::UndoDriver& undo = EditorStandIns::Undo();
  void* buffer = undo.NewBuffer(200, 42);
  undo.RecordEdits(buffer, 5, 1);  // an earlier group, left alone
  const int first = undo.RecordEdits(buffer, c.Entries ? c.Entries : 3, 2);
  undo.Undo(buffer, first, c.Entries ? first + c.Entries - 1 : first - 1);
  TUndoResult result{undo.BufferChecksum(buffer), 0, 0, 0};
  undo.UndoCounts(buffer, &result.ItemCalls, &result.RangeCalls, &result.Revalidations);
  undo.FreeBuffer(buffer);
  return result;
}

TEST(EditorParserUndoSpeed, GroupsUndoneAsTheKernelDoesInOneRangeCall) {
  EditorStandIns::Load();
  std::vector<TUndoResult> host;
  for (const TUndoCase& c : UndoCases) host.push_back(UndoGroup(c));
  EditorStandIns::Install();
  ASSERT_EQ(EditorStandIns::Status(L"IDE.Editor.UndoSpeed"), L"applied") << EditorStandIns::Reasons();
  for (size_t i = 0; i < std::size(UndoCases); ++i) {
    const TUndoCase& c = UndoCases[i];
    SCOPED_TRACE(c.Entries);
    const TUndoResult patched = UndoGroup(c);
    EXPECT_EQ(patched.Checksum, host[i].Checksum);
    EXPECT_EQ(host[i].ItemCalls, c.Entries);
    EXPECT_EQ(host[i].Revalidations, c.Entries);
    EXPECT_EQ(patched.ItemCalls, c.ItemCalls);
    EXPECT_EQ(patched.RangeCalls, c.RangeCalls);
    EXPECT_EQ(patched.Revalidations, c.ItemCalls + c.RangeCalls);
  }
}

// The undo routine reads where the group ended from ESI after the loop: the
// buffer's undo position and last undone entry match the host's also for
// groups that follow one another.
TEST(EditorParserUndoSpeed, ConsecutiveGroupsLeaveTheKernelsUndoPosition) {
  EditorStandIns::Load();
  const BorEditDriver::UndoDriver& undo = EditorStandIns::Undo();
  auto run = [&undo] {
    void* buffer = undo.NewBuffer(50, 9);
    const int first = undo.RecordEdits(buffer, 30, 3);
    undo.Undo(buffer, first + 20, first + 29);
    undo.Undo(buffer, first + 19, first + 19);
    undo.Undo(buffer, first, first + 18);
    const unsigned checksum = undo.BufferChecksum(buffer);
    undo.FreeBuffer(buffer);
    return checksum;
  };
  const unsigned host = run();
  EditorStandIns::Install();
  EXPECT_EQ(run(), host);
}

} // namespace
